#include "codepages/code_page_unicode.h"

#include <array>
#include <cstring>
#include <memory>

#include "codepages/unicode.h"

namespace kamvo {

namespace {

// The bytes 0x80..0xFF of Dos (code page 866), KOI8-R and ISO 8859-5 as
// published by their standards (the Unicode consortium's mapping files; the
// same as iconv's).
constexpr std::array<std::uint16_t, 128> kDosHighToUnicode = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr std::array<std::uint16_t, 128> kKoiHighToUnicode = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

constexpr std::array<std::uint16_t, 128> kIsoHighToUnicode = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087,
    0x0088, 0x0089, 0x008A, 0x008B, 0x008C, 0x008D, 0x008E, 0x008F,
    0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F,
    0x00A0, 0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407,
    0x0408, 0x0409, 0x040A, 0x040B, 0x040C, 0x00AD, 0x040E, 0x040F,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x2116, 0x0451, 0x0452, 0x0453, 0x0454, 0x0455, 0x0456, 0x0457,
    0x0458, 0x0459, 0x045A, 0x045B, 0x045C, 0x00A7, 0x045E, 0x045F,
};

// Every character of the four code pages lies below this code point.
constexpr std::uint32_t kReverseSize = 0x2600;

// For every code point below kReverseSize, its byte in each code page (0:
// none; no code page puts a character above U+007F on byte 0) and the code
// pages that hold it.
struct Reverse {
  std::array<std::array<Byte, kReverseSize>, kCodeCount> Bytes{};
  std::array<Byte, kReverseSize> Holders{};
};

const Reverse& ReverseTables() {
  static const std::unique_ptr<const Reverse> tables = [] {
    auto r = std::make_unique<Reverse>();
    for (int code = 1; code <= kCodeCount; ++code) {
      for (int b = 0; b < 0x80; ++b) {
        r->Bytes[code - 1][b] = static_cast<Byte>(b);
        r->Holders[b] |= 1u << (code - 1);
      }
      for (int b = 0x80; b < 0x100; ++b) {
        const std::uint32_t c = CodePageToUnicode(code, static_cast<Byte>(b));
        r->Bytes[code - 1][c] = static_cast<Byte>(b);
        r->Holders[c] |= 1u << (code - 1);
      }
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
    case kDos: return kDosHighToUnicode[b - 0x80];
    case kKoi8: return kKoiHighToUnicode[b - 0x80];
    case kIso: return kIsoHighToUnicode[b - 0x80];
    default: return WinToUnicode(b);
  }
}

bool UnicodeToCodePage(int code, std::uint32_t c, Byte& out) {
  if (c < 0x80) {
    out = static_cast<Byte>(c);
    return true;
  }
  if (c >= kReverseSize || code < 1 || code > kCodeCount) return false;
  const Byte b = ReverseTables().Bytes[code - 1][c];
  if (b == 0) return false;
  out = b;
  return true;
}

unsigned CodePagesHolding(std::uint32_t c) {
  if (c < 0x80) return kAllCodePages;
  return c < kReverseSize ? ReverseTables().Holders[c] : 0;
}

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
  if (code < 1 || code > kCodeCount) return false;
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
