#include "codepages/lines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KAMVO_VBMI_TRANSLATE 1
#endif

namespace kamvo {

namespace {

// Texts are searched a block of bytes at a time (the compiler's vector
// types map onto the machine's vector registers, or onto plain words where
// there are none): most blocks hold none of the bytes sought, and one
// comparison per byte sought settles the whole block.
using Block = unsigned char __attribute__((vector_size(16)));
constexpr std::size_t kBlockSize = sizeof(Block);

inline Block LoadBlock(const char* p) {
  Block block;
  std::memcpy(&block, p, kBlockSize);
  return block;
}

template <typename Mask>
inline bool AnySet(Mask mask) {
  std::uint64_t words[kBlockSize / 8];
  std::memcpy(words, &mask, kBlockSize);
  std::uint64_t any = 0;
  for (std::uint64_t w : words) any |= w;
  return any != 0;
}

inline bool IsBreak(char c) { return c == '\n' || c == '\r'; }

// A byte that ends a plain run: 0x80 or above, CR or LF.
inline bool EndsPlainRun(char c) { return static_cast<unsigned char>(c) >= 0x80 || IsBreak(c); }

// One bit per byte of the 64 bytes at p (bit k for p[k]), set where the
// byte ends a plain run.
inline std::uint64_t PlainRunEnds(const char* p) {
  std::uint64_t bits = 0;
  for (std::size_t k = 0; k < 64; k += kBlockSize) {
    const Block b = LoadBlock(p + k);
    const Block mask = (b >= 0x80) | (b == '\n') | (b == '\r');
#if defined(__SSE2__)
    __m128i lanes;
    std::memcpy(&lanes, &mask, sizeof lanes);
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lanes))) << k;
#else
    for (std::size_t j = 0; j < kBlockSize; ++j)
      if (mask[j]) bits |= std::uint64_t{1} << (k + j);
#endif
  }
  return bits;
}

// The first position from `from` on that `matches` accepts, or text.size().
// `block` marks the bytes of a block that may match; four blocks are tested
// together, since most lines hold no byte sought at all.
template <typename BlockTest, typename ByteTest>
std::size_t FindFirst(std::string_view text, std::size_t from, BlockTest block, ByteTest matches) {
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t i = from;
  for (; i + 4 * kBlockSize <= n; i += 4 * kBlockSize) {
    const auto mask = block(LoadBlock(data + i)) | block(LoadBlock(data + i + kBlockSize)) |
                      block(LoadBlock(data + i + 2 * kBlockSize)) |
                      block(LoadBlock(data + i + 3 * kBlockSize));
    if (!AnySet(mask)) continue;
    for (std::size_t k = i; k < i + 4 * kBlockSize; ++k)
      if (matches(data[k])) return k;
  }
  for (; i + kBlockSize <= n; i += kBlockSize) {
    if (!AnySet(block(LoadBlock(data + i)))) continue;
    for (std::size_t k = i; k < i + kBlockSize; ++k)
      if (matches(data[k])) return k;
  }
  for (; i < n; ++i)
    if (matches(data[i])) return i;
  return n;
}

// How many times byte occurs in text.
std::size_t CountByte(std::string_view text, char byte) {
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t count = 0;
  std::size_t i = 0;
  while (i + kBlockSize <= n) {
    // Each lane counts up to 255 before the lanes are added up.
    Block lanes{};
    for (int round = 0; round < 255 && i + kBlockSize <= n; ++round, i += kBlockSize)
      lanes -= LoadBlock(data + i) == static_cast<unsigned char>(byte);
    for (std::size_t k = 0; k < kBlockSize; ++k) count += lanes[k];
  }
  for (; i < n; ++i) count += data[i] == byte;
  return count;
}

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

std::size_t FindLineBreak(std::string_view text, std::size_t from) {
  return FindFirst(
      text, from, [](Block b) { return (b == '\n') | (b == '\r'); }, IsBreak);
}

