// Whole-file reading and safe writing.
#pragma once

#include <functional>
#include <string>

namespace kamvo {

// Reads a regular file (or a link to one) into bytes. False on any failure,
// also for folders, devices and pipes, which would block or never end, and
// for a file larger than the memory left.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Writes bytes to a new temporary file beside path and flushes it to disk;
// the caller then moves it into place with CommitFile or drops it with
// DiscardFile. Gives the temporary file's name, or empty on failure (then no
// temporary file is left behind).
std::string WriteTemporaryFile(const std::string& path, const std::string& bytes,
                               const std::string& modelForPermissions = {});

// Renames the temporary file over path in one step: a reader sees either the
// old or the new content, never a part, and a symbolic link standing at path
// is replaced, not written through. Anything else standing at path (a folder,
// a device, a pipe) is left alone and the commit fails. On failure the
// temporary file is removed.
bool CommitFile(const std::string& temporary, const std::string& path);
void DiscardFile(const std::string& temporary);

// Writes bytes to path by way of a temporary file.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// True when something (a file, a folder, a link, even a broken one) stands
// under path.
bool PathExists(const std::string& path);

// Removes a file, a link (not what it points to) or an empty folder; true
// when nothing is left under path.
bool RemovePath(const std::string& path);

// Renames within one file system; an existing regular file at `to` is
// replaced in one step.
bool RenamePath(const std::string& from, const std::string& to);

// The steps of reading and writing files. A hook installed with
// SetFileFaultHook runs before each of them and may make the step fail by
// returning an errno value (0 lets it run), or end the process there; tests
// use it to see what a failing disk or a crash at that moment leaves behind.
enum class FileStep {
  Read,             // reading a file (ReadWholeFile)
  CreateTemporary,  // creating the temporary file beside the target
  WriteChunk,       // writing one piece of the temporary file
  Sync,             // flushing the temporary file to disk
  Remove,           // removing a file (RemovePath)
  Rename,           // renaming a file (RenamePath)
  Commit,           // moving the temporary file into place
};
using FileFaultHook = std::function<int(FileStep step, const std::string& path)>;

// Installs the hook (an empty one removes it). Not for use while another
// thread reads or writes files.
void SetFileFaultHook(FileFaultHook hook);

// The size of the pieces the temporary file is written in.
inline constexpr std::size_t kFileWriteChunk = std::size_t{1} << 20;

}  // namespace kamvo
