// UTF-8 as a target: a run converts into Windows-1251 as always, and its
// lines are written as UTF-8. A line the run only decoded from UTF-8 (or
// left alone) and that was correct UTF-8 keeps its own bytes instead, so
// that the characters Windows-1251 lacks (emoji, Greek, box drawing...)
// come out exactly as they came in, and a correct UTF-8 file is left as it
// is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "codepages/text.h"

namespace kamvo {
class Converter;
}

namespace kamvo {

// True when text is well-formed UTF-8 (shortest forms, no surrogates, up
// to U+10FFFF).
bool IsWellFormedUtf8(std::string_view text);

// The lines of a text that a UTF-8 target may write as they came: those
// that are well-formed UTF-8 and hold a byte from 0x80 up (an ASCII line
// reads the same either way). Only they are kept, so that a run over a text
// in a single-byte code page holds no second copy of it.
struct Utf8Lines {
  std::size_t LineCount = 0;       // the lines of the whole text
  std::vector<std::size_t> Index;  // the lines kept, ascending
  Text Lines;                      // their bytes, in that order
};
Utf8Lines KeepUtf8Lines(const Text& text);

// Turns the run's lines into UTF-8 lines, each keeping its break: a line
// kept in `input` replaces the run's line when the run's line is what the
// UTF-8 step makes of it or the kept line itself; every other line is
// converted byte by byte, each byte b to the character chars[b] (the
// Windows-1251 character without `chars`), and all of them when the line
// counts differ (a stage joined or split lines). startsText false: the
// lines are a later piece of a text (no byte order mark opens them).
void ToUtf8Lines(const Utf8Lines& input, Text& result, const std::array<std::uint32_t, 256>* chars = nullptr,
                 bool startsText = true);

// Turns the run's Windows-1251 lines into UTF-8 lines, each keeping its
// break. `input` is the text the run started from (before any decoding stage). When both lists have as
// many lines, a result line is replaced by its input line when that is
// well-formed UTF-8 and the run's line is what the UTF-8 step makes of it
// or the input line itself; every other line is converted from
// Windows-1251. When the counts differ (a stage joined or split lines), all
// lines are converted. True when every line was replaced by its input line
// (the text is then the input as it came, line breaks and all).
bool ToUtf8Lines(const Text& input, Text& result);

// What a run whose target is UTF-8 (RunOptions::Utf8Target) ends with:
// ToUtf8Lines on its text buffer, each byte the character it stands for
// (ResultCharacters: a known source's own characters, box drawing
// included); when automatic detection recognised no
// Russian text the lines stay as they are, since their code page is not
// known (no guess is ever written). Whether the result is the input as it
// came is for the caller to compare.
void FinishUtf8Target(Converter& converter, const Utf8Lines& input);

}  // namespace kamvo
