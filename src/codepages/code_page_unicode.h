// The Unicode characters of the four code pages, by their published
// mappings (box drawing, punctuation and signs included), and text taken out
// of UTF-8 into one of them.
//
// The program's own translation tables move only what it needs between the
// code pages; these tables tell what a byte of each code page means as a
// character, so that a text that was read in a wrong code page and saved as
// UTF-8 gives every byte back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "codepages/code_tables.h"
#include "codepages/text.h"

namespace kamvo {

// The character of a byte of the code page (a code number for which
// IsSingleByteCode holds; anything else reads as Windows-1251). Every byte
// has one; Windows-1251 0x98, which the code page leaves undefined, is
// U+0098, as web browsers read it.
std::uint32_t CodePageToUnicode(int code, Byte b);

// The byte of the code page that holds the character; false when none does.
bool UnicodeToCodePage(int code, std::uint32_t codePoint, Byte& out);

// Bit code - 1 for each code page that holds the character.
unsigned CodePagesHolding(std::uint32_t codePoint);
// The four code pages of the code tables (1..4).
constexpr unsigned kAllCodePages = 0xF;

// What a scan of a text as UTF-8 found.
struct Utf8TextCheck {
  bool Valid = true;       // only shortest two- and three-byte sequences (no surrogates) and ASCII
  bool Multibyte = false;  // some sequence of more than one byte
  // Which of the four code pages and Windows-1252 hold every character.
  unsigned Holders = kAllCodePages | 1u << (kWindows1252 - 1);

  // Scans one more line; textStart: the line opens the text (a byte order
  // mark there only marks the text as UTF-8). Does nothing once invalid.
  void Add(std::string_view line, bool textStart);
  // Valid UTF-8 with some character above U+007F that some code page holds.
  bool Usable() const { return Valid && Multibyte && Holders != 0; }
};

Utf8TextCheck CheckUtf8Text(const Text& text);

// Takes a line out of UTF-8 into the code page. False when the line is not
// valid UTF-8 of characters the code page holds (out then is unspecified).
// With textStart a leading byte order mark is dropped.
bool Utf8ToCodePage(std::string_view line, int code, std::string& out, bool textStart);

}  // namespace kamvo
