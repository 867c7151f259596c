#include "codepages/text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codepages/byte_scan.h"

namespace kamvo {

Text::Text(std::initializer_list<std::string_view> lines) {
  std::size_t bytes = 0;
  for (std::string_view line : lines) bytes += line.size() + 1;
  Reserve(bytes, lines.size());
  for (std::string_view line : lines) AddLine(line, LineEnd::Lf);
}

namespace {

// The bytes are searched for breaks 64 at a time (the compiler's vector
// types map onto the machine's vector registers, or onto plain words where
// there are none), so that a text of short lines costs no call per line.
using Block = unsigned char __attribute__((vector_size(16)));

// One bit per byte of the 64 bytes at p (bit k for p[k]), set for CR and LF.
inline std::uint64_t BreakBits(const char* p) {
  std::uint64_t bits = 0;
  for (std::size_t k = 0; k < 64; k += sizeof(Block)) {
    Block b;
    std::memcpy(&b, p + k, sizeof b);
    const Block mask = (b == '\n') | (b == '\r');
#if defined(__SSE2__)
    __m128i lanes;
    std::memcpy(&lanes, &mask, sizeof lanes);
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lanes))) << k;
#else
    for (std::size_t j = 0; j < sizeof(Block); ++j)
      if (mask[j]) bits |= std::uint64_t{1} << (k + j);
#endif
  }
  return bits;
}

}  // namespace

Text Text::FromBytes(std::string bytes) {
  Text text;
  const std::size_t n = bytes.size();
  const char* data = bytes.data();
  // As many lines as breaks of the commoner kind (exactly so when the
  // breaks are alike), and one more for a last line without one.
  text.index_.reserve(std::max(CountByte(bytes, '\n'), CountByte(bytes, '\r')) + 1);
  std::size_t start = 0;  // where the line being read begins
  // A break at k; the LF of a CR LF, already taken with its CR, lies
  // before `start`.
  const auto take = [&](std::size_t k) {
    if (k < start) return;
    LineEnd end = LineEnd::Lf;
    if (data[k] == '\r') end = k + 1 < n && data[k + 1] == '\n' ? LineEnd::CrLf : LineEnd::Cr;
    text.index_.push_back(static_cast<std::uint64_t>(k) << 2 | static_cast<std::uint64_t>(end));
    start = k + BreakBytes(end).size();
  };
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64)
    for (std::uint64_t bits = BreakBits(data + i); bits != 0; bits &= bits - 1)
      take(i + static_cast<std::size_t>(__builtin_ctzll(bits)));
  for (; i < n; ++i)
    if (data[i] == '\n' || data[i] == '\r') take(i);
  // A break at the very end starts no extra line.
  if (start < n) text.index_.push_back(static_cast<std::uint64_t>(n) << 2 | static_cast<std::uint64_t>(LineEnd::None));
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

void Text::AppendLines(const Text& other, std::size_t first, std::size_t last) {
  if (first >= last) return;
  // A line being built takes the first line's bytes, and a last line
  // without a break gets one: AddLine knows how.
  if (open_ || (!index_.empty() && End(size() - 1) == LineEnd::None)) {
    AddLine(other[first], other.End(first));
    if (++first == last) return;
  }
  // Only the last line of `other` goes without a break, so its bytes from
  // the first line's start to the last line's break are the lines as AddLine
  // writes them; each line's end moves by where they now start.
  const std::size_t from = other.Begin(first);
  const std::size_t to = other.ContentEnd(last - 1) + BreakBytes(other.End(last - 1)).size();
  // Unsigned arithmetic wraps, so a shift to the left works too.
  const std::uint64_t shift = static_cast<std::uint64_t>(bytes_.size() - from) << 2;
  bytes_.append(other.bytes_, from, to - from);
  // resize grows the index geometrically, so that many short runs cost no
  // reallocation each.
  const std::size_t at = index_.size();
  index_.resize(at + (last - first));
  for (std::size_t i = first; i < last; ++i) index_[at + (i - first)] = other.index_[i] + shift;
}

void Text::Rewriter::Read(std::size_t count) {
  readLine_ += count;
  if (count > 0) {
    const std::size_t last = readLine_ - 1;
    readByte_ = text_.ContentEnd(last) + BreakBytes(text_.End(last)).size();
  }
}

void Text::Rewriter::Keep(std::size_t count) {
  if (count == 0) return;
  const std::size_t from = readByte_;
  const std::size_t first = readLine_;
  Read(count);
  BreakLastWritten();
  if (from == writeByte_ && first == writeLine_) {
    // Nothing deleted so far: the lines are already where they belong.
    writeByte_ = readByte_;
    writeLine_ = readLine_;
    return;
  }
  std::memmove(text_.bytes_.data() + writeByte_, text_.bytes_.data() + from, readByte_ - from);
  // Entries are read before they are written over: the writing lags.
  const std::uint64_t shift = static_cast<std::uint64_t>(writeByte_ - from) << 2;
  for (std::size_t i = first; i < readLine_; ++i) text_.index_[writeLine_++] = text_.index_[i] + shift;
  writeByte_ += readByte_ - from;
}

void Text::Rewriter::BreakLastWritten() {
  if (writeLine_ > 0 && text_.End(writeLine_ - 1) == LineEnd::None) {
    // The line written last was to end the text; one follows it now.
    text_.index_[writeLine_ - 1] |= static_cast<std::uint64_t>(LineEnd::Lf);
    text_.bytes_[writeByte_++] = '\n';
  }
}

