// Line-list versions of what Text does with breaks, kept as the plain
// versions the tests compare Text with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "codepages/lines.h"

namespace kamvo {

// The break after each line of a text, one per line as SplitLines splits it.
inline std::vector<LineEnd> LineEndsOf(std::string_view text) {
  std::vector<LineEnd> ends;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t lineBreak = text.find_first_of("\r\n", i);
    if (lineBreak == std::string_view::npos) {
      ends.push_back(LineEnd::None);
      break;
    }
    i = lineBreak;
    if (text[i] == '\n') {
      ends.push_back(LineEnd::Lf);
    } else if (i + 1 < text.size() && text[i + 1] == '\n') {
      ends.push_back(LineEnd::CrLf);
      ++i;
    } else {
      ends.push_back(LineEnd::Cr);
    }
  }
  return ends;
}

// True when some line holds a CR or an LF.
inline bool HasBreakInside(const Lines& lines) {
  for (const std::string& line : lines)
    if (line.find_first_of("\r\n") != std::string::npos) return true;
  return false;
}

// Re-splits lines that hold a CR or LF, as an editor does that receives
// every line followed by CR LF.
inline Lines Resplit(const Lines& lines) {
  Lines result;
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") == std::string::npos) {
      result.push_back(line);
      continue;
    }
    for (std::string& part : SplitLines(line + "\r\n")) result.push_back(std::move(part));
  }
  return result;
}

}  // namespace kamvo
