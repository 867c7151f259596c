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

// A temporary file beside a target, written piece by piece, for a result
// that is made while its input is still being read. Finish flushes it to
// disk; an unfinished one is removed when the object goes.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file beside path, with the permissions of the model file
  // (the usual ones without one); false on failure.
  bool Create(const std::string& path, const std::string& modelForPermissions = {});
  // Appends bytes; false on failure (the file is then removed).
  bool Write(const char* data, std::size_t size);
  // Flushes and closes the file: its name, or empty on failure (then the
  // file is removed).
  std::string Finish();
  // Removes the file, if one is open.
  void Discard();

 private:
  int fd_ = -1;
  std::string path_;     // the target
  std::string name_;     // the temporary file
  std::size_t written_ = 0;
  std::size_t started_ = 0;  // bytes the disk has been asked to write
};

// Opens a regular file (or a link to one) for reading piece by piece and
// tells its size; -1 on failure. ReadPiece reads up to size bytes: false on
// a read error, got = 0 at the end.
int OpenForReading(const std::string& path, std::size_t& size);
bool ReadPiece(int fd, char* data, std::size_t size, std::size_t& got);

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
