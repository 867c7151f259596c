// The settings record and the routines that load it from the per-user store,
// fill in defaults and write it back.
//
// Layout in the store (keys below HKEY_CURRENT_USER\SOFTWARE\KAMVO):
//   (the key itself)   "FirstRun" dword, "Location", "LastOpenPath",
//                      "LastSavePath" strings
//   Settings           the switches (dwords), "Detection limit" (dword),
//                      "Translit Table", "Target" (strings)
//   Settings\Font      text font: "Name" string, "Size", "CharSet" dwords,
//                      "Style" one-byte binary
//   Settings\SysFont   interface font, same four values
//
// The record is only filled here; the window applies fonts, word wrap and
// language to itself after ReadCfg.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace kamvo {

inline constexpr uint8_t kLangEnglish = 0x09;
inline constexpr uint8_t kLangRussian = 0x19;

// Style bits of a font group.
inline constexpr uint8_t kFontBold = 1;
inline constexpr uint8_t kFontItalic = 2;
inline constexpr uint8_t kFontUnderline = 4;
inline constexpr uint8_t kFontStrikeOut = 8;

// A font as the settings carry it. An empty Name means "leave the font's
// face as it is" when the group is applied.
struct TFontGroup {
  std::string Name;
  int32_t Size = 10;      // points
  int32_t CharSet = 204;  // 204: the Russian character set
  uint8_t Style = 0;      // kFontBold | kFontItalic | ...

  bool operator==(const TFontGroup&) const = default;
};

// The font the text area is designed with; ReadCfg takes its defaults for
// the font values from the text area's current font, which starts as this.
TFontGroup DesignedTextFont();

// The translit table used when none is stored: one Latin spelling for each
// Russian upper-case letter А..Я (Ё after Е), 33 lines joined by CR LF.
std::string DefaultTranslitTable();

// The settings record. The initial values are the defaults of an empty
// store, so a record that could not be loaded at all is still usable.
struct TCfg {
  bool ConvertOnStart = true;
  bool ConvertBase64 = true;
  bool ConvertQP = true;
  bool ConvertRTF = true;
  bool ConvertHTML = true;
  bool ConvertUTF8 = true;
  bool TranslitOn = false;
  bool ConvertFileOpen = true;
  int32_t DetectionLimit = 80;  // percent; not range-checked when read
  bool TrayIcon = true;
  bool English = true;
  TFontGroup TextFont;
  TFontGroup InterfaceFont;
  uint8_t UserLanguage = kLangEnglish;  // from the locale, never stored
  bool WordWrapOn = true;
  std::string TranslitTable = DefaultTranslitTable();
  // The code page text is converted into when no option names one, by the
  // name iconv gives it ("utf-8", "cp1251", "cp866", "koi8-r",
  // "iso-8859-5"); empty: the locale's character set.
  std::string Target;

  bool operator==(const TCfg&) const = default;
};

// The record and the four values kept beside it, the whole persistent state.
//   FirstRun      the next interactive start shows and converts the sample
//   Location      the installed program's folder, ending in '/' when not empty
//   LastOpenPath  folder (or last file) of the open dialog
//   LastSavePath  folder (or last file) used when saving
// After ReadCfg the two paths are folders ending in '/' (or empty); the
// dialogs may put file names into them.
struct TSettings {
  TCfg Cfg;
  bool FirstRun = false;
  std::string Location;
  std::string LastOpenPath;
  std::string LastSavePath;

  bool operator==(const TSettings&) const = default;
};

// Where the routines find the store and the environment. The default value
// means the real per-user store and the process environment; tests give a
// file in a temporary folder and their own environment.
struct TStoreContext {
  std::filesystem::path StoreFile;  // empty: DefaultStorePath(Env)
  EnvLookup Env;                    // empty: the process environment
};

// Low byte of the user's language: the first non-empty of LC_ALL,
// LC_MESSAGES and LANG; a value starting with "ru" is Russian (0x19),
// anything else English (0x09).
uint8_t UserLanguageFromLocale(const EnvLookup& env);

// Loads every setting into `s` with one read of the store, fills defaults
// and writes the defaults of absent or unusable values back in one atomic
// write. Font defaults come from `textAreaFont`, the text area's current
// font. When the store exists but cannot be read, every stored field keeps
// its value and nothing is written.
void ReadCfg(TSettings& s, const TFontGroup& textAreaFont = DesignedTextFont(), const TStoreContext& ctx = {});

// Writes every stored field of the record (not UserLanguage).
void WriteCfg(const TCfg& cfg, const TStoreContext& ctx = {});

// Writes the folders of LastOpenPath and LastSavePath (each only when not
// empty) and "Word Wrap". Called when the program ends.
void WriteExitCfg(const TSettings& s, const TStoreContext& ctx = {});

// Writes "FirstRun" = 0 and clears FirstRun.
void ClearFirstRun(TSettings& s, const TStoreContext& ctx = {});

// Clears FirstRun in memory (the running copy does not show the sample),
// then writes "FirstRun" = 1 and "Location" = the folder of `programPath`
// with its trailing '/'.
void SetupFirstRun(TSettings& s, std::string_view programPath, const TStoreContext& ctx = {});

// The folder part of a path without its trailing '/': the text up to and
// including the last '/', then that '/' removed. "/a/b.txt" gives "/a", a
// bare file name or an empty text gives "".
std::string ExtractDir(std::string_view path);

// Copy a group of the record into a font: the name only when not empty,
// then size, charset and style.
void ApplyTextFont(TFontGroup& font, const TCfg& cfg);
void ApplyInterfaceFont(TFontGroup& font, const TCfg& cfg);

}  // namespace kamvo
