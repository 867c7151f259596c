// Filter mode: text from standard input (or one file) converted to standard
// output; no file is written.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/cli_run.h"

namespace kamvo {

// Converts the file inFile, or standard input when it is empty, and writes
// the result to out; the information pane and failures go to err. Standard
// input is read to its end without seeking, so any pipe works. Nothing that
// came in is lost: input that is no text goes out as it came, and the
// Base64, UUE and XXE blocks of attachments stay in the output as they came
// (the run is made again without that decoder), unless attachmentsDir names
// a folder to save them in. Returns the exit status.
int RunFilter(const std::string& inFile, const std::string& attachmentsDir, const RunChoices& choices, const TCfg& cfg,
              std::ostream& out, std::ostream& err, int terminalCode);

}  // namespace kamvo
