// The escape-decoding stage on a text that is no mail, written the plain
// way: 1-based positions, the remaining text looked at from every position,
// and the group of every line built afresh from its first line (a line
// whose group is not accepted stands alone, and the group of the next line
// is tried). Slow (quadratic in a run of soft line breaks) and obviously
// faithful; the tests compare the fast decoder against it. Which lines
// belong to Base64, UUE and XXE blocks is the binary stage's own answer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/binary.h"
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

// The value of the escape `lead` XX at 1-based position i of s, or -1.
inline int LiteralEscapeAt(const std::string& s, std::size_t i, const std::string& lead) {
  const std::string_view rest = std::string_view(s).substr(i - 1);
  int high = 0, low = 0;
  if (rest.size() >= lead.size() + 2 && rest.substr(0, lead.size()) == lead &&
      LiteralHexDigit(rest[lead.size()], high) && LiteralHexDigit(rest[lead.size() + 1], low))
    return 16 * high + low;
  return -1;
}

inline bool LiteralHigh(char c) { return static_cast<Byte>(c) >= 0x80; }
inline bool LiteralControl(int value) { return value < 0x20 && value != 9 && value != 10 && value != 13; }

// The escapes of a one-character lead in s from position `from` to `to`
// (1-based, inclusive), read left to right, and the literal high bytes
// between them.
struct LiteralScan {
  std::vector<std::size_t> positions;
  std::vector<int> values;
  int highLiterals = 0;
};

inline LiteralScan ScanEscapes(const std::string& s, char lead, std::size_t from, std::size_t to) {
  LiteralScan scan;
  std::size_t i = from;
  while (i <= to) {
    const int value = i + 2 <= to ? LiteralEscapeAt(s, i, std::string(1, lead)) : -1;
    if (value >= 0) {
      scan.positions.push_back(i);
      scan.values.push_back(value);
      i += 3;
    } else {
      if (LiteralHigh(s[i - 1])) ++scan.highLiterals;
      i += 1;
    }
  }
  return scan;
}

// Letters, as the escape stage judges them: no control escapes, more high
// escapes than high literals, and two high escapes side by side (one high
// escape for `weak`).
inline bool LiteralLetters(const LiteralScan& scan, bool weak) {
  int high = 0;
  bool run = false;
  for (std::size_t k = 0; k < scan.values.size(); ++k) {
    if (LiteralControl(scan.values[k])) return false;
    if (scan.values[k] >= 0x80) {
      ++high;
      if (k > 0 && scan.values[k - 1] >= 0x80 && scan.positions[k - 1] + 3 == scan.positions[k]) run = true;
    }
  }
  if (high <= scan.highLiterals) return false;
  return weak ? high > 0 : run;
}

inline std::string LiteralDecodeAll(const std::string& s, const std::string& lead) {
  std::string out;
  std::size_t i = 1;
  while (i <= s.size()) {
    const int value = LiteralEscapeAt(s, i, lead);
    if (value >= 0) {
      out += static_cast<char>(value);
      i += lead.size() + 2;
    } else {
      out += s[i - 1];
      i += 1;
    }
  }
  return out;
}

// The RTF pass: accepted when its high escapes outnumber the high literals
// or more than 10 escapes decode.
inline bool LiteralRtfPass(std::string& joined) {
  int escapes = 0, highEscapes = 0, highLiterals = 0;
  std::size_t i = 1;
  while (i <= joined.size()) {
    const int value = LiteralEscapeAt(joined, i, "\\'");
    if (value >= 0) {
      ++escapes;
      if (value >= 0x80) ++highEscapes;
      i += 4;
    } else {
      if (LiteralHigh(joined[i - 1])) ++highLiterals;
      i += 1;
    }
  }
  if (highEscapes > highLiterals || escapes > 10) {
    joined = LiteralDecodeAll(joined, "\\'");
    return true;
  }
  return false;
}

