#include "codepages/unicode.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codepages/unicode_tables.h"

namespace kamvo {

namespace {

using unicode_tables::kWinHighToUnicode;

// U+0400..U+045F to their Windows-1251 bytes, 0 where there is none.
constexpr std::array<Byte, 96> BuildCyrillicBlock() {
  std::array<Byte, 96> block{};
  for (int i = 0; i < 128; ++i) {
    const std::uint16_t c = kWinHighToUnicode[i];
    if (c >= 0x0400 && c < 0x0460) block[c - 0x0400] = static_cast<Byte>(0x80 + i);
  }
  return block;
}
constexpr std::array<Byte, 96> kCyrillicBlock = BuildCyrillicBlock();

// The other code points above U+00FF that Windows-1251 holds.
struct Extra {
  std::uint16_t codePoint;
  Byte byte;
};
constexpr std::array<Extra, 20> kExtras = {{
    {0x0490, 0xA5}, {0x0491, 0xB4}, {0x2013, 0x96}, {0x2014, 0x97}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201A, 0x82},
    {0x201C, 0x93}, {0x201D, 0x94}, {0x201E, 0x84}, {0x2020, 0x86}, {0x2021, 0x87}, {0x2022, 0x95}, {0x2026, 0x85},
    {0x2030, 0x89}, {0x2039, 0x8B}, {0x203A, 0x9B}, {0x20AC, 0x88}, {0x2116, 0xB9}, {0x2122, 0x99},
}};

bool IsContinuation(Byte b) { return (b & 0xC0) == 0x80; }

}  // namespace

bool UnicodeToWin(std::uint32_t c, Byte& out) {
  if (c < 0x100) {
    out = static_cast<Byte>(c);
    return true;
  }
  if (c >= 0x0400 && c < 0x0460) {
    const Byte b = kCyrillicBlock[c - 0x0400];
    if (b == 0) return false;
    out = b;
    return true;
  }
  for (const auto& extra : kExtras) {
    if (extra.codePoint == c) {
      out = extra.byte;
      return true;
    }
  }
  return false;
}

bool DecodeUtf8Char(std::string_view s, Byte& out, std::size_t& consumed) {
  if (s.empty()) return false;
  const auto b0 = static_cast<Byte>(s[0]);
  if (b0 < 0x80) {
    out = b0;
    consumed = 1;
    return true;
  }
  // Only the shortest form of a code point decodes. An overlong form (leads
  // 0xC0 and 0xC1, or 0xE0 with a code point below U+0800) would smuggle
  // control bytes, NUL among them, into the text, and no encoder writes one.
  // So every sequence of more than one byte gives a byte from 0x80 up.
  if (s.size() >= 2 && b0 >= 0xC2 && b0 <= 0xDF && IsContinuation(static_cast<Byte>(s[1]))) {
    const std::uint32_t c = (b0 & 0x1Fu) * 64 + (static_cast<Byte>(s[1]) & 0x3Fu);
    if (!UnicodeToWin(c, out)) return false;
    consumed = 2;
    return true;
  }
  if (s.size() >= 3 && b0 >= 0xE0 && b0 <= 0xEF && IsContinuation(static_cast<Byte>(s[1])) &&
      IsContinuation(static_cast<Byte>(s[2]))) {
    const std::uint32_t c =
        (b0 & 0x0Fu) * 4096 + (static_cast<Byte>(s[1]) & 0x3Fu) * 64 + (static_cast<Byte>(s[2]) & 0x3Fu);
    // Surrogates are no characters of their own in UTF-8.
    if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF) || !UnicodeToWin(c, out)) return false;
    consumed = 3;
    return true;
  }
  return false;
}

namespace {

// The Windows-1251 byte of every code point below U+0800 (the two-byte
// forms of UTF-8), or -1 where the code page has none.
const std::array<std::int16_t, 0x800>& TwoByteTable() {
  static const std::array<std::int16_t, 0x800> table = [] {
    std::array<std::int16_t, 0x800> built{};
    for (std::uint32_t c = 0; c < built.size(); ++c) {
      Byte b = 0;
      built[c] = UnicodeToWin(c, b) ? b : -1;
    }
    return built;
  }();
  return table;
}

}  // namespace

