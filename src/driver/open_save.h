// Saving the editor's text from the window.
#pragma once

#include <string>

#include "codepages/text.h"

namespace kamvo {

// Writes the lines with LF after every line, by way of a temporary file, so
// that a failure leaves the old file whole. A link is written through (the
// file it names is replaced), and a file that exists keeps its permissions.
// False on failure.
// With utf8 the Windows-1251 text is written as UTF-8.
bool SaveTextFile(const std::string& path, const Text& text, bool utf8 = false);

// The same for bytes as they are (an attachment saved under a name the user
// chose).
bool SaveBytesFile(const std::string& path, const std::string& bytes);

}  // namespace kamvo
