#include "codepages/text.h"

#include <gtest/gtest.h>

#include "support/plain_lines.h"

#include <random>

namespace kamvo {
namespace {

// Every text, read from its bytes, gives back the same bytes, the lines
// SplitLines gives and the breaks LineEndsOf gives; building it again line
// by line from those gives the same text.
TEST(Text, FromBytesAgreesWithTheLineSplitterAndGivesItsBytesBack) {
  std::vector<std::string> texts = {"",      "a",        "\n",          "a\n", "a\r\nb",      "a\rb\r",
                                    "a\n\r", "\r\n\r\n", "x\r\ry\n\nz", "\r",  "a\nb\r\nc\rd"};
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    // Short texts, and texts over several blocks of 64 bytes.
    std::string text(random() % (i < 150 ? 40 : 400), ' ');
    for (char& c : text) c = "ab\r\n\xE0"[random() % 5];
    texts.push_back(text);
  }
  for (const std::string& bytes : texts) {
    const Text text = Text::FromBytes(bytes);
    EXPECT_EQ(text.Bytes(), bytes);
    EXPECT_EQ(ToLines(text), SplitLines(bytes));
    const std::vector<LineEnd> ends = LineEndsOf(bytes);
    ASSERT_EQ(text.size(), ends.size());
    Text rebuilt;
    for (std::size_t k = 0; k < text.size(); ++k) {
      EXPECT_EQ(text.End(k), ends[k]);
      rebuilt.AddLine(text[k], text.End(k));
    }
    EXPECT_EQ(rebuilt, text);
  }
}

TEST(Text, ALineWithoutBreakThatAnotherFollowsTakesAnLf) {
  Text text;
  text.AddLine("a", LineEnd::None);
  text.Append("b");
  text.Append('c');
  EXPECT_TRUE(text.LineOpen());
  text.EndLine(LineEnd::Cr);
  text.AddLine("", LineEnd::None);
  EXPECT_EQ(text.Bytes(), "a\nbc\r");
  EXPECT_EQ(ToLines(text), (Lines{"a", "bc", ""}));
  text.PopLine();
  text.Append("open");
  text.PopLine();
  EXPECT_EQ(text.Bytes(), "a\nbc\r");
  text.PopLine();
  EXPECT_EQ(text, Text::FromBytes("a\n"));
}

// The breaks stay where they are whatever the table does with CR and LF.
TEST(Text, TranslateConvertsTheLinesAndKeepsTheBreaks) {
  CodeTable table = IdentityCodeTable();
  table['a'] = 'b';
  Text text = Text::FromBytes("a\r\na\rc\na");
  EXPECT_TRUE(text.Translate(table));
  EXPECT_EQ(text.Bytes(), "b\r\nb\rc\nb");
  EXPECT_FALSE(text.Translate(table));
  table['\r'] = 'R';
  table['\n'] = 'N';
  table['b'] = '\n';
  EXPECT_TRUE(text.Translate(table));
  EXPECT_EQ(text.Bytes(), "\n\r\n\n\rc\n\n");
  EXPECT_EQ(text.size(), 4u);
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Appending a run of another text's lines in one step gives what adding
// them one by one gives, whatever the text built so far ends in: a line
// still open, a last line without a break, or nothing.
TEST(Text, AppendLinesAgreesWithAddingTheLinesOneByOne) {
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 50, ' '), start(random() % 12, ' ');
    for (char& c : bytes) c = "ab\r\n"[random() % 4];
    for (char& c : start) c = "xy\r\n"[random() % 4];
    const Text other = Text::FromBytes(bytes);
    const std::size_t first = random() % (other.size() + 1);
    const std::size_t last = first + random() % (other.size() - first + 1);
    Text bulk = Text::FromBytes(start);
    if (random() % 3 == 0) bulk.Append("open");
    Text single = bulk;
    bulk.AppendLines(other, first, last);
    for (std::size_t i = first; i < last; ++i) single.AddLine(other[i], other.End(i));
    ASSERT_EQ(bulk, single) << bytes << " | " << start << " " << first << ".." << last;
    ASSERT_EQ(bulk.LineOpen(), single.LineOpen());
    // What follows lands the same way too.
    bulk.AddLine("z", LineEnd::Cr);
    single.AddLine("z", LineEnd::Cr);
    ASSERT_EQ(bulk, single);
  }
}

