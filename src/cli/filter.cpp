#include "cli/filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>

#include "cli/command_line.h"
#include "codepages/unicode.h"
#include "decoders/file_list.h"
#include "driver/attachment_files.h"
#include "driver/file_io.h"
#include "driver/text_conversion.h"

namespace kamvo {

namespace {

// Saves the run's attachments in the folder, each under a free name; says
// so on err, a line each. False when one could not be saved.
bool SaveAttachmentsIn(const Converter& converter, std::string folder, std::ostream& err, int terminalCode) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  bool ok = true;
  for (const TFileRec& entry : converter.Attachments) {
    const SavedAttachment saved = SaveAttachmentAsNewFile(folder, entry.Name, entry.Stream);
    const std::string shown = WinFromUtf8(folder) + saved.Name;
    if (saved.Saved) {
      PrintLines(err, converter.Tr(" Attachment saved ", " Сохранен вложенный файл ") + shown, terminalCode);
    } else {
      PrintLines(err,
                 converter.Tr("Error saving attachment ", "Ошибка сохранения вложенного файла ") + shown + ": " +
                     FileErrorText(saved.Error),
                 terminalCode);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int RunFilter(const std::string& inFile, const std::string& attachmentsDir, const RunChoices& choices, const TCfg& cfg,
              std::ostream& out, std::ostream& err, int terminalCode) {
  const std::string shown = inFile.empty() ? "standard input" : inFile;
  std::string bytes;
  {
    const int fd = inFile.empty() ? STDIN_FILENO : ::open(inFile.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ReadAllFrom(fd, bytes);
    const int error = errno;
    if (fd >= 0 && fd != STDIN_FILENO) ::close(fd);
    if (!read) {
      err << "kamvo: cannot read " << shown << ": " << std::strerror(error) << '\n';
      return kExitConversionFailed;
    }
  }
  // Nothing in, nothing out: an empty input is no text to report on.
  if (bytes.empty()) return kExitOk;

  // Without a folder for them, attachments must stay in the text: a run
  // that took some out is made again with their decoder off.
  const bool keepAttachments = attachmentsDir.empty() && choices.Switches.Base64;
  std::string again = keepAttachments ? bytes : std::string();
  auto run = std::make_unique<CliConversion>(choices, cfg);
  TextConversion result = ConvertText(run->Conv, std::move(bytes));
  std::size_t kept = 0;
  if (keepAttachments && !result.NotText && !result.UserBreak && !run->Conv.Attachments.Empty()) {
    kept = static_cast<std::size_t>(run->Conv.Attachments.Count());
    RunChoices without = choices;
    without.Switches.Base64 = false;
    result = TextConversion();
    run = std::make_unique<CliConversion>(without, cfg);
    result = ConvertText(run->Conv, std::move(again));
  }
  std::string().swap(again);
  if (result.NotText) {
    // What is no text goes through as it came.
    out.write(result.Text.data(), static_cast<std::streamsize>(result.Text.size()));
    out.flush();
    err << "kamvo: " << shown << " is not text: passed through as it came\n";
    return out ? kExitOk : kExitConversionFailed;
  }
  if (result.UserBreak) {
    PrintLines(err, run->Conv.Tr("User break.", "Прервано."), terminalCode);
    return kExitInterrupted;
  }
  const std::string target = std::string(CodeNames[run->Conv.Options.Target]);
  if (result.StrictFailed) {
    err << "kamvo: " << shown << ": " << result.Transliterated << " character(s) that " << target
        << " cannot hold (nothing written)\n";
    return kExitConversionFailed;
  }
  if (result.Transliterated > 0)
    err << "kamvo: " << shown << ": " << result.Transliterated << " character(s) that " << target
        << " cannot hold were transliterated\n";
  out.write(result.Text.data(), static_cast<std::streamsize>(result.Text.size()));
  out.flush();
  PrintLines(err, run->Conv.Info(), terminalCode);
  if (kept > 0)
    err << "kamvo: " << kept
        << " attachment(s) kept in the output as they came (--attachments=DIR saves them instead)\n";
  const bool saved = attachmentsDir.empty() || SaveAttachmentsIn(run->Conv, attachmentsDir, err, terminalCode);
  if (!out) {
    err << "kamvo: error writing standard output\n";
    return kExitConversionFailed;
  }
  if (!saved) return kExitConversionFailed;
  return ReportNotRecognised(run->Conv, cfg, err, terminalCode) ? kExitNotRecognised : kExitOk;
}

}  // namespace kamvo
