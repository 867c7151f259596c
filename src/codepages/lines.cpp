#include "codepages/lines.h"

#include <algorithm>
#include <cstring>

namespace kamvo {

namespace {

// The number of lines SplitLines makes of the text, so that the list is
// allocated once at its final size.
std::size_t CountLines(std::string_view text) {
  std::size_t count = 0;
  std::size_t start = 0;
  const std::size_t n = text.size();
  while (start < n) {
    std::size_t i = FindLineBreak(text, start);
    ++count;
    if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return count;
}

}  // namespace

Lines SplitLines(std::string_view text) {
  Lines lines;
  const std::size_t n = text.size();
  const char* data = text.data();
  // Most texts here break their lines with LF alone. Without a CR anywhere
  // the C library's search for a byte, the fastest there is, finds them.
  if (n == 0 || std::memchr(data, '\r', n) == nullptr) {
    lines.reserve(CountByte(text, '\n') + (n > 0 && data[n - 1] != '\n' ? 1 : 0));
    std::size_t start = 0;
    while (start < n) {
      const void* lf = std::memchr(data + start, '\n', n - start);
      const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) : n;
      lines.emplace_back(data + start, end - start);
      start = end + 1;
    }
    return lines;
  }
  lines.reserve(CountLines(text));
  std::size_t start = 0;
  while (start < n) {
    std::size_t i = FindLineBreak(text, start);
    lines.emplace_back(text.substr(start, i - start));
    if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

std::string JoinLines(const Lines& lines, std::string_view lineBreak) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + lineBreak.size();
  std::string text;
  text.reserve(total);
  for (const auto& line : lines) {
    text.append(line);
    text.append(lineBreak);
  }
  return text;
}

}  // namespace kamvo
