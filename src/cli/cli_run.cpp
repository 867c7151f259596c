#include "cli/cli_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "cli/long_options.h"
#include "codepages/unicode.h"
#include "driver/file_io.h"
#include "driver/stages.h"
#include "settings/settings.h"

namespace kamvo {

RunOptions CliRunOptions(const RunChoices& choices, const TCfg& cfg) {
  RunOptions options = RunOptionsFrom(cfg);
  options.Switches = choices.Switches;
  // UTF-8 as the source is Windows-1251 through the UTF-8 step; as the
  // target, the run converts into Windows-1251 and the result is written
  // as UTF-8.
  options.Source = choices.FromCode == kUtf8Code ? kWindows : choices.FromCode;
  if (choices.FromCode == kUtf8Code) options.Switches.Utf8 = true;
  options.Target = choices.ToCode == kUtf8Code ? kWindows : choices.ToCode;
  options.Utf8Target = choices.ToCode == kUtf8Code;
  options.StrictTarget = choices.Strict;
  return options;
}

CliConversion::CliConversion(const RunChoices& choices, const TCfg& cfg) : Conv(Quiet, cfg, StandardStages()) {
  Conv.Options = CliRunOptions(choices, cfg);
}

namespace {

// The broken-off line, where the signal handler may read it.
char brokenOffLine[4096];
std::atomic<std::size_t> brokenOffLength{0};
char interruptNote[4096];
std::atomic<std::size_t> interruptNoteLength{0};
bool errorIsTerminal = false;

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

extern "C" void OnEndingSignal(int signal) {
  RemoveOpenTemporariesForSignal();
  const std::size_t length = brokenOffLength.load();
  if (length > 0) WriteAll(STDOUT_FILENO, brokenOffLine, length);
  // On a terminal the progress line, if any, is cleared first.
  static constexpr char kClear[] = "\r\033[K";
  if (errorIsTerminal) WriteAll(STDERR_FILENO, kClear, sizeof kClear - 1);
  static constexpr char kNote[] = "kamvo: interrupted: the file being converted is left as it was\n";
  const std::size_t noteLength = interruptNoteLength.load();
  if (noteLength > 0)
    WriteAll(STDERR_FILENO, interruptNote, noteLength);
  else
    WriteAll(STDERR_FILENO, kNote, sizeof kNote - 1);
  if (signal == SIGINT) ::_exit(kExitInterrupted);
  // Ends by the signal itself, as the caller expects of SIGTERM and SIGHUP.
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace

void InstallSignalHandling() {
  errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

void SetBrokenOffLine(std::string_view line) {
  const SignalsHeld held;
  const std::size_t length = std::min(line.size(), sizeof brokenOffLine);
  std::memcpy(brokenOffLine, line.data(), length);
  brokenOffLength.store(length);
}

void SetInterruptNote(std::string_view note) {
  const SignalsHeld held;
  const std::size_t length = std::min(note.size(), sizeof interruptNote);
  std::memcpy(interruptNote, note.data(), length);
  interruptNoteLength.store(length);
}

void PrintLines(std::ostream& stream, std::string_view text, int terminalCode) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    stream << ForTerminal(text.substr(0, lf), terminalCode) << '\n';
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

bool TextNotRecognised(const Converter& converter) {
  const DetectionState& detection = converter.Detection;
  return detection.DetectionDone && !detection.Found && detection.SampleWords.Count > 0 && detection.BestPercent > 0;
}

bool ReportNotRecognised(const Converter& converter, const TCfg& cfg, std::ostream& err, int terminalCode) {
  const DetectionState& detection = converter.Detection;
  if (!TextNotRecognised(converter)) return false;
  const std::string best = std::to_string(detection.BestPercent);
  const std::string limit = std::to_string(cfg.DetectionLimit);
  PrintLines(err,
             converter.English() ? "Russian text not recognised (best " + best + " %, limit " + limit +
                                       " %): the code page was left as it is."
                                 : WinFromUtf8("Русский текст не распознан (лучший результат " + best + " %, порог " +
                                               limit + " %): кодировка оставлена как есть."),
             terminalCode);
  return true;
}

bool ReadAllFrom(int fd, std::string& bytes, std::size_t limit, bool* more) {
  char buffer[1 << 16];
  if (more != nullptr) *more = false;
  for (;;) {
    if (bytes.size() >= limit) {
      if (more != nullptr) {
        // One byte more tells whether the source goes on.
        char next;
        ssize_t got;
        while ((got = ::read(fd, &next, 1)) < 0 && errno == EINTR) {
        }
        *more = got > 0;
      }
      return true;
    }
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
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
