// Plain encoders for Base64, UUE and XXE, written from the formats' usual
// definitions, to produce test input for the decoders.
#pragma once

#include <string>
#include <string_view>

#include "codepages/lines.h"

namespace kamvo::testing {

inline constexpr std::string_view kBase64Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::string_view kXXLetters = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Base64 of the bytes with "=" padding, one line.
inline std::string Base64(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    const unsigned b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    const unsigned triple = (b0 << 16) | (b1 << 8) | b2;
    out += kBase64Letters[(triple >> 18) & 63];
    out += kBase64Letters[(triple >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64Letters[(triple >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64Letters[triple & 63] : '=';
  }
  return out;
}

// Base64 lines of at most 76 characters (57 bytes each).
inline Lines Base64Lines(std::string_view bytes) {
  Lines lines;
  for (std::size_t i = 0; i < bytes.size(); i += 57) lines.push_back(Base64(bytes.substr(i, 57)));
  return lines;
}

// One UUE or XXE line of at most 45 bytes: a length character, then groups of
// four characters. UUE writes a zero value as a grave accent when
// graveForZero, else as a space.
inline std::string LengthPrefixedLine(std::string_view bytes, bool xx, bool graveForZero = true) {
  auto letter = [&](unsigned v) -> char {
    if (xx) return kXXLetters[v];
    if (v == 0 && graveForZero) return '`';
    return static_cast<char>(0x20 + v);
  };
  std::string out(1, letter(static_cast<unsigned>(bytes.size())));
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    const unsigned b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    out += letter(b0 >> 2);
    out += letter(((b0 & 3) << 4) | (b1 >> 4));
    out += letter(((b1 & 15) << 2) | (b2 >> 6));
    out += letter(b2 & 63);
  }
  return out;
}

inline std::string UULine(std::string_view bytes) { return LengthPrefixedLine(bytes, false); }
inline std::string XXLine(std::string_view bytes) { return LengthPrefixedLine(bytes, true); }

// The data lines of a UUE or XXE body, 45 bytes a line.
inline Lines LengthPrefixedLines(std::string_view bytes, bool xx) {
  Lines lines;
  for (std::size_t i = 0; i < bytes.size(); i += 45) lines.push_back(LengthPrefixedLine(bytes.substr(i, 45), xx));
  return lines;
}

}  // namespace kamvo::testing
