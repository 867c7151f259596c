// Attachments written to disk. Their names come from the text (Windows-1251)
// and reach the file system as UTF-8; a name must be a plain file name, so
// an attachment never lands outside the folder it is saved in.
#pragma once

#include <string>
#include <string_view>

namespace kamvo {

// True when the name names a file inside a folder: not empty, not "." or
// "..", and without '/' or NUL.
bool IsPlainFileName(std::string_view name);

// The n-th free name tried for an attachment whose own name is taken:
// " (n)" before the extension, or at the end of a name without one (a name
// whose only dot starts it, as ".profile", has none).
std::string NumberedName(const std::string& name, int n);

// How many numbered names an attachment tries before it gives up.
inline constexpr int kMaxNumberedNames = 9999;

struct SavedAttachment {
  bool Saved = false;
  std::string Name;  // Windows-1251: the name saved under, or the last one tried
  int Error = 0;     // errno when not saved
};

// Saves bytes in folder (UTF-8, ending in '/'; empty for the current
// folder) under the Windows-1251 name, or under the first free numbered
// name when it is taken. Never replaces anything that stands under a name (a
// file, a folder, a link): each name is taken in one step that fails when
// something is there. A name that is not plain is refused with EINVAL.
SavedAttachment SaveAttachmentAsNewFile(const std::string& folder, const std::string& name, const std::string& bytes);

// Writes bytes to folder + the Windows-1251 name, replacing a file of that
// name; for the program's private temporary folder. The path written
// (UTF-8), or empty with errno set (EINVAL for a name that is not plain).
std::string WriteAttachmentReplacing(const std::string& folder, const std::string& name, const std::string& bytes);

// The program's own temporary folder, ending in '/': "kamvo-<uid>" in the
// system's temporary folder, made with access for the user alone. One that
// exists is used only when it is a real folder (not a link) of the user's
// that nobody else may enter; otherwise a fresh private folder is made
// beside it. Empty when none can be made.
std::string PrivateTempFolder();

}  // namespace kamvo
