#include "driver/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace kamvo {

namespace {

FileFaultHook& Hook() {
  static FileFaultHook hook;
  return hook;
}

// Keeps errno as it is while cleaning up after a failure, so that the
// caller learns the failure's reason and not the clean-up's.
class ErrnoKept {
 public:
  ErrnoKept() : saved_(errno) {}
  ~ErrnoKept() { errno = saved_; }
  ErrnoKept(const ErrnoKept&) = delete;
  ErrnoKept& operator=(const ErrnoKept&) = delete;

 private:
  int saved_;
};

// The temporary files this process has created and not yet put in place or
// removed, kept where a signal handler may read them: fixed slots whose
// state is a lock-free atomic, names in plain arrays.
struct OpenTemporary {
  std::atomic<int> State{0};  // 0 free, 1 being filled or emptied, 2 holds a name
  char Name[PATH_MAX];
};
constexpr int kOpenTemporarySlots = 16;
OpenTemporary openTemporaries[kOpenTemporarySlots];

void RememberTemporary(const std::string& name) {
  if (name.size() >= PATH_MAX) return;
  for (OpenTemporary& slot : openTemporaries) {
    int expected = 0;
    if (!slot.State.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slot.Name, name.c_str(), name.size() + 1);
    slot.State.store(2);
    return;
  }
}

void ForgetTemporary(const std::string& name) {
  for (OpenTemporary& slot : openTemporaries) {
    if (slot.State.load() != 2 || name != slot.Name) continue;
    int expected = 2;
    if (!slot.State.compare_exchange_strong(expected, 1)) continue;
    slot.Name[0] = '\0';
    slot.State.store(0);
    return;
  }
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
constexpr std::string_view kTemporaryMark = ".kamvo-";

std::string TemporaryTemplate(const std::string& path) {
  static const std::string kSuffix = std::string(kTemporaryMark) + "XXXXXX";
  const std::size_t slash = path.rfind('/');
  const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t baseLength = path.size() - baseStart;
  const std::size_t room = NAME_MAX - kSuffix.size();
  return path.substr(0, baseStart + std::min(baseLength, room)) + kSuffix;
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

std::string FileErrorText(int error) {
  if (error == kNotRegularFile) return "Not a regular file";
  // The reason comes from the C locale: the report's lines are
  // Windows-1251, and a localised reason would be in the locale's encoding.
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (c != static_cast<locale_t>(nullptr)) return ::strerror_l(error, c);
  return std::strerror(error);
}

int OpenInputFile(const std::string& path, struct stat& info) {
  if (Injected(FileStep::Read, path)) return -1;
  // Not blocking: a pipe or a device is refused after the open, not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  int error = 0;
  if (::fstat(fd, &info) != 0)
    error = errno;
  else if (S_ISDIR(info.st_mode))
    error = EISDIR;
  else if (!S_ISREG(info.st_mode))
    error = kNotRegularFile;
  if (error == 0) return fd;
  ::close(fd);
  errno = error;
  return -1;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  struct stat info {};
  const int fd = OpenInputFile(path, info);
  if (fd < 0) return false;
  const bool ok = ReadWholeFd(fd, bytes);
  const ErrnoKept kept;
  ::close(fd);
  return ok;
}

namespace {

// Reads up to size bytes by `read` (a read or pread of the bytes still
// wanted, given how many it has), going on after interruptions.
template <typename Read>
bool ReadUpTo(Read read, char* data, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = read(data + got, size - got, got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool ReadPiece(int fd, char* data, std::size_t size, std::size_t& got) {
  return ReadUpTo([fd](char* at, std::size_t n, std::size_t) { return ::read(fd, at, n); }, data, size, got);
}

bool ReadPieceAt(int fd, std::uint64_t offset, char* data, std::size_t size, std::size_t& got) {
  return ReadUpTo([fd, offset](char* at, std::size_t n,
                               std::size_t done) { return ::pread(fd, at, n, static_cast<off_t>(offset + done)); },
                  data, size, got);
}

FileLock TryLockFile(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return FileLock::Taken;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? FileLock::Busy : FileLock::Unsupported;
  }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

ResolvedFile ResolveFile(const std::string& name) {
  ResolvedFile file;
  file.Path = name;
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) != 0) {
    if (errno != ENOENT) file.Error = errno;
    return file;
  }
  file.Exists = true;
  file.Info = entry;
  if (S_ISLNK(entry.st_mode)) {
    struct stat target {};
    if (::stat(name.c_str(), &target) != 0) {
      file.Error = errno;  // a link to nothing, or a loop of links
      return file;
    }
    file.Info = target;
    if (S_ISREG(target.st_mode)) {
      // The file's own path; checked, since a link of /proc may name a
      // file that is gone or has moved.
      char* real = ::realpath(name.c_str(), nullptr);
      if (real == nullptr) {
        file.Error = errno;
        return file;
      }
      file.Path = real;
      std::free(real);
      struct stat there {};
      if (::lstat(file.Path.c_str(), &there) != 0 || !S_ISREG(there.st_mode) || !SameFile(there, target))
        file.Error = ENOENT;
      return file;
    }
  }
  if (S_ISDIR(file.Info.st_mode))
    file.Error = EISDIR;
  else if (!S_ISREG(file.Info.st_mode))
    file.Error = kNotRegularFile;
  return file;
}

bool MayWriteFile(const std::string& path) { return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0; }

bool TemporaryFile::Create(const std::string& path, const struct stat* model) {
  Discard();
  if (Injected(FileStep::CreateTemporary, path)) return false;
  std::string name = TemporaryTemplate(path);
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  {
    // The file is known to the signal handler from the moment it exists.
    const SignalsHeld held;
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) return false;
    fd_ = fd;
    path_ = path;
    name_.assign(buffer.data());
    RememberTemporary(name_);
  }
  // Locked while it is written, so that another run that finds it knows it
  // is no leftover of a run that was killed.
  ::flock(fd_, LOCK_EX | LOCK_NB);
  written_ = started_ = 0;
  mode_t mode = 0666;
  if (model != nullptr) {
    // A rewritten file keeps its owner and group where the system lets the
    // user give them, and its mode. A group that cannot be kept takes the
    // group's rights with it, so the new group gains nothing; likewise the
    // set-user and set-group bits go with an owner or group not kept.
    mode = model->st_mode & 07777;
    struct stat own {};
    if (::fstat(fd_, &own) != 0) {
      Discard();
      return false;
    }
    bool ownerKept = own.st_uid == model->st_uid, groupKept = own.st_gid == model->st_gid;
    if (!ownerKept || !groupKept) {
      if (::fchown(fd_, model->st_uid, model->st_gid) == 0) {
        ownerKept = groupKept = true;
      } else if (!groupKept && ::fchown(fd_, static_cast<uid_t>(-1), model->st_gid) == 0) {
        groupKept = true;
      }
    }
    if (!ownerKept) mode &= ~static_cast<mode_t>(S_ISUID);
    if (!groupKept) mode &= ~static_cast<mode_t>(S_ISGID | S_IRWXG);
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
  int error = errno;
  const int fd = fd_;
  fd_ = -1;
  const bool closed = ::close(fd) == 0;
  if (!closed && ok) error = errno;
  if (!closed || !ok) {
    ::unlink(name_.c_str());
    ForgetTemporary(name_);
    errno = error;
    return {};
  }
  return std::move(name_);
}

void TemporaryFile::Discard() {
  if (fd_ < 0) return;
  const ErrnoKept kept;
  ::close(fd_);
  fd_ = -1;
  ::unlink(name_.c_str());
  ForgetTemporary(name_);
}

std::string WriteTemporaryFile(const std::string& path, const std::string& bytes, const struct stat* model) {
  TemporaryFile file;
  if (!file.Create(path, model) || !file.Write(bytes.data(), bytes.size())) return {};
  return file.Finish();
}

namespace {

// Only a regular file is ever replaced: a link, a folder, a device, a pipe
// or a socket standing under the name (as /dev/null does) is refused, not
// swapped for a plain file. errno tells why.
bool MayReplace(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISREG(info.st_mode)) return true;
  errno = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
  return false;
}

}  // namespace

bool CommitFile(const std::string& temporary, const std::string& path) {
  if (Injected(FileStep::Commit, path) || !MayReplace(path) || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const ErrnoKept kept;
    ::unlink(temporary.c_str());
    ForgetTemporary(temporary);
    return false;
  }
  ForgetTemporary(temporary);
  SyncFolderOf(path);
  return true;
}

bool CommitNewFile(const std::string& temporary, const std::string& path) {
  if (Injected(FileStep::Commit, path)) return false;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    // A file system without that kind of rename: a second name for the
    // file is made only where none stands, and the temporary name then goes.
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(temporary.c_str(), path.c_str()) != 0) return false;
    ::unlink(temporary.c_str());
  }
  ForgetTemporary(temporary);
  SyncFolderOf(path);
  return true;
}

void DiscardFile(const std::string& temporary) {
  if (temporary.empty()) return;
  const ErrnoKept kept;
  ::unlink(temporary.c_str());
  ForgetTemporary(temporary);
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = WriteTemporaryFile(path, bytes);
  return !temporary.empty() && CommitFile(temporary, path);
}

bool PathExists(const std::string& path) {
  const ErrnoKept kept;
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool RemovePath(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    // Names that cannot stand for anything hold nothing to remove.
    return errno == ENOENT || errno == ENAMETOOLONG || errno == ENOTDIR;
  }
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
    return false;
  }
  if (Injected(FileStep::Remove, path)) return false;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RenamePath(const std::string& from, const std::string& to) {
  if (Injected(FileStep::Rename, from)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string BackupName(const std::string& path, int number) {
  return number == 0 ? path + ".bak" : path + "." + std::to_string(number) + ".bak";
}

bool IsBackupName(std::string_view fileName) {
  return fileName.size() > 4 && fileName.substr(fileName.size() - 4) == ".bak";
}

namespace {

// How many backup names are tried before the run gives up.
constexpr int kMaxBackupNumber = 10000;

}  // namespace

bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without that kind of rename: the name is looked at first.
  if (PathExists(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string MoveToBackup(const std::string& path, std::string& tried) {
  tried = BackupName(path, 0);
  if (Injected(FileStep::Rename, path)) return {};
  for (int number = 0; number <= kMaxBackupNumber; ++number) {
    const std::string name = BackupName(path, number);
    if (RenameWithoutReplacing(path, name)) return name;
    if (errno != EEXIST) {
      // A name too long for the folder is reported as the first one tried.
      if (errno != ENAMETOOLONG || number == 0) tried = name;
      return {};
    }
  }
  errno = EEXIST;
  return {};
}

bool IsTemporaryFileName(std::string_view fileName) {
  constexpr std::size_t kRandom = 6;
  if (fileName.size() < kTemporaryMark.size() + kRandom + 1) return false;
  const std::size_t mark = fileName.size() - kRandom - kTemporaryMark.size();
  if (fileName.substr(mark, kTemporaryMark.size()) != kTemporaryMark) return false;
  for (char c : fileName.substr(mark + kTemporaryMark.size()))
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

namespace {

// Removes a temporary file when no running conversion holds it.
void RemoveIfLeftOver(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {
  }, now{};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::lstat(name.c_str(), &now) == 0 && SameFile(info, now))
    ::unlink(name.c_str());
  ::close(fd);
}

}  // namespace

void RemoveLeftoverTemporaries(const std::string& path) {
  const std::string pattern = TemporaryTemplate(path);
  const std::string prefix = pattern.substr(0, pattern.size() - 6);  // without the XXXXXX
  const std::size_t slash = prefix.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : prefix.substr(0, slash);
  const std::string base = slash == std::string::npos ? prefix : prefix.substr(slash + 1);

  static std::mutex mutex;
  static std::map<std::string, std::vector<std::string>> leftovers;  // by folder
  std::vector<std::string> mine;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    auto [entry, fresh] = leftovers.try_emplace(folder);
    if (fresh) {
      if (DIR* listing = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(listing))
          if (IsTemporaryFileName(item->d_name)) entry->second.emplace_back(item->d_name);
        ::closedir(listing);
      }
    }
    auto& names = entry->second;
    for (auto it = names.begin(); it != names.end();) {
      if (it->size() == base.size() + 6 && it->compare(0, base.size(), base) == 0) {
        mine.push_back(std::move(*it));
        it = names.erase(it);
      } else {
        ++it;
      }
    }
  }
  const ErrnoKept kept;
  for (const std::string& name : mine) RemoveIfLeftOver(slash == std::string::npos ? name : folder + "/" + name);
}

void RemoveOpenTemporariesForSignal() {
  for (OpenTemporary& slot : openTemporaries)
    if (slot.State.load() == 2) ::unlink(slot.Name);
}

namespace {

sigset_t HeldSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

SignalsHeld::SignalsHeld() {
  const sigset_t set = HeldSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

SignalsHeld::~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool SignalsHeld::Pending() {
  sigset_t pending;
  if (::sigpending(&pending) != 0) return false;
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    if (::sigismember(&pending, signal) == 1) return true;
  return false;
}

}  // namespace kamvo
