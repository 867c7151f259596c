// Whole-file reading and safe writing.
#pragma once

#include <string>

namespace kamvo {

// Reads a regular file (or a link to one) into bytes. False on any failure,
// also for folders, devices and pipes, which would block or never end.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Writes bytes to a new temporary file beside path and flushes it to disk;
// the caller then moves it into place with CommitFile or drops it with
// DiscardFile. Gives the temporary file's name, or empty on failure.
std::string WriteTemporaryFile(const std::string& path, const std::string& bytes,
                               const std::string& modelForPermissions = {});

// Renames the temporary file over path in one step: a reader sees either the
// old or the new content, never a part, and a symbolic link standing at path
// is replaced, not written through.
bool CommitFile(const std::string& temporary, const std::string& path);
void DiscardFile(const std::string& temporary);

// Writes bytes to path by way of a temporary file.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// True when something (a file, a folder, a link, even a broken one) stands
// under path.
bool PathExists(const std::string& path);

}  // namespace kamvo
