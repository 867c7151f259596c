// The escape-decoding stage written the plain way: 1-based positions, the
// remaining text looked at from every position, every group built afresh
// from its first line and, before the first accepted group, the next group
// started at the line after the previous group's first line. Slow (quadratic
// in a run of soft line breaks) and obviously faithful; the tests compare
// the fast decoder against it.
#pragma once

#include <string>
#include <vector>
#include <string_view>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "decoders/quoted_printable.h"

namespace kamvo::testing {

struct LiteralEscapeResult {
  Lines text;
  // For each line of text, the last source line it comes from: the line
  // whose break it takes.
  std::vector<std::size_t> lastSource;
  EscapeCounters counters;
  bool converted = false;
};

// A hex digit is a character whose upper-case form is 0..9 or A..F.
inline bool LiteralHexDigit(char c, int& value) {
  const char upper = static_cast<char>(UpperRus(static_cast<Byte>(c)));
  if (upper >= '0' && upper <= '9') {
    value = upper - '0';
    return true;
  }
  if (upper >= 'A' && upper <= 'F') {
    value = upper - 'A' + 10;
    return true;
  }
  return false;
}

// One hex pass: "=" and "%" escapes have one lead character, "\'" two.
inline bool LiteralHexPass(std::string& joined, const std::string& lead) {
  std::string result;
  int escapes = 0, highEscapes = 0, highLiterals = 0;
  std::size_t i = 1;
  while (i <= joined.size()) {
    const std::string_view rest = std::string_view(joined).substr(i - 1);
    const std::size_t length = lead.size() + 2;
    int high = 0, low = 0;
    if (rest.size() >= length && rest.substr(0, lead.size()) == lead &&
        LiteralHexDigit(rest[lead.size()], high) && LiteralHexDigit(rest[lead.size() + 1], low)) {
      const int value = 16 * high + low;
      result += static_cast<char>(value);
      ++escapes;
      if (value >= 0x80) ++highEscapes;
      i += length;
    } else {
      if (static_cast<Byte>(joined[i - 1]) >= 0x80) ++highLiterals;
      result += joined[i - 1];
      i += 1;
    }
  }
  if (highEscapes > highLiterals || escapes > 10) {
    joined = result;
    return true;
  }
  return false;
}

inline bool LiteralDecimal(const std::string& text, long& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

inline void LiteralReferencePass(std::string& joined, int& htmlCount) {
  std::string result;
  std::size_t i = 1;
  while (i <= joined.size()) {
    const std::string_view rest = std::string_view(joined).substr(i - 1);
    if (rest.size() >= 6 && rest[0] == '&' && rest[1] == '#') {
      const std::size_t semicolon = rest.find(';');  // 0-based
      long value = 0;
      Byte byte = 0;
      if (semicolon != std::string::npos && semicolon + 1 >= 3 && semicolon + 1 <= 7 &&
          LiteralDecimal(std::string(rest.substr(2, semicolon - 2)), value) &&
          UnicodeToWin(static_cast<std::uint32_t>(value & 0xFFFF), byte)) {
        result += static_cast<char>(byte);
        ++htmlCount;
        i += semicolon + 1;
        continue;
      }
    }
    result += joined[i - 1];
    i += 1;
  }
  joined = result;
}

// Only the end of a line is trimmed: the blanks before its text are part
// of it.
inline std::string LiteralTrim(const std::string& line) {
  std::size_t end = line.size();
  while (end > 0 && static_cast<Byte>(line[end - 1]) <= 0x20) --end;
  return line.substr(0, end);
}

inline LiteralEscapeResult LiteralDecodeEscapes(const Lines& source, const EscapeSwitches& switches,
                                                EscapeCounters counters = {}) {
  LiteralEscapeResult out;
  bool converted = false;
  std::size_t line = 0;  // first unprocessed source line
  while (line < source.size()) {
    // The line group.
    std::string joined;
    std::size_t k = line;
    for (;;) {
      joined += LiteralTrim(source[k]);
      if (joined.size() >= 4 && joined.back() == '=') {
        joined.erase(joined.size() - 1);
        if (k + 1 < source.size()) {
          ++k;
          continue;
        }
      }
      break;
    }
    // The passes, each on the result of the one before.
    if (switches.QP && LiteralHexPass(joined, "=")) {
      ++counters.QPCount;
      converted = true;
    }
    if (switches.QP && LiteralHexPass(joined, "%")) {
      ++counters.SevenBitCount;
      converted = true;
    }
    if (switches.Rtf && LiteralHexPass(joined, "\\'")) {
      ++counters.RtfCount;
      converted = true;
    }
    if (switches.Html) LiteralReferencePass(joined, counters.HtmlCount);

    if (converted || counters.HtmlCount > 0) {
      converted = true;
      out.text.push_back(joined);
      out.lastSource.push_back(k);
      line = k + 1;
    } else {
      out.text.push_back(source[line]);
      out.lastSource.push_back(line);
      line = line + 1;
    }
  }
  out.counters = counters;
  out.converted = converted;
  return out;
}

}  // namespace kamvo::testing
