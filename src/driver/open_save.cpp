#include "driver/open_save.h"

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
  const bool exists = std::filesystem::exists(target, error);
  const std::string temporary = WriteTemporaryFile(target, JoinLines(lines, "\n"), exists ? target : std::string());
  return !temporary.empty() && CommitFile(temporary, target);
}

}  // namespace kamvo
