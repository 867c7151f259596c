// The real program on real folders: attachments that meet names already
// taken, links and special files under the input's or the output's name,
// files the user may not write, and two conversions of one file at once.
// Each case builds a folder, runs `kamvo` in it and compares the folder
// afterwards, entry by entry, with what should be there.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "codepages/code_tables.h"
#include "decoders/binary_encoders.h"
#include "driver/file_conversion.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

constexpr uid_t kNobody = 65534;
const bool kRoot = ::geteuid() == 0;

// The greeting in Windows-1251, a few lines.
const std::string kWin = [] {
  std::string text;
  for (int i = 0; i < 4; ++i) text += testing::Greeting() + "\n";
  return text;
}();
const std::string kKoi = ConvertByPair(kWin, 2);

// Binary attachments (a NUL keeps them out of the text).
std::string Binary(const std::string& label) { return std::string(40, '\0') + label; }

// A mail with a KOI8-R body and Base64 attachments under the given names.
std::string Mail(const std::vector<std::string>& names) {
  Lines mail = {"From: sender@example.com",
                "Subject: test",
                "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=\"XYZ\"",
                "",
                "--XYZ",
                "Content-Type: text/plain; charset=\"koi8-r\"",
                ""};
  for (const std::string& line : SplitLines(kKoi)) mail.push_back(line);
  for (const std::string& name : names) {
    for (const std::string& line :
         {std::string(), std::string("--XYZ"), std::string("Content-Type: application/octet-stream"),
          std::string("Content-Transfer-Encoding: base64"),
          "Content-Disposition: attachment; filename=\"" + name + "\"", std::string()})
      mail.push_back(line);
    for (const std::string& line : testing::Base64Lines(Binary(name))) mail.push_back(line);
  }
  mail.push_back("");
  mail.push_back("--XYZ--");
  return JoinLines(mail, "\n");
}

// The names by which the folder listing shows contents it knows.
const std::map<std::string, std::string>& KnownContents() {
  static const std::map<std::string, std::string> known = [] {
    std::map<std::string, std::string> m = {{kKoi, "KOI"}, {kWin, "WIN"}};
    for (const char* name : {"notes.txt", "Documents", ".ssh"}) m[Binary(name)] = std::string("<") + name + ">";
    m[Mail({"notes.txt", "notes.txt", "Documents", ".ssh"})] = "MAIL";
    return m;
  }();
  return known;
}

// Builds a case's folder. Everything is made as the user the program runs
// as (when the tests run as root and the case runs as "nobody", entries are
// handed over to "nobody").
class Folder {
 public:
  Folder(fs::path root, uid_t uid, gid_t gid) : root_(std::move(root)), uid_(uid), gid_(gid) {
    fs::create_directories(root_);
    Own(root_);
  }
  void File(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    WriteFile(root_ / name, bytes);
    Own(root_ / name);
    ::chmod((root_ / name).c_str(), mode);
  }
  void Dir(const std::string& name, mode_t mode = 0755) {
    fs::create_directories(root_ / name);
    Own(root_ / name);
    ::chmod((root_ / name).c_str(), mode);
  }
  void Link(const std::string& name, const std::string& target) {
    fs::create_symlink(target, root_ / name);
    Own(root_ / name);
  }
  void Fifo(const std::string& name) {
    ::mkfifo((root_ / name).c_str(), 0644);
    Own(root_ / name);
  }
  void Chown(const std::string& name, uid_t uid, gid_t gid) { ::lchown((root_ / name).c_str(), uid, gid); }

 private:
  void Own(const fs::path& path) {
    if (kRoot) ::lchown(path.c_str(), uid_, gid_);
  }
  fs::path root_;
  uid_t uid_;
  gid_t gid_;
};

// Every entry below root, one line each: "name = contents" for a file (its
// contents by their known name, or as they are when short, or "?"),
// "name/" for a folder, "name -> target" for a link, "name |" for a pipe;
// then the mode when it is not the usual one, and the owner when it is not
// the user who ran the program.
std::set<std::string> Listing(const fs::path& root, uid_t uid, gid_t gid) {
  std::set<std::string> lines;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).string();
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    std::string line = name;
    mode_t usual = 0644;
    if (S_ISLNK(info.st_mode)) {
      line += " -> " + fs::read_symlink(entry.path()).string();
      usual = info.st_mode & 07777;
    } else if (S_ISDIR(info.st_mode)) {
      line += "/";
      usual = 0755;
    } else if (S_ISFIFO(info.st_mode)) {
      line += " |";
    } else {
      const std::string bytes = ReadFile(entry.path().string());
      const auto known = KnownContents().find(bytes);
      const bool plain = bytes.size() <= 40 && bytes.find_first_of(std::string("\0\n", 2)) == std::string::npos;
      line += " = " + (known != KnownContents().end() ? known->second : plain ? bytes : "?");
    }
    char mode[16];
    std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(info.st_mode & 07777));
    if ((info.st_mode & 07777) != usual) line += mode;
    if (info.st_uid != uid || info.st_gid != gid)
      line += " owner=" + std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid);
    lines.insert(line);
  }
  return lines;
}

