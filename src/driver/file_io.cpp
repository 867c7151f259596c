#include "driver/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "codepages/file_reader.h"

namespace kamvo {

namespace {

FileFaultHook& Hook() {
  static FileFaultHook hook;
  return hook;
}

// True when the installed hook makes this step fail; errno tells why.
bool Injected(FileStep step, const std::string& path) {
  const FileFaultHook& hook = Hook();
  if (!hook) return false;
  const int error = hook(step, path);
  if (error == 0) return false;
  errno = error;
  return true;
}

// Bytes written and not yet handed to the disk after which the disk is
// asked to start writing them: the flush that ends the file then finds most
// of it written already instead of waiting for all of it.
constexpr std::size_t kStartWritebackEvery = std::size_t{8} << 20;

void StartWriteback(int fd, std::size_t offset, std::size_t size) {
#if defined(SYNC_FILE_RANGE_WRITE)
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
  (void)offset;
  (void)size;
#endif
}

// The template for the temporary file beside path: the file's own name with
// a suffix, its name shortened when the whole would be too long for the
// folder, so that files with long names can be rewritten too.
std::string TemporaryTemplate(const std::string& path) {
  static constexpr std::string_view kSuffix = ".kamvo-XXXXXX";
  const std::size_t slash = path.rfind('/');
  const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t baseLength = path.size() - baseStart;
  const std::size_t room = NAME_MAX - kSuffix.size();
  return path.substr(0, baseStart + std::min(baseLength, room)) + std::string(kSuffix);
}

// Makes a rename in the folder of path durable; a folder that cannot be
// flushed changes nothing about the result.
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void SetFileFaultHook(FileFaultHook hook) { Hook() = std::move(hook); }

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  if (Injected(FileStep::Read, path)) return false;
  return ReadRegularFile(path, bytes) == FileRead::Ok;
}

bool TemporaryFile::Create(const std::string& path, const std::string& modelForPermissions) {
  Discard();
  if (Injected(FileStep::CreateTemporary, path)) return false;
  std::string name = TemporaryTemplate(path);
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  name_.assign(buffer.data());
  written_ = started_ = 0;
  // A rewritten file keeps its permissions; a new one gets the usual ones.
  struct stat model {};
  mode_t mode = 0666;
  if (!modelForPermissions.empty() && ::stat(modelForPermissions.c_str(), &model) == 0) {
    mode = model.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  if (::fchmod(fd_, mode) != 0) {
    Discard();
    return false;
  }
  return true;
}

bool TemporaryFile::Write(const char* data, std::size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    if (written_ - started_ >= kStartWritebackEvery) {
      StartWriteback(fd_, started_, written_ - started_);
      started_ = written_;
    }
    const std::size_t piece = std::min(size, kFileWriteChunk);
    if (Injected(FileStep::WriteChunk, path_)) {
      Discard();
      return false;
    }
    const ssize_t written = ::write(fd_, data, piece);
    if (written < 0) {
      if (errno == EINTR) continue;
      Discard();
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    written_ += static_cast<std::size_t>(written);
  }
  return true;
}

std::string TemporaryFile::Finish() {
  if (fd_ < 0) return {};
  const bool ok = !Injected(FileStep::Sync, path_) && ::fsync(fd_) == 0;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || !ok) {
    ::unlink(name_.c_str());
    return {};
  }
  return std::move(name_);
}

void TemporaryFile::Discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(name_.c_str());
}

std::string WriteTemporaryFile(const std::string& path, const std::string& bytes,
                               const std::string& modelForPermissions) {
  TemporaryFile file;
  if (!file.Create(path, modelForPermissions) || !file.Write(bytes.data(), bytes.size())) return {};
  return file.Finish();
}

int OpenForReading(const std::string& path, std::size_t& size) {
  if (Injected(FileStep::Read, path)) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  size = static_cast<std::size_t>(info.st_size);
  return fd;
}

bool ReadPiece(int fd, char* data, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data + got, size - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// Only a regular file or a link is ever replaced: a device, a pipe or a
// socket standing under the name (as /dev/null does) is refused, not swapped
// for a plain file.
bool MayReplace(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode) || S_ISLNK(info.st_mode);
}

}  // namespace

bool CommitFile(const std::string& temporary, const std::string& path) {
  if (Injected(FileStep::Commit, path) || !MayReplace(path) ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

void DiscardFile(const std::string& temporary) {
  if (!temporary.empty()) ::unlink(temporary.c_str());
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = WriteTemporaryFile(path, bytes);
  return !temporary.empty() && CommitFile(temporary, path);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool RemovePath(const std::string& path) {
  if (!PathExists(path)) return true;
  if (Injected(FileStep::Remove, path)) return false;
  if (::unlink(path.c_str()) != 0 && errno == EISDIR) ::rmdir(path.c_str());
  return !PathExists(path);
}

bool RenamePath(const std::string& from, const std::string& to) {
  if (Injected(FileStep::Rename, from)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace kamvo
