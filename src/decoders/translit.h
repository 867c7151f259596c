// Translit: Russian written with Latin letters. Decoding turns the Latin
// spellings of an editable table back into Cyrillic letters of code page
// 1251; encoding writes every Russian letter as its spelling.
//
// The table is one string of lines separated by line breaks; line k (from
// 1) is the spelling of the k-th letter of А Б В Г Д Е Ё Ж З И Й К Л М Н О П
// Р С Т У Ф Х Ц Ч Ш Щ Ъ Ы Ь Э Ю Я. Lines after the 33rd are ignored, an
// empty line gives the letter no spelling, and spellings are used in upper
// case whatever case they are stored in.
//
// Decoding, as the user sees it: the rows are taken longest spelling first
// (spellings cut to 10 characters; equal lengths in alphabet order); for
// each row in turn, the first occurrence of its spelling anywhere in the
// text (ignoring case) is replaced by the letter, and the search starts
// again, until none is left. So "SHH" becomes Щ before "SH" or "H" are
// seen, and letters put in by one replacement can take part in the next
// occurrence. The letter is small when the occurrence's first character is
// above 'Z'; when that character is below 'A' (the apostrophe and double
// quote of the default table) the letter is small unless the character
// before the occurrence is a capital, and a capital at the very start of
// the text.
//
// Occurrences never hold a line break (the table's lines cannot), so every
// line decodes on its own: the code below takes the text line by line and,
// in each line, every row in one left-to-right pass. The result is exactly
// that of searching from the start again after every replacement, in time
// linear in the size of the text.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "decoders/stage_progress.h"

namespace kamvo {

// The number of letters of the translit alphabet and the decoding cut.
inline constexpr int kTranslitLetters = kRussianLetters;
inline constexpr std::size_t kTranslitMaxSpelling = 10;

// The table's spellings, upper-cased, one for each letter of
// RussianAlphabet; a missing line gives an empty spelling. Lines are split
// at CR LF, CR and LF.
std::array<std::string, kTranslitLetters> TranslitSpellings(std::string_view table);

// One row of decoding: a capital letter and its spelling, upper-cased and
// cut to 10 characters.
struct TranslitRow {
  Byte Letter = 0;
  std::string Spelling;
};

// The 33 rows in the order decoding takes them: longest spelling first,
// equal lengths in alphabet order, empty spellings last.
std::vector<TranslitRow> TranslitRows(std::string_view table);

// How often (in bytes of work) a run reports its progress: it moves the bar
// over 0..100 when the percentage of the text done has changed (otherwise
// it lets pending events run) and asks whether to stop, which stops the run
// at once.
inline constexpr std::size_t kTranslitPollBytes = 64 * 1024;

struct TranslitOutcome {
  bool Changed = false;          // a spelling (decoding) or letter (encoding) was replaced
  std::size_t Replacements = 0;  // how many
  bool Stopped = false;          // the run was stopped
};

// Decodes the text, as the text of its lines joined by CR LF: only the
// first line starts the text. Every line keeps its own break. A line that
// holds a CR or LF of its own is decoded as it stands; splitting it is the
// caller's affair. When the run is stopped, the lines already done are
// decoded, the line in work has its rows applied up to that point, and the
// rest is untouched, so nothing is lost.
TranslitOutcome DecodeTranslitLines(Text& text, std::string_view table, StageProgress& progress = NoProgress(),
                                    std::size_t pollEvery = kTranslitPollBytes);

// Encodes the text: each Russian letter (Ё or А..Я, either case) becomes
// its spelling, used whole, in capitals for a capital letter and in small
// letters for a small one; every other byte stays, and so does every
// line's break. A letter whose line is empty is dropped; a letter that has
// no line at all (a table of fewer than 33 lines) is kept as it is. When
// the run is stopped, the encoded part is followed by the rest unchanged.
TranslitOutcome EncodeTranslitLines(Text& text, std::string_view table, StageProgress& progress = NoProgress(),
                                    std::size_t pollEvery = kTranslitPollBytes);

// The decoding stage: decodes translit in the text with the table and
// splits lines that came to hold a break; the status line says what is
// checked. Returns whether the text changed.
bool DecodeTranslit(Text& text, std::string_view table, StageProgress& progress);

}  // namespace kamvo
