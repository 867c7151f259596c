#include "codepages/lines.h"

#include <gtest/gtest.h>

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

TEST(Lines, BreakStyleRoundTrip) {
  for (const std::string text : {"", "a", "a\n", "a\nb", "a\r\nb\r\n", "a\rb\r", "\n\n", "a\n\nb\n\n"}) {
    EXPECT_EQ(JoinLines(SplitLines(text), DetectLineBreakStyle(text)), text) << text;
  }
  const LineBreakStyle mixed = DetectLineBreakStyle("a\r\nb\nc");
  EXPECT_EQ(mixed.Break, "\r\n");
  EXPECT_FALSE(mixed.FinalBreak);
  EXPECT_EQ(DetectLineBreakStyle("none").Break, "\n");
}

TEST(Lines, ResplitActsLikeAnEditorLoadingTheLines) {
  EXPECT_EQ(Resplit({"a", "b"}), (Lines{"a", "b"}));
  EXPECT_EQ(Resplit({"a\r\nb", "c"}), (Lines{"a", "b", "c"}));
  EXPECT_EQ(Resplit({"a\r", "b"}), (Lines{"a", "", "b"}));
  EXPECT_EQ(Resplit({"\nx"}), (Lines{"", "x"}));
  EXPECT_EQ(Resplit({"a\n\rb"}), (Lines{"a", "", "b"}));
  // The same as joining with CR LF and splitting the whole text.
  const Lines tricky = {"x\r", "\n", "y\r\r\n", ""};
  EXPECT_EQ(Resplit(tricky), SplitLines(JoinLines(tricky)));
}

}  // namespace
}  // namespace kamvo
