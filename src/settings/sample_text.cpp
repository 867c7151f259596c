#include "settings/sample_text.h"

#include <filesystem>

namespace kamvo {

std::string SampleTextPath(std::string_view programFolder) {
  const std::filesystem::path folder(programFolder);
  const std::filesystem::path candidates[] = {
      folder / "sample.txt",
      (folder.has_filename() ? folder : folder.parent_path()).parent_path() / "share" / "kamvo" / "sample.txt",
  };
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
  }
  return candidates[0].string();
}

}  // namespace kamvo
