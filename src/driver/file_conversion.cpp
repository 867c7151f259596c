#include "driver/file_conversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>

#include "codepages/byte_scan.h"
#include "codepages/unicode.h"
#include "decoders/file_list.h"
#include "driver/attachment_files.h"
#include "driver/file_io.h"
#include "driver/streamed_utf8.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"
#include "driver/whole_text_run.h"

namespace kamvo {

namespace {

// Collects the report lines of one file.
class Report {
 public:
  explicit Report(const Converter& converter) : converter_(converter) {}

  void Success(std::string_view english, std::string_view russianUtf8, std::string_view name) {
    Add(english, russianUtf8, name, false, 0);
  }
  // A failure line; with an error, the system's reason follows the name.
  void Failure(std::string_view english, std::string_view russianUtf8, std::string_view name, int error = 0) {
    Add(english, russianUtf8, name, true, error);
  }
  void AttachmentSaved(std::string_view name) {
    Success(" Attachment saved %", " Сохранен вложенный файл %", name);
    report_.SavedAttachments.push_back(lines_.back());
  }

  // A file that is no text: a line of its own, no failure.
  void NotText(std::string_view english, std::string_view russianUtf8, std::string_view name) {
    Add(english, russianUtf8, name, false, 0);
    report_.NotText = true;
    report_.NotTextLine = lines_.back();
  }

  void Transliterated(std::size_t count, std::string_view english, std::string_view russianUtf8,
                      std::string_view name) {
    Add(english, russianUtf8, name, false, 0);
    report_.Transliterated = count;
    report_.TransliteratedLine = lines_.back();
  }

  void Streamed() { report_.Streamed = true; }

  void Wrote(std::string backup) {
    report_.Written = true;
    report_.Backup = std::move(backup);
  }
  void BackupKept(std::string_view name) {
    Success(" Old content kept in %", " Старое содержимое сохранено в %", name);
    report_.BackupLine = lines_.back();
  }

  FileReport Finish() {
    report_.Text = JoinLines(lines_);
    return std::move(report_);
  }

 private:
  // Each text holds "%" where the name goes.
  void Add(std::string_view english, std::string_view russianUtf8, std::string_view name, bool failure, int error) {
    std::string line = converter_.Tr(english, russianUtf8);
    const std::size_t mark = line.find('%');
    line.replace(mark, 1, name);
    if (error != 0) line += ": " + FileErrorText(error);
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

// True when both names stand for the same file; links are not followed.
bool SameInode(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 && SameFile(first, second);
}

// True when both names lead to the same entry of the same folder ("a.txt"
// and "./a.txt"): writing to one then replaces the other.
bool SameEntry(const std::string& a, const std::string& b) {
  if (!SameInode(a, b)) return false;
  const std::filesystem::path first(a), second(b);
  if (first.filename() != second.filename()) return false;
  const auto folder = [](const std::filesystem::path& p) {
    return p.parent_path().empty() ? std::string(".") : p.parent_path().string();
  };
  struct stat one {
  }, two{};
  return ::stat(folder(first).c_str(), &one) == 0 && ::stat(folder(second).c_str(), &two) == 0 && SameFile(one, two);
}

// Saves the attachments in the folder of the file written. An attachment
// never replaces anything that stands under its name (a file of the user's,
// a folder, a link, the converted file, its backup, an attachment saved
// before it): it takes the first free numbered name instead. The name is
// only ever taken in one step that fails when something is there, so a file
// appearing meanwhile is not replaced either. folderError is set when the
// folder could not be found.
void SaveAttachments(const Converter& converter, const std::string& besidePath, int folderError, Report& report) {
  std::string folder = std::filesystem::path(besidePath).parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  for (const TFileRec& entry : converter.Attachments) {
    const std::string shownFolder = Shown(folder);
    if (folderError != 0 || !IsPlainFileName(entry.Name)) {
      report.Failure("Error saving attachment %", "Ошибка сохранения вложенного файла %", shownFolder + entry.Name,
                     folderError != 0 ? folderError : EINVAL);
      continue;
    }
    const SavedAttachment saved = SaveAttachmentAsNewFile(folder, entry.Name, entry.Stream);
    if (saved.Saved)
      report.AttachmentSaved(shownFolder + saved.Name);
    else
      report.Failure("Error saving attachment %", "Ошибка сохранения вложенного файла %", shownFolder + saved.Name,
                     saved.Error);
  }
}

}  // namespace

namespace {

// Pieces in which a result is compared with the file it came from.
constexpr std::size_t kComparePiece = std::size_t{1} << 20;

// True when the open file holds exactly these bytes. The file is read
// again in pieces, so that the run need not keep a copy of it.
bool FileHolds(int fd, std::string_view bytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != bytes.size()) return false;
  std::string piece(std::min(kComparePiece, bytes.size()), '\0');
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t want = std::min(piece.size(), bytes.size() - offset);
    const ssize_t got = ::pread(fd, piece.data(), want, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (std::memcmp(piece.data(), bytes.data() + offset, static_cast<std::size_t>(got)) != 0) return false;
    offset += static_cast<std::size_t>(got);
  }
  return true;
}

// The file a conversion reads: open, and locked against other conversions
// from the moment it is opened to the end of the conversion, so that a
// second conversion of it reads it only once the first has put its result
// in place.
struct InputFile {
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  void Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }

