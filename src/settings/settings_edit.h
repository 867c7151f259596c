// What the settings dialogs check and convert, apart from their widgets:
// the detection limit as typed, and the translit table as a column of
// spellings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codepages/code_tables.h"
#include "decoders/translit.h"

namespace kamvo {

// The detection limits the settings dialog allows, and the one it takes for
// a text that is not a number.
inline constexpr int32_t kMinDetectionLimit = 60;
inline constexpr int32_t kMaxDetectionLimit = 100;
inline constexpr int32_t kDefaultDetectionLimit = 80;

// A whole number as the user may type it: leading blanks, then one optional
// sign, then decimal digits, or '$' and hexadecimal digits. Anything else
// (also a trailing blank, or a value beyond 32 bits) is not a number.
bool ParseWholeNumber(std::string_view text, int32_t& value);

// True when the text is a number from 60 to 100.
bool DetectionLimitAllowed(std::string_view text);

// The limit that OK takes from the text: the number, or 80 when the text is
// not one.
int32_t DetectionLimitFromText(std::string_view text);

// The table from its 33 spellings: each followed by CR LF, the last too; an
// empty spelling gives an empty line. (TranslitSpellings splits a table.)
std::string JoinTranslitTable(const std::array<std::string, kTranslitLetters>& spellings);

// A character typed into the translit table: its upper case (UpperRus)
// when it is Backspace, Tab, Esc or a Latin capital after that, otherwise 0
// (the character is dropped).
Byte FilterTranslitKey(Byte typed);

}  // namespace kamvo
