#include "codepages/text.h"

#include <cstring>

#include "codepages/byte_scan.h"

namespace kamvo {

std::string_view BreakBytes(LineEnd end) {
  switch (end) {
    case LineEnd::Lf: return "\n";
    case LineEnd::CrLf: return "\r\n";
    case LineEnd::Cr: return "\r";
    case LineEnd::None: break;
  }
  return {};
}

Text::Text(std::initializer_list<std::string_view> lines) {
  std::size_t bytes = 0;
  for (std::string_view line : lines) bytes += line.size() + 1;
  Reserve(bytes, lines.size());
  for (std::string_view line : lines) AddLine(line, LineEnd::Lf);
}

Text Text::FromBytes(std::string bytes) {
  Text text;
  const std::size_t n = bytes.size();
  const char* data = bytes.data();
  const auto add = [&text](std::size_t contentEnd, LineEnd end) {
    text.index_.push_back(static_cast<std::uint64_t>(contentEnd) << 2 | static_cast<std::uint64_t>(end));
  };
  if (n > 0 && std::memchr(data, '\r', n) == nullptr) {
    // Most texts break their lines with LF alone; the C library's search
    // for one byte finds them fastest.
    text.index_.reserve(CountByte(bytes, '\n') + (data[n - 1] != '\n' ? 1 : 0));
    std::size_t start = 0;
    while (start < n) {
      const void* lf = std::memchr(data + start, '\n', n - start);
      if (lf == nullptr) {
        add(n, LineEnd::None);
        break;
      }
      const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
      add(end, LineEnd::Lf);
      start = end + 1;
    }
  } else {
    std::size_t start = 0;
    while (start < n) {
      const std::size_t i = FindLineBreak(bytes, start);
      if (i == n) {
        add(n, LineEnd::None);
        break;
      }
      if (data[i] == '\n') {
        add(i, LineEnd::Lf);
        start = i + 1;
      } else if (i + 1 < n && data[i + 1] == '\n') {
        add(i, LineEnd::CrLf);
        start = i + 2;
      } else {
        add(i, LineEnd::Cr);
        start = i + 1;
      }
    }
  }
  text.bytes_ = std::move(bytes);
  return text;
}

Text Text::FromLines(const Lines& lines, LineEnd end) {
  std::size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + BreakBytes(end).size();
  Text text;
  text.Reserve(bytes, lines.size());
  for (const std::string& line : lines) text.AddLine(line, end);
  return text;
}

std::string Text::TakeBytes() {
  std::string bytes = std::move(bytes_);
  clear();
  return bytes;
}

void Text::Reserve(std::size_t bytes, std::size_t lines) {
  bytes_.reserve(bytes);
  index_.reserve(lines);
}

void Text::OpenLine() {
  if (open_) return;
  open_ = true;
  if (!index_.empty() && End(index_.size() - 1) == LineEnd::None) {
    index_.back() |= static_cast<std::uint64_t>(LineEnd::Lf);
    bytes_.push_back('\n');
  }
}

void Text::EndLine(LineEnd end) {
  OpenLine();
  index_.push_back(static_cast<std::uint64_t>(bytes_.size()) << 2 | static_cast<std::uint64_t>(end));
  bytes_.append(BreakBytes(end));
  open_ = false;
}

std::size_t Text::ClosedEnd() const {
  return index_.empty() ? 0 : ContentEnd(size() - 1) + BreakBytes(End(size() - 1)).size();
}

void Text::PopLine() {
  if (open_) {
    bytes_.resize(ClosedEnd());
    open_ = false;
  } else if (!index_.empty()) {
    bytes_.resize(Begin(index_.size() - 1));
    index_.pop_back();
  }
}

void Text::clear() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  index_.clear();
  index_.shrink_to_fit();
  open_ = false;
}

void Text::swap(Text& other) noexcept {
  bytes_.swap(other.bytes_);
  index_.swap(other.index_);
  std::swap(open_, other.open_);
}

bool Text::Translate(const CodeTable& table) {
  if (table['\r'] == '\r' && table['\n'] == '\n') {
    // The breaks convert to themselves: the whole block goes at once.
    return TranslateBytes(bytes_.data(), ClosedEnd(), table.data());
  }
  bool changed = false;
  for (std::size_t i = 0; i < size(); ++i)
    changed = TranslateBytes(MutableLine(i), ContentEnd(i) - Begin(i), table.data()) || changed;
  return changed;
}

Lines ToLines(const Text& text) {
  Lines lines;
  lines.reserve(text.size());
  for (std::string_view line : text) lines.emplace_back(line);
  return lines;
}

std::vector<LineEnd> BreaksOf(const Text& text) {
  std::vector<LineEnd> ends;
  ends.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) ends.push_back(text.End(i));
  return ends;
}

void SetBreaks(Text& text, const std::vector<LineEnd>& ends) {
  const bool paired = ends.size() == text.size();
  const LineEnd style = ends.empty() || ends.front() == LineEnd::None ? LineEnd::Lf : ends.front();
  const bool finalBreak = ends.empty() || ends.back() != LineEnd::None;
  const auto endOf = [&](std::size_t i) {
    if (paired) return ends[i];
    return i + 1 == text.size() && !finalBreak ? LineEnd::None : style;
  };
  bool alike = true;
  for (std::size_t i = 0; i < text.size() && alike; ++i) alike = text.End(i) == endOf(i);
  if (alike) return;
  Text result;
  result.Reserve(text.Bytes().size() + text.size(), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) result.AddLine(text[i], endOf(i));
  text.swap(result);
}

std::string JoinLines(const Text& text, std::string_view lineBreak) {
  std::string joined;
  joined.reserve(text.Bytes().size() + text.size() * lineBreak.size());
  for (std::string_view line : text) {
    joined.append(line);
    joined.append(lineBreak);
  }
  return joined;
}

bool HasBreakInside(const Text& text) {
  // The breaks that end the lines hold this many CRs and LFs; any more in
  // the bytes are inside a line.
  std::size_t crs = 0, lfs = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const LineEnd end = text.End(i);
    crs += end == LineEnd::Cr || end == LineEnd::CrLf;
    lfs += end == LineEnd::Lf || end == LineEnd::CrLf;
  }
  const std::string_view bytes = text.Bytes();
  return CountByte(bytes, '\n') != lfs || CountByte(bytes, '\r') != crs;
}

Text Resplit(Text text) {
  if (!HasBreakInside(text)) return text;
  Text result;
  result.Reserve(text.Bytes().size() + text.Bytes().size() / 16, text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view line = text[i];
    const LineEnd end = text.End(i);
    if (FindLineBreak(line) == line.size()) {
      result.AddLine(line, end);
      continue;
    }
    const LineEnd inner = end != LineEnd::None ? end : i > 0 ? text.End(i - 1) : LineEnd::Lf;
    const Lines parts = SplitLines(std::string(line) + "\r\n");
    for (std::size_t k = 0; k < parts.size(); ++k) result.AddLine(parts[k], k + 1 == parts.size() ? end : inner);
  }
  return result;
}

}  // namespace kamvo
