// Judging whether a word is a plausible Russian word, and the filters that
// decide which words are worth judging.
#pragma once

#include <cstddef>
#include <string_view>

#include "codepages/code_tables.h"

namespace kamvo {

// True when the Windows-1251 word is a plausible Russian word (or empty, or
// the single sign "№"). Called hundreds of millions of times by detection:
// table lookups only.
bool IsRussianWord(std::string_view word);

// The same judgement over raw bytes, for callers that keep their words in
// their own buffers.
bool IsRussianWord(const Byte* word, std::size_t length);

// Judges the word as it reads after conversion through `table`, without
// building the converted word: IsRussianWord(word, table) equals
// IsRussianWord(ConvertByTable(word, table)).
bool IsRussianWord(std::string_view word, const CodeTable& table);

// True when every byte is below 0x80 (also for an empty word).
bool IsAsciiWord(std::string_view word);

// The longest candidate word, in bytes.
inline constexpr std::size_t kMaxCandidateBytes = 15;

// True when the word has at most kMaxCandidateBytes bytes and every byte
// below 0x80 in it is one of the 18 Latin look-alike letters.
bool IsCandidateWord(std::string_view word);

// The word lists behind the judgement, in Windows-1251. Lists of words and
// letter pairs are upper case, entries separated by single spaces.
extern const std::string_view OneLetterWords;         // 12 words
extern const std::string_view TwoLetterWords;         // 66 entries (ТЕ twice)
extern const std::string_view ForbiddenPairs;         // 283 pairs, anywhere in a word
extern const std::string_view ForbiddenInitialPairs;  // 396 pairs, at the start of 3+ letters
// Latin letters that look like Cyrillic ones, and their Cyrillic partners,
// paired by position (18 letters each, no separators).
extern const std::string_view LatinLookAlikes;
extern const std::string_view CyrillicLookAlikes;

}  // namespace kamvo
