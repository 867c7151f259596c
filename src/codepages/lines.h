// The shared representation of a text: Windows-1251 bytes in lines without
// line-break characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/byte_scan.h"

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

// True when every line break of text is the style's break, so that
// splitting the text and joining its lines the way the style says gives back
// the same bytes.
bool BreaksAlike(std::string_view text, const LineBreakStyle& style);

// Joins lines the way the style says, so that splitting a text and joining
// its lines again gives back the same bytes when all breaks are alike.
std::string JoinLines(const Lines& lines, const LineBreakStyle& style);

// True when JoinLines(lines, style) would give exactly text; builds nothing.
bool JoinsTo(const Lines& lines, const LineBreakStyle& style, std::string_view text);

// JoinLines(lines, style), emptying the list as it goes and giving the
// memory of the lines already joined back to the system, so that the text
// and its lines are never held in full at the same time.
std::string TakeJoinedLines(Lines& lines, const LineBreakStyle& style);

// The break that ends a line: none (the last line of a text without a
// final break), LF, CR LF or CR.
enum class LineEnd : unsigned char { None, Lf, CrLf, Cr };

// The break after each line of a text, one per line as SplitLines splits it.
std::vector<LineEnd> LineEndsOf(std::string_view text);

// Joins lines, each followed by its own break (ends holds one per line),
// emptying the list as TakeJoinedLines does: a text split with SplitLines
// and LineEndsOf comes back byte for byte, mixed breaks included.
std::string TakeJoinedLines(Lines& lines, const std::vector<LineEnd>& ends);

// True when some line holds a CR or an LF.
bool HasBreakInside(const Lines& lines);

// Re-splits lines that hold a CR or LF, as an editor would after loading
// them with a break after every line.
Lines Resplit(Lines lines);

}  // namespace kamvo
