#include "codepages/unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kamvo {
namespace {

std::string Decode(std::string_view utf8, bool* looksUtf8 = nullptr) {
  std::string out;
  const bool result = Utf8ToWin(utf8, out);
  if (looksUtf8) *looksUtf8 = result;
  return out;
}

TEST(UnicodeToWin, MapsLatin1CyrillicBlockAndPunctuation) {
  Byte b = 0;
  ASSERT_TRUE(UnicodeToWin(0xE9, b));
  EXPECT_EQ(b, 0xE9);  // Latin-1 byte value kept: the letter й
  ASSERT_TRUE(UnicodeToWin(0x0401, b));
  EXPECT_EQ(b, 0xA8);
  ASSERT_TRUE(UnicodeToWin(0x0451, b));
  EXPECT_EQ(b, 0xB8);
  ASSERT_TRUE(UnicodeToWin(0x0410, b));
  EXPECT_EQ(b, 0xC0);
  ASSERT_TRUE(UnicodeToWin(0x044F, b));
  EXPECT_EQ(b, 0xFF);
  for (std::uint32_t missing : {0x0400u, 0x040Du, 0x0450u, 0x045Du, 0x0460u, 0x2015u, 0x3000u, 0x10000u})
    EXPECT_FALSE(UnicodeToWin(missing, b)) << std::hex << missing;
  const std::pair<std::uint32_t, Byte> extras[] = {
      {0x0490, 0xA5}, {0x0491, 0xB4}, {0x2013, 0x96}, {0x2014, 0x97}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201A, 0x82},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x201E, 0x84}, {0x2020, 0x86}, {0x2021, 0x87}, {0x2022, 0x95}, {0x2026, 0x85},
      {0x2030, 0x89}, {0x2039, 0x8B}, {0x203A, 0x9B}, {0x20AC, 0x88}, {0x2116, 0xB9}, {0x2122, 0x99}};
  for (auto [c, expected] : extras) {
    ASSERT_TRUE(UnicodeToWin(c, b)) << std::hex << c;
    EXPECT_EQ(b, expected);
  }
}

TEST(UnicodeToWin, EveryWindowsByteSurvivesTheRoundTripThroughUnicode) {
  for (int i = 0; i < 256; ++i) {
    Byte back = 0;
    ASSERT_TRUE(UnicodeToWin(WinToUnicode(static_cast<Byte>(i)), back)) << i;
    EXPECT_EQ(back, i);
  }
  std::string all;
  for (int i = 1; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(WinFromUtf8(Utf8FromWin(all)), all);
  EXPECT_EQ(Utf8FromWin("\xCF\xF0\xE8"), "При");
  EXPECT_EQ(WinFromUtf8("Привет, é 😀"), "\xCF\xF0\xE8\xE2\xE5\xF2, ? ?");
  EXPECT_EQ(WinFromUtf8("\xFF\xC3"), "??");
}

TEST(WinToUtf16, AllBytesComeBackAndUnmappedUnitsBecomeQuestionMarks) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const std::u16string unicode = WinToUtf16(all);
  ASSERT_EQ(unicode.size(), 256u);
  EXPECT_EQ(unicode[0xC0], u'\u0410');
  EXPECT_EQ(unicode[0xA0], u'\u00A0');
  EXPECT_EQ(WinFromUtf16(unicode), all);
  // Latin-1 keeps its value (the clipboard's rule); Greek and a surrogate
  // pair have no byte.
  EXPECT_EQ(WinFromUtf16(u"\u041F\u00E9\u03B1\U0001F600"), "\xCF\xE9???");
}

TEST(DecodeUtf8Char, SequencesOfOneToThreeBytes) {
  Byte b = 0;
  std::size_t used = 0;
  EXPECT_FALSE(DecodeUtf8Char("", b, used));
  ASSERT_TRUE(DecodeUtf8Char("A", b, used));
  EXPECT_EQ(b, 'A');
  EXPECT_EQ(used, 1u);
  ASSERT_TRUE(DecodeUtf8Char("\xE2\x80\x94rest", b, used));
  EXPECT_EQ(b, 0x97);
  EXPECT_EQ(used, 3u);
  ASSERT_TRUE(DecodeUtf8Char("\xE2\x82\xAC", b, used));
  EXPECT_EQ(b, 0x88);
  ASSERT_TRUE(DecodeUtf8Char("\xC2\xA0", b, used));  // the shortest two-byte form
  EXPECT_EQ(b, 0xA0);
  EXPECT_EQ(used, 2u);
  EXPECT_FALSE(DecodeUtf8Char("\xD0\x80", b, used));          // U+0400 has no byte
  EXPECT_FALSE(DecodeUtf8Char("\xD0", b, used));              // truncated
  EXPECT_FALSE(DecodeUtf8Char("\xE2\x80", b, used));          // truncated
  EXPECT_FALSE(DecodeUtf8Char("\xF0\x9F\x98\x80", b, used));  // four bytes never decode
  EXPECT_FALSE(DecodeUtf8Char("\x80", b, used));
}

