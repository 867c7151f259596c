// Filter mode: text from standard input (or one file) converted to standard
// output; no file is written.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/cli_run.h"

namespace kamvo {

// Converts the file inFile, or standard input when it is empty, and writes
// the result to out; the information pane and failures go to err. Standard
// input is read to its end without seeking, so any pipe works. Returns the
// exit status.
int RunFilter(const std::string& inFile, const RunChoices& choices, const TCfg& cfg, std::ostream& out,
              std::ostream& err, int terminalCode);

}  // namespace kamvo
