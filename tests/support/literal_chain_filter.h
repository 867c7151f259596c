// The sample filter's test for one word under one code table, written
// plainly: what the filter leaves open for the word (the direct word test,
// the test after the UTF-8 step). The filter works on whole blocks of
// chains at once; the tests compare it against this.
#pragma once

#include <string_view>

#include "codepages/code_tables.h"
#include "recognition/russian_word.h"

namespace kamvo::testing {

struct WordChances {
  bool Direct = true;
  bool Utf8 = true;
};

inline WordChances MayRecognise(std::string_view word, const CodeTable& table) {
  // Words the filter cannot rule out: longer than a candidate word, or
  // holding a byte below 0x80 that is not a Latin look-alike.
  if (word.size() > kMaxCandidateBytes) return {};
  for (char c : word)
    if (static_cast<Byte>(c) < 0x80 && LatinLookAlikes.find(c) == std::string_view::npos) return {};
  bool allLetters = true, noBreak = false, continuation = false;
  int high = 0, leads = 0;
  for (char c : word) {
    const auto b = static_cast<Byte>(c);
    if (b < 0x80) continue;
    const Byte to = table[b];
    ++high;
    // Upper half (0xC0..0xFF) or one of the other bytes the word test takes.
    allLetters &= to >= 0xC0 || to == 0xA0 || to == 0xA8 || to == 0xB8 || to == 0xB9;
    noBreak |= to == 0xA0;
    continuation |= to < 0xC0;
    // The leads of UTF-8 sequences that decode to a Windows-1251 character
    // (0xC0, 0xC1 and 0xE0 give only overlong forms).
    leads += std::string_view("\xC2\xC3\xD0\xD1\xD2\xE2").find(static_cast<char>(to)) != std::string_view::npos;
  }
  // More than 2h/9 of h high bytes must be leads; none with fewer than two.
  const int leadsNeeded = high < 2 ? 0 : 2 * high / 9 + 1;
  return {allLetters || noBreak, leadsNeeded > 0 && leads >= leadsNeeded && continuation};
}

}  // namespace kamvo::testing