TEST(Utf8ToWin, JudgesWhetherALineIsUtf8) {
  bool utf = false;
  EXPECT_EQ(Decode("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", &utf), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_TRUE(utf);
  EXPECT_EQ(Decode("\xCF\xF0\xE8\xE2\xE5\xF2", &utf), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_FALSE(utf);
  Decode("plain ascii", &utf);
  EXPECT_FALSE(utf);
  Decode("", &utf);
  EXPECT_FALSE(utf);
  // Two decoded letters (4 bytes) against one stray byte: UTF-8; against two: not.
  EXPECT_EQ(Decode("\xD0\x9F\xD1\x80\xFF", &utf), "\xCF\xF0\xFF");
  EXPECT_TRUE(utf);
  Decode("\xD0\x9F\xD1\x80\xFF\xFE", &utf);
  EXPECT_FALSE(utf);
  // U+0400 stays as its two bytes, both stray.
  EXPECT_EQ(Decode("\xD0\x80", &utf), "\xD0\x80");
  EXPECT_FALSE(utf);
  // A four-byte sequence stays as it is: four stray bytes outweigh two letters.
  EXPECT_EQ(Decode("\xD0\x9F\xD1\x80\xF0\x9F\x98\x80", &utf), "\xCF\xF0\xF0\x9F\x98\x80");
  EXPECT_FALSE(utf);
  // Three decoded letters (6 bytes) against lone continuation bytes (2).
  EXPECT_EQ(Decode("\x80\xD0\x9F\xD1\x80\xD0\xB8\xBF", &utf), "\x80\xCF\xF0\xE8\xBF");
  EXPECT_TRUE(utf);
}

// What the line decoder makes of sequences that are not the shortest form of
// a character, surrogates and byte order marks: they stay as stray bytes,
// except a byte order mark that opens the text, which is dropped.
TEST(Utf8ToWin, OverlongFormsSurrogatesAndByteOrderMarks) {
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
  const std::string win = "\xCF\xF0\xE8\xE2\xE5\xF2";
  struct Row {
    std::string in;
    bool textStart;
    std::string out;
    bool looksUtf8;
  };
  const Row rows[] = {
      {std::string("\xC0\x80", 2), false, "", false},                        // overlong NUL
      {"\xC0\x8A\xC1\x81" + privet, false, "\xC0\x8A\xC1\x81" + win, true},  // two-byte overlongs
      {"\xC1\xBF", false, "", false},
      {"\xE0\x80\x80" + privet, false, "\xE0\x80\x80" + win, true},  // three-byte overlongs
      {"\xE0\x9F\xBF", false, "", false},
      {"\xE0\x81\x89", false, "", false},
      {"\xF0\x80\x80\x80", false, "", false},  // four-byte overlongs
      {"\xF0\x8F\xBF\xBF", false, "", false},
      {"\xED\xA0\x80\xED\xBF\xBF", false, "", false},  // surrogates
      {"\xC2\x80\xC3\xBF", false, "\x80\xFF", true},   // the shortest forms just above ASCII
      {"\xE2\x80\x94\xE0\xA0\x80", false, "", false},  // U+0800 has no byte
      {"\xEF\xBB\xBF" + privet, true, win, true},
      {"\xEF\xBB\xBF"
       "abc",
       true, "abc", true},
      {"\xEF\xBB\xBF" + privet, false, "\xEF\xBB\xBF" + win, true},
      {privet + "\xEF\xBB\xBF" + privet, true, win + "\xEF\xBB\xBF" + win, true},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" + privet, true, "\xEF\xBB\xBF" + win, true},  // only the first opens the text
      {"\xEF\xBB\xBF"
       "\xCF\xF0\xE8\xE2",
       true, "", false},  // Windows-1251 text after a mark
  };
  for (const Row& row : rows) {
    std::string out;
    const bool looksUtf8 = Utf8ToWin(row.in, out, row.textStart);
    EXPECT_EQ(looksUtf8, row.looksUtf8) << ::testing::PrintToString(row.in);
    // The converted line counts only for a line that looks like UTF-8.
    if (row.looksUtf8) {
      EXPECT_EQ(out, row.out) << ::testing::PrintToString(row.in);
    }
  }
}

// No sequence of more than one byte decodes to a byte below 0x80, so
// decoding never makes control bytes; and every character that
// Windows-1251 holds decodes from its own UTF-8 form.
TEST(DecodeUtf8Char, OnlyShortestFormsDecodeAndNeverToAControlByte) {
  for (int b0 = 0x80; b0 <= 0xFF; ++b0)
    for (int b1 = 0x80; b1 <= 0xBF; ++b1)
      for (int b2 = 0x80; b2 <= 0xBF; ++b2) {
        const char bytes[] = {static_cast<char>(b0), static_cast<char>(b1), static_cast<char>(b2)};
        Byte out = 0;
        std::size_t used = 0;
        if (!DecodeUtf8Char(std::string_view(bytes, 3), out, used)) continue;
        SCOPED_TRACE(::testing::PrintToString(std::string_view(bytes, used)));
        ASSERT_GE(out, 0x80);
        ASSERT_TRUE(used == 2 ? b0 >= 0xC2 : b0 > 0xE0 || b1 >= 0xA0);  // not overlong
        ASSERT_FALSE(used == 3 && b0 == 0xED && b1 >= 0xA0);            // not a surrogate
      }
  for (int b = 0x80; b < 0x100; ++b) {
    std::string utf8;
    AppendUtf8(utf8, WinToUnicode(static_cast<Byte>(b)));
    Byte out = 0;
    std::size_t used = 0;
    ASSERT_TRUE(DecodeUtf8Char(utf8, out, used)) << b;
    EXPECT_EQ(out, b);
    EXPECT_EQ(used, utf8.size());
  }
}

TEST(WinFromUtf8, OverlongFormsAndSurrogatesAreNoCharacters) {
  EXPECT_EQ(WinFromUtf8(std::string("a\xC0\x80\xE0\x80\x80\xF0\x80\x80\x80\xED\xA0\x80z", 14)),
            "a" + std::string(12, '?') + "z");
  EXPECT_EQ(WinFromUtf8("\xE2\x80\x94\xD0\x81"), "\x97\xA8");
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Utf8ToWin decoded one character at a time, as the fast version must
// decode: the same bytes and the same verdict.
bool PlainUtf8ToWin(std::string_view line, std::string& converted, bool textStart) {
  converted.clear();
  std::size_t decoded = 0, stray = 0, i = 0;
  if (textStart && line.starts_with(kByteOrderMark)) {
    decoded += kByteOrderMark.size();
    i = kByteOrderMark.size();
  }
  while (i < line.size()) {
    Byte b = 0;
    std::size_t used = 0;
    if (DecodeUtf8Char(line.substr(i), b, used)) {
      converted.push_back(static_cast<char>(b));
      if (used > 1) decoded += used;
      i += used;
    } else {
      converted.push_back(line[i]);
      if (static_cast<Byte>(line[i]) >= 0x80) ++stray;
      ++i;
    }
  }
  return decoded > 2 * stray;
}

TEST(Utf8ToWin, AgreesWithDecodingOneCharacterAtATime) {
  // Pieces that make valid, broken and foreign sequences when run together.
  const std::vector<std::string> pieces = {
      "a",    "plain ascii text", "\xD0\x9F", "\xD1\x8F", "\xE2\x80\x94", "\xC2\xA0",     "\xD0",
      "\x80", "\xEF\xBB\xBF",     "\xE2\x82", "\xC3\xA9", "\xD2\x90",     "\xED\xA0\x80", "\xC0\xAF",
      "\xFF"};
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    std::string line;
    for (int k = random() % 12; k > 0; --k) line += pieces[random() % pieces.size()];
    for (bool textStart : {false, true}) {
      std::string fast, plain;
      const bool fastVerdict = Utf8ToWin(line, fast, textStart);
      EXPECT_EQ(fastVerdict, PlainUtf8ToWin(line, plain, textStart)) << line;
      EXPECT_EQ(fast, plain) << line;
    }
  }
}

}  // namespace
}  // namespace kamvo
