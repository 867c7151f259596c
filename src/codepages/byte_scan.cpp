#include "codepages/byte_scan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
                      block(LoadBlock(data + i + 2 * kBlockSize)) | block(LoadBlock(data + i + 3 * kBlockSize));
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

inline bool IsControlByte(unsigned char b) { return b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D; }

// The kernels, slowest first, and the ceiling in force: an index into
// them, or -1 before the environment has been read.
enum KernelIndex { kPortable = 0, kBlock = 1, kVbmi = 2 };
std::atomic<int> ceiling{-1};

bool VbmiBuilt() {
#if defined(KAMVO_VBMI_TRANSLATE)
  return true;
#else
  return false;
#endif
}

bool HaveVbmi();

const std::array<ByteKernel, 3>& Kernels() {
  static const std::array<ByteKernel, 3> kernels = {
      ByteKernel{"portable", "every scan", true, true},
      ByteKernel{"block",
                 "FindLineBreak FindAnyByte FindPlainRun HasHighByte CountByte ExamineBytes HasControlBytes "
                 "ExamineFileBytes",
                 true, true},
      ByteKernel{"avx512vbmi", "TranslateBytes", VbmiBuilt(), VbmiBuilt() && HaveVbmi()}};
  return kernels;
}

int IndexOf(std::string_view name) {
  for (std::size_t k = 0; k < Kernels().size(); ++k)
    if (Kernels()[k].Name == name && Kernels()[k].Runs) return static_cast<int>(k);
  return -1;
}

int FastestKernel() {
  int fastest = kPortable;
  for (std::size_t k = 0; k < Kernels().size(); ++k)
    if (Kernels()[k].Runs) fastest = static_cast<int>(k);
  return fastest;
}

// The ceiling, read from KAMVO_BYTE_KERNEL at the first scan (an unknown
// name, or one the processor does not run, leaves the fastest).
int Ceiling() {
  int at = ceiling.load(std::memory_order_relaxed);
  if (at >= 0) return at;
  const char* named = std::getenv("KAMVO_BYTE_KERNEL");
  at = named ? IndexOf(named) : -1;
  if (at < 0) at = FastestKernel();
  ceiling.store(at, std::memory_order_relaxed);
  return at;
}

bool Portable() { return Ceiling() < kBlock; }

// The control bytes of a block: below 0x20, other than TAB, LF and CR.
inline Block ControlMask(Block b) { return (b < 0x20) & (b != 0x09) & (b != 0x0A) & (b != 0x0D); }

}  // namespace

std::size_t CountByte(std::string_view text, char byte) {
  if (Portable()) return portable::CountByte(text, byte);
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
  return count + portable::CountByte(text.substr(i), byte);
}

std::size_t FindLineBreak(std::string_view text, std::size_t from) {
  if (Portable()) return portable::FindLineBreak(text, from);
  return FindFirst(
      text, from, [](Block b) { return (b == '\n') | (b == '\r'); }, IsBreak);
}

std::size_t FindAnyByte(std::string_view text, std::string_view bytes, std::size_t from) {
  if (Portable()) return portable::FindAnyByte(text, bytes, from);
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
          return (b == set[0]) | (b == set[1]) | (b == set[2]) | (b == set[3]) | (b == set[4]) | (b == set[5]) |
                 (b == set[6]) | (b == set[7]);
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
  if (Portable()) return portable::FindPlainRun(text, length, from);
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
  if (Portable()) return portable::HasHighByte(text);
  return FindFirst(
             text, 0, [](Block b) { return b >= 0x80; },
             [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) != text.size();
}

TextBytes ExamineBytes(std::string_view text) {
  if (Portable()) return portable::ExamineBytes(text);
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  Block high{}, breaks{};
  for (; i + kBlockSize <= n; i += kBlockSize) {
    const Block b = LoadBlock(data + i);
    high |= b >= 0x80;
    breaks |= (b == '\n') | (b == '\r');
  }
  const TextBytes tail = portable::ExamineBytes(text.substr(i));
  return TextBytes{AnySet(high) || tail.High, AnySet(breaks) || tail.Break};
}

bool portable::TranslateBytes(char* data, std::size_t size, const unsigned char* table) {
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
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) bool TranslateBytesVbmi(char* data, std::size_t size,
                                                                               const unsigned char* table) {
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
  const bool tail = portable::TranslateBytes(data + i, size - i, table);
  return tail || _mm512_test_epi64_mask(changed, changed) != 0;
}

}  // namespace
#endif

