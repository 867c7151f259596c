// Texts whose lines end in every kind of break, for the tests that a stage
// keeps each line's own break where it keeps the line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "codepages/lines.h"
#include "codepages/text.h"

namespace kamvo::testing {

// The breaks given in turn to the lines of MixedBreaks.
inline constexpr LineEnd kMixedEnds[] = {LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr, LineEnd::Lf, LineEnd::CrLf};

// The lines, ended by CR LF, LF, CR, ... in turn and the last one by none.
inline Text MixedBreaks(const Lines& lines) {
  Text text;
  for (std::size_t i = 0; i < lines.size(); ++i)
    text.AddLine(lines[i], i + 1 == lines.size() ? LineEnd::None : kMixedEnds[i % std::size(kMixedEnds)]);
  return text;
}

// The break of every line.
inline std::vector<LineEnd> EndsOf(const Text& text) {
  std::vector<LineEnd> ends;
  for (std::size_t i = 0; i < text.size(); ++i) ends.push_back(text.End(i));
  return ends;
}

// The lines, each followed by its break.
inline std::string JoinedWith(const Lines& lines, const std::vector<LineEnd>& ends) {
  std::string bytes;
  for (std::size_t i = 0; i < lines.size(); ++i) bytes += lines[i] + std::string(BreakBytes(ends[i]));
  return bytes;
}

}  // namespace kamvo::testing
