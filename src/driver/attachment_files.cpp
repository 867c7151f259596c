#include "driver/attachment_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "codepages/unicode.h"
#include "driver/file_io.h"

namespace kamvo {

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\0') return false;
  return true;
}

std::string NumberedName(const std::string& name, int n) {
  const std::string number = " (" + std::to_string(n) + ")";
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

SavedAttachment SaveAttachmentAsNewFile(const std::string& folder, const std::string& name, const std::string& bytes) {
  SavedAttachment result;
  result.Name = name;
  if (!IsPlainFileName(name)) {
    result.Error = EINVAL;
    return result;
  }
  const std::string temporary = WriteTemporaryFile(folder + Utf8FromWin(name), bytes);
  if (temporary.empty()) {
    result.Error = errno;
    return result;
  }
  for (int n = 0;; ++n) {
    result.Name = n == 0 ? name : NumberedName(name, n);
    if (CommitNewFile(temporary, folder + Utf8FromWin(result.Name))) {
      result.Saved = true;
      return result;
    }
    if (errno != EEXIST || n == kMaxNumberedNames) {
      result.Error = errno;
      DiscardFile(temporary);
      return result;
    }
  }
}

std::string WriteAttachmentReplacing(const std::string& folder, const std::string& name, const std::string& bytes) {
  if (!IsPlainFileName(name)) {
    errno = EINVAL;
    return {};
  }
  const std::string path = folder + Utf8FromWin(name);
  return WriteFileAtomically(path, bytes) ? path : std::string();
}

namespace {

// A real folder (lstat: not a link) owned by the user with no access for
// group or others.
bool IsPrivateFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & 077) == 0;
}

}  // namespace

std::string PrivateTempFolder() {
  std::error_code error;
  std::string base = std::filesystem::temp_directory_path(error).string();
  if (error) base = "/tmp";
  if (!base.empty() && base.back() != '/') base += '/';
  const std::string own = base + "kamvo-" + std::to_string(::geteuid());
  if (::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) {
    if (IsPrivateFolder(own)) return own + '/';
  }
  // The name is taken by something else: a fresh folder of our own.
  std::string pattern = own + "-XXXXXX";
  if (::mkdtemp(pattern.data()) && IsPrivateFolder(pattern)) return pattern + '/';
  return {};
}

}  // namespace kamvo
