// Lines that hold breaks of their own (made by a decoding stage) split as
// the editor splits them, and breaks given back to lines from an editor.
#include <gtest/gtest.h>

#include "support/plain_lines.h"

#include "codepages/text.h"

namespace kamvo {
namespace {

// The line list's own functions are the model: for a text whose breaks are
// all alike the text's give the same lines and the same bytes.
TEST(Text, ResplitSplitsAsTheLineListDoesAndKeepsEachLinesBreak) {
  const std::vector<Lines> cases = {
      {}, {"a"}, {"a\nb"}, {"a\r\nb", "c"}, {"a\r"}, {"\n"}, {"x", "a\rb\nc"}, {"a\n", "", "b\r\n"}, {"", ""}};
  for (const Lines& lines : cases) {
    for (const LineEnd end : {LineEnd::Lf, LineEnd::CrLf, LineEnd::Cr}) {
      const Text text = Text::FromLines(lines, end);
      EXPECT_EQ(HasBreakInside(text), HasBreakInside(lines)) << JoinLines(lines, "|");
      const Text split = Resplit(text);
      EXPECT_FALSE(HasBreakInside(split));
      EXPECT_EQ(ToLines(split), Resplit(lines)) << JoinLines(lines, "|");
      EXPECT_EQ(split.Bytes(), JoinLines(Resplit(lines), BreakBytes(end))) << JoinLines(lines, "|");
    }
  }
  // Mixed breaks: the parts of a line take its break; those of a last line
  // without one take the break before it.
  Text text = Text::FromBytes("a\r\n");
  text.AddLine("b\nc", LineEnd::Cr);
  text.AddLine("d\re", LineEnd::None);
  EXPECT_EQ(Resplit(text).Bytes(), "a\r\nb\rc\rd\re");
  EXPECT_EQ(Resplit(text).size(), 5u);
}

TEST(Text, SetBreaksGivesEachLineItsOwnOrTheFirstBreakToAll) {
  Text text{"a", "b", "c"};
  SetBreaks(text, {LineEnd::CrLf, LineEnd::Cr, LineEnd::None});
  EXPECT_EQ(text.Bytes(), "a\r\nb\rc");
  EXPECT_EQ(BreaksOf(text), (std::vector<LineEnd>{LineEnd::CrLf, LineEnd::Cr, LineEnd::None}));
  // Another number of lines: the first break for all, and none at the end
  // when the last had none.
  SetBreaks(text, {LineEnd::Cr, LineEnd::None});
  EXPECT_EQ(text.Bytes(), "a\rb\rc");
  SetBreaks(text, {LineEnd::None});
  EXPECT_EQ(text.Bytes(), "a\nb\nc");
  SetBreaks(text, {LineEnd::CrLf, LineEnd::Lf});
  EXPECT_EQ(text.Bytes(), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(JoinLines(text, "|"), "a|b|c|");
}

}  // namespace
}  // namespace kamvo
