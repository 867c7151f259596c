#include "codepages/lines.h"

#include <cstring>

namespace kamvo {

Lines SplitLines(std::string_view text) {
  Lines lines;
  std::size_t start = 0;
  const std::size_t n = text.size();
  while (start < n) {
    std::size_t i = start;
    while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
    lines.emplace_back(text.substr(start, i - start));
    if (i < n && text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
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
    text += line;
    text += lineBreak;
  }
  return text;
}

LineBreakStyle DetectLineBreakStyle(std::string_view text) {
  LineBreakStyle style;
  const std::size_t first = text.find_first_of("\r\n");
  if (first != std::string_view::npos) {
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

std::string JoinLines(const Lines& lines, const LineBreakStyle& style) {
  std::string text = JoinLines(lines, std::string_view(style.Break));
  if (!style.FinalBreak && !lines.empty()) text.resize(text.size() - style.Break.size());
  return text;
}

bool HasBreakInside(const Lines& lines) {
  for (const auto& line : lines)
    if (line.find_first_of("\r\n") != std::string::npos) return true;
  return false;
}

Lines Resplit(Lines lines) {
  if (!HasBreakInside(lines)) return lines;
  Lines result;
  result.reserve(lines.size());
  for (auto& line : lines) {
    if (line.find_first_of("\r\n") == std::string::npos) {
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