// The program where "nobody" can run it: a copy in a folder of its own
// under the temporary folder, since the build folder may be one that only
// its owner can enter (a build under /root).
const std::string& ProgramForNobody() {
  static const TempDir folder;
  static const std::string copy = [] {
    const std::string path = folder / "kamvo";
    fs::copy_file(KAMVO_EXECUTABLE, path, fs::copy_options::overwrite_existing);
    const fs::perms readAndRun = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder.path(), readAndRun);
    fs::permissions(path, readAndRun);
    return path;
  }();
  return copy;
}

struct RunResult {
  int status = -1;  // the exit status, or -1 when the program did not end by itself
  std::string out, err;
};

// Runs the program with the parameters; standard input from stdinPath,
// standard output and error into pipes. With unprivileged, a run by root
// becomes "nobody" first. started, when given, receives the process's id.
RunResult RunKamvo(const std::vector<std::string>& params, const std::string& config, bool unprivileged = false,
                   const std::string& stdinPath = "/dev/null", std::atomic<pid_t>* started = nullptr) {
  // Everything the child needs is made before the fork: other threads may
  // hold the allocator's lock at that moment.
  std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + config, "LC_ALL=C.UTF-8"};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view entry(*variable);
    if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("LC_ALL=", 0) != 0) environment.emplace_back(entry);
  }
  const bool asNobody = unprivileged && kRoot;
  const std::string program = asNobody ? ProgramForNobody() : KAMVO_EXECUTABLE;
  std::vector<char*> envp, argv = {const_cast<char*>(program.c_str())};
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  for (const std::string& p : params) argv.push_back(const_cast<char*>(p.c_str()));
  argv.push_back(nullptr);

  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(30);  // a run that hangs ends here instead of hanging the tests
    if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(126);
    const int in = ::open(stdinPath.c_str(), O_RDONLY);
    ::dup2(in, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(in);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (started != nullptr) *started = pid;
  ::close(out[1]);
  ::close(err[1]);
  RunResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  for (int open = 2; open > 0;) {
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

std::string Replaced(std::string text, const std::string& mark, const std::string& by) {
  for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += by.size()) text.replace(at, 1, by);
  return text;
}

struct Case {
  std::string name;
  std::function<void(Folder&)> setup;
  std::vector<std::string> params;  // "@" stands for the case's folder
  int status;
  std::string err;               // all of standard error
  std::vector<std::string> out;  // lines standard output must hold
  std::set<std::string> after;   // the folder afterwards (Listing)
  bool unprivileged = false;     // run as "nobody" when the tests run as root
  bool rootOnly = false;         // needs root to set up
  std::string stdinPath;         // standard input, "@" for the folder

  Case(std::string name_, std::function<void(Folder&)> setup_, std::vector<std::string> params_, int status_,
       std::string err_, std::vector<std::string> out_, std::set<std::string> after_, bool unprivileged_ = false,
       bool rootOnly_ = false, std::string stdinPath_ = "")
      : name(std::move(name_)),
        setup(std::move(setup_)),
        params(std::move(params_)),
        status(status_),
        err(std::move(err_)),
        out(std::move(out_)),
        after(std::move(after_)),
        unprivileged(unprivileged_),
        rootOnly(rootOnly_),
        stdinPath(std::move(stdinPath_)) {}
};

TEST(FileSafety, TheProgramOnRealFolders) {
  const mode_t oldMask = ::umask(022);
  TempDir dir;
  const std::string config = dir / "config";
  testing::PinWindowsTarget(config);

  const std::vector<Case> cases = {
      // Attachments never replace anything: a name that is taken, by a file
      // or a folder, or by an attachment saved before, gives a free name.
      {"attachments",
       [](Folder& f) {
         f.File("mail.eml", Mail({"notes.txt", "notes.txt", "Documents", ".ssh"}));
         f.File("notes.txt", "mine");
         f.Dir("Documents");
         f.File("Documents/keep", "kept");
         f.Dir("Documents.bak");
         f.Dir(".ssh");
         f.File(".ssh/id", "key");
       },
       {"@/mail.eml"},
       0,
       "",
       {" Attachment saved @/notes (1).txt", " Attachment saved @/notes (2).txt", " Attachment saved @/Documents (1)",
        " Attachment saved @/.ssh (1)"},
       {"mail.eml = ?", "mail.eml.bak = MAIL", "notes.txt = mine", "notes (1).txt = <notes.txt>",
        "notes (2).txt = <notes.txt>", "Documents/", "Documents/keep = kept", "Documents.bak/",
        "Documents (1) = <Documents>", ".ssh/", ".ssh/id = key", ".ssh (1) = <.ssh>"}},
      // No backup is ever replaced: the new one takes the next free name,
      // and a name other than the plain NAME.bak is printed.
      {"backup name is a folder",
       [](Folder& f) { f.File("f.txt", kKoi), f.Dir("f.txt.bak"); },
       {"@/f.txt"},
       0,
       "",
       {" Old content kept in @/f.txt.1.bak"},
       {"f.txt = WIN", "f.txt.bak/", "f.txt.1.bak = KOI"}},
      {"older backups",
       [](Folder& f) { f.File("f.txt", kKoi), f.File("f.txt.bak", "precious"), f.File("f.txt.1.bak", "older"); },
       {"@/f.txt"},
       0,
       "",
       {" Old content kept in @/f.txt.2.bak"},
       {"f.txt = WIN", "f.txt.bak = precious", "f.txt.1.bak = older", "f.txt.2.bak = KOI"}},
      // Two names never destroy the second: its old content is kept as
      // in place, under the -o option too.
      {"two names",
       [](Folder& f) { f.File("a.txt", kKoi), f.File("b.txt", "precious"); },
       {"@/a.txt", "@/b.txt"},
       0,
       "",
       {" Old content kept in @/b.txt.bak"},
       {"a.txt = KOI", "b.txt = WIN", "b.txt.bak = precious"}},
      {"-o",
       [](Folder& f) { f.File("a.txt", kKoi), f.File("b.txt", "precious"), f.File("b.txt.bak", "older"); },
       {"@/a.txt", "-o", "@/b.txt"},
       0,
       "",
       {" Old content kept in @/b.txt.1.bak"},
       {"a.txt = KOI", "b.txt = WIN", "b.txt.bak = older", "b.txt.1.bak = precious"}},
      {"two names, output new",
       [](Folder& f) { f.File("a.txt", kKoi); },
       {"@/a.txt", "@/b.txt"},
       0,
       "",
       {},
       {"a.txt = KOI", "b.txt = WIN"}},
      // Temporary files that a killed run left: the next run on the file
      // removes its own, not another file's; a walk never converts them
      // nor any backup.
      {"leftover temporary files",
       [](Folder& f) { f.File("f.txt", kKoi), f.File("f.txt.kamvo-a1B2c3", "partial"), f.File("g.kamvo-a1B2c3", "x"); },
       {"@/f.txt"},
       0,
       "",
       {},
       {"f.txt = WIN", "f.txt.bak = KOI", "g.kamvo-a1B2c3 = x"}},
      {"walk passes backups and temporary files by",
       [](Folder& f) {
         f.Dir("t"), f.File("t/f.txt", kKoi), f.File("t/f.txt.kamvo-a1B2c3", kKoi), f.File("t/old.bak", kKoi),
             f.File("t/f.txt.1.bak", kKoi);
       },
       {"-r", "@/t"},
       0,
       "",
       {"1 file(s): 1 converted, 0 unchanged, 0 not recognised, 0 skipped, 0 failed"},
       {"t/", "t/f.txt = WIN", "t/f.txt.bak = KOI", "t/old.bak = KOI", "t/f.txt.1.bak = KOI"}},
      // In place, a link is followed and stays.
      {"link in place",
       [](Folder& f) { f.Dir("sub"), f.File("sub/t.txt", kKoi), f.Link("link.txt", "sub/t.txt"); },
       {"@/link.txt"},
       0,
       "",
       {},
       {"link.txt -> sub/t.txt", "sub/", "sub/t.txt = WIN", "sub/t.txt.bak = KOI"}},
      // A link to the program's own standard input (as /dev/stdin is) leads
      // to the file standard input reads.
      {"link to standard input",
       [](Folder& f) { f.File("in.txt", kKoi), f.Link("stdin", "/proc/self/fd/0"); },
       {"@/stdin"},
       0,
       "",
       {},
       {"stdin -> /proc/self/fd/0", "in.txt = WIN", "in.txt.bak = KOI"},
       false,
       false,
       "@/in.txt"},
      {"standard input from a pipe",
       [](Folder& f) { f.Link("stdin", "/proc/self/fd/0"); },
       {"@/stdin"},
       1,
       "Error opening file @/stdin: Not a regular file\n",
       {},
       {"stdin -> /proc/self/fd/0"}},
      // Output links: to a regular file it is written; to anything else refused.
      {"output link to a file",
       [](Folder& f) { f.File("in.txt", kKoi), f.Dir("sub"), f.File("sub/t.txt", "old"), f.Link("out", "sub/t.txt"); },
       {"@/in.txt", "/KOI", "@/out", "/WIN"},
       0,
       "",
       {},
       {"in.txt = KOI", "sub/", "sub/t.txt = WIN", "sub/t.txt.bak = old", "out -> sub/t.txt"}},
      {"output link to standard output",
       [](Folder& f) { f.File("in.txt", kKoi), f.Link("out", "/proc/self/fd/1"); },
       {"@/in.txt", "@/out"},
       1,
       "Error saving file @/out: Not a regular file\n",
       {},
       {"in.txt = KOI", "out -> /proc/self/fd/1"}},
      {"output link to a folder",
       [](Folder& f) { f.File("in.txt", kKoi), f.Dir("sub"), f.Link("out", "sub"); },
       {"@/in.txt", "@/out"},
       1,
       "Error saving file @/out: Is a directory\n",
       {},
       {"in.txt = KOI", "sub/", "out -> sub"}},
      {"output link to nothing",
       [](Folder& f) { f.File("in.txt", kKoi), f.Link("out", "missing.txt"); },
       {"@/in.txt", "@/out"},
       1,
       "Error saving file @/out: No such file or directory\n",
       {},
       {"in.txt = KOI", "out -> missing.txt"}},
      // Inputs that are no regular file.
      {"input folder",
       [](Folder& f) { f.Dir("d"); },
       {"@/d"},
       1,
       "Error opening file @/d: Is a directory\n",
       {},
       {"d/"}},
      {"input pipe",
       [](Folder& f) { f.Fifo("p"); },
       {"@/p"},
       1,
       "Error opening file @/p: Not a regular file\n",
       {},
       {"p |"}},
      // Permissions.
      {"read-only file",
       [](Folder& f) { f.File("f.txt", kKoi, 0444); },
       {"@/f.txt"},
       1,
       "Error saving file @/f.txt: Permission denied\n",
       {},
       {"f.txt = KOI 0444"},
       true},
      {"read-only output",
       [](Folder& f) { f.File("in.txt", kKoi), f.File("out.txt", "old", 0444); },
       {"@/in.txt", "@/out.txt"},
       1,
       "Error saving file @/out.txt: Permission denied\n",
       {},
       {"in.txt = KOI", "out.txt = old 0444"},
       true},
      {"read-only output folder",
       [](Folder& f) { f.File("in.txt", kKoi), f.Dir("ro", 0555); },
       {"@/in.txt", "/KOI", "@/ro/out.txt", "/WIN"},
       1,
       "Error saving file @/ro/out.txt: Permission denied\n",
       {},
       {"in.txt = KOI", "ro/ 0555"},
       true},
      {"another user's file in a shared folder",
       [](Folder& f) { f.File("f.txt", kKoi), f.Chown("f.txt", 0, 0); },
       {"@/f.txt"},
       1,
       "Error saving file @/f.txt: Permission denied\n",
       {},
       {"f.txt = KOI owner=0:0"},
       true,
       true},
      {"mode kept",
       [](Folder& f) { f.File("f.txt", kKoi, 0640), f.File("out.txt", "old", 0600); },
       {"@/f.txt", "/KOI", "@/out.txt", "/WIN"},
       0,
       "",
       {},
       {"f.txt = KOI 0640", "out.txt = WIN 0600", "out.txt.bak = old 0600"}},
      {"mode, group and owner kept",
       [](Folder& f) { f.File("f.txt", kKoi, 0640), f.Chown("f.txt", kNobody, kNobody); },
       {"@/f.txt"},
       0,
       "",
       {},
       {"f.txt = WIN 0640 owner=65534:65534", "f.txt.bak = KOI 0640 owner=65534:65534"},
       false,
       true},
  };

  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.rootOnly && !kRoot) continue;
    const bool asNobody = c.unprivileged && kRoot;
    const uid_t uid = asNobody ? kNobody : ::geteuid();
    const gid_t gid = asNobody ? kNobody : ::getegid();
    const fs::path folder = dir.path() / ("case" + std::to_string(index++));
    Folder f(folder, uid, gid);
    c.setup(f);
    std::vector<std::string> params;
    for (const std::string& p : c.params) params.push_back(Replaced(p, "@", folder.string()));
    const RunResult run = RunKamvo(params, config, c.unprivileged,
                                   c.stdinPath.empty() ? "/dev/null" : Replaced(c.stdinPath, "@", folder.string()));
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err, Replaced(c.err, "@", folder.string()));
    for (const std::string& line : c.out)
      EXPECT_NE(run.out.find(Replaced(line, "@", folder.string()) + "\n"), std::string::npos) << line << " in\n"
                                                                                              << run.out;
    EXPECT_EQ(Listing(folder, uid, gid), c.after);
  }
  ::umask(oldMask);
}

