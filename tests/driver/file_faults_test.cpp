// Faults around converting files on disk: steps that fail, inputs that
// vanish or change, pipes, devices, folders and links under a file's name,
// missing permissions, a full disk and processes killed while they write.
// Whatever happens, the user's text stays whole in the file or in its
// backup, and the command line reports the failure with status 1.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "cli/command_line.h"
#include "codepages/code_tables.h"
#include "driver/file_conversion.h"
#include "driver/file_io.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
#include "support/stage_tables.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

const std::string kWinLine = testing::Greeting();

// Russian lines in Windows-1251 filling at least `size` bytes.
std::string WinText(std::size_t size) {
  std::string text;
  while (text.size() < size) text += kWinLine + "\n";
  return text;
}

std::string Koi(const std::string& win) { return ConvertByPair(win, 2); }

constexpr uid_t kNobody = 65534;

// Removes the fault hook when a test ends, passed or failed.
struct HookGuard {
  ~HookGuard() { SetFileFaultHook({}); }
};

// Temporary files that a write left in a folder.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".kamvo-") != std::string::npos) names.push_back(name);
  }
  return names;
}

bool Exists(const std::string& path) { return PathExists(path); }

// The user's text is whole in the file or in one of its backups, and the
// file, when there, holds the old or the new text, never a part of either.
void ExpectTextWhole(const std::string& file, const std::string& original, const std::string& converted) {
  const std::string now = Exists(file) ? ReadFile(file) : std::string();
  bool backedUp = false;
  for (int number = 0; number < 3; ++number)
    backedUp = backedUp || (Exists(BackupName(file, number)) && ReadFile(BackupName(file, number)) == original);
  if (Exists(file)) {
    EXPECT_TRUE(now == original || now == converted) << "file holds " << now.size() << " bytes";
  }
  EXPECT_TRUE(now == original || backedUp) << "file " << now.size() << " bytes, no whole backup";
}

struct CommandResult {
  int status = -1;
  std::string out, err;
};

CommandResult RunCommandLine(const std::vector<std::string>& params) {
  TCfg cfg;
  cfg.Target = "cp1251";  // whatever the locale
  std::ostringstream out, err;
  const int status = ConvFileCommandLine(params, cfg, out, err, 0);
  return {status, out.str(), err.str()};
}

// How a child process ended and what it wrote into the pipe.
struct ChildResult {
  int waitStatus = 0;
  std::string output;
  bool Exited() const { return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0; }
  bool Killed() const { return WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == SIGKILL; }
};

constexpr int kCannotDropPrivileges = 3;

// Runs body in a child process, ended by an alarm when it hangs. With
// unprivileged, a child of root runs as "nobody", since root passes every
// permission check.
ChildResult InChild(const std::function<std::string()>& body, bool unprivileged = false) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(10);
    if (unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(kCannotDropPrivileges);
    const std::string output = body();
    for (std::size_t done = 0; done < output.size();) {
      const ssize_t n = ::write(fds[1], output.data() + done, output.size() - done);
      if (n <= 0) ::_exit(1);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildResult result;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, n);
  ::close(fds[0]);
  ::waitpid(pid, &result.waitStatus, 0);
  return result;
}

// The command line run in a child: a pipe or device that made it block ends
// in the alarm instead of hanging the tests.
CommandResult RunCommandLineInChild(const std::vector<std::string>& params, bool unprivileged = false) {
  const ChildResult child = InChild(
      [&] {
        const CommandResult run = RunCommandLine(params);
        return std::to_string(run.status) + '\0' + run.out + '\0' + run.err;
      },
      unprivileged);
  CommandResult result;
  if (!child.Exited()) {
    result.err = "child ended with wait status " + std::to_string(child.waitStatus);
    return result;
  }
  std::istringstream parts(child.output);
  std::string status;
  std::getline(parts, status, '\0');
  std::getline(parts, result.out, '\0');
  std::getline(parts, result.err, '\0');
  result.status = std::stoi(status);
  return result;
}