std::size_t FindAnyByte(std::string_view text, std::string_view bytes, std::size_t from) {
  std::size_t at;
  if (bytes.size() <= 4) {
    // Up to four bytes (the usual case) are compared without a loop: the set
    // is padded with its first byte.
    unsigned char set[4];
    for (std::size_t k = 0; k < 4; ++k) set[k] = static_cast<unsigned char>(bytes[k < bytes.size() ? k : 0]);
    at = FindFirst(
        text, from, [&set](Block b) { return (b == set[0]) | (b == set[1]) | (b == set[2]) | (b == set[3]); },
        [&set](char c) {
          const auto u = static_cast<unsigned char>(c);
          return u == set[0] || u == set[1] || u == set[2] || u == set[3];
        });
  } else if (bytes.size() <= 8) {
    // Up to eight likewise.
    unsigned char set[8];
    for (std::size_t k = 0; k < 8; ++k) set[k] = static_cast<unsigned char>(bytes[k < bytes.size() ? k : 0]);
    at = FindFirst(
        text, from,
        [&set](Block b) {
          return (b == set[0]) | (b == set[1]) | (b == set[2]) | (b == set[3]) | (b == set[4]) |
                 (b == set[5]) | (b == set[6]) | (b == set[7]);
        },
        [&set](char c) {
          const auto u = static_cast<unsigned char>(c);
          return u == set[0] || u == set[1] || u == set[2] || u == set[3] || u == set[4] || u == set[5] ||
                 u == set[6] || u == set[7];
        });
  } else {
    at = FindFirst(
        text, from,
        [bytes](Block b) {
          auto mask = b == static_cast<unsigned char>(bytes[0]);
          for (std::size_t k = 1; k < bytes.size(); ++k) mask |= b == static_cast<unsigned char>(bytes[k]);
          return mask;
        },
        [bytes](char c) { return bytes.find(c) != std::string_view::npos; });
  }
  return at == text.size() ? std::string_view::npos : at;
}

std::size_t FindPlainRun(std::string_view text, std::size_t length, std::size_t from) {
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t run = 0;  // plain bytes in a row just before i
  std::size_t i = from;
  // 64 bytes at a time: a run that goes on from the bytes before, then a
  // run inside the 64 (a bit stays set where `length` plain bytes start).
  for (; i + 64 <= n; i += 64) {
    const std::uint64_t ends = PlainRunEnds(data + i);
    const std::size_t lead = ends == 0 ? 64 : static_cast<std::size_t>(__builtin_ctzll(ends));
    if (run + lead >= length) return i + (length - run) - 1;
    std::uint64_t starts = ~ends;
    for (std::size_t have = 1; have < length;) {
      const std::size_t shift = std::min(have, length - have);
      starts &= starts >> shift;
      have += shift;
    }
    if (starts != 0) return i + static_cast<std::size_t>(__builtin_ctzll(starts)) + length - 1;
    run = static_cast<std::size_t>(__builtin_clzll(ends));
  }
  for (; i < n; ++i) {
    run = EndsPlainRun(data[i]) ? 0 : run + 1;
    if (run >= length) return i;
  }
  return std::string_view::npos;
}

bool HasHighByte(std::string_view text) {
  return FindFirst(
             text, 0, [](Block b) { return b >= 0x80; },
             [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) != text.size();
}

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

TextBytes ExamineBytes(std::string_view text) {
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  Block high{}, breaks{};
  for (; i + kBlockSize <= n; i += kBlockSize) {
    const Block b = LoadBlock(data + i);
    high |= b >= 0x80;
    breaks |= (b == '\n') | (b == '\r');
  }
  TextBytes result{AnySet(high), AnySet(breaks)};
  for (; i < n; ++i) {
    result.High |= static_cast<unsigned char>(data[i]) >= 0x80;
    result.Break |= IsBreak(data[i]);
  }
  return result;
}

bool TranslateBytesPortable(char* data, std::size_t size, const unsigned char* table) {
  // Eight bytes are looked up, then stored and compared together.
  std::uint64_t changed = 0;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    unsigned char from[8], to[8];
    std::memcpy(from, data + i, 8);
    for (int k = 0; k < 8; ++k) to[k] = table[from[k]];
    std::uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, to, 8);
    changed |= a ^ b;
    std::memcpy(data + i, to, 8);
  }
  for (; i < size; ++i) {
    const unsigned char to = table[static_cast<unsigned char>(data[i])];
    changed |= static_cast<unsigned char>(data[i]) ^ to;
    data[i] = static_cast<char>(to);
  }
  return changed != 0;
}

