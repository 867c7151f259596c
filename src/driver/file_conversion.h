// Converting one file on disk with one conversion run.
#pragma once

#include <string>
#include <string_view>

#include "driver/converter.h"

namespace kamvo {

struct FileReport {
  std::string Text;     // Windows-1251, CR LF after every line; empty after a user break
  bool Failed = false;  // some line reports a failure
  Lines FailureLines;   // the failure lines alone, in order
};

// Reads inName, refuses it when it is not text, converts it with the window's
// current choices, backs it up to inName + ".bak" when it is rewritten in
// place, writes the result to outName and saves the attachments beside
// inName. The rewritten file keeps its line-break style. When automatic
// detection finds no chain that reaches the limit, the text is taken as the
// decoding stages left it: no guess is ever written. Never throws: every
// outcome is a line of the report, in the interface language. With a window
// that has no display a file may be converted without its line list (the
// same files, report and pane); the run then keeps no back copy.
FileReport ConvertFile(Converter& converter, const std::string& inName, const std::string& outName);

}  // namespace kamvo
