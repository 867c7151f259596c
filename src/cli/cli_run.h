// What every command-line mode shares: the choices of the run, a converter
// without a display, Ctrl-C as the Stop button, and printing pane lines.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <string_view>

#include "driver/converter.h"
#include "driver/headless_window.h"

namespace kamvo {

struct TCfg;

// The choices a command line makes for every conversion of the run.
struct RunChoices {
  DecoderSwitches Switches;
  int FromCode = 0;  // 0: automatic detection, 1..4, kUtf8Code
  int ToCode = 1;    // 1..4, kUtf8Code
};

// A converter whose window nobody sees: it keeps no copy of the text for an
// editor.
struct CliConversion {
  CliConversion(const RunChoices& choices, const TCfg& cfg);
  HeadlessWindow View;
  Converter Conv;
};

// Ctrl-C breaks the conversion off like the Stop button: nothing is written.
class InterruptAsUserBreak {
 public:
  explicit InterruptAsUserBreak(std::atomic<bool>& flag);
  ~InterruptAsUserBreak();
  InterruptAsUserBreak(const InterruptAsUserBreak&) = delete;
  InterruptAsUserBreak& operator=(const InterruptAsUserBreak&) = delete;

 private:
  void (*previous_)(int) = nullptr;
};

// Prints a Windows-1251 text in the terminal's code page (0 = UTF-8): every
// piece up to a LF is one line; a final LF gives no extra line.
void PrintLines(std::ostream& stream, std::string_view text, int terminalCode);

// True when the run's automatic detection found Russian words but no chain
// that reaches the limit. Then prints why on err.
bool ReportNotRecognised(const Converter& converter, const TCfg& cfg, std::ostream& err, int terminalCode);

// Reads everything from fd, without seeking; false with errno set on a
// failing read.
bool ReadAllFrom(int fd, std::string& bytes);

// True when standard input is a pipe or a file: text may be read from it.
// A terminal, /dev/null and a closed input hold none.
bool StandardInputHoldsData();

}  // namespace kamvo
