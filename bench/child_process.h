// Timing whole programs: a child process run to its end, its time and its
// peak memory, and the median of several runs.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kamvo::bench {

constexpr double kMiB = 1024.0 * 1024.0;

struct Sample {
  double seconds = 0;
  double maxRssBytes = 0;
  bool ok = false;
};

struct Figure {
  double seconds = 0;      // median
  double maxRssBytes = 0;  // largest seen
  bool ok = false;
};

// Runs a program and waits for it; its output goes to /dev/null. Exit
// statuses in okStatuses (besides 0) count as success. The child's peak
// memory counts what this process holds when it forks (not what it once
// held): keep it small then.
inline Sample RunProgram(const std::vector<std::string>& args, std::vector<int> okStatuses = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Sample sample;
  std::fflush(stdout);  // the child must not print what is buffered here
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return sample;
  sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sample.maxRssBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;
  okStatuses.push_back(0);
  sample.ok =
      WIFEXITED(status) && std::find(okStatuses.begin(), okStatuses.end(), WEXITSTATUS(status)) != okStatuses.end();
  return sample;
}

inline bool Installed(const std::string& program) { return RunProgram({"sh", "-c", "command -v " + program}).ok; }

inline Figure Median(std::vector<Sample> samples) {
  Figure figure;
  figure.ok = !samples.empty();
  std::vector<double> seconds;
  for (const auto& s : samples) {
    figure.ok = figure.ok && s.ok;
    seconds.push_back(s.seconds);
    figure.maxRssBytes = std::max(figure.maxRssBytes, s.maxRssBytes);
  }
  std::sort(seconds.begin(), seconds.end());
  if (!seconds.empty()) figure.seconds = seconds[seconds.size() / 2];
  return figure;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh copy of the master file for a tool that rewrites its input; the
// copying is not timed.
inline void Fresh(const std::string& master, const std::string& work) {
  std::filesystem::remove(work);
  std::filesystem::remove(work + ".bak");
  std::filesystem::copy_file(master, work);
}

// The built kamvo beside the running benchmark.
inline std::string KamvoBeside(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return ((error ? std::filesystem::path(argv0) : self).parent_path() / "kamvo").string();
}

}  // namespace kamvo::bench
