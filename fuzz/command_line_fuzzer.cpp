// Command-line parameters, split at NUL bytes: parsing never fails whatever
// the parameters, names are kept byte for byte, and an option is never taken
// for a file name; the long options leave the other parameters to it in
// their order. Also the terminal's code page from a locale value and the
// pane's text for every terminal code page.
//
// Input: the parameters separated by NUL bytes; the last one also serves as
// the locale and as pane text.
#include <algorithm>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/long_options.h"
#include "codepages/unicode.h"
#include "fuzz_common.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  std::vector<std::string> params;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    params.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }

  // Names that end in ".txt" exist.
  auto exists = [](const std::string& name) { return name.ends_with(".txt"); };
  const CommandLineOptions options = ParseCommandLine(params, DecoderSwitches{}, exists);
  FUZZ_CHECK(options.FromCode >= -1 && options.FromCode <= kLastCode);
  FUZZ_CHECK(options.ToCode >= -1 && options.ToCode <= kLastCode);
  for (const std::string* name : {&options.InFile, &options.OutFile})
    if (!name->empty()) FUZZ_CHECK(std::find(params.begin(), params.end(), *name) != params.end());
  if (!options.OutFile.empty()) FUZZ_CHECK(!options.InFile.empty());
  IsSetupRun(params, [](const std::string&) { return false; });

  // The long options: what is left for the written syntax and the names
  // after "--" are parameters as given, in order; codes are in range.
  const LongOptions longOptions = ParseLongOptions(params, exists);
  FUZZ_CHECK(longOptions.FromCode >= -1 && longOptions.FromCode <= kLastCode);
  FUZZ_CHECK(longOptions.ToCode == -1 || (longOptions.ToCode >= 1 && longOptions.ToCode <= kLastCode));
  auto at = params.begin();
  for (const std::string& written : longOptions.Written) {
    at = std::find(at, params.end(), written);
    FUZZ_CHECK(at != params.end());
    FUZZ_CHECK(!written.starts_with("--") || exists(written));
    ++at;
  }
  if (!longOptions.Files.empty())
    FUZZ_CHECK(std::equal(longOptions.Files.rbegin(), longOptions.Files.rend(), params.rbegin()));

  const std::string& last = params.back();
  const int code =
      TerminalCodePage([&](const char* name) { return std::string(name) == "LANG" ? last : std::string(); });
  FUZZ_CHECK(code >= 0 && code <= kLastCode);
  for (int terminal = 0; terminal <= kCodeCount; ++terminal) {
    const std::string shown = ForTerminal(last, terminal);
    if (terminal != 0) FUZZ_CHECK(shown.size() == last.size());
  }
  // Every byte survives the way to UTF-8 and back.
  FUZZ_CHECK(WinFromUtf8(Utf8FromWin(last)) == last);
  return 0;
}
