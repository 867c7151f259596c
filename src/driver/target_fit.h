// A single-byte target (Windows-1251, Dos, KOI-8, ISO 8859-5) cannot hold
// every character: the em dash is missing from KOI-8 and ISO 8859-5, the
// guillemets from Dos, emoji and Greek from all four. Such a character is
// never written as the byte of another character, nor as bytes of another
// encoding: it is spelt as iconv's //TRANSLIT spells it, and counted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "codepages/text.h"
#include "driver/utf8_output.h"

namespace kamvo {
class Converter;
}

namespace kamvo {

// The spelling of a character no single-byte target holds, as iconv's
// //TRANSLIT writes it in a Cyrillic code page: "-" for the dashes, "<<"
// and ">>" for guillemets, "EUR" for the euro sign, "No" for the numero
// sign, ",," for the low quotation mark, "(TM)", "...", "<=", "+" and "|"
// for single box-drawing lines, and the like (the
// em dash, which glibc spells "--", is "-"); "?" for a character without one
// (emoji, Greek, ...).
std::string Transliteration(std::uint32_t codePoint);

// Appends a character in the single-byte code page `target`: its byte, or
// its transliteration, which adds one to `spelt`.
void AppendInTarget(std::uint32_t codePoint, int target, std::string& out, std::size_t& spelt);

// The character each byte of the run's result (converter.TextBuffer, in
// the single-byte code page `target`) stands for. When the code page the
// run read the text in is known (chosen, or detected with no chain or one
// pair into Windows-1251), the character of the source byte it was made
// from, by the source's published table: box drawing read as Dos stays box
// drawing. Otherwise the character of the Windows-1251 text the run's chain
// restored.
std::array<std::uint32_t, 256> ResultCharacters(const Converter& converter, int target);

// Rewrites the run's result (converter.TextBuffer, in the single-byte
// target `target`) so that every character the target cannot hold is
// spelt out; `input` holds the UTF-8 lines of the text the run started
// from (KeepUtf8Lines). A line that was correct UTF-8 and
// that the run only decoded is made from its own characters; every other
// line from ResultCharacters. Nothing happens when detection recognised no
// Russian text (no conversion was made).
struct TargetFit {
  std::size_t Spelt = 0;  // characters spelt out
  bool Changed = false;   // the text changed
};
TargetFit FitSingleByteTarget(Converter& converter, const Utf8Lines& input, int target);

}  // namespace kamvo
