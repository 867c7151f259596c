#include "cli/cli_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "cli/long_options.h"
#include "codepages/unicode.h"
#include "driver/stages.h"
#include "settings/settings.h"

namespace kamvo {

CliConversion::CliConversion(const RunChoices& choices, const TCfg& cfg)
        : Conv(View, cfg, StandardStages()) {
  View.hasDisplay = false;
  View.switches = choices.Switches;
  // UTF-8 as the source is Windows-1251 through the UTF-8 step; as the
  // target, the run converts into Windows-1251 and the result is written
  // as UTF-8.
  View.fromIndex = choices.FromCode == kUtf8Code ? kWindows : choices.FromCode;
  if (choices.FromCode == kUtf8Code) View.switches.Utf8 = true;
  View.toIndex = (choices.ToCode == kUtf8Code ? kWindows : choices.ToCode) - 1;
  Conv.Utf8Target = choices.ToCode == kUtf8Code;
}

namespace {

std::atomic<bool>* interruptFlag = nullptr;

extern "C" void OnInterrupt(int) {
  if (interruptFlag) interruptFlag->store(true);
}

}  // namespace

InterruptAsUserBreak::InterruptAsUserBreak(std::atomic<bool>& flag) {
  interruptFlag = &flag;
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptAsUserBreak::~InterruptAsUserBreak() {
  std::signal(SIGINT, previous_);
  interruptFlag = nullptr;
}

void PrintLines(std::ostream& stream, std::string_view text, int terminalCode) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    stream << ForTerminal(text.substr(0, lf), terminalCode) << '\n';
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

bool ReportNotRecognised(const Converter& converter, const TCfg& cfg, std::ostream& err, int terminalCode) {
  const DetectionState& detection = converter.Detection;
  if (!detection.DetectionDone || detection.Found || detection.SampleWords.Count == 0) return false;
  const std::string best = std::to_string(detection.BestPercent);
  const std::string limit = std::to_string(cfg.DetectionLimit);
  PrintLines(err,
             converter.English()
                 ? "Russian text not recognised (best " + best + " %, limit " + limit +
                       " %): the code page was left as it is."
                 : WinFromUtf8("Русский текст не распознан (лучший результат " + best + " %, порог " + limit +
                               " %): кодировка оставлена как есть."),
             terminalCode);
  return true;
}

bool ReadAllFrom(int fd, std::string& bytes) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

bool StandardInputHoldsData() {
  struct stat info {};
  if (::fstat(STDIN_FILENO, &info) != 0) return false;
  return S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode);
}

}  // namespace kamvo
