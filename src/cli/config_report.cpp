#include "cli/config_report.h"

#include <ostream>
#include <string>

#include "codepages/unicode.h"
#include "driver/default_target.h"
#include "settings/settings.h"

namespace kamvo {

namespace {

std::string Font(const TFontGroup& font) {
  std::string style;
  if (font.Style & kFontBold) style += " bold";
  if (font.Style & kFontItalic) style += " italic";
  if (font.Style & kFontUnderline) style += " underline";
  if (font.Style & kFontStrikeOut) style += " strike-out";
  return (font.Name.empty() ? "(default)" : Utf8FromWin(font.Name)) + ", " + std::to_string(font.Size) +
         " pt, charset " + std::to_string(font.CharSet) + style;
}

}  // namespace

void PrintConfig(const std::filesystem::path& storeFile, const TSettings& settings, std::ostream& out) {
  std::error_code error;
  const bool exists = !storeFile.empty() && std::filesystem::exists(storeFile, error);
  out << "Settings file: " << (storeFile.empty() ? "(none: no home folder)" : storeFile.string())
      << (exists ? "" : " (not written yet: defaults in force)") << '\n';
  const TCfg& c = settings.Cfg;
  const auto flag = [&](const char* name, bool value) { out << name << " = " << (value ? 1 : 0) << '\n'; };
  flag("Convert on start", c.ConvertOnStart);
  flag("Convert base64", c.ConvertBase64);
  flag("Convert QP", c.ConvertQP);
  flag("Convert RTF", c.ConvertRTF);
  flag("Convert HTML", c.ConvertHTML);
  flag("Convert UTF-8", c.ConvertUTF8);
  flag("Translit", c.TranslitOn);
  flag("Convert file open", c.ConvertFileOpen);
  out << "Detection limit = " << c.DetectionLimit << '\n';
  flag("Tray Icon", c.TrayIcon);
  flag("English", c.English);
  flag("Word Wrap", c.WordWrapOn);
  out << "Font = " << Font(c.TextFont) << '\n';
  out << "SysFont = " << Font(c.InterfaceFont) << '\n';
  std::string table = Utf8FromWin(c.TranslitTable);
  for (std::size_t at = 0; (at = table.find("\r\n", at)) != std::string::npos;) table.replace(at, 2, " ");
  out << "Translit Table = " << table << '\n';
  out << "Target = "
      << (c.Target.empty() ? "(the locale's: " + TargetName(DefaultTarget(c, ProcessEnv())) + ")" : c.Target) << '\n';
  flag("FirstRun", settings.FirstRun);
  out << "Location = " << settings.Location << '\n';
  out << "LastOpenPath = " << settings.LastOpenPath << '\n';
  out << "LastSavePath = " << settings.LastSavePath << '\n';
}

}  // namespace kamvo
