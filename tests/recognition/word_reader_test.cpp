#include "recognition/word_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kamvo {
namespace {

// All words up to the end of the text; stops after `limit` words so that a
// reader that never ends fails instead of hanging.
std::vector<std::string> ReadAll(const Lines& text, std::size_t limit = 1000) {
  const Text readText = Text::FromLines(text);
  WordReader reader(readText);
  std::vector<std::string> words;
  for (std::string word = reader.NextWord(); !word.empty() && words.size() < limit; word = reader.NextWord())
    words.push_back(word);
  return words;
}

using Words = std::vector<std::string>;

TEST(WordReaderHelpers, DelimitersLinesAndVariedWords) {
  EXPECT_EQ(WordDelimiters.size(), 35u);
  for (int b = 0; b < 256; ++b) {
    const bool listed = WordDelimiters.find(static_cast<char>(b)) != std::string_view::npos;
    const bool punctuation =
        (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x5F) || (b >= 0x7B && b <= 0x7E);
    EXPECT_EQ(listed, punctuation || b == '\t' || b == '\n' || b == '\r' || b == ' ') << b;
    EXPECT_EQ(IsWordDelimiter(static_cast<Byte>(b)), listed) << b;
  }

  for (const char* line : {"", "a", " ", "a b c", " a b ", "a  b"}) EXPECT_FALSE(LineHasWord(line)) << line;
  for (const char* line : {"ab", " a b cd", "a\tb", "--"}) EXPECT_TRUE(LineHasWord(line)) << line;

  for (const char* word : {"a", "-", "ab", "aab", "aba", "abcd", "(ab)", "aabb"})
    EXPECT_TRUE(IsVariedWord(word)) << word;
  for (const char* word : {"", "aa", "aaa", "aaaa", "-----", "(aaaa)", "\xE0\xE0\xE0\xE0\xE0", "abbbc", "abbc", "aaab"})
    EXPECT_FALSE(IsVariedWord(word)) << word;
}

TEST(WordReader, SplitsAtDelimitersAndLineBreaks) {
  EXPECT_EQ(ReadAll({"Hello, world!", "one-two_three", "tail"}),
            (Words{"Hello", "world", "one", "two", "three", "tail"}));
  // The end of a line is a delimiter: words never run across lines.
  EXPECT_EQ(ReadAll({"ab", "cd"}), (Words{"ab", "cd"}));
  // Backquote, digits and high bytes belong to words.
  EXPECT_EQ(ReadAll({"x`y 42 \xE4\xE0\xA0\xE0"}), (Words{"x`y", "42", "\xE4\xE0\xA0\xE0"}));
  // Runs of one byte are passed over.
  EXPECT_EQ(ReadAll({"----- ab (cccc) dd e"}), (Words{"ab", "e"}));
  EXPECT_TRUE(ReadAll({}).empty());
  EXPECT_TRUE(ReadAll({"", "", "... ,,,"}).empty());
}

TEST(WordReader, SkipsLinesWithoutAWordExceptTheFirst) {
  EXPECT_EQ(ReadAll({"a b c", "d e f", "g h"}), (Words{"a", "b", "c"}));
  EXPECT_EQ(ReadAll({"x y", "", "q", "w o r d s", "ok go"}), (Words{"x", "y", "ok", "go"}));

  // NextTextChar: a line break of any kind reads as one CR, skipped lines
  // give nothing, and at the end the byte is left alone.
  for (const std::string bytes : {"ab\nc d\n\nef\n", "ab\r\nc d\r\ref", "ab\rc d\n\r\nef\r"}) {
    const Text text = Text::FromBytes(bytes);
    WordReader reader(text);
    std::string read;
    Byte ch = 0;
    while (reader.NextTextChar(ch)) read.push_back(static_cast<char>(ch));
    EXPECT_EQ(read, "ab\ref") << bytes;
    ch = 'z';
    EXPECT_FALSE(reader.NextTextChar(ch));
    EXPECT_EQ(ch, 'z');
  }

  const Text text{"ab", "c d", "", "ef"};
  WordReader reader(text);
  EXPECT_EQ(reader.NextWord(), "ab");
  EXPECT_EQ(reader.NextWord(), "ef");
  EXPECT_EQ(reader.NextWord(), "");
  EXPECT_EQ(reader.NextWord(), "");
}

TEST(WordReader, CutsLongWordsAt255Bytes) {
  std::string run;
  for (int i = 0; i < 300; ++i) run.push_back(static_cast<char>('a' + i % 26));
  const Words words = ReadAll({run});
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0], run.substr(0, 255));
  EXPECT_EQ(words[1], run.substr(256));  // byte 256 is dropped

  // Exactly 255 bytes followed by a delimiter: nothing is lost.
  EXPECT_EQ(ReadAll({run.substr(0, 255) + " xy"}), (Words{run.substr(0, 255), "xy"}));
  // A 256-byte word loses its last byte and nothing follows it.
  EXPECT_EQ(ReadAll({run.substr(0, 256), "next"}), (Words{run.substr(0, 255), "next"}));
}

TEST(WordReader, ReadsTextsBeyond16BitCounters) {
  // More than 65535 lines, with skipped lines among them.
  Lines many;
  for (int i = 0; i < 70'000; ++i) many.push_back(i % 2 ? "ab" : "- -");
  many.back() = "last";
  many.insert(many.begin(), "first");
  const Words words = ReadAll(many, 100'000);
  ASSERT_EQ(words.size(), 35'001u);
  EXPECT_EQ(words.front(), "first");
  EXPECT_EQ(words[34'999], "ab");
  EXPECT_EQ(words.back(), "last");

  // A line longer than 65535 bytes, its words beyond that position included.
  std::string longLine;
  for (int i = 0; i < 25'000; ++i) longLine += "xy ";
  longLine += "end";
  const Words inLine = ReadAll({longLine, "after"}, 100'000);
  ASSERT_EQ(inLine.size(), 25'002u);
  EXPECT_EQ(inLine[25'000], "end");
  EXPECT_EQ(inLine.back(), "after");
}

}  // namespace
}  // namespace kamvo
