#include "decoders/text_lines.h"

namespace kamvo {

std::size_t LineAt(const Text& text, std::size_t at, std::size_t from) {
  // The lines close by are tried first: a search through the block moves
  // forward mostly a line or a few at a time. Then the step doubles until
  // it passes `at`, and halving finds the line.
  std::size_t low = from, step = 1;
  const std::size_t count = text.size();
  while (low < count && text.ContentEnd(low) < at) {
    const std::size_t probe = low + step;
    if (probe >= count || text.ContentEnd(probe) >= at) {
      // The line lies in (low, min(probe, count - 1)].
      std::size_t high = probe < count ? probe : count;
      ++low;
      while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (text.ContentEnd(middle) < at)
          low = middle + 1;
        else
          high = middle;
      }
      return low;
    }
    low = probe + 1;
    step *= 2;
  }
  return low;
}

LineEnd BreakOfPieces(const Text& text, std::size_t i) {
  return BreakOfPieces(text.End(i), i > 0 ? text.End(i - 1) : LineEnd::None);
}

}  // namespace kamvo
