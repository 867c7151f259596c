// What the decoding stages share in their work on a Text: reading only the
// lines a search of the whole block points at, and the break of the lines
// a decoder makes out of one.
#pragma once

#include <cstddef>
#include <string_view>

#include "codepages/text.h"

namespace kamvo {

// The line of text whose bytes (its break excluded) hold the position `at`
// of text.Bytes(), looked for from line `from` on; text.size() when `at`
// lies after every line's bytes.
std::size_t LineAt(const Text& text, std::size_t at, std::size_t from = 0);

// True when judge(line) holds for every line of text that holds a position
// find(bytes, from) gives, where bytes is text.Bytes() and find gives the
// first such position at or after from, or npos. The positions must never
// be those of a break. Only those lines are looked at, each once and whole.
template <typename Find, typename Judge>
bool EveryTextLineHolding(const Text& text, Find find, Judge judge) {
  const std::string_view bytes = text.Bytes();
  std::size_t line = 0;
  for (std::size_t at = find(bytes, 0); at != std::string_view::npos;) {
    line = LineAt(text, at, line);
    if (line == text.size()) return true;
    if (!judge(text[line])) return false;
    if (++line == text.size()) return true;
    at = find(bytes, text.Begin(line));
  }
  return true;
}

// The break given to the lines a decoder makes out of line i of text (see
// BreakOfPieces in codepages/text.h).
LineEnd BreakOfPieces(const Text& text, std::size_t i);

}  // namespace kamvo
