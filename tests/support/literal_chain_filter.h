// The sample filter's test for one word under one code table, written
// plainly: what the filter leaves open for the word (the direct word test,
// the test after the UTF-8 step). The filter works on whole blocks of
// chains at once; the tests compare it against this.
#pragma once

#include <string_view>

#include "codepages/code_tables.h"
#include "recognition/russian_word.h"

namespace kamvo::testing {

// A Latin look-alike letter as its Cyrillic partner; other bytes as they are.
inline char CyrillicOf(char c) {
  const auto at = LatinLookAlikes.find(c);
  return at == std::string_view::npos ? c : CyrillicLookAlikes[at];
}

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
  // Without a no-break space, what the word test asks of the letters: a
  // one-byte word is one of the one-letter words (or "№"); a word of three
  // or more letters is lower case, or starts upper case and turns lower case
  // at most once, and holds a vowel and a consonant.
  const std::string converted = ConvertByTable(word, table);
  if (word.size() == 1 && static_cast<Byte>(word[0]) >= 0x80) {
    const Byte to = static_cast<Byte>(converted[0]);
    allLetters = to == 0xB9 || OneLetterWords.find(static_cast<char>(UpperRus(to))) != std::string_view::npos;
  } else if (word.size() >= 3 && allLetters) {
    const std::string_view vowels = "\xC0\xC5\xA8\xC8\xCE\xD3\xDB\xDD\xDE\xDF";  // А Е Ё И О У Ы Э Ю Я
    bool vowel = false, consonant = false, isLetter = true;
    int changes = 0;
    for (std::size_t k = 0; k < word.size(); ++k) {
      // Latin look-alikes read as their Cyrillic partners.
      const auto b = static_cast<Byte>(CyrillicOf(converted[k]));
      isLetter &= b == 0xA8 || b == 0xB8 || b >= 0xC0;
      const bool isUpper = b == 0xA8 || (b >= 0xC0 && b < 0xE0);
      const Byte prior = k == 0 ? 0 : static_cast<Byte>(CyrillicOf(converted[k - 1]));
      if (k > 0) changes += isUpper != (prior == 0xA8 || (prior >= 0xC0 && prior < 0xE0));
      (vowels.find(static_cast<char>(UpperRus(b))) != std::string_view::npos ? vowel : consonant) = true;
    }
    const Byte first = static_cast<Byte>(CyrillicOf(converted[0]));
    const bool firstUpper = first == 0xA8 || (first >= 0xC0 && first < 0xE0);
    allLetters = isLetter && changes <= (firstUpper ? 1 : 0) && vowel && consonant;
  }
  // More than 2h/9 of h high bytes must be leads; none with fewer than two.
  const int leadsNeeded = high < 2 ? 0 : 2 * high / 9 + 1;
  return {allLetters || noBreak, leadsNeeded > 0 && leads >= leadsNeeded && continuation};
}

}  // namespace kamvo::testing