  int Fd = -1;
  struct stat Info {};  // of the open file
  // The name followed to the file itself: its own path, where it is
  // rewritten in place and its attachments are saved. Error is set when it
  // cannot be found there (a link of /proc to a file that has been deleted).
  ResolvedFile Real;
};

enum class Opened { Ok, Failed, Busy, UserBreak };

// How long a conversion waiting for another one rests between its tries.
constexpr long kLockRetryNanoseconds = 20'000'000;
// How often the file under a name may change while it is opened before the
// run takes the last one it opened.
constexpr int kMaxReopens = 100;

// Opens and locks the file under inName. Another conversion may hold it;
// then this one waits (letting the window's events run, so Stop ends the
// wait), or gives up as Busy. Once the lock is taken the name is looked at
// again: the other conversion has moved the file it held to its backup and
// put its result under the name, and it is that file which this run must
// convert, so the name is opened again. Failed leaves errno telling why.
Opened OpenLocked(Converter& converter, const std::string& inName, WhenBusy whenBusy, InputFile& input) {
  for (int reopen = 0;; ++reopen) {
    input.Close();
    input.Fd = OpenInputFile(inName, input.Info);
    if (input.Fd < 0) return Opened::Failed;
    while (TryLockFile(input.Fd) == FileLock::Busy) {
      if (whenBusy == WhenBusy::Refuse) return Opened::Busy;
      converter.reporter().ProcessEvents();
      if (converter.UserBreak) return Opened::UserBreak;
      const timespec rest{0, kLockRetryNanoseconds};
      ::nanosleep(&rest, nullptr);
      if (converter.UserBreak) return Opened::UserBreak;
    }
    input.Real = ResolveFile(inName);
    if (!input.Real.Error && input.Real.Exists && SameFile(input.Real.Info, input.Info)) return Opened::Ok;
    struct stat now {};
    if (input.Real.Error && ::stat(inName.c_str(), &now) == 0 && SameFile(now, input.Info)) return Opened::Ok;
    if (reopen == kMaxReopens) {
      input.Real.Error = ESTALE;
      return Opened::Ok;
    }
  }
}

// Where a file's result goes.
struct Destination {
  std::string Path;  // the file written: links followed
  bool Exists = false;
  bool InPlace = false;  // the file read itself, rewritten with a backup
  struct stat Info {};   // of the file rewritten
  // The file whose mode, group and owner the result takes: the file it
  // replaces, if any.
  const struct stat* Model() const { return Exists ? &Info : nullptr; }
};

// Puts the result, written and flushed to the temporary file beside the
// target, in place and reports it: only now is the file it replaces moved
// to its backup name and the result moved into place, so the user's text is
// whole under its name or its backup name at every moment.
FileReport PutInPlace(Converter& converter, Report& report, const std::string& inName, const InputFile& input,
                      const Destination& destination, const std::string& temporary,
                      const std::function<void()>& onWritten) {
  const std::string shownIn = Shown(inName);
  const std::string& target = destination.Path;
  const std::string shownOut = Shown(target);
  // Attachments go beside the file written.
  const std::string& besides = destination.InPlace ? input.Real.Path : target;
  const int folderError = destination.InPlace ? input.Real.Error : 0;
  std::string backup;
  {
    // Moving the old file aside and the result in runs to its end: a
    // signal meanwhile is handled afterwards. One that came before breaks
    // the run off here, with nothing written.
    const SignalsHeld held;
    if (SignalsHeld::Pending()) {
      DiscardFile(temporary);
      converter.UserBreak = true;
      return FileReport{};
    }
    if (destination.Exists) {
      std::string tried;
      backup = MoveToBackup(target, tried);
      if (backup.empty()) {
        const int error = errno;
        DiscardFile(temporary);
        report.Failure("Error saving backup file %", "Ошибка сохранения копии файла %", Shown(tried), error);
        return report.Finish();
      }
    }
    if (!CommitFile(temporary, target)) {
      const int error = errno;
      // The old file goes back under its name, unless something new stands
      // there.
      if (!backup.empty()) RenameWithoutReplacing(backup, target);
      report.Failure("Error saving file %", "Ошибка сохранения файла %", shownOut, error);
      return report.Finish();
    }
    if (onWritten) onWritten();
  }
  report.Wrote(backup);
  report.Success("File converted %", "Перекодирован файл %", shownIn);
  // The usual backup of a file rewritten in place goes without saying; any
  // other (a numbered one, the old content of an output file) is named.
  if (!backup.empty() && !(destination.InPlace && backup == BackupName(target, 0))) report.BackupKept(Shown(backup));
  SaveAttachments(converter, besides, folderError, report);
  return report.Finish();
}

// Puts a file's result in place and reports it. The result goes to disk
// first, beside the target (PutInPlace).
FileReport Deliver(Converter& converter, Report& report, const std::string& inName, const InputFile& input,
                   const Destination& destination, bool same, std::string& output,
                   const std::function<void()>& onWritten) {
  const std::string shownIn = Shown(inName);
  if (same) {
    report.Success("File not converted %", "В файле нечего перекодировать %", shownIn);
    if (destination.InPlace) return report.Finish();
  }

  // A file the user may not write stays as it is, even where the folder
  // would let it be replaced by a new one.
  const std::string& target = destination.Path;
  const std::string shownOut = Shown(target);
  if (destination.Exists && !MayWriteFile(target)) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownOut, errno);
    return report.Finish();
  }
  // An output file that holds the result already is left as it is: a run
  // repeated makes no second backup.
  if (!destination.InPlace && destination.Exists) {
    const int fd = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const bool holds = fd >= 0 && FileHolds(fd, output);
    if (fd >= 0) ::close(fd);
    if (holds) {
      report.Success("File converted %", "Перекодирован файл %", shownIn);
      SaveAttachments(converter, target, 0, report);
      return report.Finish();
    }
  }
  std::string temporary = WriteTemporaryFile(target, output, destination.Model());
  if (temporary.empty()) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownOut, errno);
    return report.Finish();
  }
  std::string().swap(output);
  return PutInPlace(converter, report, inName, input, destination, temporary, onWritten);
}