// Growing every byte into its form in place gives the text that building
// it anew line by line gives, whether its block has room or not, and with
// some lines given their own bytes (as long as the line or longer).
TEST(Text, ExpandingInPlaceAgreesWithBuildingTheTextAnew) {
  std::mt19937 random(12);
  std::array<std::uint32_t, 256> forms{};
  std::array<std::uint8_t, 256> lengths{};
  for (int b = 0; b < 256; ++b) {
    lengths[b] = b < 0x80 ? 1 : static_cast<std::uint8_t>(1 + b % 4);
    for (int k = 0; k < lengths[b]; ++k) forms[b] |= static_cast<std::uint32_t>((b + 7 * k) & 0xFF) << (8 * k);
  }
  forms['\r'] = '\r';
  forms['\n'] = '\n';
  lengths['\r'] = lengths['\n'] = 1;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 60, ' ');
    for (char& c : bytes) c = random() % 4 == 0 ? "\r\nab"[random() % 4] : static_cast<char>(random() % 256);
    Text text = Text::FromBytes(bytes);
    Text expected;
    std::vector<std::string> own;
    std::vector<Text::LineBytes> replaced;
    own.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::string line;
      if (round % 3 == 0 && random() % 3 == 0) {
        own.push_back(std::string(text[i]) + std::string(random() % 5, 'x'));
        replaced.push_back({i, own.back()});
        line = own.back();
      } else {
        for (unsigned char c : text[i])
          for (int k = 0; k < lengths[c]; ++k) line.push_back(static_cast<char>(forms[c] >> (8 * k)));
      }
      expected.AddLine(line, text.End(i));
    }
    if (round % 2) text.Reserve(bytes.size() * 4, text.size());
    text.Expand(forms, lengths, replaced);
    ASSERT_EQ(text, expected) << round;
  }
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Rewriting a text in place, runs of lines kept or dropped and shorter
// lines added where dropped ones were (each shortened, or a run joined into
// one), gives the text that building it anew line by line gives.
TEST(Text, RewritingInPlaceAgreesWithBuildingTheTextAnew) {
  std::mt19937 random(13);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 80, ' ');
    for (char& c : bytes) c = "abc\r\n"[random() % 5];
    Text text = Text::FromBytes(bytes);
    const Text source = text;
    Text expected;
    Text::Rewriter rewriter(text);
    std::size_t next = 0;
    while (next < source.size() && random() % 8 != 0) {
      const std::size_t count = std::min<std::size_t>(1 + random() % 3, source.size() - next);
      ASSERT_EQ(rewriter.Next(), source[next]) << bytes;  // the line to read, whatever was written
      if (random() % 2) {
        rewriter.Keep(count);
        expected.AppendLines(source, next, next + count);
      } else {
        rewriter.Drop(count);
        // Each line shortened, or the run joined into one line that takes
        // the break of its last.
        const bool join = random() % 2;
        std::string joined;
        for (std::size_t i = next; i < next + count; ++i) {
          const std::string half(source[i].substr(0, source[i].size() / 2));
          if (join) {
            joined += half;
          } else {
            rewriter.Add(half, source.End(i));
            expected.AddLine(half, source.End(i));
          }
        }
        if (join) {
          rewriter.Add(joined, source.End(next + count - 1));
          expected.AddLine(joined, source.End(next + count - 1));
        }
      }
      next += count;
    }
    rewriter.Finish();
    expected.AppendLines(source, next, source.size());
    ASSERT_EQ(text, expected) << bytes;
  }
}

}  // namespace
}  // namespace kamvo
