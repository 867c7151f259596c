// A small list of separate lines (report lines, table rows), and the break
// that ends a line. A whole text is held as a Text (codepages/text.h).
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

// The break that ends a line: none (the last line of a text without a
// final break), LF, CR LF or CR.
enum class LineEnd : unsigned char { None, Lf, CrLf, Cr };

}  // namespace kamvo