bool Utf8ToWin(std::string_view line, std::string& converted, bool textStart) {
  const std::array<std::int16_t, 0x800>& twoByte = TwoByteTable();
  converted.resize(line.size());
  char* out = converted.data();
  const char* const in = line.data();
  const std::size_t n = line.size();
  std::size_t decoded = 0;
  std::size_t stray = 0;
  std::size_t i = 0;
  // A byte order mark that opens the text only marks it as UTF-8: it is
  // a decoded sequence with no character. Elsewhere it is U+FEFF, which has
  // no byte, and stays.
  if (textStart && line.starts_with(kByteOrderMark)) {
    decoded += kByteOrderMark.size();
    i = kByteOrderMark.size();
  }
  while (i < n) {
    // Eight ASCII bytes at a time: they stay as they are.
    if (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, in + i, 8);
      if ((word & 0x8080808080808080u) == 0) {
        std::memcpy(out, in + i, 8);
        out += 8;
        i += 8;
        continue;
      }
    }
    const auto b0 = static_cast<Byte>(in[i]);
    if (b0 < 0x80) {
      *out++ = static_cast<char>(b0);
      ++i;
      continue;
    }
    // The two-byte forms (Cyrillic among them) by one look-up.
    if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < n && IsContinuation(static_cast<Byte>(in[i + 1]))) {
      const std::int16_t b = twoByte[(b0 & 0x1Fu) * 64 + (static_cast<Byte>(in[i + 1]) & 0x3Fu)];
      if (b >= 0) {
        *out++ = static_cast<char>(b);
        decoded += 2;
        i += 2;
        continue;
      }
    }
    Byte b = 0;
    std::size_t used = 0;
    if (DecodeUtf8Char(line.substr(i), b, used)) {
      *out++ = static_cast<char>(b);
      if (used > 1) decoded += used;
      i += used;
    } else {
      *out++ = static_cast<char>(b0);
      ++stray;
      ++i;
    }
  }
  converted.resize(static_cast<std::size_t>(out - converted.data()));
  return decoded > 2 * stray;
}

std::uint32_t WinToUnicode(Byte b) { return b < 0x80 ? b : kWinHighToUnicode[b - 0x80]; }

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Utf8FromWin(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, WinToUnicode(static_cast<Byte>(c)));
  return out;
}

std::string WinFromUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<Byte>(text[i]);
    std::size_t length = b0 < 0x80 ? 1 : b0 >= 0xF0 && b0 <= 0xF7 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
    if (b0 >= 0xF8) length = 0;
    std::uint32_t c = length == 1 ? b0 : length == 2 ? (b0 & 0x1Fu) : length == 3 ? (b0 & 0x0Fu) : (b0 & 0x07u);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto b = static_cast<Byte>(text[i + k]);
      if (!IsContinuation(b)) valid = false;
      c = c * 64 + (b & 0x3Fu);
    }
    // Overlong forms (which could carry control bytes, NUL among them),
    // surrogates and code points beyond U+10FFFF are no characters.
    constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (c < kShortest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) valid = false;
    Byte mapped = '?';
    if (!valid) {
      out.push_back('?');
      ++i;
      continue;
    }
    // Latin-1 letters would land on Cyrillic bytes of the same value: only
    // code points that Windows-1251 really holds are mapped.
    const bool sameValueMismatch = c >= 0x80 && c < 0x100 && WinToUnicode(static_cast<Byte>(c)) != c;
    if (sameValueMismatch || !UnicodeToWin(c, mapped)) mapped = '?';
    out.push_back(static_cast<char>(mapped));
    i += length;
  }
  return out;
}

std::u16string WinToUtf16(std::string_view text) {
  static const auto table = [] {
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = static_cast<char16_t>(WinToUnicode(static_cast<Byte>(b)));
    return t;
  }();
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = table[static_cast<Byte>(text[i])];
  return out;
}

std::string WinFromUtf16(std::u16string_view text) {
  // One entry per 16-bit unit: its byte, or '?' where it has none. Built
  // once, so a large text costs one table look-up per character.
  static const auto table = [] {
    auto t = std::make_unique<std::array<Byte, 0x10000>>();
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      Byte b = '?';
      if (!UnicodeToWin(c, b)) b = '?';
      (*t)[c] = b;
    }
    return t;
  }();
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>((*table)[text[i]]);
  return out;
}

bool Utf16WithMarkToUtf8(std::string& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE, big = b0 == 0xFE && b1 == 0xFF;
  if (!little && !big) return false;
  const auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
    return static_cast<std::uint32_t>(hi) << 8 | lo;
  };
  std::string utf8;
  utf8.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    std::uint32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF && i + 2 < bytes.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    AppendUtf8(utf8, code);
  }
  bytes = std::move(utf8);
  return true;
}

}  // namespace kamvo
