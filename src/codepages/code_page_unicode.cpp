#include "codepages/code_page_unicode.h"

#include <array>
#include <cstring>
#include <memory>

#include "codepages/unicode.h"
#include "codepages/unicode_tables.h"

namespace kamvo {

namespace {

using namespace unicode_tables;

// Windows-1252's bytes 0x80..0x9F; from 0xA0 up it is Latin-1, byte for
// code point. Undefined bytes keep their value as a C1 control.
constexpr std::array<std::uint16_t, 32> kWindows1252HighToUnicode = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// A code number with a table: the single-byte code pages and the layer-only
// Windows-1252.
constexpr bool HasTable(int code) { return IsSingleByteCode(code) || code == kWindows1252; }

// Every character of the code pages lies below this code point.
constexpr std::uint32_t kReverseSize = 0x2600;

// For every code point below kReverseSize, its byte in each code page (0:
// none; no code page puts a character above U+007F on byte 0) and the code
// pages that hold it (bit code - 1). Slot kUtf8Code - 1 stays empty.
struct Reverse {
  std::array<std::array<Byte, kReverseSize>, kWindows1252> Bytes{};
  std::array<std::uint16_t, kReverseSize> Holders{};
};

const Reverse& ReverseTables() {
  static const std::unique_ptr<const Reverse> tables = [] {
    auto r = std::make_unique<Reverse>();
    for (int code = 1; code <= kWindows1252; ++code) {
      if (!HasTable(code)) continue;
      for (int b = 0; b < 0x80; ++b) {
        r->Bytes[code - 1][b] = static_cast<Byte>(b);
        r->Holders[b] = static_cast<std::uint16_t>(r->Holders[b] | 1u << (code - 1));
      }
      for (int b = 0x80; b < 0x100; ++b) {
        const std::uint32_t c = CodePageToUnicode(code, static_cast<Byte>(b));
        r->Bytes[code - 1][c] = static_cast<Byte>(b);
        r->Holders[c] = static_cast<std::uint16_t>(r->Holders[c] | 1u << (code - 1));
      }
    }
    // Latin-1 put the C1 controls where Windows-1252 has signs.
    for (std::uint32_t c = 0x80; c < 0xA0; ++c) {
      Byte& b = r->Bytes[kWindows1252 - 1][c];
      if (b != 0) continue;
      b = static_cast<Byte>(c);
      r->Holders[c] = static_cast<std::uint16_t>(r->Holders[c] | 1u << (kWindows1252 - 1));
    }
    return std::unique_ptr<const Reverse>(std::move(r));
  }();
  return *tables;
}

bool IsContinuation(Byte b) { return (b & 0xC0) == 0x80; }

// Decodes the sequence at data[i] (a byte from 0x80 up): false unless it is
// the shortest two- or three-byte form of a code point other than a surrogate.
inline bool DecodeSequence(const Byte* data, std::size_t size, std::size_t& i, std::uint32_t& c) {
  const Byte b0 = data[i];
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (i + 1 >= size || !IsContinuation(data[i + 1])) return false;
    c = (b0 & 0x1Fu) << 6 | (data[i + 1] & 0x3Fu);
    i += 2;
    return true;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (i + 2 >= size || !IsContinuation(data[i + 1]) || !IsContinuation(data[i + 2])) return false;
    c = (b0 & 0x0Fu) << 12 | (data[i + 1] & 0x3Fu) << 6 | (data[i + 2] & 0x3Fu);
    if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += 3;
    return true;
  }
  return false;
}

// Moves i over bytes below 0x80, eight at a time where it can.
inline void SkipAscii(const Byte* data, std::size_t size, std::size_t& i) {
  while (i + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (word & 0x8080808080808080ull) break;
    i += 8;
  }
  while (i < size && data[i] < 0x80) ++i;
}

std::size_t AfterByteOrderMark(std::string_view line, bool textStart) {
  return textStart && line.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

}  // namespace

std::uint32_t CodePageToUnicode(int code, Byte b) {
  if (b < 0x80) return b;
  switch (code) {
    case kDos:
      return kDosHighToUnicode[b - 0x80];
    case kKoi8:
      return kKoiHighToUnicode[b - 0x80];
    case kIso:
      return kIsoHighToUnicode[b - 0x80];
    case kMacCyrillic:
      return kMacHighToUnicode[b - 0x80];
    case kKoi8U:
      return kKoiUHighToUnicode[b - 0x80];
    case kCp1125:
      return kCp1125HighToUnicode[b - 0x80];
    case kIbm855:
      return kIbm855HighToUnicode[b - 0x80];
    case kWindows1252:
      return b < 0xA0 ? kWindows1252HighToUnicode[b - 0x80] : b;
    default:
      return WinToUnicode(b);
  }
}

bool UnicodeToCodePage(int code, std::uint32_t c, Byte& out) {
  if (c < 0x80) {
    out = static_cast<Byte>(c);
    return true;
  }
  if (c >= kReverseSize || !HasTable(code)) return false;
  const Byte b = ReverseTables().Bytes[code - 1][c];
  if (b == 0) return false;
  out = b;
  return true;
}

unsigned CodePagesHolding(std::uint32_t c) { return c < kReverseSize ? ReverseTables().Holders[c] : 0; }

void Utf8TextCheck::Add(std::string_view line, bool textStart) {
  if (!Valid) return;
  const Reverse& reverse = ReverseTables();
  const auto* data = reinterpret_cast<const Byte*>(line.data());
  const std::size_t size = line.size();
  std::size_t i = AfterByteOrderMark(line, textStart);
  for (;;) {
    SkipAscii(data, size, i);
    if (i >= size) return;
    std::uint32_t c = 0;
    if (!DecodeSequence(data, size, i, c)) {
      Valid = false;
      return;
    }
    Multibyte = true;
    Holders &= c < kReverseSize ? reverse.Holders[c] : 0u;
  }
}

Utf8TextCheck CheckUtf8Text(const Text& text) {
  Utf8TextCheck check;
  for (std::size_t i = 0; i < text.size() && check.Valid; ++i) check.Add(text[i], i == 0);
  return check;
}

bool Utf8ToCodePage(std::string_view line, int code, std::string& out, bool textStart) {
  out.clear();
  if (!HasTable(code)) return false;
  const auto& bytes = ReverseTables().Bytes[code - 1];
  const auto* data = reinterpret_cast<const Byte*>(line.data());
  const std::size_t size = line.size();
  std::size_t i = AfterByteOrderMark(line, textStart);
  for (;;) {
    const std::size_t start = i;
    SkipAscii(data, size, i);
    out.append(line.data() + start, i - start);
    if (i >= size) return true;
    std::uint32_t c = 0;
    if (!DecodeSequence(data, size, i, c) || c >= kReverseSize || bytes[c] == 0) return false;
    out.push_back(static_cast<char>(bytes[c]));
  }
}

}  // namespace kamvo
