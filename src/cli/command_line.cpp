#include "cli/command_line.h"

#include <csignal>
#include <filesystem>
#include <ostream>

#include "codepages/ascii.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/headless_window.h"
#include "driver/stages.h"
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
  static constexpr CodeOption kCodes[] = {{"WIN", 1}, {"DOS", 2}, {"KOI", 3}, {"ISO", 4}};
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
  static constexpr SwitchOption kSwitches[] = {
      {"BIN", &DecoderSwitches::Base64}, {"QP", &DecoderSwitches::QP},
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

std::atomic<bool>* interruptFlag = nullptr;

extern "C" void OnInterrupt(int) {
  if (interruptFlag) interruptFlag->store(true);
}

// Ctrl-C breaks the conversion off like the Stop button: nothing is written.
class InterruptAsUserBreak {
 public:
  explicit InterruptAsUserBreak(std::atomic<bool>& flag) {
    interruptFlag = &flag;
    previous_ = std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptAsUserBreak() {
    std::signal(SIGINT, previous_);
    interruptFlag = nullptr;
  }

 private:
  void (*previous_)(int) = nullptr;
};

void PrintLines(std::ostream& stream, std::string_view text, int terminalCode) {
  // Every piece up to a LF is one line; a final LF gives no extra line.
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    stream << ForTerminal(text.substr(0, lf), terminalCode) << '\n';
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

}  // namespace

std::string UsageText() {
  std::string text;
  text += "KAMVO v" + std::string(ProgramVersion) + " - Cyrillic text decoder and code page converter\n";
  text += "Written by the KAMVO developers <kamvo@users.noreply.invalid>\n";
  text += "\n";
  text += "command line usage:\n";
  text += "\n";
  text += "kamvo.exe [InputFile] [/FromCode] [OutputFile] [/ToCode] [/Option] ...\n";
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
        return options;
      }
    }
    if (options.InFile.empty())
      options.InFile = param;
    else if (options.OutFile.empty())
      options.OutFile = param;
    else if (options.ExtraFile.empty())
      options.ExtraFile = param;
  }
  return options;
}

bool IsSetupRun(const std::vector<std::string>& params,
                const std::function<bool(const std::string&)>& fileExists) {
  return !params.empty() && AsciiUpper(TrimControls(params.back())) == SetupParameter &&
         !fileExists(params.back());
}

std::string HelpText() {
  return UsageText() +
         "Exit status: 0 converted or nothing to convert, 1 the file could not be converted or\n"
         "written, 2 usage error or missing input file, 3 Russian text not recognised (the\n"
         "file keeps its code page; only the decoders' work is written).\n";
}

int TerminalCodePage(const std::function<std::string(const char*)>& env) {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    locale = env(name);
    if (!locale.empty()) break;
  }
  const std::size_t dot = locale.find('.');
  if (dot == std::string::npos) return 0;
  std::string charset;
  for (char c : AsciiUpper(locale.substr(dot + 1))) {
    if (c == '@') break;
    if (c != '-' && c != '_') charset += c;
  }
  if (charset == "KOI8R") return kKoi8;
  if (charset == "CP1251" || charset == "WINDOWS1251") return kWindows;
  if (charset == "CP866" || charset == "IBM866") return kDos;
  if (charset == "ISO88595") return kIso;
  return 0;
}

std::string ForTerminal(std::string_view text, int terminalCode) {
  if (terminalCode == 0) return Utf8FromWin(text);
  return ConvertByTable(text, BuildCodeTable(kWindows, terminalCode));
}

int ConvFileCommandLine(const std::vector<std::string>& params, const TCfg& cfg, std::ostream& out,
                        std::ostream& err, int terminalCode) {
  DecoderSwitches switches;
  switches.Base64 = cfg.ConvertBase64;
  switches.QP = cfg.ConvertQP;
  switches.Rtf = cfg.ConvertRTF;
  switches.Html = cfg.ConvertHTML;
  switches.Utf8 = cfg.ConvertUTF8;
  switches.Translit = cfg.TranslitOn;

  for (const std::string& param : params) {
    if (param == "--help") {
      out << HelpText();
      return kExitOk;
    }
    if (param == "--version") {
      out << "kamvo " << ProgramVersion << '\n';
      return kExitOk;
    }
  }
  auto exists = [](const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
  };
  const auto usageError = [&](const std::string& message) {
    err << "kamvo: " << message << "\nTry 'kamvo --help' for more information.\n";
    return kExitUsage;
  };
  CommandLineOptions options = ParseCommandLine(params, switches, exists);
  if (options.UnknownOption) {
    err << UsageText();
    return kExitUsage;
  }
  if (!options.ExtraFile.empty())
    return usageError("too many file names (an input and an output at most): " + options.ExtraFile);
  if (options.InFile.empty()) return kExitOk;
  if (options.OutFile.empty()) options.OutFile = options.InFile;
  if (options.FromCode == -1) options.FromCode = 0;
  if (options.ToCode == -1) options.ToCode = kWindows;

  if (!exists(options.InFile)) return usageError("file not found: " + options.InFile);

  HeadlessWindow window;
  window.hasDisplay = false;  // nobody sees the editor: keep no copy of the text for it
  window.switches = options.Switches;
  window.fromIndex = options.FromCode;
  window.toIndex = options.ToCode - 1;
  Converter converter(window, cfg, StandardStages());
  FileReport report;
  {
    InterruptAsUserBreak interrupt(converter.UserBreak);
    report = ConvertFile(converter, options.InFile, options.OutFile);
  }
  out.flush();
  PrintLines(out, converter.Info(), terminalCode);
  for (const auto& line : report.SavedAttachments) PrintLines(out, line, terminalCode);
  out.flush();
  for (const auto& line : report.FailureLines) PrintLines(err, line, terminalCode);
  if (converter.UserBreak) {
    PrintLines(err, converter.Tr("User break.", "Прервано."), terminalCode);
    return kExitConversionFailed;
  }
  if (report.Failed) return kExitConversionFailed;
  const DetectionState& detection = converter.Detection;
  if (detection.DetectionDone && !detection.Found && detection.SampleWords.Count > 0) {
    const std::string best = std::to_string(detection.BestPercent);
    const std::string limit = std::to_string(cfg.DetectionLimit);
    PrintLines(err,
               converter.English()
                   ? "Russian text not recognised (best " + best + " %, limit " + limit +
                         " %): the code page was left as it is."
                   : WinFromUtf8("Русский текст не распознан (лучший результат " + best +
                                 " %, порог " + limit + " %): кодировка оставлена как есть."),
               terminalCode);
    return kExitNotRecognised;
  }
  return kExitOk;
}

}  // namespace kamvo
