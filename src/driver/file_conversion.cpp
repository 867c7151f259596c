#include "driver/file_conversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>

#include "codepages/unicode.h"
#include "driver/attachment_files.h"
#include "driver/file_io.h"
#include "decoders/file_list.h"
#include "driver/utf8_output.h"
#include "recognition/detection.h"
#include "recognition/word_reader.h"

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

  void Wrote(std::string backup) {
    report_.Written = true;
    report_.Backup = std::move(backup);
  }

  FileReport Finish() {
    report_.Text = JoinLines(lines_);
    return std::move(report_);
  }

 private:
  // Each text holds "%" where the name goes.
  void Add(std::string_view english, std::string_view russianUtf8, std::string_view name, bool failure,
           int error) {
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
  struct stat first {}, second {};
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
  struct stat one {}, two {};
  return ::stat(folder(first).c_str(), &one) == 0 && ::stat(folder(second).c_str(), &two) == 0 &&
         SameFile(one, two);
}

// Saves the attachments in the folder of the converted file. An attachment
// never replaces anything that stands under its name (a file of the user's,
// a folder, a link, the converted file, its backup, an attachment saved
// before it): it takes the first free numbered name instead. The name is
// only ever taken in one step that fails when something is there, so a file
// appearing meanwhile is not replaced either.
void SaveAttachments(const Converter& converter, const ResolvedFile& input, Report& report) {
  std::string folder = std::filesystem::path(input.Path).parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  for (const TFileRec& entry : converter.Attachments) {
    const std::string shownFolder = Shown(folder);
    if (input.Error != 0 || !IsPlainFileName(entry.Name)) {
      report.Failure("Error saving attachment %", "Ошибка сохранения вложенного файла %", shownFolder + entry.Name,
                     input.Error != 0 ? input.Error : EINVAL);
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

// A text is split into lines for its sample this many bytes at a time
// first; each further try takes four times as many.
constexpr std::size_t kSampleTextStart = 64 << 10;

enum class Sample { Found, None, Unknown };

// The first lines of a text, as many as automatic detection reads for its
// sample. The word reader goes through the lines in order and the sample
// stops it once complete: when a word is still left in these lines after
// that, the reader never reached their end, and on the whole text it reads
// the same words. None when no part of less than half the text shows that
// (a short text is taken whole). `known` is the first part of a text of
// `total` bytes (all of it, or the part read so far): Unknown when the
// answer depends on bytes after it.
Sample LinesForSample(std::string_view known, std::size_t total, Lines& lines) {
  // A short text gives all its lines.
  if (total <= 2 * kSampleTextStart) {
    if (known.size() < total) return Sample::Unknown;
    lines = SplitLines(known);
    return Sample::Found;
  }
  for (std::size_t want = kSampleTextStart; want < total / 2; want *= 4) {
    if (want >= known.size()) return Sample::Unknown;
    // Long lines could make every try take nearly the whole text.
    const std::size_t lineBreak = FindLineBreak(known, want);
    if (lineBreak >= total / 2) break;
    if (lineBreak + 1 >= known.size()) return Sample::Unknown;
    std::size_t cut = lineBreak + 1;
    if (known[lineBreak] == '\r' && known[cut] == '\n') ++cut;
    lines = SplitLines(known.substr(0, cut));
    WordReader reader(lines);
    TakeSample(reader);
    if (!reader.NextWord().empty()) return Sample::Found;
  }
  Lines().swap(lines);
  return Sample::None;
}

// True when converting every line through the table changes no line break
// and makes none: bytes below 0x80 keep their values and no byte becomes a
// CR or LF. The lines converted and joined again are then the whole text
// converted through the table.
bool KeepsLines(const CodeTable& table) {
  for (int b = 0; b < 0x80; ++b)
    if (table[b] != b) return false;
  for (int b = 0x80; b < 0x100; ++b)
    if (table[b] == '\r' || table[b] == '\n') return false;
  return true;
}

enum class WholeText { Converted, UserBreak, NotTaken };

// Converts a file's text without its line list when the outcome is the
// one the line list would give. That is so when no one sees the editor, no
// enabled stage would act on it (every line keeps its own break, as the line
// list keeps it when the run keeps the lines) and the code page is converted
// through a table that keeps the lines as they are, without the UTF-8 step. The run
// then needs only the lines detection reads for its sample: the stages skip
// them as they would skip the whole text, and the table the run ends with
// converts the whole text. Otherwise the run is taken back (the caller runs
// it again with all the lines) and NotTaken returned. On Converted, text
// holds the result and same tells whether it equals the file's bytes; the
// run keeps no back copy then.
WholeText ConvertWholeText(Converter& converter, std::string& text, bool& same) {
  Window& window = converter.window();
  if (window.HasDisplay() || converter.Utf8Target) return WholeText::NotTaken;
  const bool detect = window.FromIndex() == 0;
  // Without detection the UTF-8 switch alone asks for the UTF-8 step.
  if (!detect && window.Switches().Utf8) return WholeText::NotTaken;
  if (!converter.StagesLeaveTextAlone(text)) return WholeText::NotTaken;
  Lines sampleLines;
  if (detect && LinesForSample(text, text.size(), sampleLines) != Sample::Found) return WholeText::NotTaken;

  // Detection's progress report depends on what it reported before.
  const int lastLevel = converter.Detection.LastLevel;
  const int lastPosition = converter.Detection.LastPosition;
  converter.TextBuffer = std::move(sampleLines);
  converter.CopyTextToScreen();
  converter.Convert();
  if (converter.UserBreak) return WholeText::UserBreak;
  const InPlaceConversion& applied = converter.LastInPlaceConversion();
  if (applied.Count > 1 || applied.Utf8 || (applied.Count == 1 && !KeepsLines(applied.Table))) {
    converter.Detection.LastLevel = lastLevel;
    converter.Detection.LastPosition = lastPosition;
    return WholeText::NotTaken;
  }
  same = applied.Count == 0 || !TranslateBytes(text.data(), text.size(), applied.Table.data());
  Lines().swap(converter.TextBuffer);
  converter.BackCopy.clear();
  converter.BackAvailable = false;
  // Ctrl-C while the bytes were converted stops the run as it would have
  // stopped the line-by-line conversion.
  return converter.UserBreak ? WholeText::UserBreak : WholeText::Converted;
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
      converter.window().ProcessEvents();
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
  std::string Path;    // the file written: links followed
  bool Exists = false;
  bool InPlace = false;  // the file read itself, rewritten with a backup
  struct stat Info {};   // of the file rewritten
  // The file whose mode, group and owner the result takes: the file it
  // replaces, if any.
  const struct stat* Model() const { return Exists ? &Info : nullptr; }
};

// Puts a file's result in place and reports it. writeResult writes the
// result to a temporary file beside the target and gives its name (empty on
// failure); it is not called when the file stays as it is.
template <typename WriteResult>
FileReport Deliver(Converter& converter, Report& report, const std::string& inName, const InputFile& input,
                   const Destination& destination, bool same, WriteResult writeResult) {
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
  // The result is on disk before the original is moved aside and the
  // result moved into place, so the user's text is whole in the file or in
  // its backup at every moment.
  const std::string temporary = writeResult();
  if (temporary.empty()) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownOut, errno);
    return report.Finish();
  }
  if (destination.InPlace) {
    // Only an old backup that is a file (or a link) is removed; a folder,
    // a device or a pipe under the name stops the run.
    const std::string backup = target + ".bak";
    if (!RemovePath(backup)) {
      const int error = errno;
      DiscardFile(temporary);
      if (error == EISDIR || error == kNotRegularFile)
        report.Failure("Error saving backup file %", "Ошибка сохранения копии файла %", Shown(backup), error);
      else
        report.Failure("Error deletind old backup file %", "Ошибка удаления старой копии файла %", Shown(backup),
                       error);
      return report.Finish();
    }
    if (!RenamePath(target, backup)) {
      const int error = errno;
      DiscardFile(temporary);
      report.Failure("Error saving backup file %", "Ошибка сохранения копии файла %", Shown(backup), error);
      return report.Finish();
    }
  }
  if (!CommitFile(temporary, target)) {
    report.Failure("Error saving file %", "Ошибка сохранения файла %", shownOut, errno);
    return report.Finish();
  }
  report.Wrote(destination.InPlace ? target + ".bak" : std::string());
  report.Success("File converted %", "Перекодирован файл %", shownIn);
  SaveAttachments(converter, input.Real, report);
  return report.Finish();
}

// Files larger than this are converted while they are read, in pieces of
// kStreamPiece bytes, after their first kStreamFrom bytes.
constexpr std::size_t kStreamFrom = std::size_t{4} << 20;
constexpr std::size_t kStreamPiece = std::size_t{1} << 20;

// What ConvertWholeText does, for a large file, while the file is read:
// the first part gives detection its sample, and from then on each piece
// read is checked (no control byte, no break of another kind, nothing an
// enabled stage would act on, judged line by line), converted through the
// table and written to a temporary file, so that the disk writes while the
// file is still being read. A piece that fails a check, a file whose size
// changes meanwhile or a failing read or write takes the run back and drops
// the temporary file (the caller then converts the file the usual way,
// which reports what is wrong). On Converted, result holds the converted
// file, not yet flushed, and same tells whether it equals the file's bytes.
// Only texts whose breaks are all LF or all CR are taken this way.
WholeText StreamWholeText(Converter& converter, const InputFile& input, const Destination& destination,
                          TemporaryFile& result, bool& same) {
  Window& window = converter.window();
  if (window.HasDisplay() || converter.Utf8Target) return WholeText::NotTaken;
  const bool detect = window.FromIndex() == 0;
  if (!detect && window.Switches().Utf8) return WholeText::NotTaken;
  if (static_cast<std::uint64_t>(input.Info.st_size) <= kStreamFrom) return WholeText::NotTaken;
  // A target that cannot be written is reported by the usual way, before
  // anything is written.
  if (destination.Exists && !MayWriteFile(destination.Path)) return WholeText::NotTaken;
  const std::size_t total = static_cast<std::size_t>(input.Info.st_size);
  const int fd = input.Fd;

  std::string text(kStreamFrom, '\0');  // the bytes read and not yet written
  std::size_t got = 0;
  if (!ReadPiece(fd, text.data(), text.size(), got) || got < text.size()) return WholeText::NotTaken;
  const FileBytes seen = ExamineFileBytes(text);
  if (seen.Control) return WholeText::NotTaken;
  // The stages' checks judge each line alone: the text up to its last
  // break is judged now, the rest with the bytes after it. A CR that ends
  // the bytes may be the first half of a CR LF and waits for them.
  const auto wholeLines = [](std::string_view bytes) {
    std::size_t last = bytes.rfind('\n');
    if (last == std::string_view::npos) {
      last = bytes.rfind('\r');
      if (last != std::string_view::npos && last + 1 == bytes.size()) last = bytes.rfind('\r', last - 1);
    }
    return last == std::string_view::npos ? 0 : last + 1;
  };
  std::size_t ready = wholeLines(text);
  if (!converter.StagesLeaveTextAlone(std::string_view(text).substr(0, ready))) return WholeText::NotTaken;
  Lines sampleLines;
  if (detect && LinesForSample(text, total, sampleLines) != Sample::Found) return WholeText::NotTaken;

  // A run taken back leaves what the usual way needs to find as it was:
  // that way may refuse the file (a control byte, a failing read) without
  // converting anything, and must then leave the same pane.
  const int lastLevel = converter.Detection.LastLevel;
  const int lastPosition = converter.Detection.LastPosition;
  const InfoPane pane = converter.Pane();
  const DecoderCounters counters = converter.Counters;
  const TFileList attachments = converter.Attachments;
  const auto takeBack = [&] {
    result.Discard();
    converter.Detection.LastLevel = lastLevel;
    converter.Detection.LastPosition = lastPosition;
    converter.RestorePane(pane);
    converter.Counters = counters;
    converter.Attachments = attachments;
    return WholeText::NotTaken;
  };
  converter.TextBuffer = std::move(sampleLines);
  converter.CopyTextToScreen();
  converter.Convert();
  if (converter.UserBreak) return WholeText::UserBreak;
  const InPlaceConversion& applied = converter.LastInPlaceConversion();
  if (applied.Count > 1 || applied.Utf8 || (applied.Count == 1 && !KeepsLines(applied.Table)))
    return takeBack();
  const CodeTable table = applied.Count == 1 ? applied.Table : IdentityCodeTable();
  // Without a table the file stays as it is: rewritten in place it need not
  // be written at all, only checked to its end.
  const bool write = applied.Count == 1 || !destination.InPlace;
  if (write && !result.Create(destination.Path, destination.Model())) return takeBack();

  bool changed = false;
  const auto emit = [&](std::size_t size) {
    changed = TranslateBytes(text.data(), size, table.data()) || changed;
    if (write && !result.Write(text.data(), size)) return false;
    text.erase(0, size);
    return true;
  };
  if (!emit(ready)) return takeBack();
  std::string piece(kStreamPiece, '\0');
  std::size_t read = kStreamFrom;
  for (;;) {
    if (converter.UserBreak) {
      result.Discard();
      return WholeText::UserBreak;
    }
    if (!ReadPiece(fd, piece.data(), piece.size(), got)) return takeBack();
    if (got == 0) break;
    read += got;
    const std::string_view fresh(piece.data(), got);
    const FileBytes more = ExamineFileBytes(fresh);
    if (more.Control) return takeBack();
    const std::size_t before = text.size();
    text.append(fresh);
    const std::size_t lines = wholeLines(fresh);
    if (lines == 0) continue;
    ready = before + lines;
    if (!converter.StagesLeaveTextAlone(std::string_view(text).substr(0, ready)) || !emit(ready))
      return takeBack();
  }
  // The sample was chosen knowing the file's size.
  if (read != total || !converter.StagesLeaveTextAlone(text) || !emit(text.size())) return takeBack();
  same = !changed;
  Lines().swap(converter.TextBuffer);
  converter.BackCopy.clear();
  converter.BackAvailable = false;
  if (converter.UserBreak) {
    result.Discard();
    return WholeText::UserBreak;
  }
  return WholeText::Converted;
}

FileReport ConvertFileSteps(Converter& converter, const std::string& inName, const std::string& outName,
                            WhenBusy whenBusy) {
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

  {
    TemporaryFile streamed;
    bool same = false;
    switch (StreamWholeText(converter, file, destination, streamed, same)) {
      case WholeText::Converted:
        return Deliver(converter, report, inName, file, destination, same, [&] { return streamed.Finish(); });
      case WholeText::UserBreak:
        return FileReport{};
      case WholeText::NotTaken:
        break;
    }
  }

  std::string input;
  if (!ReadWholeFd(file.Fd, input)) {
    report.Failure("Error opening file %", "Ошибка открытия файла %", shownIn, errno);
    return report.Finish();
  }
  // One read over the bytes finds control bytes and which line breaks
  // there are: a text whose breaks are all LF (or all CR) has no CR (no LF).
  const FileBytes seen = ExamineFileBytes(input);
  if (seen.Control) {
    report.Failure("% is not text file", "Файл % не текстовый", shownIn);
    return report.Finish();
  }

  bool same = false;
  std::string output;
  switch (ConvertWholeText(converter, input, same)) {
    case WholeText::Converted:
      output.swap(input);
      break;
    case WholeText::UserBreak:
      return FileReport{};
    case WholeText::NotTaken: {
      converter.TextBuffer = SplitLines(input);
      // A file whose breaks are all alike is its lines joined in its style.
      // The run keeps those lines in its back copy, so the file's bytes need
      // not be held beside them: the result is compared with the back copy
      // instead. (Assigning an empty string would keep the block; swapping
      // frees it.) A file with mixed breaks keeps each line's own break as
      // long as the run keeps the number of lines; when a stage joins or
      // splits lines, the text is written in the style of its first break.
      const LineBreakStyle style = DetectLineBreakStyle(input);
      const bool rejoins = !converter.Utf8Target && JoinsTo(converter.TextBuffer, style, input);
      std::vector<LineEnd> ends;
      if (rejoins)
        std::string().swap(input);
      else
        ends = LineEndsOf(input);
      converter.CopyTextToScreen();
      converter.Convert();
      if (converter.UserBreak) return FileReport{};
      // A UTF-8 text the run only decoded is written exactly as it came.
      const bool asItCame = converter.Utf8Target && FinishUtf8Target(converter, SplitLines(input));
      if (asItCame) {
        same = true;
        output.swap(input);
        break;
      }
      if (!rejoins && converter.TextBuffer.size() == ends.size()) {
        output = TakeJoinedLines(converter.TextBuffer, ends);
        same = output == input;
      } else {
        same = rejoins ? SameJoined(converter.TextBuffer, converter.BackCopy, style)
                       : JoinsTo(converter.TextBuffer, style, input);
        output = TakeJoinedLines(converter.TextBuffer, style);
      }
      std::string().swap(input);
    }
  }

  return Deliver(converter, report, inName, file, destination, same, [&] {
    // The result goes to disk first, beside the target.
    std::string temporary = WriteTemporaryFile(destination.Path, output, destination.Model());
    const int error = errno;
    std::string().swap(output);
    errno = error;
    return temporary;
  });
}

}  // namespace

// A file too large for the memory left ends as a report line like any other
// failure. Memory runs short while the text is read and converted, before
// anything is written, so the file and its backup are as they were.
FileReport ConvertFile(Converter& converter, const std::string& inName, const std::string& outName,
                       WhenBusy whenBusy) {
  // A file on disk is rewritten only through a chain that detection accepts.
  struct KeepTextUnlessRecognised {
    explicit KeepTextUnlessRecognised(Converter& c) : converter(c), before(c.KeepTextWhenNotRecognised) {
      converter.KeepTextWhenNotRecognised = true;
    }
    ~KeepTextUnlessRecognised() { converter.KeepTextWhenNotRecognised = before; }
    Converter& converter;
    const bool before;
  } keepText(converter);
  try {
    return ConvertFileSteps(converter, inName, outName, whenBusy);
  } catch (const std::bad_alloc&) {
    converter.TextBuffer = Lines();
    Report report(converter);
    report.Failure("Not enough memory to convert %", "Недостаточно памяти для перекодирования файла %",
                   Shown(inName));
    return report.Finish();
  }
}

}  // namespace kamvo
