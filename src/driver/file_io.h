// Whole-file reading and safe writing.
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "codepages/file_reader.h"

namespace kamvo {

// Why a file step failed: an errno value, or kNotRegularFile for a name that
// leads to a device, a pipe or a socket where a regular file is needed.
inline constexpr int kNotRegularFile = 100000;

// The reason for an error, as the system says it ("Permission denied"),
// always in English whatever the locale.
std::string FileErrorText(int error);

// Opens a regular file (or a link to one) for reading; -1 on failure, with
// errno telling why: EISDIR for a folder, kNotRegularFile for a device, a
// pipe or a socket, which would block or never end. info receives the
// file's status.
int OpenInputFile(const std::string& path, struct stat& info);

// (ReadWholeFd, which reads a file open under a descriptor, is in
// codepages/file_reader.h.)

// Opens and reads a regular file (or a link to one) into bytes.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Reads up to size bytes: false on a read error, got = 0 at the end.
bool ReadPiece(int fd, char* data, std::size_t size, std::size_t& got);
// The same at an offset of the file, which stays where it was.
bool ReadPieceAt(int fd, std::uint64_t offset, char* data, std::size_t size, std::size_t& got);

// Takes an exclusive lock on the file open under fd without waiting. Locks
// belong to the open file and end when it is closed; they bind only others
// who take them too (other conversions).
enum class FileLock { Taken, Busy, Unsupported };
FileLock TryLockFile(int fd);

// What a name leads to when a file is to be written under it. A symbolic
// link (or a chain of them) is followed to the regular file at its end:
// Path is then that file's own path, whose last part is no link. Exists is
// false when nothing stands under the name (Path is the name). Error is set
// for anything but a regular file or a free name: EISDIR for a folder,
// kNotRegularFile for a device, a pipe or a socket, and the system's reason
// for a link that leads nowhere or cannot be followed.
struct ResolvedFile {
  std::string Path;
  bool Exists = false;
  struct stat Info {};
  int Error = 0;
};
ResolvedFile ResolveFile(const std::string& name);

// True when both are the same file (device and inode).
bool SameFile(const struct stat& a, const struct stat& b);

// True when the user running the program may write the file (checked with
// the effective user and groups, as opening it would be).
bool MayWriteFile(const std::string& path);

// Writes bytes to a new temporary file beside path and flushes it to disk;
// the caller then moves it into place with CommitFile or CommitNewFile, or
// drops it with DiscardFile. Gives the temporary file's name, or empty on
// failure (then no temporary file is left behind and errno tells why). With
// a model the file takes the model's mode, group and, where the system
// allows, owner: a rewritten file stays as it was in these.
std::string WriteTemporaryFile(const std::string& path, const std::string& bytes, const struct stat* model = nullptr);

// A temporary file beside a target, written piece by piece, for a result
// that is made while its input is still being read. Finish flushes it to
// disk; an unfinished one is removed when the object goes.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file beside path, with the mode, group and owner of the
  // model (the usual mode without one); false on failure.
  bool Create(const std::string& path, const struct stat* model = nullptr);
  // Appends bytes; false on failure (the file is then removed).
  bool Write(const char* data, std::size_t size);
  // Flushes and closes the file: its name, or empty on failure (then the
  // file is removed).
  std::string Finish();
  // Removes the file, if one is open.
  void Discard();

 private:
  int fd_ = -1;
  std::string path_;  // the target
  std::string name_;  // the temporary file
  std::size_t written_ = 0;
  std::size_t started_ = 0;  // bytes the disk has been asked to write
};

// Renames the temporary file over path in one step: a reader sees either the
// old or the new content, never a part. Only a regular file is replaced:
// anything else standing at path (a link, a folder, a device, a pipe) is left
// alone and the commit fails. On failure the temporary file is removed and
// errno tells why.
bool CommitFile(const std::string& temporary, const std::string& path);
void DiscardFile(const std::string& temporary);

// Moves the temporary file to path only when nothing at all stands there,
// in one step, so that nothing is ever replaced, even by a file that
// appears meanwhile. False with errno EEXIST when the name is taken; on
// any failure the temporary file stays for the caller to try another name
// or discard.
bool CommitNewFile(const std::string& temporary, const std::string& path);

// Writes bytes to path by way of a temporary file.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// True when something (a file, a folder, a link, even a broken one) stands
// under path.
bool PathExists(const std::string& path);

// Removes a file or a link (not what it points to); true when nothing is
// left under path. A folder, a device, a pipe or a socket is never removed:
// false with errno EISDIR or kNotRegularFile.
bool RemovePath(const std::string& path);

// Renames within one file system; an existing regular file at `to` is
// replaced in one step. False with errno on failure.
bool RenamePath(const std::string& from, const std::string& to);

// The names a backup of path takes, in turn: number 0 is path + ".bak",
// then path + ".1.bak", path + ".2.bak", ...
std::string BackupName(const std::string& path, int number);

// True when a file name (without its folder) has the form of a backup:
// it ends in ".bak".
bool IsBackupName(std::string_view fileName);

// Moves the file at path aside to the first backup name under which
// nothing stands, in one step that never replaces anything, not even a file
// that appears meanwhile: an older backup, a folder or a link under a
// backup name stays as it is. Gives the name taken; on failure empty, with
// errno set and `tried` the name that could not be taken.
std::string MoveToBackup(const std::string& path, std::string& tried);

// Renames only when nothing stands under `to`: false with errno EEXIST when
// something does.
bool RenameWithoutReplacing(const std::string& from, const std::string& to);

// True when a file name (without its folder) has the form of the
// temporary files a result is written to before it is put in place:
// "name.kamvo-" and six letters or digits.
bool IsTemporaryFileName(std::string_view fileName);

// Removes the temporary files a conversion that was killed outright
// (SIGKILL, a crash, a power cut) left beside path. A temporary file that
// a running conversion still writes is locked by it and left alone. The
// folder is listed once per process; later calls for files in the same
// folder use that listing.
void RemoveLeftoverTemporaries(const std::string& path);

// Removes every temporary file this process has created and not yet put in
// place or discarded. Safe to call from a signal handler: a run broken off
// by a signal leaves nothing behind.
void RemoveOpenTemporariesForSignal();

// Holds back SIGINT, SIGTERM and SIGHUP while an object lives: the steps
// that move the original aside and put the result in its place run to their
// end, so the file is never found under its backup name alone. A signal
// that arrives meanwhile is handled when the object goes.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  // True when one of those signals waits to be handled.
  static bool Pending();

 private:
  sigset_t previous_;
};

// The steps of reading and writing files. A hook installed with
// SetFileFaultHook runs before each of them and may make the step fail by
// returning an errno value (0 lets it run), or end the process there; tests
// use it to see what a failing disk or a crash at that moment leaves behind.
enum class FileStep {
  Read,             // opening a file to read it (OpenInputFile)
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
