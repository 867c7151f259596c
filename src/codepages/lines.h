// The shared representation of a text: Windows-1251 bytes in lines without
// line-break characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kamvo {

using Lines = std::vector<std::string>;

// Splits a text at CR LF, LF and CR. A break at the very end does not start
// an extra empty line, so "a\r\nb\r\n" and "a\r\nb" both give {"a", "b"}
// and "" gives no line at all.
Lines SplitLines(std::string_view text);

// Joins lines with `lineBreak` after every line (also after the last one).
std::string JoinLines(const Lines& lines, std::string_view lineBreak = "\r\n");

// How a file breaks its lines: the break its first line ends with (LF when
// it has none) and whether its last line ends with a break.
struct LineBreakStyle {
  std::string Break = "\n";
  bool FinalBreak = true;
};
LineBreakStyle DetectLineBreakStyle(std::string_view text);

// Joins lines the way the style says, so that splitting a text and joining
// its lines again gives back the same bytes when all breaks are alike.
std::string JoinLines(const Lines& lines, const LineBreakStyle& style);

// True when some line holds a CR or an LF.
bool HasBreakInside(const Lines& lines);

// Re-splits lines that hold a CR or LF, as an editor would after loading
// them with a break after every line.
Lines Resplit(Lines lines);

}  // namespace kamvo
