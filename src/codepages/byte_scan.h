// Byte-scanning kernels: the searches and tests that run over whole texts
// and files, a vector block of bytes at a time (the compiler's vector types
// map onto the machine's vector registers, or onto plain words where there
// are none). Each has a portable twin that looks at one byte at a time and
// gives the same answers; the tests compare the two.
#pragma once

#include <cstddef>
#include <string_view>

namespace kamvo {

// The position of the first CR or LF in text at or after `from`, or
// text.size() when there is none.
std::size_t FindLineBreak(std::string_view text, std::size_t from = 0);

// The position of the first byte of text at or after `from` that is one of
// `bytes` (a handful of bytes, at least one), or npos when there is none.
std::size_t FindAnyByte(std::string_view text, std::string_view bytes, std::size_t from = 0);

// The position of the byte that completes the first run of `length` (1 to
// 64) bytes in a row, at or after `from`, that are all below 0x80 and
// neither CR nor LF; npos when there is none.
std::size_t FindPlainRun(std::string_view text, std::size_t length, std::size_t from = 0);

// True when some byte of text is 0x80 or above.
bool HasHighByte(std::string_view text);

// How many times byte occurs in text.
std::size_t CountByte(std::string_view text, char byte);

// Whether a text holds a byte from 0x80 up, and whether it holds a CR or LF.
struct TextBytes {
  bool High = false;
  bool Break = false;
};
TextBytes ExamineBytes(std::string_view text);

// True when the bytes hold a control byte other than TAB, LF and CR.
bool HasControlBytes(std::string_view bytes);

// What one read over a file's bytes tells before it is converted: whether
// it holds a control byte (as HasControlBytes), a CR, an LF.
struct FileBytes {
  bool Control = false;
  bool Cr = false;
  bool Lf = false;
};
FileBytes ExamineFileBytes(std::string_view bytes);

// Replaces every byte b of the text by table[b] (256 entries); true when
// some byte changed. Uses the widest vector instructions the processor
// offers.
bool TranslateBytes(char* data, std::size_t size, const unsigned char* table);

// The portable twins (TranslateBytes's is what it does on a processor
// without the vector instructions it uses).
namespace portable {
std::size_t FindLineBreak(std::string_view text, std::size_t from = 0);
std::size_t FindAnyByte(std::string_view text, std::string_view bytes, std::size_t from = 0);
std::size_t FindPlainRun(std::string_view text, std::size_t length, std::size_t from = 0);
bool HasHighByte(std::string_view text);
std::size_t CountByte(std::string_view text, char byte);
TextBytes ExamineBytes(std::string_view text);
bool HasControlBytes(std::string_view bytes);
FileBytes ExamineFileBytes(std::string_view bytes);
bool TranslateBytes(char* data, std::size_t size, const unsigned char* table);
}  // namespace portable

}  // namespace kamvo
