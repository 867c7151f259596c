// The command line: kamvo [InputFile] [/FromCode] [OutputFile] [/ToCode] [/Option] ...
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run_options.h"

namespace kamvo {

struct TCfg;
struct TSettings;

extern const std::string_view ProgramVersion;  // the project version, such as "2.18"
extern const std::string_view SetupParameter;  // "5184"

// The usage text, a line break after every line.
std::string UsageText();

struct CommandLineOptions {
  int FromCode = -1;  // -1: not given
  int ToCode = -1;
  std::string InFile;  // as given, never case-changed
  std::string OutFile;
  DecoderSwitches Switches;
  bool UnknownOption = false;
  std::string ExtraFile;           // the first file name beyond an input and an output
  std::string UnknownWord;         // the parameter that named no option
  std::vector<std::string> Files;  // every file name, in order
};

// Reads the parameters in order. A parameter starting with "/" or "-" is an
// option when the rest names one (in any case); otherwise it is a file name
// when it holds a further "/" or names an existing file, and an unknown
// option when not. Parsing stops at an unknown option. A third file name is
// kept apart: it is a usage error, never a replacement of the output.
CommandLineOptions ParseCommandLine(const std::vector<std::string>& params, DecoderSwitches switches,
                                    const std::function<bool(const std::string&)>& fileExists);

// True when the last parameter, trimmed, is the setup parameter and no file
// of that name exists (a file named so is converted like any other).
bool IsSetupRun(const std::vector<std::string>& params, const std::function<bool(const std::string&)>& fileExists);

// The code page of the terminal from the locale variables (LC_ALL, LC_CTYPE,
// LANG): a code number for a KOI8-R, CP1251, CP866 or ISO-8859-5 locale,
// 0 for UTF-8 and everything else.
int TerminalCodePage(const std::function<std::string(const char*)>& env);

// Windows-1251 text in the terminal's code page (0 = UTF-8).
std::string ForTerminal(std::string_view text, int terminalCode);

// Exit statuses of a command-line run.
enum : int {
  kExitOk = 0,
  kExitConversionFailed = 1,  // unreadable, backup or write failed
  kExitUsage = 2,             // unknown option, too many file names, missing input file
  kExitNotRecognised = 3,     // automatic detection found no Russian text it accepts
  kExitInterrupted = 130,     // Ctrl-C: the file being converted is left as it was
};

// The text printed by --help: the usage text, the long options, the
// default target and the decoders the settings turn on, an example of each
// mode and the exit statuses.
std::string HelpText(const TCfg& cfg, int defaultTarget);

// Runs the command line. The written syntax converts the file the
// parameters name and prints the information pane to out and failures to
// err; the long options choose the other modes (filter, many files,
// detection only, the settings). The settings seed the decoder switches.
// Returns the exit status.
int ConvFileCommandLine(const std::vector<std::string>& params, const TSettings& settings, std::ostream& out,
                        std::ostream& err, int terminalCode);
// The same with only the settings record (the other stored values empty).
int ConvFileCommandLine(const std::vector<std::string>& params, const TCfg& cfg, std::ostream& out, std::ostream& err,
                        int terminalCode);

}  // namespace kamvo