// The streamed route (StreamToUtf8) for a large file converted into UTF-8,
// in place or into a new file the user may write; none (nothing done) when
// the file is not for it.
std::optional<FileReport> ConvertStreamed(Converter& converter, Report& report, const std::string& inName,
                                          const InputFile& input, const Destination& destination,
                                          const std::function<void()>& onWritten) {
  if (static_cast<std::uint64_t>(input.Info.st_size) < StreamedRouteThreshold()) return std::nullopt;
  // An output file that exists is compared with the result first; a file
  // the user may not write is refused: the whole-text route does both.
  if ((!destination.InPlace && destination.Exists) || (destination.Exists && !MayWriteFile(destination.Path)))
    return std::nullopt;
  const StreamedFile streamed = StreamToUtf8(converter, input.Fd, destination.Path, destination.Model());
  const std::string shownIn = Shown(inName);
  switch (streamed.Result) {
    case StreamedFile::Outcome::NotTaken:
      return std::nullopt;
    case StreamedFile::Outcome::NotText:
      report.NotText("% is not text file", "Файл % не текстовый", shownIn);
      return report.Finish();
    case StreamedFile::Outcome::UserBreak:
      return FileReport{};
    case StreamedFile::Outcome::WriteFailed:
      report.Failure("Error saving file %", "Ошибка сохранения файла %", Shown(destination.Path), streamed.Error);
      return report.Finish();
    case StreamedFile::Outcome::Written:
      break;
  }
  report.Streamed();
  if (streamed.Same) {
    report.Success("File not converted %", "В файле нечего перекодировать %", shownIn);
    if (destination.InPlace) {
      DiscardFile(streamed.Temporary);
      return report.Finish();
    }
  }
  return PutInPlace(converter, report, inName, input, destination, streamed.Temporary, onWritten);
}

