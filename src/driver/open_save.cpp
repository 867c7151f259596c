#include "driver/open_save.h"

#include "codepages/unicode.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "driver/file_io.h"

namespace kamvo {

bool SaveBytesFile(const std::string& path, const std::string& bytes) {
  std::error_code error;
  std::string target = path;
  if (std::filesystem::is_symlink(path, error)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (!error) target = resolved.string();
  }
  // A file the user may not write is not replaced (the folder alone would
  // let it be); a replaced file keeps its mode, group and owner.
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  if (exists && !MayWriteFile(target)) {
    errno = EACCES;
    return false;
  }
  const std::string temporary = WriteTemporaryFile(target, bytes, exists ? &info : nullptr);
  return !temporary.empty() && CommitFile(temporary, target);
}

bool SaveTextFile(const std::string& path, const Text& text, bool utf8) {
  const std::string bytes = JoinLines(text, "\n");
  return SaveBytesFile(path, utf8 ? Utf8FromWin(bytes) : bytes);
}

}  // namespace kamvo
