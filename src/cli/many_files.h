// Converting many files in place, and walking folders for them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace kamvo {

struct FileListing {
  std::vector<std::string> Files;     // in the order given, each folder's files sorted by name
  std::vector<std::string> Problems;  // names that could not be listed or taken, with why
};

// The files the names stand for. A name that is a folder stands, when
// recursive, for every file below it, at any depth, listed before anything
// is converted: files a conversion writes meanwhile (backups, attachments)
// are never visited. A walk descends into folders only, never through a
// link to one; it takes regular files and links to regular files, each
// file once however many names lead to it, and skips every backup
// ("*.bak") and the temporary files a killed conversion left behind. Devices,
// pipes and sockets met in a walk are skipped; named, they are taken (and
// refused by the conversion). "-" is taken as it is.
FileListing ListFiles(const std::vector<std::string>& names, bool recursive);

// Converts every file the names stand for in place, as the single-file run
// does (a .bak each). Prints one line per file and a summary on out; shows
// progress on err when the run takes longer than a second and err is a
// terminal. Returns 0 when every file was converted, had nothing to convert
// or was skipped (no text), 1 when some file failed, 3 when some text was
// not recognised (and none failed).
int ConvertManyFiles(const std::vector<std::string>& names, bool recursive, const RunChoices& choices, const TCfg& cfg,
                     std::ostream& out, std::ostream& err, int terminalCode);

}  // namespace kamvo
