// Reads the words of a text (its lines) one after another.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "codepages/code_tables.h"
#include "codepages/text.h"

namespace kamvo {

// The 35 bytes that separate words: TAB, LF, CR, space and the ASCII
// punctuation except the backquote.
extern const std::string_view WordDelimiters;
bool IsWordDelimiter(Byte b);

// The longest word NextWord returns.
constexpr std::size_t kMaxWordBytes = 255;

// True when some two adjacent bytes of the line are both not a space.
bool LineHasWord(std::string_view line);

// False for runs of one repeated byte (inner bytes only from four bytes on)
// and for an empty word.
bool IsVariedWord(std::string_view word);

class WordReader {
 public:
  explicit WordReader(const Text& text) : text_(text) {}

  // Back to the first line, first byte.
  void Reset();

  // The next byte of the text; CR stands for a line break of any kind. Lines without a
  // word after the first one are skipped. False at the end of the text.
  bool NextTextChar(Byte& ch);

  // The next varied word of at most 255 bytes, or empty at the end. A longer
  // run is cut: byte 256 is dropped and the next word starts after it.
  std::string NextWord();

 private:
  const Text& text_;
  std::size_t line_ = 0;      // 0-based
  std::size_t position_ = 1;  // 1-based
};

}  // namespace kamvo
