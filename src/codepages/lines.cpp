#include "codepages/lines.h"

#include <algorithm>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

LineBreakStyle DetectLineBreakStyle(std::string_view text) {
  LineBreakStyle style;
  const std::size_t first = FindLineBreak(text);
  if (first != text.size()) {
    if (text[first] == '\n')
      style.Break = "\n";
    else if (first + 1 < text.size() && text[first + 1] == '\n')
      style.Break = "\r\n";
    else
      style.Break = "\r";
  }
  style.FinalBreak = !text.empty() && (text.back() == '\n' || text.back() == '\r');
  return style;
}

bool BreaksAlike(std::string_view text, const LineBreakStyle& style) {
  const char* data = text.data();
  const char* const end = data + text.size();
  if (style.Break == "\n") return text.empty() || std::memchr(data, '\r', text.size()) == nullptr;
  if (style.Break == "\r") return text.empty() || std::memchr(data, '\n', text.size()) == nullptr;
  if (style.Break != "\r\n") return false;
  // Every CR is followed by an LF, and every LF follows a CR.
  for (const char* p = data; p < end; p += 2) {
    p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (p + 1 == end || p[1] != '\n') return false;
  }
  for (const char* p = data; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (p == data || p[-1] != '\r') return false;
  }
  return true;
}

std::string JoinLines(const Lines& lines, const LineBreakStyle& style) {
  std::string text = JoinLines(lines, std::string_view(style.Break));
  if (!style.FinalBreak && !lines.empty()) text.resize(text.size() - style.Break.size());
  return text;
}

bool JoinsTo(const Lines& lines, const LineBreakStyle& style, std::string_view text) {
  const std::string_view lineBreak(style.Break);
  std::size_t at = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (text.size() - at < line.size() || text.compare(at, line.size(), line) != 0) return false;
    at += line.size();
    if (k + 1 == lines.size() && !style.FinalBreak) break;
    if (text.size() - at < lineBreak.size() || text.compare(at, lineBreak.size(), lineBreak) != 0)
      return false;
    at += lineBreak.size();
  }
  return at == text.size();
}

namespace {

// Joins lines with breakAfter(k) after line k, freeing each line once it is
// joined (see TakeJoinedLines).
template <typename BreakAfter>
std::string TakeJoined(Lines& lines, BreakAfter breakAfter) {
  std::size_t total = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) total += lines[k].size() + breakAfter(k).size();
  std::string text;
  text.reserve(total);
  // Small blocks freed by the allocator stay with the process until it is
  // asked to return them; every few megabytes it is.
  constexpr std::size_t kReleaseEvery = 2 << 20;
  std::size_t freed = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    text.append(lines[k]);
    text.append(breakAfter(k));
    freed += lines[k].capacity();
    std::string().swap(lines[k]);
    if (freed >= kReleaseEvery) {
#if defined(__GLIBC__)
      malloc_trim(0);
#endif
      freed = 0;
    }
  }
  Lines().swap(lines);
  return text;
}

}  // namespace

std::string TakeJoinedLines(Lines& lines, const LineBreakStyle& style) {
  const std::string_view lineBreak(style.Break);
  const std::size_t last = lines.size() - 1;
  return TakeJoined(lines, [&](std::size_t k) {
    return k < last || style.FinalBreak ? lineBreak : std::string_view();
  });
}

std::vector<LineEnd> LineEndsOf(std::string_view text) {
  std::vector<LineEnd> ends;
  const std::size_t n = text.size();
  std::size_t start = 0;
  while (start < n) {
    std::size_t i = FindLineBreak(text, start);
    if (i == n) {
      ends.push_back(LineEnd::None);
    } else if (text[i] == '\n') {
      ends.push_back(LineEnd::Lf);
    } else if (i + 1 < n && text[i + 1] == '\n') {
      ends.push_back(LineEnd::CrLf);
      ++i;
    } else {
      ends.push_back(LineEnd::Cr);
    }
    start = i + 1;
  }
  return ends;
}

std::string TakeJoinedLines(Lines& lines, const std::vector<LineEnd>& ends) {
  return TakeJoined(lines, [&](std::size_t k) -> std::string_view {
    switch (ends[k]) {
      case LineEnd::Lf: return "\n";
      case LineEnd::CrLf: return "\r\n";
      case LineEnd::Cr: return "\r";
      default: return "";
    }
  });
}

bool HasBreakInside(const Lines& lines) {
  for (const auto& line : lines)
    if (FindLineBreak(line) != line.size()) return true;
  return false;
}

Lines Resplit(Lines lines) {
  if (!HasBreakInside(lines)) return lines;
  Lines result;
  result.reserve(lines.size());
  for (auto& line : lines) {
    if (FindLineBreak(line) == line.size()) {
      result.push_back(std::move(line));
      continue;
    }
    // The editor receives the line followed by CR LF: a break at its very
    // end therefore leaves an empty line behind it.
    Lines parts = SplitLines(line + "\r\n");
    for (auto& part : parts) result.push_back(std::move(part));
  }
  return result;
}

}  // namespace kamvo
