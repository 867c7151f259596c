#include "cli/filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "cli/command_line.h"
#include "driver/text_conversion.h"

namespace kamvo {

int RunFilter(const std::string& inFile, const RunChoices& choices, const TCfg& cfg, std::ostream& out,
              std::ostream& err, int terminalCode) {
  const std::string shown = inFile.empty() ? "standard input" : inFile;
  std::string bytes;
  {
    const int fd = inFile.empty() ? STDIN_FILENO : ::open(inFile.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ReadAllFrom(fd, bytes);
    const int error = errno;
    if (fd >= 0 && fd != STDIN_FILENO) ::close(fd);
    if (!read) {
      err << "kamvo: cannot read " << shown << ": " << std::strerror(error) << '\n';
      return kExitConversionFailed;
    }
  }
  // Nothing in, nothing out: an empty input is no text to report on.
  if (bytes.empty()) return kExitOk;

  CliConversion run(choices, cfg);
  TextConversion result = ConvertText(run.Conv, std::move(bytes));
  if (result.NotText) {
    err << "kamvo: " << shown << " is not text\n";
    return kExitConversionFailed;
  }
  if (result.UserBreak) {
    PrintLines(err, run.Conv.Tr("User break.", "Прервано."), terminalCode);
    return kExitInterrupted;
  }
  out.write(result.Text.data(), static_cast<std::streamsize>(result.Text.size()));
  out.flush();
  PrintLines(err, run.Conv.Info(), terminalCode);
  if (!out) {
    err << "kamvo: error writing standard output\n";
    return kExitConversionFailed;
  }
  return ReportNotRecognised(run.Conv, cfg, err, terminalCode) ? kExitNotRecognised : kExitOk;
}

}  // namespace kamvo
