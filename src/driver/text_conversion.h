// Converting a text held in memory with one conversion run: what a file
// conversion does to a file's bytes, for text that comes from a pipe and
// goes back to one (nothing is read from or written to disk).
#pragma once

#include <string>

#include "driver/converter.h"

namespace kamvo {

struct TextConversion {
  std::string Text;      // the converted bytes
  bool NotText = false;  // control bytes: the text was not converted (Text holds the bytes as given)
  bool UserBreak = false;
  bool Same = false;               // the result equals the input
  bool FromUtf16 = false;          // the input was UTF-16 with a byte order mark, read as UTF-8
  std::size_t Transliterated = 0;  // characters a single-byte target cannot hold, spelt out
  bool StrictFailed = false;       // ...and the converter is strict: Text is empty
};

// Converts `bytes` with the converter's Options, as ConvertFile
// converts a file's bytes: UTF-16 with a byte order mark is read as UTF-8,
// control bytes refuse the text, a single-byte target spells out what it
// cannot hold (FitSingleByteTarget), every line keeps
// its own break (the style of the first break when a stage joins lines), and when automatic detection finds no chain
// that reaches the limit the text is taken as the decoding stages left it. Attachments stay in the converter's list;
// nothing is saved.
TextConversion ConvertText(Converter& converter, std::string bytes);
// The same for a caller that keeps what it needs of the bytes itself: the
// run holds no copy of them beside its own. Same compares the result with
// `original` (the bytes as the caller has them; never Same without), and
// a text that is no text comes back empty.
TextConversion ConvertTextInPlace(Converter& converter, std::string bytes, const std::string* original = nullptr);

}  // namespace kamvo
