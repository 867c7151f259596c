// Signals sent to the real program while it converts a big file: at its
// start, at points through the run and while it writes. Whenever the signal
// comes, the file is left byte for byte as it was, nothing is left beside
// it, and the program ends at once: status 130 for Ctrl-C, by the signal
// itself for SIGTERM and SIGHUP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "codepages/code_tables.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {
using Clock = std::chrono::steady_clock;

// The greeting in KOI8-R, lines of it filling `size` bytes: big enough
// that a conversion to UTF-8 takes a while.
std::string KoiText(std::size_t size) {
  const std::string line = ConvertByPair(testing::Greeting() + "\n", 2);
  std::string text;
  text.reserve(size + line.size());
  while (text.size() < size) text += line;
  return text;
}

// The program started in the test's folder with its own settings, standard output and
// error into files there, and the signals it handles at their defaults (a
// process started in the background would ignore SIGINT otherwise).
// With a fileSizeLimit, files larger than that many bytes cannot be written;
// streamed: the file takes the streamed route whatever its size.
pid_t Start(const TempDir& dir, const std::vector<std::string>& params, rlim_t fileSizeLimit = 0,
            bool streamed = false) {
  const std::string config = dir / "config", out = dir / "stdout", err = dir / "stderr";
  std::vector<char*> argv = {const_cast<char*>(KAMVO_EXECUTABLE)};
  for (const std::string& p : params) argv.push_back(const_cast<char*>(p.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::alarm(60);
    if (fileSizeLimit != 0) {
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    if (streamed) ::setenv("KAMVO_STREAM_BYTES", "1", 1);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::chdir(dir.path().c_str());
    ::execv(KAMVO_EXECUTABLE, argv.data());
    ::_exit(127);
  }
  return pid;
}

// The names in a folder, but for the run's own.
std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "config" && name != "stdout" && name != "stderr") names.insert(name);
  }
  return names;
}

// The temporary file being written in a folder, or empty.
std::string Temporary(const fs::path& folder) {
  for (const std::string& name : Names(folder))
    if (name.find(".kamvo-") != std::string::npos) return (folder / name).string();
  return {};
}

bool Writing(const fs::path& folder) { return !Temporary(folder).empty(); }

// The bytes a process has read so far.
std::uintmax_t BytesRead(pid_t pid) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string name;
  std::uintmax_t value = 0;
  while (io >> name >> value)
    if (name == "rchar:") return value;
  return 0;
}

// The moments a signal is sent at, each seen from outside the process: at
// once (it may still be starting or reading), when it has read the file
// (it decodes, detects and converts), when its temporary file appears, and
// when that file holds half the result.
enum class Moment { AtOnce, Read, Writing, HalfWritten };

