#include "cli/many_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <utility>

#include "cli/command_line.h"
#include "cli/detect_report.h"
#include "cli/long_options.h"
#include "codepages/unicode.h"
#include "driver/file_conversion.h"
#include "driver/file_io.h"

namespace kamvo {

namespace fs = std::filesystem;

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

class Walk {
 public:
  explicit Walk(FileListing& listing) : listing_(listing) {}

  // A file (or a link to one) taken once; false when it is no regular file.
  bool TakeFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (seen_.emplace(info.st_dev, info.st_ino).second) listing_.Files.push_back(path);
    return true;
  }

  void Folder(const std::string& folder) {
    std::error_code error;
    std::vector<std::pair<std::string, bool>> entries;  // name, is a real folder
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code kind;
      const bool realFolder = it->is_directory(kind) && !it->is_symlink(kind);
      entries.emplace_back(it->path().filename().string(), realFolder);
    }
    if (error) {
      listing_.Problems.push_back(folder + ": " + error.message());
      return;
    }
    std::sort(entries.begin(), entries.end());
    const std::string prefix = EndsWith(folder, "/") ? folder : folder + "/";
    for (const auto& [name, realFolder] : entries) {
      if (realFolder) {
        Folder(prefix + name);
        continue;
      }
      // Backups (of earlier runs or of the user's) and the temporary files
      // of a conversion are never converted.
      if (IsBackupName(name) || IsTemporaryFileName(name)) continue;
      TakeFile(prefix + name);
    }
  }

 private:
  FileListing& listing_;
  std::set<std::pair<dev_t, ino_t>> seen_;
};

// Progress on a terminal: one line, rewritten in place.
class Progress {
 public:
  Progress(std::ostream& err, std::size_t total)
      : err_(err), total_(total), start_(std::chrono::steady_clock::now()), show_(::isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (shown_) err_ << "\r\033[K" << std::flush;
  }
  void Before(std::size_t index, const std::string& name) {
    if (!show_) return;
    if (!shown_ && std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    shown_ = true;
    err_ << "\r\033[K[" << index + 1 << "/" << total_ << "] " << name << std::flush;
  }
  // Clears the line before a line of the report reaches the same terminal.
  void Clear() {
    if (shown_) err_ << "\r\033[K" << std::flush;
  }

 private:
  std::ostream& err_;
  std::size_t total_;
  std::chrono::steady_clock::time_point start_;
  bool show_;
  bool shown_ = false;
};

}  // namespace

FileListing ListFiles(const std::vector<std::string>& names, bool recursive) {
  FileListing listing;
  Walk walk(listing);
  for (const std::string& name : names) {
    if (name == "-") {
      listing.Files.push_back(name);
      continue;
    }
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
      listing.Problems.push_back(name + ": " + std::strerror(errno));
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      if (recursive)
        walk.Folder(name);
      else
        listing.Problems.push_back(name + ": is a folder (use -r to convert the files below it)");
      continue;
    }
    // Named files are taken as given; the conversion refuses what is not a file.
    if (!walk.TakeFile(name)) listing.Files.push_back(name);
  }
  return listing;
}

int ConvertManyFiles(const std::vector<std::string>& names, bool recursive, const RunChoices& choices, const TCfg& cfg,
                     std::ostream& out, std::ostream& err, int terminalCode) {
  const FileListing listing = ListFiles(names, recursive);
  for (const auto& problem : listing.Problems) err << "kamvo: " << problem << '\n';
  const std::string arrow = terminalCode == 0 ? " \xE2\x86\x92 " : " -> ";
  int converted = 0, unchanged = 0, unrecognised = 0, skipped = 0, failed = static_cast<int>(listing.Problems.size());
  Progress progress(err, listing.Files.size());
  for (std::size_t i = 0; i < listing.Files.size(); ++i) {
    const std::string& name = listing.Files[i];
    progress.Before(i, name);
    CliConversion run(choices, cfg);
    // A signal that ends the run now names this file as broken off.
    SetBrokenOffLine(name + ": broken off, left as it was\n");
    const FileReport report = ConvertFile(run.Conv, name, name, WhenBusy::Wait, [&name] {
      SetBrokenOffLine(name + ": converted, then broken off\n");
      SetInterruptNote("kamvo: interrupted while the attachments of " + name + " were saved\n");
    });
    SetBrokenOffLine({});
    SetInterruptNote({});
    progress.Clear();
    if (run.Conv.UserBreak) {
      out << name << ": broken off, left as it was\n";
      out.flush();
      PrintLines(err, run.Conv.Tr("User break.", "Прервано."), terminalCode);
      return kExitInterrupted;
    }
    std::string line = name + ": ";
    const DetectionState& detection = run.Conv.Detection;
    const bool notRecognised = TextNotRecognised(run.Conv);
    if (report.NotText) {
      ++skipped;
      line += "skipped: not a text file";
    } else if (report.Failed) {
      ++failed;
      line += "failed: " + ForTerminal(report.FailureLines.front(), terminalCode);
    } else if (notRecognised) {
      ++unrecognised;
      line += "not recognised (" + std::to_string(detection.BestPercent) + " %)";
      if (report.Written) line += ", decoded, backup " + report.Backup;
    } else if (!report.Written) {
      ++unchanged;
      line += "unchanged";
    } else {
      ++converted;
      line += DescribeWay(run.Conv, arrow);
      const auto decoders = DecodersUsed(run.Conv.Counters);
      for (std::size_t d = 0; d < decoders.size(); ++d) line += (d ? "," : " (decoded ") + decoders[d];
      if (!decoders.empty()) line += ")";
      if (!report.Backup.empty()) line += ", backup " + report.Backup;
      if (!report.SavedAttachments.empty())
        line += ", " + std::to_string(report.SavedAttachments.size()) + " attachment(s) saved";
      if (report.Transliterated > 0)
        line += ", " + std::to_string(report.Transliterated) + " character(s) transliterated";
    }
    // Each line is out before the next file starts, ahead of a line that
    // a signal may print.
    out << line << '\n' << std::flush;
  }
  const int total = static_cast<int>(listing.Files.size() + listing.Problems.size());
  out << total << " file(s): " << converted << " converted, " << unchanged << " unchanged, " << unrecognised
      << " not recognised, " << skipped << " skipped, " << failed << " failed\n";
  out.flush();
  if (failed > 0) return kExitConversionFailed;
  if (unrecognised > 0) return kExitNotRecognised;
  return kExitOk;
}

}  // namespace kamvo