#if defined(KAMVO_VBMI_TRANSLATE)
namespace {

// 64 bytes at a time: one byte permutation looks the bytes below 0x80 up in
// the table's first half, another the rest in its second half (the
// permutation reads seven bits of each byte), and the top bit of each byte
// picks which.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) bool TranslateBytesVbmi(
    char* data, std::size_t size, const unsigned char* table) {
  const __m512i t0 = _mm512_loadu_si512(table);
  const __m512i t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128);
  const __m512i t3 = _mm512_loadu_si512(table + 192);
  __m512i changed = _mm512_setzero_si512();
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i b = _mm512_loadu_si512(data + i);
    const __m512i low = _mm512_permutex2var_epi8(t0, b, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, b, t3);
    const __m512i to = _mm512_mask_blend_epi8(_mm512_movepi8_mask(b), low, high);
    changed = _mm512_or_si512(changed, _mm512_xor_si512(to, b));
    _mm512_storeu_si512(data + i, to);
  }
  const bool tail = TranslateBytesPortable(data + i, size - i, table);
  return tail || _mm512_test_epi64_mask(changed, changed) != 0;
}

bool HaveVbmi() {
  static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                           __builtin_cpu_supports("avx512vbmi");
  return have;
}

}  // namespace
#endif

bool TranslateBytes(char* data, std::size_t size, const unsigned char* table) {
#if defined(KAMVO_VBMI_TRANSLATE)
  if (HaveVbmi()) return TranslateBytesVbmi(data, size, table);
#endif
  return TranslateBytesPortable(data, size, table);
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

PackedLines& PackedLines::operator=(const Lines& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size();
  // Built aside first, so that packing a list into itself is never a worry
  // and a failed allocation leaves the old copy whole.
  std::string bytes;
  bytes.reserve(total);
  std::vector<std::size_t> ends;
  ends.reserve(lines.size());
  for (const auto& line : lines) {
    bytes.append(line);
    ends.push_back(bytes.size());
  }
  bytes_.swap(bytes);
  ends_.swap(ends);
  return *this;
}

Lines PackedLines::Unpack() const {
  Lines lines;
  lines.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) lines.emplace_back((*this)[i]);
  return lines;
}

void PackedLines::clear() {
  std::string().swap(bytes_);
  std::vector<std::size_t>().swap(ends_);
}

bool operator==(const PackedLines& packed, const Lines& lines) {
  if (packed.size() != lines.size()) return false;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (packed[i] != std::string_view(lines[i])) return false;
  return true;
}

namespace {

// The bytes of a list joined the way a style says, handed out piece by piece
// (a line, then a break).
template <typename List>
class JoinedPieces {
 public:
  JoinedPieces(const List& list, const LineBreakStyle& style) : list_(list), style_(style) {}

  // The next piece, or false at the end.
  bool Next(std::string_view& piece) {
    while (line_ < list_.size()) {
      if (!breakNext_) {
        piece = std::string_view(list_[line_]);
        breakNext_ = true;
        return true;
      }
      breakNext_ = false;
      const bool last = ++line_ == list_.size();
      if (!last || style_.FinalBreak) {
        piece = style_.Break;
        return true;
      }
    }
    return false;
  }

 private:
  const List& list_;
  const LineBreakStyle& style_;
  std::size_t line_ = 0;
  bool breakNext_ = false;
};

}  // namespace

bool SameJoined(const Lines& lines, const PackedLines& packed, const LineBreakStyle& style) {
  JoinedPieces<Lines> a(lines, style);
  JoinedPieces<PackedLines> b(packed, style);
  std::string_view x, y;
  bool moreA = a.Next(x), moreB = b.Next(y);
  for (;;) {
    while (moreA && x.empty()) moreA = a.Next(x);
    while (moreB && y.empty()) moreB = b.Next(y);
    if (!moreA || !moreB) return moreA == moreB;
    const std::size_t n = std::min(x.size(), y.size());
    if (x.substr(0, n) != y.substr(0, n)) return false;
    x.remove_prefix(n);
    y.remove_prefix(n);
  }
}

}  // namespace kamvo
