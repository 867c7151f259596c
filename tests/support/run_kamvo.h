// Runs the built kamvo program, as a user would from a shell, with its own
// settings folder so that the tests never read or write the user's.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace kamvo::testing {

struct ProgramRun {
  int Status = -1;  // the exit status; -1 when it did not start or end normally
  std::string Out;  // what it printed on standard output
  std::string Err;  // and on standard error
};

// Pins the target of runs whose settings live in configHome to
// Windows-1251, the target the tests were written for, whatever the
// locale (the default target is the locale's character set). A settings
// store already there is left as it is.
inline void PinWindowsTarget(const std::string& configHome) {
  const std::string store = configHome + "/kamvo/kamvo.reg";
  std::error_code error;
  if (std::filesystem::exists(store, error)) return;
  std::filesystem::create_directories(configHome + "/kamvo", error);
  WriteFile(store, "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings]\n\"Target\"=\"cp1251\"\n");
}

// Runs kamvo (or a copy of it at `program`) with these parameters and the
// extra environment entries ("NAME=value"); its settings live in dir/config
// (Windows-1251 the target when no option names one) and its output goes
// through dir/stdout.txt and dir/stderr.txt.
inline ProgramRun RunKamvo(const TempDir& dir, const std::vector<std::string>& params,
                           const std::string& program = KAMVO_EXECUTABLE,
                           const std::vector<std::string>& environment = {}) {
  PinWindowsTarget(dir / "config");
  const std::string config = "XDG_CONFIG_HOME=" + dir / "config";
  const std::string outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";
  std::vector<char*> envp = {const_cast<char*>(config.c_str())};
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string_view(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) envp.push_back(*e);
  envp.push_back(nullptr);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& param : params) argv.push_back(const_cast<char*>(param.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun run;
  if (spawned != 0) return run;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.Status = WEXITSTATUS(status);
  run.Out = ReadFile(outFile);
  run.Err = ReadFile(errFile);
  return run;
}

}  // namespace kamvo::testing