// The %XX pass. Tokens are runs of bytes other than blanks, control bytes,
// '"', '<' and '>'; a token holding "://" or beginning with "www." is an
// address, where runs of two or more adjacent high escapes decode. The
// rest of the line decodes all its escapes when they form letters.
inline bool LiteralPercentPass(std::string& s) {
  const auto tokenByte = [](char c) { return static_cast<Byte>(c) > 0x20 && c != '"' && c != '<' && c != '>'; };
  std::vector<bool> inUrl(s.size() + 2, false);  // by 1-based position
  for (std::size_t i = 1; i <= s.size();) {
    if (!tokenByte(s[i - 1])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end <= s.size() && tokenByte(s[end - 1])) ++end;
    const std::string token = s.substr(i - 1, end - i);
    std::string upper;
    for (char c : token) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (token.find("://") != std::string::npos || (token.size() > 4 && upper.substr(0, 4) == "WWW."))
      for (std::size_t k = i; k < end; ++k) inUrl[k] = true;
    i = end;
  }
  // The evidence outside addresses, piece by piece between them.
  LiteralScan outside;
  for (std::size_t i = 1; i <= s.size();) {
    if (inUrl[i]) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end <= s.size() && !inUrl[end]) ++end;
    const LiteralScan piece = ScanEscapes(s, '%', i, end - 1);
    outside.positions.insert(outside.positions.end(), piece.positions.begin(), piece.positions.end());
    outside.values.insert(outside.values.end(), piece.values.begin(), piece.values.end());
    outside.highLiterals += piece.highLiterals;
    i = end;
  }
  const bool decodeOutside = LiteralLetters(outside, false);
  std::string out;
  bool changed = false;
  for (std::size_t i = 1; i <= s.size();) {
    if (inUrl[i]) {
      std::size_t end = i;
      while (end <= s.size() && inUrl[end]) ++end;
      // Escapes of high bytes, from i on, within the address.
      std::size_t k = i;
      std::string run;
      while (k + 2 < end) {
        const int value = LiteralEscapeAt(s, k, "%");
        if (value < 0x80) break;
        run += static_cast<char>(value);
        k += 3;
      }
      if (run.size() >= 2) {
        out += run;
        changed = true;
        i = k;
      } else {
        const std::size_t next = run.size() == 1 ? k : i + 1;
        out += s.substr(i - 1, next - i);
        i = next;
      }
      continue;
    }
    const int value = decodeOutside ? LiteralEscapeAt(s, i, "%") : -1;
    if (value >= 0) {
      out += static_cast<char>(value);
      changed = true;
      i += 3;
    } else {
      out += s[i - 1];
      i += 1;
    }
  }
  if (changed) s = out;
  return changed;
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

// The passes after =XX; true when one changed the string.
inline bool LiteralLaterPasses(std::string& s, const EscapeSwitches& switches, EscapeCounters& counters) {
  bool changed = false;
  if (switches.QP && LiteralPercentPass(s)) {
    ++counters.SevenBitCount;
    changed = true;
  }
  if (switches.Rtf && LiteralRtfPass(s)) {
    ++counters.RtfCount;
    changed = true;
  }
  if (switches.Html) {
    const int before = counters.HtmlCount;
    LiteralReferencePass(s, counters.HtmlCount);
    changed = changed || counters.HtmlCount > before;
  }
  return changed;
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
  std::vector<std::uint8_t> blocks = ProtectedBlockLines(Text::FromLines(source));
  blocks.resize(source.size(), 0);
  std::size_t line = 0;                                    // first unprocessed source line
  std::size_t acceptedEnd = static_cast<std::size_t>(-1);  // the line after the last accepted group
  while (line < source.size()) {
    if (blocks[line]) {
      out.text.push_back(source[line]);
      out.lastSource.push_back(line);
      ++line;
      continue;
    }
    if (switches.QP) {
      // The line group, which ends before a block line.
      std::string joined;
      std::size_t k = line;
      for (;;) {
        joined += LiteralTrim(source[k]);
        if (joined.size() >= 4 && joined.back() == '=') {
          joined.erase(joined.size() - 1);
          if (k + 1 < source.size() && !blocks[k + 1]) {
            ++k;
            continue;
          }
        }
        break;
      }
      if (LiteralLetters(ScanEscapes(joined, '=', 1, joined.size()), acceptedEnd == line)) {
        std::string decoded = LiteralDecodeAll(joined, "=");
        ++counters.QPCount;
        LiteralLaterPasses(decoded, switches, counters);
        out.text.push_back(decoded);
        out.lastSource.push_back(k);
        out.converted = true;
        line = k + 1;
        acceptedEnd = line;
        continue;
      }
    }
    std::string alone = source[line];
    if (LiteralLaterPasses(alone, switches, counters)) out.converted = true;
    out.text.push_back(alone);
    out.lastSource.push_back(line);
    ++line;
  }
  out.counters = counters;
  return out;
}

}  // namespace kamvo::testing