// Hands a folder tree to "nobody" when the tests run as root.
void GiveToUnprivileged(const fs::path& root) {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::lchown(root.c_str(), kNobody, kNobody), 0);
  for (const auto& entry : fs::recursive_directory_iterator(root))
    ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
}

class FileFaults : public ::testing::Test {
 protected:
  // A fresh folder holding letter.txt (KOI-8 text) and an older backup.
  std::string Letter(const std::string& folderName, std::size_t size = 2 * kFileWriteChunk + 4096) {
    const fs::path folder = dir.path() / folderName;
    fs::create_directories(folder);
    const std::string file = (folder / "letter.txt").string();
    WriteFile(file, original_ = Koi(converted_ = WinText(size)));
    WriteFile(file + ".bak", "older backup");
    return file;
  }
  const std::string& original() const { return original_; }
  const std::string& converted() const { return converted_; }

  TempDir dir;
  HookGuard hookGuard;

 private:
  std::string original_, converted_;
};

// Each step of reading and writing fails in turn (a disk error, a full
// disk, a denied rename): the command line names the failure and ends with
// status 1, the file keeps its text (moved aside, it is moved back), the
// older backup stays and no temporary file stays behind.
TEST_F(FileFaults, EveryFailingStepIsReportedAndKeepsTheText) {
  struct Case {
    FileStep step;
    int occurrence;  // the step's n-th run fails
    int error;
    std::string message;  // "%" stands for the file's name
  };
  const std::vector<Case> cases = {
      {FileStep::Read, 1, EIO, "Error opening file %: Input/output error"},
      {FileStep::CreateTemporary, 1, ENOSPC, "Error saving file %: No space left on device"},
      {FileStep::WriteChunk, 2, ENOSPC, "Error saving file %: No space left on device"},
      {FileStep::Sync, 1, EIO, "Error saving file %: Input/output error"},
      {FileStep::Rename, 1, EACCES, "Error saving backup file %.bak: Permission denied"},
      {FileStep::Commit, 1, EIO, "Error saving file %: Input/output error"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("step " + std::to_string(static_cast<int>(c.step)));
    const std::string file = Letter("case" + std::to_string(index++));
    int seen = 0;
    SetFileFaultHook(
        [&](FileStep step, const std::string&) { return step == c.step && ++seen == c.occurrence ? c.error : 0; });
    const CommandResult run = RunCommandLine({file, "/KOI", "/WIN"});
    SetFileFaultHook({});

    std::string message = c.message;
    message.replace(message.find('%'), 1, file);
    EXPECT_EQ(run.status, kExitConversionFailed);
    EXPECT_EQ(run.err, message + "\n");
    EXPECT_TRUE(Leftovers(fs::path(file).parent_path()).empty());
    EXPECT_TRUE(ReadFile(file) == original());
    EXPECT_EQ(ReadFile(file + ".bak"), "older backup");
    EXPECT_FALSE(Exists(file + ".1.bak"));
  }
}

// The input is deleted, or rewritten by someone else, after it was read and
// before it is moved aside.
TEST_F(FileFaults, InputThatVanishesOrChangesWhileItIsConverted) {
  const std::string gone = Letter("gone");
  SetFileFaultHook([&](FileStep step, const std::string&) {
    if (step == FileStep::CreateTemporary) fs::remove(gone);
    return 0;
  });
  const CommandResult vanished = RunCommandLine({gone, "/KOI", "/WIN"});
  EXPECT_EQ(vanished.status, kExitConversionFailed);
  EXPECT_EQ(vanished.err, "Error saving backup file " + gone + ".bak: No such file or directory\n");
  EXPECT_FALSE(Exists(gone));  // nothing is made up in its place
  EXPECT_TRUE(Leftovers(fs::path(gone).parent_path()).empty());

  const std::string changed = Letter("changed");
  SetFileFaultHook([&](FileStep step, const std::string& path) {
    if (step == FileStep::Rename && path == changed) WriteFile(changed, "newer text");
    return 0;
  });
  EXPECT_EQ(RunCommandLine({changed, "/KOI", "/WIN"}).status, kExitOk);
  // The newer text is what gets moved aside, so it is kept whole.
  EXPECT_EQ(ReadFile(changed + ".1.bak"), "newer text");
  EXPECT_TRUE(ReadFile(changed) == converted());
}

// Permissions only stop a user other than root; as root the runs happen in
// a child that has become "nobody".
TEST_F(FileFaults, ReadOnlyFoldersUnreadableFilesAndReadOnlyBackups) {
  const std::string locked = Letter("locked", 1000);
  const std::string lockedText = original();
  const std::string secret = Letter("secret", 1000);
  const std::string secretText = original();
  const std::string readOnly = Letter("readonly", 1000);
  const std::string readOnlyText = original(), readOnlyConverted = converted();
  GiveToUnprivileged(dir.path());
  struct Unlock {  // lets the temporary folder be removed again
    fs::path folder;
    ~Unlock() { fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add); }
  } unlock{fs::path(locked).parent_path()};
  fs::permissions(fs::path(locked).parent_path(), fs::perms(0555));
  fs::permissions(secret, fs::perms::none);
  fs::permissions(readOnly, fs::perms(0444));
  fs::permissions(readOnly + ".bak", fs::perms(0444));

  // A folder that takes no new names: the temporary file cannot be made,
  // so nothing is moved or removed.
  const CommandResult lockedRun = RunCommandLineInChild({locked, "/KOI", "/WIN"}, true);
  ASSERT_NE(lockedRun.status, -1) << lockedRun.err;
  EXPECT_EQ(lockedRun.status, kExitConversionFailed);
  EXPECT_EQ(lockedRun.err, "Error saving file " + locked + ": Permission denied\n");
  EXPECT_EQ(ReadFile(locked), lockedText);
  EXPECT_EQ(ReadFile(locked + ".bak"), "older backup");
  EXPECT_TRUE(Leftovers(fs::path(locked).parent_path()).empty());

  const CommandResult secretRun = RunCommandLineInChild({secret, "/KOI", "/WIN"}, true);
  EXPECT_EQ(secretRun.status, kExitConversionFailed);
  EXPECT_EQ(secretRun.err, "Error opening file " + secret + ": Permission denied\n");
  fs::permissions(secret, fs::perms(0600));
  EXPECT_EQ(ReadFile(secret), secretText);

  // A read-only file in a writable folder is not rewritten, although the
  // folder would let a new file take its place.
  const CommandResult readOnlyRun = RunCommandLineInChild({readOnly, "/KOI", "/WIN"}, true);
  EXPECT_EQ(readOnlyRun.status, kExitConversionFailed);
  EXPECT_EQ(readOnlyRun.err, "Error saving file " + readOnly + ": Permission denied\n");
  EXPECT_EQ(ReadFile(readOnly), readOnlyText);
  EXPECT_EQ(ReadFile(readOnly + ".bak"), "older backup");
  EXPECT_EQ(fs::status(readOnly).permissions(), fs::perms(0444));
  EXPECT_TRUE(Leftovers(fs::path(readOnly).parent_path()).empty());
  // Once the user may write it, it is rewritten and keeps its mode; the
  // read-only old backup stays beside the new one.
  fs::permissions(readOnly, fs::perms(0644));
  const CommandResult writableRun = RunCommandLineInChild({readOnly, "/KOI", "/WIN"}, true);
  EXPECT_EQ(writableRun.status, kExitOk) << writableRun.err;
  EXPECT_EQ(ReadFile(readOnly), readOnlyConverted);
  EXPECT_EQ(ReadFile(readOnly + ".bak"), "older backup");
  EXPECT_EQ(ReadFile(readOnly + ".1.bak"), readOnlyText);
  EXPECT_EQ(fs::status(readOnly).permissions(), fs::perms(0644));

  if (::geteuid() != 0) return;
  // Root can also set up a backup that "nobody" may not delete: one of
  // root's own in a shared folder with the sticky bit. It is not needed:
  // the new backup takes the next name.
  const std::string shared = Letter("shared", 1000);
  const std::string sharedText = original();
  ASSERT_EQ(::chown(shared.c_str(), kNobody, kNobody), 0);
  fs::permissions(fs::path(shared).parent_path(), fs::perms(01777));
  const CommandResult sharedRun = RunCommandLineInChild({shared, "/KOI", "/WIN"}, true);
  EXPECT_EQ(sharedRun.status, kExitOk) << sharedRun.err;
  EXPECT_EQ(ReadFile(shared + ".bak"), "older backup");
  EXPECT_EQ(ReadFile(shared + ".1.bak"), sharedText);
  EXPECT_TRUE(Leftovers(fs::path(shared).parent_path()).empty());
}

