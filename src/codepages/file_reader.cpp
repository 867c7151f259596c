#include "codepages/file_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

namespace kamvo {

namespace {

constexpr std::size_t kReadRequest = std::size_t{64} << 20;

// Gives the system advice on the whole pages of `alignment` bytes inside
// a buffer of at least `least` bytes; only a hint, which it may decline.
void Advise([[maybe_unused]] char* data, std::size_t size, std::uintptr_t alignment, std::size_t least,
            [[maybe_unused]] int advice) {
  if (size < least) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + alignment - 1) & ~(alignment - 1);
  const std::uintptr_t last = (begin + size) & ~(alignment - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, advice);
}

// Maps the memory of a large new buffer in one request instead of one page
// fault per page as it is first written.
void Prefault([[maybe_unused]] char* data, [[maybe_unused]] std::size_t size) {
#if defined(MADV_POPULATE_WRITE)
  Advise(data, size, 4096, std::size_t{1} << 20, MADV_POPULATE_WRITE);
#endif
}

// Asks for the large pages of the system for a large buffer: a text of
// hundreds of megabytes then takes a few hundred page faults instead of
// hundreds of thousands, and its passes miss the address cache far less.
void UseLargePages([[maybe_unused]] char* data, [[maybe_unused]] std::size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  Advise(data, size, kLargePage, 4 * kLargePage, MADV_HUGEPAGE);
#endif
}

}  // namespace

bool ReadWholeFd(int fd, std::string& bytes, std::size_t limit, unsigned growth) {
  bytes.clear();
  struct stat info {};
  bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && ::fstat(fd, &info) == 0;
  if (ok && static_cast<std::uintmax_t>(info.st_size) > limit) {
    ok = false;
    errno = EFBIG;
  }
  try {  // a file larger than the memory left is a failure like any other
    // The bytes go straight into a buffer of the size the file has now; a
    // file that has grown meanwhile is read on to its end piece by piece,
    // and one that has shrunk ends where its bytes end.
    const std::size_t expected = ok && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    if (expected > 0) {
      if (growth > 1 && expected < std::numeric_limits<std::size_t>::max() / growth) {
        try {
          bytes.reserve(expected * growth);
        } catch (const std::bad_alloc&) {
        }
      }
      bytes.reserve(expected);
      // Large pages only for a buffer the text grows into: here the system
      // often takes longer to find and clear them (0.2-0.3 s for 100 MiB)
      // than the faults of small pages cost a text read once.
      if (growth > 1) UseLargePages(bytes.data(), bytes.capacity());
      Prefault(bytes.data(), expected);
      bytes.resize(expected);
    }
    std::size_t have = 0;
    while (ok && have < expected) {
      // Requests of a bounded size: a signal is handled between them, so a
      // run broken off while it reads a huge file ends at once.
      const ssize_t got = ::read(fd, bytes.data() + have, std::min(expected - have, kReadRequest));
      if (got == 0) break;
      if (got < 0) {
        ok = errno == EINTR;
        continue;
      }
      have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    if (ok && have == expected) {
      char chunk[64 << 10];
      while (ok) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
          ok = errno == EINTR;
          continue;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > limit) {
          ok = false;
          errno = EFBIG;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    ok = false;
    errno = ENOMEM;
  }
  if (!ok) {
    const int error = errno;
    bytes = std::string();  // gives the memory back
    errno = error;
  }
  return ok;
}

FileRead ReadRegularFile(const std::string& path, std::string& bytes, std::size_t limit, mode_t* mode) {
  bytes.clear();
  // Not blocking: opening a pipe with no writer would wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Failed;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (ok && !S_ISREG(info.st_mode)) {
    ok = false;
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  }
  if (ok && mode) *mode = info.st_mode & 07777;
  ok = ok && ReadWholeFd(fd, bytes, limit);
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok ? FileRead::Ok : FileRead::Failed;
}

}  // namespace kamvo
