// The program's entry. With parameters it converts one file on the command
// line and never needs a display (no QApplication is created); without them
// it starts the window.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "cli/window_launch.h"
#include "settings/settings.h"

namespace {

std::string ProgramPath(const char* argv0) {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.string();
  return std::filesystem::absolute(argv0, error).string();
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> params(argv + 1, argv + argc);
  // Without parameters, text in a pipe is converted like "kamvo -" does;
  // otherwise the window starts.
  if (params.empty() && !kamvo::StandardInputHoldsData()) {
    if (kamvo::DisplayAvailable(Environment)) return kamvo::RunWindow(argc, argv, ProgramPath(argv[0]));
    // Without a display say what the program can do instead.
    std::cerr << kamvo::UsageText() << "There is no display for the window: name a file to convert it here.\n";
    return kamvo::kExitUsage;
  }

  kamvo::InstallSignalHandling();
  kamvo::TSettings settings;
  kamvo::ReadCfg(settings);
  const auto exists = [](const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
  };
  if (kamvo::IsSetupRun(params, exists)) {
    kamvo::SetupFirstRun(settings, ProgramPath(argv[0]));
    return kamvo::kExitOk;
  }
  const int terminal = kamvo::TerminalCodePage(Environment);
  return kamvo::ConvFileCommandLine(params, settings, std::cout, std::cerr, terminal);
}