// A real full disk: a small memory file system mounted in a mount namespace
// of this test's own, so the mount never shows outside it and goes with it.
TEST_F(FileFaults, FullDiskKeepsTheFileAndFreesWhatTheWriteTook) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace here (" << std::strerror(errno)
                 << "); the injected full disk in EveryFailingStepIsReportedAndKeepsTheText stands in";
  const fs::path disk = dir.path() / "disk";
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small file system (" << std::strerror(errno) << ")";
  struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{disk};

  const std::string file = (disk / "letter.txt").string();
  const std::string win = WinText(256 * 1024);
  WriteFile(file, Koi(win));
  WriteFile(file + ".bak", "older backup");
  {
    std::ofstream filler((disk / "filler").string(), std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  struct statvfs before {
  }, after{};
  ASSERT_EQ(::statvfs(disk.c_str(), &before), 0);

  const CommandResult full = RunCommandLine({file, "/KOI", "/WIN"});
  EXPECT_EQ(full.status, kExitConversionFailed);
  EXPECT_EQ(full.err, "Error saving file " + file + ": No space left on device\n");
  EXPECT_EQ(ReadFile(file), Koi(win));
  EXPECT_EQ(ReadFile(file + ".bak"), "older backup");
  EXPECT_TRUE(Leftovers(disk).empty());
  ASSERT_EQ(::statvfs(disk.c_str(), &after), 0);
  EXPECT_EQ(after.f_bfree, before.f_bfree);

  // With room again the same run goes through.
  fs::remove(disk / "filler");
  EXPECT_EQ(RunCommandLine({file, "/KOI", "/WIN"}).status, kExitOk);
  EXPECT_EQ(ReadFile(file), win);
  EXPECT_EQ(ReadFile(file + ".bak"), "older backup");
  EXPECT_EQ(ReadFile(file + ".1.bak"), Koi(win));
}

// Pipes, devices and folders under the input's or the output's name are
// refused at once, never read from, blocked on or replaced.
TEST_F(FileFaults, PipesDevicesAndFoldersUnderAFilesName) {
  const std::string pipe = dir / "pipe.txt", folder = dir / "folder.txt", in = dir / "in.txt";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  fs::create_directories(folder + "/inside");
  fs::create_directory(dir / "empty.txt");
  WriteFile(in, Koi(WinText(1000)));

  for (const std::string& input : {pipe, folder, std::string("/dev/null")}) {
    const CommandResult run = RunCommandLineInChild({input});
    EXPECT_EQ(run.status, kExitConversionFailed) << input << ": " << run.err;
    EXPECT_EQ(run.err,
              "Error opening file " + input + (input == folder ? ": Is a directory\n" : ": Not a regular file\n"));
  }
  EXPECT_FALSE(Exists(pipe + ".bak"));

  std::vector<std::string> outputs = {pipe, folder, dir / "empty.txt"};
  // A device node of our own (root only) stands for /dev/null given as output.
  const std::string device = dir / "device.txt";
  if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) outputs.push_back(device);
  for (const std::string& output : outputs) {
    const CommandResult run = RunCommandLineInChild({in, "/KOI", output, "/WIN"});
    EXPECT_EQ(run.status, kExitConversionFailed) << output << ": " << run.err;
    const bool isFolder = fs::is_directory(output);
    EXPECT_EQ(run.err, "Error saving file " + output + (isFolder ? ": Is a directory\n" : ": Not a regular file\n"));
  }
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_TRUE(fs::is_directory(folder + "/inside"));
  EXPECT_TRUE(fs::is_directory(dir / "empty.txt"));
  if (outputs.size() == 4) {
    EXPECT_TRUE(fs::is_character_file(device));
  }
  EXPECT_TRUE(Leftovers(dir.path()).empty());
  EXPECT_FALSE(Exists(in + ".bak"));
}

// The process's address space in bytes.
std::uint64_t AddressSpace() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// A file larger than the memory left, first too large to read, then too
// large to convert (short lines, whose index takes several times the text):
// either way a message and status 1, never an abort, and the file stays as
// it was. Each conversion runs in a fresh copy of this test program, whose
// heap holds no block freed by the tests before: such a block would serve
// the file without asking the system for address space.
TEST_F(FileFaults, FileLargerThanTheMemoryLeft) {
  if (const char* room = std::getenv("KAMVO_MEMORY_ROOM")) {
    const rlimit limit{AddressSpace() + std::stoull(room), RLIM_INFINITY};
    std::string outcome = "no limit";
    if (::setrlimit(RLIMIT_AS, &limit) == 0) {
      const CommandResult run = RunCommandLine({std::getenv("KAMVO_MEMORY_FILE"), "/KOI", "/WIN"});
      outcome = std::to_string(run.status) + " " + run.err;
    }
    std::ofstream(std::getenv("KAMVO_MEMORY_RESULT")) << outcome;
    std::_Exit(0);
  }
  const std::size_t size = 32 << 20;
  const std::string file = Letter("memory", size);
  const std::string result = dir / "outcome";
  std::string shortLines;
  shortLines.reserve(size);
  while (shortLines.size() < size) shortLines += "\xC1\n";
  const struct {
    std::size_t room;  // memory the run may take beyond what it holds
    const std::string& content;
    std::string message;
    std::string reason;
  } cases[] = {{size / 4, original(), "Error opening file ", ": Cannot allocate memory"},
               {size + size / 4, shortLines, "Not enough memory to convert ", ""}};
  for (const auto& c : cases) {
    WriteFile(file, c.content);
    const ChildResult child = InChild([&] {
      ::setenv("KAMVO_MEMORY_ROOM", std::to_string(c.room).c_str(), 1);
      ::setenv("KAMVO_MEMORY_FILE", file.c_str(), 1);
      ::setenv("KAMVO_MEMORY_RESULT", result.c_str(), 1);
      const int quiet = ::open("/dev/null", O_WRONLY);
      ::dup2(quiet, STDOUT_FILENO);
      ::execl("/proc/self/exe", "kamvo_tests", "--gtest_filter=FileFaults.FileLargerThanTheMemoryLeft", nullptr);
      return std::string("cannot run the test program again");
    });
    ASSERT_TRUE(child.Exited()) << "wait status " << child.waitStatus << " " << child.output;
    EXPECT_EQ(ReadFile(result), "1 " + c.message + file + c.reason + "\n");
    fs::remove(result);
    EXPECT_TRUE(ReadFile(file) == c.content);
    EXPECT_EQ(ReadFile(file + ".bak"), "older backup");
    EXPECT_TRUE(Leftovers(fs::path(file).parent_path()).empty());
  }
}

// A link given in place is followed: the file it leads to is converted in
// its own folder, with its backup there, and the link stays. An output link
// to a regular file writes that file, its old content kept beside it.
TEST_F(FileFaults, SymbolicLinks) {
  const std::string win = WinText(1000);
  fs::create_directory(dir / "sub");
  WriteFile(dir / "sub/target.txt", Koi(win));
  fs::create_symlink("sub/target.txt", dir / "link.txt");
  const CommandResult run = RunCommandLine({dir / "link.txt", "/KOI", "/WIN"});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(dir / "sub/target.txt"), win);
  EXPECT_EQ(ReadFile(dir / "sub/target.txt.bak"), Koi(win));
  EXPECT_FALSE(Exists(dir / "link.txt.bak"));

  WriteFile(dir / "precious.txt", "precious");
  fs::create_symlink(dir / "precious.txt", dir / "out.txt");
  WriteFile(dir / "in.txt", Koi(win));
  EXPECT_EQ(RunCommandLine({dir / "in.txt", "/KOI", dir / "out.txt", "/WIN"}).status, kExitOk);
  EXPECT_TRUE(fs::is_symlink(dir / "out.txt"));
  EXPECT_EQ(ReadFile(dir / "precious.txt"), win);
  EXPECT_EQ(ReadFile(dir / "precious.txt.bak"), "precious");

  // Broken links and loops count as missing files.
  fs::create_symlink(dir / "nowhere.txt", dir / "broken.txt");
  fs::create_symlink(dir / "loop2.txt", dir / "loop1.txt");
  fs::create_symlink(dir / "loop1.txt", dir / "loop2.txt");
  for (const std::string& name : {dir / "broken.txt", dir / "loop1.txt"}) {
    const CommandResult missing = RunCommandLine({name});
    EXPECT_EQ(missing.status, kExitUsage);
    EXPECT_EQ(missing.err, "kamvo: file not found: " + name + "\nTry 'kamvo --help' for more information.\n");
    TCfg cfg;
    HeadlessWindow window;
    Converter converter(window, cfg);
    const std::string reason =
        name == dir / "broken.txt" ? "No such file or directory" : "Too many levels of symbolic links";
    EXPECT_EQ(ConvertFile(converter, name, name).Text, "Error opening file " + name + ": " + reason + "\r\n");
  }
  EXPECT_TRUE(fs::is_symlink(dir / "broken.txt"));
}

