// What every command-line mode shares: the choices of the run, a converter
// that reports to no one, Ctrl-C as the Stop button, and printing pane lines.
#pragma once

#include <cstdint>

#include <iosfwd>
#include <string>
#include <string_view>

#include "driver/converter.h"
#include "driver/run_reporter.h"

namespace kamvo {

struct TCfg;

// The choices a command line makes for every conversion of the run.
struct RunChoices {
  DecoderSwitches Switches;
  int FromCode = 0;     // 0: automatic detection, 1..4, kUtf8Code
  int ToCode = 1;       // 1..4, kUtf8Code
  bool Strict = false;  // a character the target cannot hold fails the file
};

// The options of a command-line run: the settings' (limit, translit
// table, language) with the choices of the command line.
RunOptions CliRunOptions(const RunChoices& choices, const TCfg& cfg);

// A converter with no one to show anything to: it keeps no copy of the text
// for an editor.
struct CliConversion {
  CliConversion(const RunChoices& choices, const TCfg& cfg);
  RunReporter Quiet;
  Converter Conv;
};

// Signals that end a command-line run: Ctrl-C (SIGINT), SIGTERM and SIGHUP
// end it at once, whatever it is doing (reading, a stage, detection,
// writing). The temporary file being written is removed, so the file being
// converted stays as it was and no backup is made; a note goes to standard
// error, the line set with SetBrokenOffLine to standard output, and the
// process ends with status 130 (SIGINT) or by the signal itself. A signal
// the program was started to ignore (nohup, a background job) stays
// ignored. SIGXFSZ is ignored: a write beyond the file size limit fails
// with "File too large" like any other failing write.
void InstallSignalHandling();

// The line printed on standard output when a signal ends the run now (the
// file being converted, in many-file runs); empty for none.
void SetBrokenOffLine(std::string_view line);

// The note printed on standard error when a signal ends the run now; empty
// for the usual one ("the file being converted is left as it was").
void SetInterruptNote(std::string_view note);

// Prints a Windows-1251 text in the terminal's code page (0 = UTF-8): every
// piece up to a LF is one line; a final LF gives no extra line.
void PrintLines(std::ostream& stream, std::string_view text, int terminalCode);

// True when the run's automatic detection met words that may be Russian and
// some chain made some of them Russian, but none reached the limit: the
// text was not recognised (status 3). A text in which no chain makes any
// word Russian (English with typographic quotes) holds no Russian text:
// nothing to do. The same rule in every mode.
bool TextNotRecognised(const Converter& converter);

// TextNotRecognised, and then prints why on err.
bool ReportNotRecognised(const Converter& converter, const TCfg& cfg, std::ostream& err, int terminalCode);

// Reads everything from fd (at most `limit` bytes; `more` tells whether
// the source holds more), without seeking; false with errno set on a
// failing read.
bool ReadAllFrom(int fd, std::string& bytes, std::size_t limit = SIZE_MAX, bool* more = nullptr);

// True when standard input is a pipe or a file: text may be read from it.
// A terminal, /dev/null and a closed input hold none.
bool StandardInputHoldsData();

}  // namespace kamvo
