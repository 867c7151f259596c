// The four Cyrillic code pages, the translation tables between them and
// Windows-1251, code tables, conversion pairs and Cyrillic-aware case.
//
// Windows-1251 is the hub: a byte goes from any code page to any other by
// way of Windows-1251, but between Dos and KOI8-R, which share more signs
// than Windows-1251 has room for, straight. Bytes below 0x80 never change.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kamvo {

using Byte = unsigned char;

// Code numbers.
enum : int { kWindows = 1, kDos = 2, kKoi8 = 3, kIso = 4 };
// UTF-8 as a source or target beside the four code pages (no code table of
// its own: text goes through Windows-1251 and the UTF-8 step).
inline constexpr int kUtf8Code = 5;
constexpr int kCodeCount = 4;
// Further single-byte code pages, known by their Unicode tables only: text
// goes between them and the others through Unicode, never by a code table,
// and the chain search does not try them.
enum : int { kMacCyrillic = 6, kKoi8U = 7, kCp1125 = 8, kIbm855 = 9 };
inline constexpr int kLastCode = kIbm855;
// A code number of a single-byte code page (1..4 or 6..kLastCode).
constexpr bool IsSingleByteCode(int code) { return code >= 1 && code <= kLastCode && code != kUtf8Code; }
// Windows-1252, known only as an outer layer: Cyrillic text read as
// Western European (Latin-1 or Windows-1252) and saved as UTF-8. Its five
// undefined bytes read as the C1 controls of their values, as browsers and
// databases keep them, and text taken out of UTF-8 into it also takes every
// C1 control back to its byte, as Latin-1 put it there.
inline constexpr int kWindows1252 = 10;

// Display names indexed by code number (index 0 is unused and empty), as
// the list of code pages (code_page_list.h) has them.
extern const std::array<std::string_view, kLastCode + 1> CodeNames;

// The upper-case Russian letters in alphabetical order (Ё after Е).
inline constexpr int kRussianLetters = 33;
extern const std::string_view RussianAlphabet;  // kRussianLetters bytes

// 128-entry tables for the bytes 0x80..0xFF: entry i is the result for
// byte 0x80 + i. Inward tables lead into Windows-1251, outward ones out of it.
using HalfTable = std::array<Byte, 128>;
extern const HalfTable DosToWinTable, KoiToWinTable, IsoToWinTable;
extern const HalfTable WinToDosTable, WinToKoiTable, WinToIsoTable;

// A code table: entry i is the byte that byte i becomes.
using CodeTable = std::array<Byte, 256>;
CodeTable IdentityCodeTable();

// Conversion pairs, addressed by pair index 0..12; index 0 changes nothing.
// These are the pairs of the chain search.
constexpr int kPairCount = 13;
// Pairs from kPairCount on lead from the code pages known by their Unicode
// tables (MacCyrillic, KOI8-U, CP1125, IBM855) into Windows-1251; detection
// tries each as a single conversion, never in a chain.
constexpr int kAllPairCount = kPairCount + 4;
inline constexpr int kMacToWindowsPair = kPairCount;
int PairFrom(int pairIndex);
int PairTo(int pairIndex);

// A chain of up to eight pair indexes; level 1 (element 0) is applied
// first, unused levels hold 0.
constexpr int kChainLevels = 8;
using Chain = std::array<std::uint8_t, kChainLevels>;

Byte ConvChar(Byte b, int from, int to);
CodeTable BuildCodeTable(int from, int to);
// The chain's table, followed by Windows -> toCode unless windowsOnly.
CodeTable MakeCodeTable(const Chain& chain, bool windowsOnly, int toCode);
// The code table of a single pair.
const CodeTable& PairTable(int pairIndex);

std::string ConvertByPair(std::string_view s, int pairIndex);
std::string ConvertByTable(std::string_view s, const CodeTable& table);
void ConvertInPlace(std::string& s, const CodeTable& table);

Byte UpperRus(Byte b);
Byte LowerRus(Byte b);
std::string UpperCaseRus(std::string_view s);
std::string LowerCaseRus(std::string_view s);

}  // namespace kamvo