// An output name spelled differently but leading to the input itself is a
// rewrite in place: without a backup the original would be gone. A hard
// link is another entry and is written on its own, its old content kept.
TEST_F(FileFaults, OutputNameThatLeadsToTheInputKeepsABackup) {
  const std::string win = WinText(1000);
  fs::create_directory(dir / "sub");
  const std::string file = dir / "a.txt";
  for (const std::string& other : {dir / "./a.txt", dir / "sub/../a.txt"}) {
    SCOPED_TRACE(other);
    WriteFile(file, Koi(win));
    fs::remove(file + ".bak");
    const CommandResult run = RunCommandLine({file, "/KOI", other, "/WIN"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(ReadFile(file), win);
    EXPECT_EQ(ReadFile(file + ".bak"), Koi(win));
  }

  WriteFile(dir / "b.txt", Koi(win));
  fs::create_hard_link(dir / "b.txt", dir / "hard.txt");
  EXPECT_EQ(RunCommandLine({dir / "b.txt", "/KOI", dir / "hard.txt", "/WIN"}).status, kExitOk);
  EXPECT_EQ(ReadFile(dir / "b.txt"), Koi(win));
  EXPECT_EQ(ReadFile(dir / "hard.txt"), win);
  EXPECT_FALSE(Exists(dir / "b.txt.bak"));
  EXPECT_EQ(ReadFile(dir / "hard.txt.bak"), Koi(win));
}

// Names close to the longest a folder takes: the temporary file must still
// fit; a backup name that would not fit is reported and changes nothing.
TEST_F(FileFaults, LongFileNames) {
  const std::string win = WinText(1000);
  const std::string fits = dir / (std::string(NAME_MAX - 4 - 4, 'a') + ".txt");  // backup just fits
  WriteFile(fits, Koi(win));
  const CommandResult run = RunCommandLine({fits, "/KOI", "/WIN"});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(ReadFile(fits), win);
  EXPECT_EQ(ReadFile(fits + ".bak"), Koi(win));

  const std::string tooLong = dir / (std::string(NAME_MAX - 4 - 2, 'b') + ".txt");
  WriteFile(tooLong, Koi(win));
  const CommandResult failed = RunCommandLine({tooLong, "/KOI", "/WIN"});
  EXPECT_EQ(failed.status, kExitConversionFailed);
  EXPECT_EQ(failed.err, "Error saving backup file " + tooLong + ".bak: File name too long\n");
  EXPECT_EQ(ReadFile(tooLong), Koi(win));
  EXPECT_TRUE(Leftovers(dir.path()).empty());
}

// A child converts and is killed just before each step of reading, writing,
// backing up and saving an attachment in turn, as a crash or power cut
// would stop it: the text is always whole in the file or its backup, and so
// is the user's file that has the attachment's name.
TEST_F(FileFaults, KilledBeforeEveryStepLeavesTheTextWhole) {
  const fs::path folder = dir.path() / "crash";
  const std::string file = (folder / "mail.txt").string(), attachment = (folder / "report.pdf").string();
  const std::string win = WinText(2 * kFileWriteChunk + 4096);
  const auto reset = [&] {
    fs::remove_all(folder);
    fs::create_directory(folder);
    WriteFile(file, Koi(win));
    WriteFile(file + ".bak", "older backup");
    WriteFile(attachment, "old pdf");
  };
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, testing::StagesDoing({{"binary", [](StageContext& c) {
                                                            c.Attachments.AddFile("report.pdf");
                                                            c.Attachments.AddData("new pdf");
                                                          }}}));
  converter.Options.Source = kKoi8;
  converter.Options.Target = kWindows;

  // A first run counts the steps.
  reset();
  const ChildResult counted = InChild([&] {
    int steps = 0;
    SetFileFaultHook([&](FileStep, const std::string&) {
      ++steps;
      return 0;
    });
    const FileReport report = ConvertFile(converter, file, file);
    return report.Failed ? std::string("failed") : std::to_string(steps);
  });
  ASSERT_TRUE(counted.Exited());
  ASSERT_NE(counted.output, "failed");
  const int steps = std::stoi(counted.output);
  EXPECT_GE(steps, 10);  // read, 3 pieces, backup, commit, the attachment's steps

  for (int kill = 1; kill <= steps; ++kill) {
    SCOPED_TRACE("killed before step " + std::to_string(kill));
    reset();
    const ChildResult child = InChild([&] {
      int step = 0;
      SetFileFaultHook([&](FileStep, const std::string&) {
        if (++step == kill) ::raise(SIGKILL);
        return 0;
      });
      ConvertFile(converter, file, file);
      return std::string();
    });
    ASSERT_TRUE(child.Killed());
    ExpectTextWhole(file, Koi(win), win);
    // The user's file of the attachment's name is never touched; the
    // attachment is whole under its free name or not there at all.
    EXPECT_EQ(ReadFile(attachment), "old pdf");
    EXPECT_FALSE(Exists(attachment + ".bak"));
    const std::string saved = (folder / "report (1).pdf").string();
    EXPECT_TRUE(!Exists(saved) || ReadFile(saved) == "new pdf");
  }
}

// The real program killed at random moments of converting a file.
TEST_F(FileFaults, ProgramKilledAtRandomMomentsLeavesTheTextWhole) {
  const std::string file = dir / "letter.txt";
  const std::string win = WinText(1 << 20);
  const std::string config = dir / "config";
  testing::PinWindowsTarget(config);
  const auto start = [&] {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(KAMVO_EXECUTABLE, KAMVO_EXECUTABLE, file.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  };

  // One whole run gives the time to aim at and shows the conversion works.
  WriteFile(file, Koi(win));
  const auto began = std::chrono::steady_clock::now();
  int status = 0;
  ::waitpid(start(), &status, 0);
  const auto took = std::chrono::steady_clock::now() - began;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(ReadFile(file), win);

  std::random_device seed;
  const unsigned seedValue = seed();
  SCOPED_TRACE("seed " + std::to_string(seedValue));
  std::mt19937 random(seedValue);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  std::uniform_int_distribution<long long> delay(0, span + span / 5);
  for (int run = 0; run < 8; ++run) {
    fs::remove(file + ".bak");
    WriteFile(file, Koi(win));
    const pid_t pid = start();
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ExpectTextWhole(file, Koi(win), win);
    for (const std::string& name : Leftovers(dir.path())) fs::remove(dir / name);
  }
}

}  // namespace
}  // namespace kamvo
