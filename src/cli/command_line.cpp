#include "cli/command_line.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/cli_run.h"
#include "cli/config_report.h"
#include "cli/detect_report.h"
#include "cli/filter.h"
#include "cli/long_options.h"
#include "cli/many_files.h"
#include "codepages/ascii.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/default_target.h"
#include "driver/file_conversion.h"
#include "settings/settings.h"

namespace kamvo {

const std::string_view ProgramVersion = KAMVO_VERSION;  // the project version of the build
const std::string_view SetupParameter = "5184";

namespace {

constexpr std::size_t kOptionLength = 80;

// Applies an option; false when the text names none.
bool ApplyOption(const std::string& option, CommandLineOptions& options) {
  struct CodeOption {
    std::string_view name;
    int code;
  };
  static constexpr CodeOption kCodes[] = {{"WIN", 1}, {"DOS", 2}, {"KOI", 3}, {"ISO", 4}, {"UTF8", kUtf8Code}};
  for (const auto& row : kCodes) {
    if (option != row.name) continue;
    if (options.ToCode == -1) {
      options.ToCode = row.code;
    } else if (options.FromCode == -1) {
      options.FromCode = options.ToCode;
      options.ToCode = row.code;
    }
    return true;
  }
  if (option == "AUTO") return true;
  struct SwitchOption {
    std::string_view name;
    bool DecoderSwitches::*field;
  };
  static constexpr SwitchOption kSwitches[] = {{"BIN", &DecoderSwitches::Base64}, {"QP", &DecoderSwitches::QP},
                                               {"RTF", &DecoderSwitches::Rtf},    {"HTML", &DecoderSwitches::Html},
                                               {"UTF", &DecoderSwitches::Utf8},   {"TL", &DecoderSwitches::Translit}};
  for (const auto& row : kSwitches) {
    if (option == row.name) {
      options.Switches.*row.field = true;
      return true;
    }
    if (option.size() == row.name.size() + 1 && option.back() == '-' &&
        std::string_view(option).substr(0, row.name.size()) == row.name) {
      options.Switches.*row.field = false;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string UsageText() {
  std::string text;
  text += "KAMVO v" + std::string(ProgramVersion) + " - Cyrillic text decoder and code page converter\n";
  text += "Written by the KAMVO developers <kamvo@users.noreply.invalid>\n";
  text += "\n";
  text += "command line usage:\n";
  text += "\n";
  text += "kamvo [InputFile] [/FromCode] [OutputFile] [/ToCode] [/Option] ...\n";
  text += "\n";
  text += "FromCode, ToCode:\n";
  text += "        /AUTO   - Auto detect input coding (only for input),\n";
  text += "        /DOS    - Alternative DOS coding\n";
  text += "        /WIN    - Windows (1251) coding\n";
  text += "        /KOI    - KOI-8 coding\n";
  text += "        /ISO    - ISO 8859-5 coding\n";
  text += "\n";
  text += "Options:\n";
  text += "        /BIN, /BIN-   Translate (don't translate) binary\n";
  text += "        /QP, /QP-     Translate (don't translate) quoted printable\n";
  text += "        /RTF, /RTF-   Translate (don't translate) RTF\n";
  text += "        /HTML, /HTML- Translate (don't translate) HTML\n";
  text += "        /UTF, /UTF-   Translate (don't translate) UTF8\n";
  text += "        /TL, /TL-     Translate (don't translate) translit\n";
  text += "\n";
  return text;
}

CommandLineOptions ParseCommandLine(const std::vector<std::string>& params, DecoderSwitches switches,
                                    const std::function<bool(const std::string&)>& fileExists) {
  CommandLineOptions options;
  options.Switches = switches;
  for (const std::string& param : params) {
    if (!param.empty() && (param[0] == '/' || param[0] == '-')) {
      const std::string rest = param.substr(1);
      if (ApplyOption(AsciiUpper(rest.substr(0, kOptionLength)), options)) continue;
      const bool isPath = rest.find('/') != std::string::npos || fileExists(param);
      if (!isPath) {
        options.UnknownOption = true;
        options.UnknownWord = param;
        return options;
      }
    }
    options.Files.push_back(param);
    if (options.InFile.empty())
      options.InFile = param;
    else if (options.OutFile.empty())
      options.OutFile = param;
    else if (options.ExtraFile.empty())
      options.ExtraFile = param;
  }
  return options;
}

bool IsSetupRun(const std::vector<std::string>& params, const std::function<bool(const std::string&)>& fileExists) {
  return !params.empty() && AsciiUpper(TrimControls(params.back())) == SetupParameter && !fileExists(params.back());
}

namespace {

// Breaks a paragraph at spaces into lines of at most 80 characters.
std::string Wrapped(const std::string& paragraph) {
  std::string text, line;
  std::size_t start = 0;
  while (start < paragraph.size()) {
    std::size_t end = paragraph.find(' ', start);
    if (end == std::string::npos) end = paragraph.size();
    const std::string word = paragraph.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > 80) {
      text += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return text + line + "\n";
}

}  // namespace

std::string HelpText(const TCfg& cfg, int defaultTarget) {
  std::string on, off;
  const auto add = [](std::string& list, const char* name) { list += (list.empty() ? "" : ", ") + std::string(name); };
  const std::pair<bool, const char*> decoders[] = {{cfg.ConvertBase64, "Base64/UUE/XXE (/BIN)"},
                                                   {cfg.ConvertQP, "quoted-printable (/QP)"},
                                                   {cfg.ConvertRTF, "RTF (/RTF)"},
                                                   {cfg.ConvertHTML, "HTML (/HTML)"},
                                                   {cfg.ConvertUTF8, "UTF-8 (/UTF)"},
                                                   {cfg.TranslitOn, "translit (/TL)"}};
  for (const auto& [enabled, name] : decoders) add(enabled ? on : off, name);
  const std::string target = TargetName(defaultTarget);
  return UsageText() + LongOptionsHelp() +
         Wrapped("Default target: " + target +
                 (TargetFromName(cfg.Target) != -1 ? " (the \"Target\" setting)" : " (the locale's character set)") +
                 "; /WIN, /DOS, /KOI, /ISO, /UTF8 or --to=CODE choose another.") +
         Wrapped("Decoders on (from the settings): " + (on.empty() ? "none" : on) + "." +
                 (off.empty() ? "" : " Off: " + off + ".")) +
         "\n"
         "Nothing is lost: a file rewritten in place keeps its old content as FILE.bak, and an\n"
         "existing output file (the second name, -o) is kept the same way; an older backup is\n"
         "never replaced (FILE.1.bak, FILE.2.bak, ... are taken instead).\n"
         "\n"
         "Examples:\n"
         "  kamvo letter.txt                 repair in place (letter.txt.bak keeps the old text)\n"
         "  kamvo in.txt /DOS out.txt /KOI   Dos to KOI8-R into out.txt\n"
         "  kamvo < mail.eml > fixed.eml     a filter: standard input to standard output\n"
         "  kamvo --stdout notes.txt | less  read a file converted, without touching it\n"
         "  kamvo --in-place *.txt           many files: a line each and a summary\n"
         "  kamvo -r old-texts/              every file of a tree\n"
         "  kamvo --detect *.txt             what each file is; writes nothing\n"
         "  kamvo --config                   the settings file and the values in force\n"
         "\n"
         "Exit status (every mode): 0 done or nothing to do (a file that is no text is skipped),\n"
         "1 a file failed (unreadable, backup or write failed), 2 usage error or missing input\n"
         "file, 3 Russian text not recognised (the file keeps its code page; only the decoders'\n"
         "work is written), 130 interrupted (Ctrl-C; the file being converted is left as it was).\n";
}

int TerminalCodePage(const std::function<std::string(const char*)>& env) {
  const int code = LocaleCodePage(env);
  return code == kUtf8Code ? 0 : code;
}

std::string ForTerminal(std::string_view text, int terminalCode) {
  if (terminalCode == 0) return Utf8FromWin(text);
  return ConvertByTable(text, BuildCodeTable(kWindows, terminalCode));
}

int ConvFileCommandLine(const std::vector<std::string>& params, const TCfg& cfg, std::ostream& out, std::ostream& err,
                        int terminalCode) {
  TSettings settings;
  settings.Cfg = cfg;
  return ConvFileCommandLine(params, settings, out, err, terminalCode);
}

int ConvFileCommandLine(const std::vector<std::string>& params, const TSettings& settings, std::ostream& out,
                        std::ostream& err, int terminalCode) {
  const TCfg& cfg = settings.Cfg;
  DecoderSwitches switches;
  switches.Base64 = cfg.ConvertBase64;
  switches.QP = cfg.ConvertQP;
  switches.Rtf = cfg.ConvertRTF;
  switches.Html = cfg.ConvertHTML;
  switches.Utf8 = cfg.ConvertUTF8;
  switches.Translit = cfg.TranslitOn;

  auto exists = [](const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
  };
  const auto usageError = [&](const std::string& message) {
    err << "kamvo: " << message << "\nTry 'kamvo --help' for more information.\n";
    return kExitUsage;
  };
  // Without a code option the text goes into the locale's character set
  // (or the one the settings name).
  const int defaultTarget = DefaultTarget(cfg, ProcessEnv());
  const LongOptions longOptions = ParseLongOptions(params, exists);
  if (longOptions.Help) {
    out << HelpText(cfg, defaultTarget);
    return kExitOk;
  }
  if (longOptions.Version) {
    out << "kamvo " << ProgramVersion << '\n';
    return kExitOk;
  }
  if (!longOptions.Error.empty()) return usageError(longOptions.Error);
  CommandLineOptions options = ParseCommandLine(longOptions.Written, switches, exists);
  if (options.UnknownOption) return usageError("unknown option '" + options.UnknownWord + "'");
  if (longOptions.Config) {
    PrintConfig(DefaultStorePath(ProcessEnv()), settings, out);
    return kExitOk;
  }
  // Names after "--" are file names like the others, in their order.
  std::vector<std::string> files = options.Files;
  files.insert(files.end(), longOptions.Files.begin(), longOptions.Files.end());
  RunChoices choices;
  choices.Strict = longOptions.Strict;
  choices.Switches = options.Switches;
  choices.FromCode = longOptions.FromCode != -1 ? longOptions.FromCode : std::max(options.FromCode, 0);
  choices.ToCode = longOptions.ToCode != -1 ? longOptions.ToCode
                   : options.ToCode != -1   ? options.ToCode
                                            : defaultTarget;

  const auto attachmentsMisplaced = [&] {
    return usageError(
        "--attachments is for runs that write standard output (the attachments of a file "
        "written go beside it)");
  };
  if (longOptions.Detect) {
    if (!longOptions.AttachmentsDir.empty()) return attachmentsMisplaced();
    if (files.empty() && StandardInputHoldsData()) files.push_back("-");
    if (files.empty()) return usageError("--detect needs a file name");
    return DetectFiles(files, longOptions.Recursive, longOptions.Json, choices, cfg, out, err);
  }
  if (longOptions.InPlace || longOptions.Recursive) {
    if (!longOptions.AttachmentsDir.empty()) return attachmentsMisplaced();
    if (!longOptions.OutFile.empty()) return usageError("-o cannot be used with --in-place or -r");
    if (files.empty()) return usageError("no file names to convert");
    return ConvertManyFiles(files, longOptions.Recursive, choices, cfg, out, err, terminalCode);
  }
  // "-o -" is standard output.
  const bool toStdout = longOptions.Stdout || longOptions.OutFile == "-";
  if (longOptions.Stdin || toStdout || (files.empty() && StandardInputHoldsData())) {
    if (files.size() > 1 || (longOptions.Stdin && !files.empty()))
      return usageError("standard output takes one input: a file name or - for standard input");
    if (!longOptions.OutFile.empty() && longOptions.OutFile != "-")
      return usageError("-o cannot be used with --stdout or -");
    if (!files.empty() && !exists(files[0])) return usageError("file not found: " + files[0]);
    return RunFilter(files.empty() ? std::string() : files[0], longOptions.AttachmentsDir, choices, cfg, out, err,
                     terminalCode);
  }
  // Files written to disk take their attachments beside them.
  if (!longOptions.AttachmentsDir.empty()) return attachmentsMisplaced();
  if (files.size() > 2 || (files.size() > 1 && !longOptions.OutFile.empty()))
    return usageError("too many file names (an input and an output at most): " +
                      files[longOptions.OutFile.empty() ? 2 : 1]);
  if (files.empty()) return kExitOk;
  const std::string inFile = files[0];
  const std::string outFile = !longOptions.OutFile.empty() ? longOptions.OutFile : files.size() > 1 ? files[1] : inFile;
  if (!exists(inFile)) return usageError("file not found: " + inFile);

  CliConversion run(choices, cfg);
  Converter& converter = run.Conv;
  // Once the result is in place, a signal no longer leaves the file as it
  // was: the note says what it broke off.
  const FileReport report = ConvertFile(converter, inFile, outFile, WhenBusy::Wait, [&] {
    SetInterruptNote("kamvo: interrupted while the attachments of " + inFile + " were saved\n");
  });
  SetInterruptNote({});
  out.flush();
  PrintLines(out, converter.Info(), terminalCode);
  if (!report.BackupLine.empty()) PrintLines(out, report.BackupLine, terminalCode);
  for (const auto& line : report.SavedAttachments) PrintLines(out, line, terminalCode);
  out.flush();
  for (const auto& line : report.FailureLines) PrintLines(err, line, terminalCode);
  // A file that is no text is left alone: nothing to do, no failure.
  if (report.NotText) PrintLines(err, report.NotTextLine, terminalCode);
  if (!report.TransliteratedLine.empty()) PrintLines(err, report.TransliteratedLine, terminalCode);
  if (converter.UserBreak) {
    PrintLines(err, converter.Tr("User break.", "Прервано."), terminalCode);
    return kExitInterrupted;
  }
  if (report.Failed) return kExitConversionFailed;
  if (ReportNotRecognised(converter, cfg, err, terminalCode)) return kExitNotRecognised;
  return kExitOk;
}

}  // namespace kamvo
