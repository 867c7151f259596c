#include "decoders/attachment_names.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "recognition/word_reader.h"
#include "support/plain_helpers.h"

namespace kamvo {
namespace {

using testing::Base64;
using testing::CountWords;
using testing::NthWord;

std::string Win(std::string_view utf8) { return WinFromUtf8(utf8); }
std::string Koi(std::string_view utf8) { return ConvertByTable(WinFromUtf8(utf8), BuildCodeTable(kWindows, kKoi8)); }

TEST(MimeName, KoiEncodedWordComesOutInWindows1251) {
  std::string name = "=?koi8-r?B?8NLJ18XU?=";
  ASSERT_EQ(Koi("Привет"), "\xF0\xD2\xC9\xD7\xC5\xD4");
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("Привет"));

  name = "=?KOI8_R?B?" + Base64(Koi("Отчёт за май.pdf")) + "?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("Отчёт за май.pdf"));
}

TEST(MimeName, KnownCharsetsBecomeWindows1251AndUnknownOnesKeepTheirBytes) {
  std::string name = "=?windows-1251?B?" + Base64(Win("Отчёт.pdf")) + "?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("Отчёт.pdf"));
  name = "=?utf-8?B?" + Base64("отчёт") + "?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("отчёт"));
  name = "=?x-unknown?B?" + Base64("отчёт") + "?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, "отчёт");
  // The Q form, and a name in two words.
  name = "=?KOI8-R?Q?=F0=D2_1?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("Пр 1"));
  name = "=?utf-8?B?" + Base64("отч") + "?= =?utf-8?Q?=D1=91=D1=82.txt?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, Win("отчёт.txt"));
}

TEST(MimeName, WhatIsNotDecodedKeepsItsForm) {
  // A Q form that is no encoded word (a blank inside) is not decoded.
  std::string name = "=?KOI8-R?Q?=F0 =D2?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, "Q?=F0 =D2");
  EXPECT_EQ(SafeFileName(name), "Q_=F0 =D2");
  // A B text that is not one Base64 line stays as it is.
  name = "=?koi8-r?B?" + std::string(80, 'A') + "?=";
  EXPECT_TRUE(DecodeMimeName(name));
  EXPECT_EQ(name, std::string(80, 'A'));
  // Without an inner "?" only the markers go.
  name = "=?abc?=";
  EXPECT_FALSE(DecodeMimeName(name));
  EXPECT_EQ(name, "abc");
  for (const char* plain : {"=?a?=", "report.pdf", "=?koi8-r?B?8NLJ18XU", "8NLJ18XU?="}) {
    name = plain;
    EXPECT_FALSE(DecodeMimeName(name));
    EXPECT_EQ(name, plain);
  }
}

TEST(NameCodePage, ConvertsByThePairThatMakesMostCandidatesRussian) {
  // The extension is a word of its own and, being ASCII, no candidate.
  EXPECT_EQ(FixNameCodePage(Koi("документ.txt")), Win("документ.txt"));
  EXPECT_EQ(FixNameCodePage(Koi("письмо от друга.doc")), Win("письмо от друга.doc"));
  // Right already: the pair that changes nothing wins the tie.
  EXPECT_EQ(FixNameCodePage(Win("документ.txt")), Win("документ.txt"));
  EXPECT_EQ(FixNameCodePage("report 2024.txt"), "report 2024.txt");
  EXPECT_EQ(FixNameCodePage(""), "");

  // "аааа" is Russian under no pair: with two candidates one hit is not
  // more than half, with three candidates two hits are.
  const std::string noWord = "\xE0\xE0\xE0\xE0";
  const std::string two = Koi("документ") + " " + noWord + ".doc";
  EXPECT_EQ(FixNameCodePage(two), two);
  const std::string three = Koi("документ") + " " + Koi("письмо") + " " + noWord;
  EXPECT_EQ(FixNameCodePage(three), ConvertByTable(three, BuildCodeTable(kKoi8, kWindows)));
}

TEST(SafeName, ReplacesWhatAFileNameCannotHold) {
  EXPECT_EQ(SafeFileName("report:draft?.txt"), "report_draft_.txt");
  EXPECT_EQ(SafeFileName("a\"b*c/d:e<f>g?h\\i|j"), "a_b_c_d_e_f_g_h_i|j");
  EXPECT_EQ(SafeFileName("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(SafeFileName(std::string("a\0b\x01\x1F\x7F"
                                     "c\x98",
                                     8)),
            "a_b___c_");
  EXPECT_EQ(SafeFileName(Win("Отчёт № 5.pdf")), Win("Отчёт № 5.pdf"));
}

