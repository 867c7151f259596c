#include "codepages/lines.h"

#include <gtest/gtest.h>

#include <random>

namespace kamvo {
namespace {

TEST(Lines, SplitAtEveryKindOfBreakWithoutATrailingEmptyLine) {
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\n\r"), (Lines{"a", ""}));  // LF then a lone CR
  EXPECT_EQ(SplitLines("\r\n\r\n"), (Lines{"", ""}));
  EXPECT_EQ(JoinLines(Lines{"a", ""}), "a\r\n\r\n");
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Random texts over the bytes that matter to the searches: breaks, a few
// ASCII marks, letters and bytes from 0x80 up, in runs long and short
// enough to cross the blocks the searches read.
std::string RandomText(std::mt19937& random, std::size_t maxLength, std::string_view alphabet) {
  std::string text(random() % (maxLength + 1), ' ');
  for (char& c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

const std::string_view kAlphabet = "ab \r\n=&<%\\\x80\xE0\xFF";
const std::string_view kSparse = "abcdefgh \xE0\xF0\xC1\xD2 .,abcdefgh \xE0\xF0\xC1\xD2\n";

// The plain splitter the fast one must agree with.
Lines PlainSplit(std::string_view text) {
  Lines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t i = start;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
    lines.emplace_back(text.substr(start, i - start));
    if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

TEST(Lines, SearchesAgreeWithPlainLoops) {
  std::mt19937 random(3);
  for (int round = 0; round < 400; ++round) {
    const std::string text = RandomText(random, 150, round % 2 ? kAlphabet : kSparse);
    bool high = false, lineBreak = false;
    for (char c : text) {
      high |= static_cast<unsigned char>(c) >= 0x80;
      lineBreak |= c == '\r' || c == '\n';
    }
    EXPECT_EQ(HasHighByte(text), high) << text;
    const TextBytes bytes = ExamineBytes(text);
    EXPECT_EQ(bytes.High, high) << text;
    EXPECT_EQ(bytes.Break, lineBreak) << text;
    for (std::size_t from = 0; from <= text.size(); from += 1 + random() % 7) {
      const std::size_t plainBreak = std::min(text.find_first_of("\r\n", from), text.size());
      EXPECT_EQ(FindLineBreak(text, from), plainBreak) << text << " from " << from;
      for (std::string_view set : {"=%\\&", "&<", "\x80", "=%\\&<", "abcdefgh", "\r\n\x80 .,;:!?"}) {
        const std::size_t plain = text.find_first_of(std::string(set), from);
        EXPECT_EQ(FindAnyByte(text, set, from), plain) << text << " from " << from;
      }
    }
  }
}

// Both translations give what looking every byte up one by one gives, for
// random tables and texts of every length around the vector width, the
// changed flag included (a table that moves a single byte, met once).
TEST(Lines, TranslatingBytesAgreesWithAPlainLookup) {
  std::mt19937 random(9);
  for (int round = 0; round < 300; ++round) {
    unsigned char table[256];
    for (int b = 0; b < 256; ++b) table[b] = static_cast<unsigned char>(b);
    if (round % 3 == 0) {
      for (auto& entry : table) entry = static_cast<unsigned char>(random());
    } else {
      // Only one byte value moves, and it appears at most once.
      table[random() % 256] = static_cast<unsigned char>(random());
    }
    const std::size_t length = static_cast<std::size_t>(random() % 200);
    std::string text(length, '\0');
    const unsigned char moved = static_cast<unsigned char>(random() % 256);
    for (auto& c : text) {
      unsigned char b;
      do b = static_cast<unsigned char>(random());
      while (round % 3 != 0 && b == moved);
      c = static_cast<char>(b);
    }
    if (length > 0 && random() % 2) text[random() % length] = static_cast<char>(moved);
    std::string expected = text;
    bool changed = false;
    for (auto& c : expected) {
      const unsigned char to = table[static_cast<unsigned char>(c)];
      changed |= to != static_cast<unsigned char>(c);
      c = static_cast<char>(to);
    }
    std::string fast = text, portable = text;
    EXPECT_EQ(TranslateBytes(fast.data(), fast.size(), table), changed) << round;
    EXPECT_EQ(fast, expected) << round;
    EXPECT_EQ(portable::TranslateBytes(portable.data(), portable.size(), table), changed) << round;
    EXPECT_EQ(portable, expected) << round;
  }
}

TEST(Lines, SplittingAgreesWithThePlainSplitterWithAndWithoutCr) {
  std::mt19937 random(4);
  for (int round = 0; round < 300; ++round) {
    std::string text = RandomText(random, 300, round % 2 ? kAlphabet : kSparse);
    EXPECT_EQ(SplitLines(text), PlainSplit(text)) << text;
    std::erase(text, '\r');
    EXPECT_EQ(SplitLines(text), PlainSplit(text)) << text;
  }
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Random texts of a few letters, bytes from 0x80 up and every kind of break.
std::string RandomBreakText(std::mt19937& random, std::size_t size) {
  static const std::string pieces[] = {"a", "b", " ", "\xE0", "\xFF", "\n", "\r", "\r\n", "\n\r"};
  std::string text;
  while (text.size() < size) text += pieces[random() % std::size(pieces)];
  return text;
}

// The plain search: the end of the first run of `length` bytes below 0x80
// without CR or LF.
std::size_t PlainRunLiterally(std::string_view text, std::size_t length, std::size_t from) {
  std::size_t run = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    run = (b >= 0x80 || b == '\n' || b == '\r') ? 0 : run + 1;
    if (run == length) return i;
  }
  return std::string_view::npos;
}

TEST(Lines, FindPlainRunAgreesWithAPlainSearch) {
  std::mt19937 random(11);
  for (int round = 0; round < 4000; ++round) {
    // Mostly high bytes with plain stretches of every length, across the
    // 64-byte steps of the search.
    std::string text;
    const std::size_t size = random() % 400;
    while (text.size() < size) {
      if (random() % 3 == 0)
        text.append(random() % 70, "abc d"[random() % 5]);
      else
        text += RandomBreakText(random, random() % 8);
    }
    const std::size_t length = 1 + random() % 64;
    const std::size_t from = random() % (text.size() + 1);
    EXPECT_EQ(FindPlainRun(text, length, from), PlainRunLiterally(text, length, from))
        << "round " << round << " length " << length << " from " << from;
  }
}

}  // namespace
}  // namespace kamvo
