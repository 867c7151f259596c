#include "decoders/text_lines.h"

#include "codepages/byte_scan.h"

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
  if (text.End(i) != LineEnd::None) return text.End(i);
  return i > 0 && text.End(i - 1) != LineEnd::None ? text.End(i - 1) : LineEnd::Lf;
}

bool HasBreakInLines(const Text& text) {
  const std::string_view bytes = text.Bytes();
  std::size_t breakBytes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) breakBytes += BreakBytes(text.End(i)).size();
  return CountByte(bytes, '\r') + CountByte(bytes, '\n') != breakBytes;
}

void SplitBreaksInLines(Text& text) {
  if (!HasBreakInLines(text)) return;
  Text split;
  split.Reserve(text.Bytes().size() + text.size(), text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view line = text[i];
    const LineEnd pieces = BreakOfPieces(text, i);
    std::size_t start = 0;
    for (std::size_t at = FindLineBreak(line); at < line.size(); at = FindLineBreak(line, start)) {
      split.AddLine(line.substr(start, at - start), pieces);
      start = at + (line[at] == '\r' && at + 1 < line.size() && line[at + 1] == '\n' ? 2 : 1);
    }
    split.AddLine(line.substr(start), text.End(i));
  }
  text.swap(split);
}

}  // namespace kamvo
