#include "settings/settings.h"

#include "codepages/code_tables.h"

namespace kamvo {

namespace {

constexpr std::string_view kTop = "";
constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kFont = "Settings\\Font";
constexpr std::string_view kSysFont = "Settings\\SysFont";

std::filesystem::path StoreFileOf(const TStoreContext& ctx) {
  if (!ctx.StoreFile.empty()) return ctx.StoreFile;
  return DefaultStorePath(ctx.Env ? ctx.Env : ProcessEnv());
}

// All trailing '/' removed, then one appended when the text is not empty.
void AsFolderWithSlash(std::string& path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (!path.empty()) path += '/';
}

void ApplyGroup(TFontGroup& font, const TFontGroup& group) {
  if (!group.Name.empty()) font.Name = group.Name;
  font.Size = group.Size;
  font.CharSet = group.CharSet;
  font.Style = group.Style;
}

}  // namespace

TFontGroup DesignedTextFont() { return {"Monospace", 10, 204, 0}; }

std::string DefaultTranslitTable() {
  static const char* const kSpellings[kRussianLetters] = {
      "A", "B", "V", "G", "D", "E",  "JO", "ZH", "Z",  "I",   "J",  "K", "L", "M",  "N",  "O", "P",
      "R", "S", "T", "U", "F", "KH", "C",  "CH", "SH", "SHH", "\"", "Y", "'", "EH", "JU", "JA"};
  std::string table;
  for (int i = 0; i < kRussianLetters; ++i) {
    if (i) table += "\r\n";
    table += kSpellings[i];
  }
  return table;
}

uint8_t UserLanguageFromLocale(const EnvLookup& env) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string v = env(name);
    if (!v.empty()) return v.starts_with("ru") ? kLangRussian : kLangEnglish;
  }
  return kLangEnglish;
}

void ReadCfg(TSettings& s, const TFontGroup& textAreaFont, const TStoreContext& ctx) {
  const EnvLookup env = ctx.Env ? ctx.Env : ProcessEnv();
  // One session: the file is read once; the defaults written back are
  // committed together at the end, which nobody can tell from writing each
  // at once since every value is read only once.
  TRegSession reg(ctx.StoreFile.empty() ? DefaultStorePath(env) : ctx.StoreFile);
  TCfg& c = s.Cfg;

  c.UserLanguage = UserLanguageFromLocale(env);
  // A store that exists but cannot be read leaves the record as it is:
  // taking defaults would throw away the settings of the running program.
  if (!reg.Available()) return;

  ReadString(reg, kTop, "Location", s.Location, "");
  if (!s.Location.empty() && s.Location.back() != '/') s.Location += '/';

  ReadBool(reg, kSettings, "Convert on start", c.ConvertOnStart, true);
  ReadBool(reg, kSettings, "Convert base64", c.ConvertBase64, true);
  ReadBool(reg, kSettings, "Convert QP", c.ConvertQP, true);
  ReadBool(reg, kSettings, "Convert RTF", c.ConvertRTF, true);
  ReadBool(reg, kSettings, "Convert HTML", c.ConvertHTML, true);
  ReadBool(reg, kSettings, "Convert UTF-8", c.ConvertUTF8, true);
  ReadBool(reg, kSettings, "Tray Icon", c.TrayIcon, true);
  ReadInteger(reg, kSettings, "Detection limit", c.DetectionLimit, 80);
  ReadBool(reg, kSettings, "English", c.English, c.UserLanguage != kLangRussian);
  ReadBool(reg, kSettings, "Convert file open", c.ConvertFileOpen, true);

  ReadString(reg, kFont, "Name", c.TextFont.Name, textAreaFont.Name);
  ReadInteger(reg, kFont, "CharSet", c.TextFont.CharSet, textAreaFont.CharSet & 0xFF);
  ReadInteger(reg, kFont, "Size", c.TextFont.Size, textAreaFont.Size);
  ReadBinary(reg, kFont, "Style", c.TextFont.Style, textAreaFont.Style);

  ReadString(reg, kSysFont, "Name", c.InterfaceFont.Name, textAreaFont.Name);
  ReadInteger(reg, kSysFont, "CharSet", c.InterfaceFont.CharSet, textAreaFont.CharSet);
  ReadInteger(reg, kSysFont, "Size", c.InterfaceFont.Size, 10);
  ReadBinary(reg, kSysFont, "Style", c.InterfaceFont.Style, textAreaFont.Style);

  ReadString(reg, kTop, "LastSavePath", s.LastSavePath, "");
  AsFolderWithSlash(s.LastSavePath);
  ReadString(reg, kTop, "LastOpenPath", s.LastOpenPath, "");
  AsFolderWithSlash(s.LastOpenPath);

  ReadBool(reg, kTop, "FirstRun", s.FirstRun, true);

  ReadBool(reg, kSettings, "Translit", c.TranslitOn, false);
  ReadBool(reg, kSettings, "Word Wrap", c.WordWrapOn, true);
  ReadString(reg, kSettings, "Translit Table", c.TranslitTable, DefaultTranslitTable());
  // An empty table is replaced in memory only; it is stored with the next
  // WriteCfg.
  if (c.TranslitTable.empty()) c.TranslitTable = DefaultTranslitTable();
  ReadString(reg, kSettings, "Target", c.Target, "");

  reg.Flush();
}

