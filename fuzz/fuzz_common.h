// Helpers shared by the fuzz targets: the input as a text and as lines, and a
// check that aborts (and so makes libFuzzer keep the input) when it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "codepages/lines.h"

namespace kamvo::fuzz {

[[noreturn]] inline void CheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::kamvo::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The lines of a text. Split like a file (at CR LF, LF and CR), or, when
// onlyAtLineFeed, at LF alone so that lines may keep a CR inside, as lines
// that an earlier stage decoded can.
inline Lines InputLines(std::string_view text, bool onlyAtLineFeed) {
  if (!onlyAtLineFeed) return SplitLines(text);
  Lines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A flag byte taken from the front of the input: the text is what follows.
struct Flagged {
  std::uint8_t flags = 0;
  std::string_view text;
  bool Bit(int n) const { return (flags >> n) & 1; }
};

inline Flagged TakeFlags(const std::uint8_t* data, std::size_t size) {
  Flagged f;
  if (size == 0) return f;
  f.flags = data[0];
  f.text = AsText(data + 1, size - 1);
  return f;
}

}  // namespace kamvo::fuzz
