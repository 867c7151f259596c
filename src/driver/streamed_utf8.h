// A large file converted into UTF-8 piece by piece, straight into its
// temporary file, instead of whole in memory: the streamed route.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/converter.h"

namespace kamvo {

// What StreamToUtf8 did.
struct StreamedFile {
  enum class Outcome {
    NotTaken,     // the file is not for this route: nothing was written, the whole-text route converts it
    Written,      // the result is in Temporary, flushed to disk
    NotText,      // the file holds control bytes: nothing was written
    UserBreak,    // broken off: nothing was written
    WriteFailed,  // the temporary file could not be written (Error tells why): nothing is left of it
  };
  Outcome Result = Outcome::NotTaken;
  std::string Temporary;
  bool Same = false;  // the result is the file's bytes as they are
  int Error = 0;
};

// The smallest file that takes the streamed route: 64 MiB, or the number of
// bytes in the environment variable KAMVO_STREAM_BYTES (for tests, which
// also set the size of the pieces with KAMVO_STREAM_PIECE).
std::uint64_t StreamedRouteThreshold();

// Converts the file open under fd into UTF-8 beside `target` (a temporary
// file with the model's mode, group and owner), a few megabytes at a time,
// when the result is known from the file's first megabytes to be the
// whole-text route's result line by line: the run's options ask for UTF-8
// (Utf8Target) and no window shows the text, no decoding stage acts on the
// first piece and none would on any other by the check of its lines, and
// the code page is given or found by detection from a sample that the first
// piece decides, outside any UTF-8 layer. Each piece ends at a line break
// (a CR LF is never split); its lines are converted as within the whole
// (ToUtf8Lines: a line already UTF-8 keeps its bytes) and written at once.
// Otherwise NotTaken, before anything is written; a piece found later
// that a stage would act on, or whose conversion splits a line, discards
// what was written and gives NotTaken too. The converter then holds the run's
// report as the whole-text route leaves it.
StreamedFile StreamToUtf8(Converter& converter, int fd, const std::string& target, const struct stat* model);

// Where the last complete line of bytes (more to follow) ends: after its
// break, 0 when none ends there. A CR at the very end may be the first half
// of a CR LF, so it ends no line yet.
std::size_t EndOfLastLine(const char* data, std::size_t size);

}  // namespace kamvo
