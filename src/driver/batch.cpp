#include "driver/batch.h"

#include <algorithm>
#include <filesystem>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/file_io.h"

namespace kamvo {

namespace fs = std::filesystem;

namespace {

enum class PathKind { None, File, Folder };

PathKind KindOf(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) return PathKind::None;
  return fs::is_directory(status) ? PathKind::Folder : PathKind::File;
}

// The form of the word after n, checked in this order: 0 "many" (11..19,
// a last digit of 0 or 6..9), 1 "one" (last digit 1), 2 "a few" (2..5).
// Only 11..19 themselves are exceptions (111 takes the form of 1), and 5
// goes with 2..4, as the program has always worded it.
int RussianForm(int n) {
  const int last = n % 10;
  if ((n >= 11 && n <= 19) || last > 5 || last == 0) return 0;
  if (last == 1) return 1;
  return 2;
}

void ListFolder(const fs::path& folder, std::vector<std::string>& files, const std::function<void()>& pump) {
  if (pump) pump();
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return;
  std::vector<fs::directory_entry> entries;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
  for (const fs::directory_entry& entry : entries) {
    std::error_code e;
    // Backups and the temporary files of a conversion are never converted.
    const std::string name = entry.path().filename().string();
    if (IsBackupName(name) || IsTemporaryFileName(name)) continue;
    if (entry.is_symlink(e)) {
      // A link is converted as the file it names; a link to a folder is
      // not followed.
      if (!entry.is_directory(e)) files.push_back(entry.path().string());
    } else if (entry.is_directory(e)) {
      ListFolder(entry.path(), files, pump);
    } else {
      files.push_back(entry.path().string());
    }
  }
}

}  // namespace

PathCount CountPaths(const std::vector<std::string>& paths) {
  PathCount count;
  for (const std::string& path : paths) {
    const PathKind kind = KindOf(path);
    if (kind == PathKind::File) ++count.Files;
    if (kind == PathKind::Folder) ++count.Folders;
  }
  return count;
}

std::string RussianFileWord(int n) {
  static const char* const kWords[] = {" файлов", " файл", " файла"};
  return WinFromUtf8(kWords[RussianForm(n)]);
}

std::string RussianFolderWord(int n) {
  static const char* const kWords[] = {" директорий", " директорию", " директории"};
  return WinFromUtf8(kWords[RussianForm(n)]);
}

std::string FromCodeName(int source) {
  if (source <= 0 || source > kLastCode) return "Auto";
  return std::string(CodeNames[source]);
}

std::string ToCodeName(int target) {
  if (target <= 0 || target > kLastCode) return std::string(CodeNames[kWindows]);
  return std::string(CodeNames[target]);
}

std::string BatchQuestion(const PathCount& count, std::string_view fromName, std::string_view toName, bool english) {
  const int n = count.Files;
  const int m = count.Folders;
  std::string text = english ? "Convert" : WinFromUtf8("Перекодировать");
  if (n > 0) text += " " + std::to_string(n) + (english ? std::string(" file(s)") : RussianFileWord(n));
  if (m > 0) {
    if (n > 0) text += english ? " and" : WinFromUtf8(" и");
    text += " " + std::to_string(m) + (english ? std::string(" folder(s)") : RussianFolderWord(m));
  }
  text += english ? "\r\nfrom " : WinFromUtf8("\r\nиз кодировки ");
  text += fromName;
  text += english ? " to " : WinFromUtf8(" в ");
  text += toName;
  text += " ?";
  return text;
}

std::vector<std::string> ListBatchFiles(const std::string& path, const std::function<void()>& pump) {
  std::vector<std::string> files;
  const PathKind kind = KindOf(path);
  if (kind == PathKind::File) files.push_back(path);
  if (kind == PathKind::Folder) ListFolder(path, files, pump);
  return files;
}

std::vector<std::string> ConvertFileOrDir(Converter& converter, const std::string& path,
                                          const std::function<bool()>& stop) {
  converter.reporter().ProcessEvents();
  std::vector<std::string> report;
  const std::vector<std::string> files = ListBatchFiles(path, [&] { converter.reporter().ProcessEvents(); });
  for (const std::string& file : files) {
    if (stop && stop()) break;
    converter.reporter().ProcessEvents();
    const FileReport fileReport = ConvertFile(converter, file, file);
    for (std::string& line : SplitLines(fileReport.Text)) report.push_back(std::move(line));
  }
  return report;
}

bool OpenMultiFiles(Converter& converter, const std::vector<std::string>& paths, const std::function<bool()>& stop) {
  if (paths.empty()) return false;
  const PathCount count = CountPaths(paths);
  const RunOptions& options = converter.Options;
  const std::string question =
      BatchQuestion(count, FromCodeName(options.Source),
                    options.Utf8Target ? std::string("UTF-8") : ToCodeName(options.Target), converter.English());
  if (!converter.reporter().Ask(question)) return false;
  Text report;
  for (const std::string& path : paths) {
    if (stop && stop()) break;
    for (const std::string& line : ConvertFileOrDir(converter, path, stop)) report.AddLine(line, LineEnd::CrLf);
  }
  converter.Attachments.Clear();
  converter.UpdateFileView();
  converter.TextBuffer = std::move(report);
  converter.CopyTextToScreen();
  return true;
}

}  // namespace kamvo
