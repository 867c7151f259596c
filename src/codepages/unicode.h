// Unicode and UTF-8 into Windows-1251, and Windows-1251 into Unicode for
// display, terminals and file names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codepages/code_tables.h"

namespace kamvo {

// One 16-bit code point to its Windows-1251 byte; false when it has none.
bool UnicodeToWin(std::uint32_t codePoint, Byte& out);

// The UTF-8 byte order mark (U+FEFF).
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Decodes the one- to three-byte sequence at the start of s. Overlong forms
// and surrogates do not decode, so a sequence of more than one byte never
// gives a byte below 0x80.
bool DecodeUtf8Char(std::string_view s, Byte& out, std::size_t& consumed);

// Converts a whole line from UTF-8 into Windows-1251. The converted line is
// produced in every case; the result tells whether the line looks like UTF-8:
// the bytes of decoded sequences are more than twice the bytes of 0x80 and
// up that stay as they are. With textStart (the line opens the text) a
// leading byte order mark is dropped and counts as decoded.
bool Utf8ToWin(std::string_view line, std::string& converted, bool textStart = false);

// The Unicode character of a Windows-1251 byte. Every byte has one (0x98,
// which the code page leaves undefined, becomes U+0098), and UnicodeToWin
// maps each back to its byte.
std::uint32_t WinToUnicode(Byte b);

// Windows-1251 text as UTF-8.
std::string Utf8FromWin(std::string_view text);

// UTF-8 text (file names, terminal input) as Windows-1251. Characters without
// a Windows-1251 byte and bytes that are not UTF-8 become '?'.
std::string WinFromUtf8(std::string_view text);

// Windows-1251 text as UTF-16, one unit per byte (WinToUnicode), for the
// editor and the clipboard.
std::u16string WinToUtf16(std::string_view text);

// UTF-16 text (the editor, the clipboard) as Windows-1251: every unit that
// UnicodeToWin maps becomes its byte, every other unit '?'. Gives back the
// bytes of WinToUtf16 exactly, for all 256 byte values.
std::string WinFromUtf16(std::u16string_view text);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// A text that starts with a UTF-16 byte order mark (FF FE little-endian,
// FE FF big-endian) and holds whole 16-bit units is rewritten as UTF-8,
// without the mark; true when it was. A surrogate without its pair becomes
// U+FFFD. Any other text is left as it is.
bool Utf16WithMarkToUtf8(std::string& bytes);

}  // namespace kamvo