void Text::Rewriter::Drop(std::size_t count) { Read(count); }

void Text::Rewriter::Add(std::string_view line, LineEnd end) {
  BreakLastWritten();
  if (!line.empty()) std::memcpy(text_.bytes_.data() + writeByte_, line.data(), line.size());
  writeByte_ += line.size();
  text_.index_[writeLine_++] = static_cast<std::uint64_t>(writeByte_) << 2 | static_cast<std::uint64_t>(end);
  const std::string_view brk = BreakBytes(end);
  if (!brk.empty()) std::memcpy(text_.bytes_.data() + writeByte_, brk.data(), brk.size());
  writeByte_ += brk.size();
}

void Text::Rewriter::Finish() {
  Keep(text_.size() - readLine_);
  text_.bytes_.resize(writeByte_);
  text_.index_.resize(writeLine_);
  text_.open_ = false;
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

void Text::Expand(const std::array<std::uint32_t, 256>& forms, const std::array<std::uint8_t, 256>& lengths) {
  Expand(forms, lengths, {});
}

void Text::Expand(const std::array<std::uint32_t, 256>& forms, const std::array<std::uint8_t, 256>& lengths,
                  std::span<const LineBytes> replaced) {
  static_assert(std::endian::native == std::endian::little, "whole words are stored low byte first");
  const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
  // How much the bytes grow, from how often each byte occurs (four counts
  // side by side, so that no count waits for the one before); each replaced
  // line then takes its own bytes' length instead of its forms'.
  std::array<std::array<std::uint64_t, 256>, 4> counts{};
  const std::size_t total = bytes_.size();
  std::size_t k = 0;
  for (; k + 4 <= total; k += 4) {
    ++counts[0][data[k]];
    ++counts[1][data[k + 1]];
    ++counts[2][data[k + 2]];
    ++counts[3][data[k + 3]];
  }
  for (; k < total; ++k) ++counts[0][data[k]];
  std::size_t grown = 0;
  for (int b = 0; b < 256; ++b)
    grown += (counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b]) * (lengths[b] - 1u);
  for (const LineBytes& line : replaced) {
    const std::size_t begin = Begin(line.Line), end = ContentEnd(line.Line);
    grown += line.Bytes.size() - (end - begin);
    for (std::size_t j = begin; j < end; ++j) grown -= lengths[data[j]] - 1u;
  }
  if (grown == 0 && replaced.empty()) return;
  std::size_t read = bytes_.size();
  bytes_.resize(read + grown);
  auto* out = reinterpret_cast<unsigned char*>(bytes_.data());
  std::size_t write = bytes_.size();
  // From the end: the writing never falls behind the reading (no line
  // shrinks), and while it is four bytes ahead a whole word may be stored,
  // its spare bytes landing where the next forms will go.
  // Per byte, its form moved to the top of a word (so that the word ends
  // where the form ends) and, above it, the form's length: one load each.
  std::array<std::uint64_t, 256> packed;
  for (int b = 0; b < 256; ++b)
    packed[b] = static_cast<std::uint64_t>(lengths[b]) << 32 | (forms[b] << (8 * (4 - lengths[b])));
  const auto convertDownTo = [&](std::size_t stop) {
    while (read > stop && write - read >= 4) {
      const std::uint64_t entry = packed[out[--read]];
      const auto word = static_cast<std::uint32_t>(entry);
      std::memcpy(out + write - 4, &word, 4);
      write -= entry >> 32;
    }
    while (read > stop) {
      const unsigned char b = out[--read];
      const unsigned length = lengths[b];
      write -= length;
      for (unsigned k = 0; k < length; ++k) out[write + k] = static_cast<unsigned char>(forms[b] >> (8 * k));
    }
  };
  std::size_t last = replaced.size();  // replaced[last - 1] is the next one going back
  for (std::size_t i = index_.size(); i-- > 0;) {
    const std::size_t end = ContentEnd(i);
    const std::size_t lineBegin = i == 0 ? 0 : ContentEnd(i - 1) + BreakBytes(End(i - 1)).size();
    convertDownTo(end);  // the break
    const std::uint64_t newEnd = static_cast<std::uint64_t>(write) << 2 | (index_[i] & 3);
    if (last > 0 && replaced[last - 1].Line == i) {
      const std::string_view own = replaced[--last].Bytes;
      write -= own.size();
      std::memcpy(out + write, own.data(), own.size());
      read = lineBegin;
    } else {
      convertDownTo(lineBegin);
    }
    index_[i] = newEnd;
  }
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
  std::size_t expected = 0;
  for (std::size_t i = 0; i < text.size(); ++i) expected += BreakBytes(text.End(i)).size();
  const std::string_view bytes = text.Bytes();
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t found = 0, i = 0;
  for (; i + 64 <= n; i += 64) found += static_cast<std::size_t>(__builtin_popcountll(BreakBits(data + i)));
  for (; i < n; ++i) found += data[i] == '\n' || data[i] == '\r';
  return found != expected;
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
    const LineEnd inner = BreakOfPieces(end, i > 0 ? text.End(i - 1) : LineEnd::None);
    const Lines parts = SplitLines(std::string(line) + "\r\n");
    for (std::size_t k = 0; k < parts.size(); ++k) result.AddLine(parts[k], k + 1 == parts.size() ? end : inner);
  }
  return result;
}

}  // namespace kamvo