FileReport ConvertFileSteps(Converter& converter, const std::string& inName, const std::string& outName,
                            WhenBusy whenBusy, const std::function<void()>& onWritten) {
  Report report(converter);
  const std::string shownIn = Shown(inName);

  InputFile file;
  switch (OpenLocked(converter, inName, whenBusy, file)) {
    case Opened::Ok:
      break;
    case Opened::Failed:
      report.Failure("Error opening file %", "Ошибка открытия файла %", shownIn, errno);
      return report.Finish();
    case Opened::Busy:
      report.Failure("File % is busy: another conversion is converting it",
                     "Файл % занят: его перекодирует другой запуск", shownIn);
      return report.Finish();
    case Opened::UserBreak:
      return FileReport{};
  }

  // The result goes to the file the output name leads to. An output name
  // that leads to the input file itself is a rewrite in place, with a
  // backup: writing it without one would lose the original. A hard link is
  // another entry and is written on its own.
  Destination destination;
  {
    const ResolvedFile target = outName == inName ? file.Real : ResolveFile(outName);
    if (target.Error != 0) {
      report.Failure("Error saving file %", "Ошибка сохранения файла %", Shown(outName), target.Error);
      return report.Finish();
    }
    destination.Path = target.Path;
    destination.Exists = target.Exists;
    destination.Info = target.Info;
    destination.InPlace = outName == inName || (target.Exists && SameFile(target.Info, file.Info) &&
                                                file.Real.Error == 0 && SameEntry(file.Real.Path, target.Path));
  }
  // What a conversion killed outright left beside the file goes now.
  RemoveLeftoverTemporaries(destination.Path);

  if (std::optional<FileReport> streamed = ConvertStreamed(converter, report, inName, file, destination, onWritten))
    return std::move(*streamed);

  std::string input;
  // A UTF-8 target grows the text in place: each byte into at most three.
  if (!ReadWholeFd(file.Fd, input, std::numeric_limits<std::size_t>::max(), converter.Options.Utf8Target ? 3 : 1)) {
    report.Failure("Error opening file %", "Ошибка открытия файла %", shownIn, errno);
    return report.Finish();
  }
  const int target = converter.Options.Target;
  const WholeTextRun run = RunWholeText(converter, std::move(input));
  if (run.NotText) {
    report.NotText("% is not text file", "Файл % не текстовый", shownIn);
    return report.Finish();
  }
  if (run.UserBreak) return FileReport{};
  const TargetFit& fit = run.Fit;
  if (fit.Spelt > 0) {
    const std::string count = std::to_string(fit.Spelt);
    if (run.StrictFailed) {
      report.Failure(
          "%: " + count + " character(s) that " + std::string(CodeNames[target]) + " cannot hold (nothing written)",
          "%: " + count + " символ(ов) нет в кодировке " + std::string(CodeNames[target]) + " (ничего не записано)",
          shownIn);
      return report.Finish();
    }
    report.Transliterated(
        fit.Spelt,
        "%: " + count + " character(s) that " + std::string(CodeNames[target]) + " cannot hold were transliterated",
        "%: " + count + " символ(ов) нет в кодировке " + std::string(CodeNames[target]) + ", записаны латиницей",
        shownIn);
  }

  bool same = false;
  // A UTF-8 text the run only decoded came out exactly as it came, and is
  // then found the same as the file below.
  if (!converter.reporter().HasDisplay() && !converter.Options.Utf8Target && !fit.Changed &&
      converter.StagesLeftText()) {
    // The text is the file's bytes, changed by the code table alone.
    same = !converter.LastInPlaceConversion().Changed;
  } else {
    same = FileHolds(file.Fd, converter.TextBuffer.Bytes());
  }
  // A text read from UTF-16 is rewritten whatever the run did.
  if (run.FromUtf16) same = false;
  std::string output = converter.TextBuffer.TakeBytes();
  converter.TextBuffer.clear();

  return Deliver(converter, report, inName, file, destination, same, output, onWritten);
}

}  // namespace

// A file too large for the memory left ends as a report line like any other
// failure. Memory runs short while the text is read and converted, before
// anything is written, so the file and its backup are as they were.
FileReport ConvertFile(Converter& converter, const std::string& inName, const std::string& outName, WhenBusy whenBusy,
                       const std::function<void()>& onWritten) {
  // A file on disk is rewritten only through a chain that detection accepts
  // (RunWholeText runs it as an UnattendedRun).
  try {
    return ConvertFileSteps(converter, inName, outName, whenBusy, onWritten);
  } catch (const std::bad_alloc&) {
    converter.TextBuffer.clear();
    Report report(converter);
    report.Failure("Not enough memory to convert %", "Недостаточно памяти для перекодирования файла %", Shown(inName));
    return report.Finish();
  }
}

}  // namespace kamvo