// True when the process runs the program and has the file open.
bool ProgramHasOpen(pid_t pid, const fs::path& file) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  if (fs::read_symlink(proc + "/exe", error) != fs::canonical(KAMVO_EXECUTABLE, error)) return false;
  for (const auto& fd : fs::directory_iterator(proc + "/fd", error)) {
    std::error_code readError;
    if (fs::read_symlink(fd.path(), readError) == file) return true;
  }
  return false;
}

// Two conversions of one file started together: whichever comes second
// waits for the first and then finds the file converted, so the original
// stays in the backup and the converted text in the file. To make sure both
// really meet, the test holds the file's lock until both have opened it.
// Three texts (short, with mixed breaks, over 4 MiB): the result is the one
// a conversion alone gives.
TEST(FileSafety, TwoConversionsOfOneFileAtOnceLoseNothing) {
  TempDir dir;
  const std::string config = dir / "config";
  testing::PinWindowsTarget(config);
  std::string large;
  while (large.size() <= (std::size_t{5} << 20)) large += kWin;
  const std::vector<std::string> texts = {kWin, kWin + "\r\n" + kWin, large};
  for (const std::string& win : texts) {
    SCOPED_TRACE(win.size());
    const std::string koi = ConvertByPair(win, 2);
    // What one conversion alone makes of the file.
    const fs::path alone = dir.path() / "alone.txt";
    WriteFile(alone.string(), koi);
    ASSERT_EQ(RunKamvo({alone.string()}, config).status, 0);
    const std::string converted = ReadFile(alone.string());
    ASSERT_TRUE(converted != koi);

    const fs::path file = dir.path() / "f.txt";
    WriteFile(file.string(), koi);
    fs::remove(file.string() + ".bak");

    const int held = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // Each run in a thread of its own, which reads its output.
    std::vector<RunResult> results(2);
    std::atomic<pid_t> pids[2] = {0, 0};
    std::vector<std::thread> runs;
    for (int i = 0; i < 2; ++i)
      runs.emplace_back([&, i] { results[i] = RunKamvo({file.string()}, config, false, "/dev/null", &pids[i]); });
    // Both wait for the lock once both have the file open; a run that has
    // ended (it failed) waits no more either.
    const auto waiting = [&](int i) {
      const pid_t pid = pids[i];
      return pid != 0 && (ProgramHasOpen(pid, file) || !fs::exists("/proc/" + std::to_string(pid) + "/exe"));
    };
    while (!waiting(0) || !waiting(1)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::close(held);
    for (auto& run : runs) run.join();

    for (const RunResult& run : results) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(ReadFile(file.string()) == converted);
    EXPECT_TRUE(ReadFile(file.string() + ".bak") == koi);
  }
}

// In the window a conversion may give up at once on a busy file, or wait
// until Stop is pressed; either way nothing is written.
TEST(FileSafety, BusyFileInTheWindow) {
  TempDir dir;
  const std::string file = dir / "f.txt";
  WriteFile(file, kKoi);
  const int held = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg);
  EXPECT_EQ(ConvertFile(converter, file, file, WhenBusy::Refuse).Text,
            "File " + file + " is busy: another conversion is converting it\r\n");

  int waited = 0;
  window.onEvents = [&] {
    if (++waited == 3) converter.UserBreak = true;
  };
  EXPECT_EQ(ConvertFile(converter, file, file, WhenBusy::Wait).Text, "");
  EXPECT_EQ(waited, 3);
  ::close(held);
  EXPECT_EQ(ReadFile(file), kKoi);
  EXPECT_FALSE(fs::exists(file + ".bak"));
}

}  // namespace
}  // namespace kamvo
