#include "driver/open_save.h"

#include <sys/stat.h>

#include <filesystem>

#include "driver/file_io.h"

namespace kamvo {

bool SaveTextFile(const std::string& path, const Lines& lines) {
  std::error_code error;
  std::string target = path;
  if (std::filesystem::is_symlink(path, error)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (!error) target = resolved.string();
  }
  // A file that is there keeps its mode (and owner and group where allowed).
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  const std::string temporary = WriteTemporaryFile(target, JoinLines(lines, "\n"), exists ? &info : nullptr);
  return !temporary.empty() && CommitFile(temporary, target);
}

}  // namespace kamvo