TEST(Words, CountAndPick) {
  EXPECT_EQ(CountWords("  hello, world.txt ", WordDelimiters), 3);
  EXPECT_EQ(NthWord(1, "  hello, world.txt ", WordDelimiters), "hello");
  EXPECT_EQ(NthWord(3, "  hello, world.txt ", WordDelimiters), "txt");
  EXPECT_EQ(NthWord(4, "  hello, world.txt ", WordDelimiters), "");
  EXPECT_EQ(CountWords("", WordDelimiters), 0);
  EXPECT_EQ(CountWords("--", "-"), 0);
  EXPECT_EQ(CountWords("a--b-", "-"), 2);
  EXPECT_EQ(NthWord(2, "a--bc-", "-"), "bc");

  // One pass gives the words NthWord gives one by one.
  std::mt19937 random(7);
  const std::string alphabet = "ab .,-\xE0";
  for (int round = 0; round < 500; ++round) {
    std::string s;
    for (int n = static_cast<int>(random() % 12); n > 0; --n) s += alphabet[random() % alphabet.size()];
    const auto words = SplitWords(s, WordDelimiters);
    ASSERT_EQ(static_cast<int>(words.size()), CountWords(s, WordDelimiters)) << s;
    for (std::size_t i = 0; i < words.size(); ++i)
      ASSERT_EQ(words[i], NthWord(static_cast<int>(i) + 1, s, WordDelimiters)) << s;
  }
}

TFileList List(const std::vector<std::pair<std::string, std::string>>& entries) {
  TFileList files;
  for (const auto& [name, data] : entries) {
    files.AddFile(name);
    files.AddData(data);
  }
  return files;
}

std::vector<std::string> Names(const TFileList& files) {
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.Name);
  return names;
}

const std::string kBinary("\x00\x01", 2);

TEST(FinishNames, DropsUnnamedTextNumbersUnnamedBinaryAndCleansNames) {
  TFileList files = List({{"", "just text"},
                          {"", kBinary},
                          {"=?koi8-r?B?" + Base64(Koi("отчёт.pdf")) + "?=", kBinary},
                          {"report:draft?.txt", "named text"},
                          {Koi("документ.txt"), "x"},
                          {"", kBinary + "2"}});
  FinishNames(files);
  EXPECT_EQ(Names(files),
            (std::vector<std::string>{"file1", Win("отчёт.pdf"), "report_draft_.txt", Win("документ.txt"), "file2"}));
  EXPECT_EQ(files[0].Stream, kBinary);
  EXPECT_EQ(files[4].Stream, kBinary + "2");
}

TEST(FinishNames, NoNameCanLeaveTheFolder) {
  TFileList files = List({{"..", kBinary},
                          {".", "text of a block"},
                          {"=?utf-8?B?" + Base64("..") + "?=", kBinary},
                          {"=?x?B?"
                           "?=",
                           kBinary},  // decodes to nothing
                          {"=?x?B?" + Base64(".") + "?=", "more text"},
                          {std::string("a\0b\nc", 5), kBinary},
                          {"../../etc/passwd", kBinary},
                          {"/etc/passwd", kBinary},
                          {"C:\\autoexec.bat", kBinary}});
  FinishNames(files);
  EXPECT_EQ(Names(files), (std::vector<std::string>{"file1", "file2", "file3", "a_b_c", ".._.._etc_passwd",
                                                    "_etc_passwd", "C__autoexec.bat"}));
  for (const auto& file : files) {
    EXPECT_EQ(file.Name.find('/'), std::string::npos);
    EXPECT_NE(file.Name, "..");
  }
}

}  // namespace
}  // namespace kamvo