void WriteCfg(const TCfg& c, const TStoreContext& ctx) {
  TRegSession reg(StoreFileOf(ctx));
  WriteBool(reg, kSettings, "Convert on start", c.ConvertOnStart);
  WriteBool(reg, kSettings, "Convert base64", c.ConvertBase64);
  WriteBool(reg, kSettings, "Convert QP", c.ConvertQP);
  WriteBool(reg, kSettings, "Convert RTF", c.ConvertRTF);
  WriteBool(reg, kSettings, "Convert HTML", c.ConvertHTML);
  WriteBool(reg, kSettings, "Convert UTF-8", c.ConvertUTF8);
  WriteBool(reg, kSettings, "Tray Icon", c.TrayIcon);
  WriteBool(reg, kSettings, "Convert file open", c.ConvertFileOpen);
  WriteInteger(reg, kSettings, "Detection limit", c.DetectionLimit);
  WriteBool(reg, kSettings, "English", c.English);
  WriteBool(reg, kSettings, "Word Wrap", c.WordWrapOn);
  WriteBool(reg, kSettings, "Translit", c.TranslitOn);
  WriteString(reg, kSettings, "Translit Table", c.TranslitTable);
  WriteString(reg, kSettings, "Target", c.Target);

  WriteString(reg, kFont, "Name", c.TextFont.Name);
  WriteInteger(reg, kFont, "Size", c.TextFont.Size);
  WriteInteger(reg, kFont, "CharSet", c.TextFont.CharSet);
  WriteBinary(reg, kFont, "Style", c.TextFont.Style);

  WriteString(reg, kSysFont, "Name", c.InterfaceFont.Name);
  WriteInteger(reg, kSysFont, "Size", c.InterfaceFont.Size);
  WriteInteger(reg, kSysFont, "CharSet", c.InterfaceFont.CharSet);
  WriteBinary(reg, kSysFont, "Style", c.InterfaceFont.Style);
  reg.Flush();
}

void WriteExitCfg(const TSettings& s, const TStoreContext& ctx) {
  TRegSession reg(StoreFileOf(ctx));
  // The paths may hold a file name (after a dialog) or a folder with a
  // trailing '/' (after ReadCfg); ExtractDir gives the folder in both cases.
  if (!s.LastOpenPath.empty()) WriteString(reg, kTop, "LastOpenPath", ExtractDir(s.LastOpenPath));
  if (!s.LastSavePath.empty()) WriteString(reg, kTop, "LastSavePath", ExtractDir(s.LastSavePath));
  WriteBool(reg, kSettings, "Word Wrap", s.Cfg.WordWrapOn);
  reg.Flush();
}

void ClearFirstRun(TSettings& s, const TStoreContext& ctx) {
  TRegSession reg(StoreFileOf(ctx));
  WriteBool(reg, kTop, "FirstRun", false);
  reg.Flush();
  s.FirstRun = false;
}

void SetupFirstRun(TSettings& s, std::string_view programPath, const TStoreContext& ctx) {
  std::string folder(programPath);
  while (!folder.empty() && folder.back() != '/') folder.pop_back();
  s.FirstRun = false;
  TRegSession reg(StoreFileOf(ctx));
  WriteBool(reg, kTop, "FirstRun", true);
  WriteString(reg, kTop, "Location", folder);
  reg.Flush();
}

std::string ExtractDir(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  return std::string(path.substr(0, slash));
}

void ApplyTextFont(TFontGroup& font, const TCfg& cfg) { ApplyGroup(font, cfg.TextFont); }

void ApplyInterfaceFont(TFontGroup& font, const TCfg& cfg) { ApplyGroup(font, cfg.InterfaceFont); }

}  // namespace kamvo