namespace {

bool HaveVbmi() {
#if defined(KAMVO_VBMI_TRANSLATE)
  static const bool have =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  return have;
#else
  return false;
#endif
}

}  // namespace

bool TranslateBytes(char* data, std::size_t size, const unsigned char* table) {
#if defined(KAMVO_VBMI_TRANSLATE)
  if (Ceiling() >= kVbmi) return TranslateBytesVbmi(data, size, table);
#endif
  return portable::TranslateBytes(data, size, table);
}

std::span<const ByteKernel> ByteKernels() { return Kernels(); }

bool UseByteKernelsUpTo(std::string_view name) {
  const int at = IndexOf(name);
  if (at < 0) return false;
  ceiling.store(at, std::memory_order_relaxed);
  return true;
}

std::string_view ByteKernelCeiling() { return Kernels()[Ceiling()].Name; }

bool HasControlBytes(std::string_view bytes) {
  if (Portable()) return portable::HasControlBytes(bytes);
  // Every file is tested before it is converted, so the test runs over 64
  // bytes at a time and looks at single bytes only in the tail.
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (; i + 4 * kBlockSize <= n; i += 4 * kBlockSize) {
    const Block found = ControlMask(LoadBlock(data + i)) | ControlMask(LoadBlock(data + i + kBlockSize)) |
                        ControlMask(LoadBlock(data + i + 2 * kBlockSize)) |
                        ControlMask(LoadBlock(data + i + 3 * kBlockSize));
    if (AnySet(found)) return true;
  }
  return portable::HasControlBytes(bytes.substr(i));
}

FileBytes ExamineFileBytes(std::string_view bytes) {
  if (Portable()) return portable::ExamineFileBytes(bytes);
  // Like HasControlBytes, 64 bytes at a time; the three findings are
  // gathered over the whole file and looked at once at the end, so that the
  // loop holds no branch.
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  Block control{}, cr{}, lf{};
  std::size_t i = 0;
  for (; i + 4 * kBlockSize <= n; i += 4 * kBlockSize) {
    for (std::size_t k = 0; k < 4 * kBlockSize; k += kBlockSize) {
      const Block b = LoadBlock(data + i + k);
      control |= ControlMask(b);
      cr |= b == 0x0D;
      lf |= b == 0x0A;
    }
  }
  const FileBytes tail = portable::ExamineFileBytes(bytes.substr(i));
  return FileBytes{AnySet(control) || tail.Control, AnySet(cr) || tail.Cr, AnySet(lf) || tail.Lf};
}

// The portable twins: one byte at a time, written for plainness; the
// kernels above must give the same answers.
namespace portable {

std::size_t FindLineBreak(std::string_view text, std::size_t from) {
  std::size_t i = from;
  while (i < text.size() && !IsBreak(text[i])) ++i;
  return i;
}

std::size_t FindAnyByte(std::string_view text, std::string_view bytes, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i)
    if (bytes.find(text[i]) != std::string_view::npos) return i;
  return std::string_view::npos;
}

std::size_t FindPlainRun(std::string_view text, std::size_t length, std::size_t from) {
  std::size_t run = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    run = EndsPlainRun(text[i]) ? 0 : run + 1;
    if (run >= length) return i;
  }
  return std::string_view::npos;
}

bool HasHighByte(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

std::size_t CountByte(std::string_view text, char byte) {
  std::size_t count = 0;
  for (char c : text) count += c == byte;
  return count;
}

TextBytes ExamineBytes(std::string_view text) {
  TextBytes result;
  for (char c : text) {
    result.High |= static_cast<unsigned char>(c) >= 0x80;
    result.Break |= IsBreak(c);
  }
  return result;
}

bool HasControlBytes(std::string_view bytes) {
  for (char c : bytes)
    if (IsControlByte(static_cast<unsigned char>(c))) return true;
  return false;
}

FileBytes ExamineFileBytes(std::string_view bytes) {
  FileBytes found;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    found.Control |= IsControlByte(b);
    found.Cr |= b == 0x0D;
    found.Lf |= b == 0x0A;
  }
  return found;
}

}  // namespace portable

}  // namespace kamvo