TEST(Interrupt, SignalsLeaveTheFileAsItWasAndNothingBeside) {
  for (const bool streamed : {false, true}) {
    SCOPED_TRACE(streamed ? "streamed" : "whole text");
    TempDir dir;
    const std::string original = KoiText(12 << 20);
    const std::vector<std::string> params = {"big.txt", "--to=utf-8"};
    const std::uintmax_t resultSize = original.size() * 17 / 10;  // about: UTF-8 takes two bytes a letter

    struct Case {
      int signal;
      Moment moment;
    };
    const std::vector<Case> cases =
        streamed ? std::vector<Case>{{SIGINT, Moment::Writing},
                                     {SIGINT, Moment::HalfWritten},
                                     {SIGTERM, Moment::HalfWritten}}
                 : std::vector<Case>{
                       {SIGINT, Moment::AtOnce},      {SIGINT, Moment::Read},  {SIGINT, Moment::Writing},
                       {SIGINT, Moment::HalfWritten}, {SIGTERM, Moment::Read}, {SIGTERM, Moment::Writing},
                       {SIGHUP, Moment::HalfWritten},
                   };
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(strsignal(c.signal)) + ", moment " + std::to_string(static_cast<int>(c.moment)));
      for (const std::string& name : Names(dir.path())) fs::remove(dir / name);
      WriteFile(dir / "big.txt", original);
      const pid_t pid = Start(dir, params, 0, streamed);
      int status = 0;
      const auto reached = [&] {
        switch (c.moment) {
          case Moment::AtOnce:
            return true;
          case Moment::Read:
            return BytesRead(pid) >= original.size();
          case Moment::Writing:
            return Writing(dir.path());
          case Moment::HalfWritten: {
            const std::string temporary = Temporary(dir.path());
            std::error_code error;
            return !temporary.empty() && fs::file_size(temporary, error) >= resultSize / 2 && !error;
          }
        }
        return true;
      };
      bool ended = false;
      while (!reached() && !(ended = ::waitpid(pid, &status, WNOHANG) == pid))
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      ASSERT_FALSE(ended) << "the run ended before the moment came";
      const auto sent = Clock::now();
      ::kill(pid, c.signal);
      ::waitpid(pid, &status, 0);
      const auto answered = Clock::now() - sent;

      // At once, the signal may come before the program handles signals at
      // all: then it ends by the signal, having done nothing.
      const bool beforeStart = c.moment == Moment::AtOnce && WIFSIGNALED(status) && WTERMSIG(status) == c.signal &&
                               ReadFile(dir / "stderr").empty();
      if (c.signal == SIGINT) {
        EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 130) || beforeStart) << "wait status " << status;
      } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << "wait status " << status;
      }
      EXPECT_TRUE(ReadFile(dir / "big.txt") == original);
      EXPECT_EQ(Names(dir.path()), std::set<std::string>{"big.txt"});
      if (!beforeStart) {
        EXPECT_EQ(ReadFile(dir / "stderr"), "kamvo: interrupted: the file being converted is left as it was\n");
      }
      EXPECT_LT(answered, std::chrono::seconds(2));  // a generous bound: at once, not at the end of the run
    }
  }
}

// Many files: those converted before stay converted, the one being
// converted is named as broken off and left as it was.
TEST(Interrupt, ManyFilesNameTheFileBrokenOff) {
  TempDir dir;
  const std::string small = KoiText(1000), big = KoiText(12 << 20);
  fs::create_directory(dir / "t");
  WriteFile(dir / "t/a.txt", small);
  WriteFile(dir / "t/b.txt", big);
  const pid_t pid = Start(dir, {"-r", "t", "--to=utf-8"});
  int status = 0;
  // Each file's line is out before the next one starts.
  while (!Writing(dir / "t") || ReadFile(dir / "stdout").find("t/a.txt:") == std::string::npos) {
    ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the run ended before it was interrupted";
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // Writing b.txt (a.txt, much shorter, is done).
  ::kill(pid, SIGINT);
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << "wait status " << status;
  EXPECT_EQ(ReadFile(dir / "stdout"),
            "t/a.txt: KOI8-R \xE2\x86\x92 UTF-8, backup t/a.txt.bak\nt/b.txt: broken off, left as it was\n");
  EXPECT_EQ(ReadFile(dir / "t/a.txt.bak"), small);
  EXPECT_TRUE(ReadFile(dir / "t/b.txt") == big);
  EXPECT_EQ(Names(dir / "t"), (std::set<std::string>{"a.txt", "a.txt.bak", "b.txt"}));
}

// Beyond the file size limit the write fails with a message naming the
// file, instead of the program dying of SIGXFSZ; nothing is left behind.
TEST(Interrupt, FileSizeLimitIsAFailingWrite) {
  TempDir dir;
  const std::string original = KoiText(4 << 20);
  for (const bool streamed : {false, true}) {
    WriteFile(dir / "big.txt", original);
    int status = 0;
    ::waitpid(Start(dir, {"big.txt", "--to=utf-8"}, 1 << 20, streamed), &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
    EXPECT_EQ(ReadFile(dir / "stderr"), "Error saving file big.txt: File too large\n");
    EXPECT_TRUE(ReadFile(dir / "big.txt") == original);
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"big.txt"});
  }
}

}  // namespace
}  // namespace kamvo
