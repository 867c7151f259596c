// Reading a whole file into memory, shared by every part that loads one
// (the files to convert, the settings store).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <string>

namespace kamvo {

enum class FileRead {
  Ok,
  Missing,  // no such file (or a part of its path is no folder)
  Failed,   // any other failure
};

// Reads the whole file open under fd from its start into bytes. False on any
// failure, bytes then empty and errno telling why: ENOMEM for a file larger
// than the memory left, EFBIG for one larger than `limit` bytes. With a
// growth above 1 the block is reserved for that many times the file's size
// where the address space allows (untouched, it costs no memory), so that
// the text can grow in place.
bool ReadWholeFd(int fd, std::string& bytes, std::size_t limit = std::numeric_limits<std::size_t>::max(),
                 unsigned growth = 1);

// Opens and reads a regular file (or a link to one) into bytes. Folders, devices and
// pipes fail at once, since they would block or never end; so does a file
// larger than `limit` bytes or than the memory left. On success `mode`, when
// given, receives the file's permission bits. On failure bytes is empty and
// errno tells why.
FileRead ReadRegularFile(const std::string& path, std::string& bytes,
                         std::size_t limit = std::numeric_limits<std::size_t>::max(), mode_t* mode = nullptr);

}  // namespace kamvo
