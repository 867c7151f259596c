// Small byte-level helpers every layer uses: hex digits, ASCII case and
// trimming.
#pragma once

#include <string>
#include <string_view>

namespace kamvo {

// The value of a hex digit in either case, or -1 for any other byte (no
// Cyrillic letter counts as a digit).
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// ASCII letters in upper case; every other byte stays.
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline std::string AsciiUpper(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AsciiUpper(c);
  return result;
}

// A byte from 0x20 down: a blank or a control character.
constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }
// A space or a tab.
constexpr bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// s without the bytes that `drop` accepts at its start (when leading) and at
// its end.
template <typename Drop>
constexpr std::string_view TrimBytes(std::string_view s, Drop drop, bool leading = true) {
  if (leading)
    while (!s.empty() && drop(s.front())) s.remove_prefix(1);
  while (!s.empty() && drop(s.back())) s.remove_suffix(1);
  return s;
}

// s without the bytes from 0x20 down at both ends.
constexpr std::string_view TrimControls(std::string_view s) { return TrimBytes(s, IsBlankOrControl); }
// s without the bytes from 0x20 down at its end.
constexpr std::string_view TrimTrailingControls(std::string_view s) { return TrimBytes(s, IsBlankOrControl, false); }

}  // namespace kamvo
