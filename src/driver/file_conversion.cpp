#include "driver/file_conversion.h"

#include <sys/stat.h>

#include <filesystem>
#include <new>
#include <set>

#include "codepages/unicode.h"
#include "driver/file_io.h"

namespace kamvo {

namespace {

// Collects the report lines of one file.
class Report {
 public:
  explicit Report(const Converter& converter) : converter_(converter) {}

  void Success(std::string_view english, std::string_view russianUtf8, std::string_view name) {
    Add(english, russianUtf8, name, false);
  }
  void Failure(std::string_view english, std::string_view russianUtf8, std::string_view name) {
    Add(english, russianUtf8, name, true);
  }

  FileReport Finish() {
    report_.Text = JoinLines(lines_);
    return std::move(report_);
  }

 private:
  // Each text holds "%" where the name goes.
  void Add(std::string_view english, std::string_view russianUtf8, std::string_view name,
           bool failure) {
    std::string line = converter_.Tr(english, russianUtf8);
    const std::size_t mark = line.find('%');
    line.replace(mark, 1, name);
    if (failure) {
      report_.Failed = true;
      report_.FailureLines.push_back(line);
    }
    lines_.push_back(std::move(line));
  }

  const Converter& converter_;
  Lines lines_;
  FileReport report_;
};

// A name as the program shows it: file names are UTF-8, texts Windows-1251.
std::string Shown(const std::string& fileName) { return WinFromUtf8(fileName); }

// Removes an old backup; true when none is left.
bool RemoveOldBackup(const std::string& backup) { return RemovePath(backup); }

// Attachment names come from the text: they must name a file inside the
// folder, not the folder itself, a parent or a path.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\0') return false;
  return true;
}

// True when both names stand for the same file; links are not followed.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// True when both names lead to the same entry of the same folder ("a.txt"
// and "./a.txt"): writing to one then replaces the other.
bool SameEntry(const std::string& a, const std::string& b) {
  if (!SameFile(a, b)) return false;
  const std::filesystem::path first(a), second(b);
  if (first.filename() != second.filename()) return false;
  const auto folder = [](const std::filesystem::path& p) {
    return p.parent_path().empty() ? std::string(".") : p.parent_path().string();
  };
  struct stat one {}, two {};
  return ::stat(folder(first).c_str(), &one) == 0 && ::stat(folder(second).c_str(), &two) == 0 &&
         one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

void SaveAttachments(const Converter& converter, const std::string& inName, const std::string& outName,
                     Report& report) {
  std::string folder = std::filesystem::path(inName).parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::set<std::string> saved;
  for (const TFileRec& entry : converter.Attachments) {
    const std::string path = folder + Utf8FromWin(entry.Name);
    const std::string shownPath = Shown(folder) + entry.Name;
    // An attachment never takes the place of the converted file (its backup
    // would be deleted to make room, and with it the user's original text),
    // nor of an attachment saved before it in this run (the second one would
    // delete the backup of whatever file stood under that name before).
    const bool taken = saved.count(path) > 0 || SameFile(path, inName) || SameFile(path, outName);
    if (taken || !IsPlainFileName(entry.Name)) {
      report.Failure("Error saving attachment %", "Ошибка сохранения вложенного файла %", shownPath);
      continue;
    }
    if (PathExists(path)) {
      const std::string backup = path + ".bak";
      if (!RemoveOldBackup(backup)) {
        report.Failure("Error deletind old backup file %", "Ошибка удаления старой копии файла %",
                       shownPath + ".bak");
        continue;
      }
      if (!RenamePath(path, backup)) {
        report.Failure("Error saving backup file %", "Ошибка сохранения копии файла %",
                       shownPath + ".bak");
        continue;
      }
    }
    saved.insert(path);
    if (WriteFileAtomically(path, entry.Stream))
      report.Success(" Attachment saved %", " Сохранен вложенный файл %", shownPath);
    else
      report.Failure("Error saving attachment %", "Ошибка сохранения вложенного файла %", shownPath);
  }
}

}  // namespace

bool SameStreams(std::string_view a, std::string_view b) { return a == b; }

static FileReport ConvertFileSteps(Converter& converter, const std::string& inName, const std::string& outName) {
  Report report(converter);
  const std::string shownIn = Shown(inName);

  std::string input;
  if (!ReadWholeFile(inName, input)) {
    report.Failure("Error opening file %", "Ошибка открытия файла %", shownIn);
    return report.Finish();
  }
  if (HasControlBytes(input)) {
    report.Failure("% is not text file", "Файл % не текстовый", shownIn);
    return report.Finish();
  }

  const LineBreakStyle style = DetectLineBreakStyle(input);
  converter.TextBuffer = SplitLines(input);
  // A file whose breaks are all alike is its lines joined in its style. The
  // run keeps those lines in its back copy, so the file's bytes need not be
  // held beside them: the result is compared with the back copy instead.
  // (Assigning an empty string would keep the block; swapping frees it.)
  const bool rejoins = JoinsTo(converter.TextBuffer, style, input);
  if (rejoins) std::string().swap(input);
  converter.CopyTextToScreen();
  converter.Convert();
  if (converter.UserBreak) return FileReport{};

  const bool same = rejoins ? SameJoined(converter.TextBuffer, converter.BackCopy, style)
                            : JoinsTo(converter.TextBuffer, style, input);
  std::string().swap(input);
  std::string output = TakeJoinedLines(converter.TextBuffer, style);

  // An output name that leads to the input file itself is a rewrite in
  // place, with a backup: writing it without one would lose the original.
  const bool inPlace = inName == outName || SameEntry(inName, outName);
  if (same) {
    report.Success("File not converted %", "В файле нечего перекодировать %", shownIn);
    if (inPlace) return report.Finish();
  }

  // The result goes to disk first, beside the target; only then is the
  // original moved aside and the result moved into place, so the user's
  // text is whole in the file or in its backup at every moment.
  const std::string temporary = WriteTemporaryFile(outName, output, inPlace ? inName : "");
  std::string().swap(output);
  if (temporary.empty()) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownIn);
    return report.Finish();
  }
  if (inPlace) {
    const std::string backup = inName + ".bak";
    if (!RemoveOldBackup(backup)) {
      DiscardFile(temporary);
      report.Failure("Error deletind old backup file %", "Ошибка удаления старой копии файла %",
                     shownIn + ".bak");
      return report.Finish();
    }
    if (!RenamePath(inName, backup)) {
      DiscardFile(temporary);
      report.Failure("Error saving backup file %", "Ошибка сохранения копии файла %", shownIn + ".bak");
      return report.Finish();
    }
  }
  if (!CommitFile(temporary, outName)) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownIn);
    return report.Finish();
  }
  report.Success("File converted %", "Перекодирован файл %", shownIn);
  SaveAttachments(converter, inName, outName, report);
  return report.Finish();
}

// A file too large for the memory left ends as a report line like any other
// failure. Memory runs short while the text is read and converted, before
// anything is written, so the file and its backup are as they were.
FileReport ConvertFile(Converter& converter, const std::string& inName, const std::string& outName) {
  try {
    return ConvertFileSteps(converter, inName, outName);
  } catch (const std::bad_alloc&) {
    converter.TextBuffer = Lines();
    Report report(converter);
    report.Failure("Not enough memory to convert %", "Недостаточно памяти для перекодирования файла %",
                   Shown(inName));
    return report.Finish();
  }
}

}  // namespace kamvo
