// Judging whether a word is a plausible Russian word, and the filters that
// decide which words are worth judging.
#pragma once

#include <string_view>

namespace kamvo {

// True when the Windows-1251 word is a plausible Russian word (or empty, or
// the single sign "№"). Called hundreds of millions of times by detection:
// table lookups only.
bool IsRussianWord(std::string_view word);

// True when every byte is below 0x80 (also for an empty word).
bool IsAsciiWord(std::string_view word);

// True when the word has at most 15 bytes and every byte below 0x80 in it is
// one of the 18 Latin look-alike letters.
bool IsCandidateWord(std::string_view word);

}  // namespace kamvo
