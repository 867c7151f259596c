// Byte-scanning kernels: the searches and tests that run over whole texts
// and files, a vector block of bytes at a time (the compiler's vector types
// map onto the machine's vector registers, or onto plain words where there
// are none). Each has a portable twin that looks at one byte at a time and
// gives the same answers; the tests compare the two.
#pragma once

#include <cstddef>
#include <span>
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

// The kernels behind the scans above, slowest first:
//   "portable"    the twins below, a byte at a time (TranslateBytes: eight);
//   "block"       every scan but TranslateBytes, 16 bytes at a time in the
//                 compiler's vector types (SSE2 registers on x86-64, plain
//                 words elsewhere);
//   "avx512vbmi"  TranslateBytes, 64 bytes at a time by byte permutations.
// Each scan uses the fastest kernel that serves it, that this program was
// built with and that the processor runs, up to a ceiling: by default the
// fastest there is; the environment variable KAMVO_BYTE_KERNEL names another
// (benchmarks measure the slower kernels with it). Under the ceiling "block"
// the program scans as on a processor without AVX-512 VBMI.
struct ByteKernel {
  std::string_view Name;
  std::string_view Serves;  // the scans it does
  bool Built = false;       // compiled into this program
  bool Runs = false;        // built, and this processor has its instructions
};
// Every kernel, slowest first.
std::span<const ByteKernel> ByteKernels();
// Sets the ceiling to the named kernel; false, and nothing changed, for a
// name that is no kernel or one this processor does not run.
bool UseByteKernelsUpTo(std::string_view name);
// The ceiling in force.
std::string_view ByteKernelCeiling();

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
