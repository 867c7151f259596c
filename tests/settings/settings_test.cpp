#include "settings/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "settings/temp_store.h"

namespace kamvo {

// Readable failure messages.
void PrintTo(const TFontGroup& f, std::ostream* os) {
  *os << "{" << ::testing::PrintToString(f.Name) << ", " << f.Size << ", " << f.CharSet << ", " << int(f.Style) << "}";
}
void PrintTo(const TCfg& c, std::ostream* os) {
  *os << "{" << c.ConvertOnStart << c.ConvertBase64 << c.ConvertQP << c.ConvertRTF << c.ConvertHTML << c.ConvertUTF8
      << c.TranslitOn << c.ConvertFileOpen << " limit " << c.DetectionLimit << " tray " << c.TrayIcon << " en "
      << c.English << " text ";
  PrintTo(c.TextFont, os);
  *os << " ui ";
  PrintTo(c.InterfaceFont, os);
  *os << " lang " << int(c.UserLanguage) << " wrap " << c.WordWrapOn << " table "
      << ::testing::PrintToString(c.TranslitTable) << "}";
}
void PrintTo(const TSettings& s, std::ostream* os) {
  PrintTo(s.Cfg, os);
  *os << " first " << s.FirstRun << " loc " << ::testing::PrintToString(s.Location) << " open "
      << ::testing::PrintToString(s.LastOpenPath) << " save " << ::testing::PrintToString(s.LastSavePath);
}

namespace {

using namespace std::string_literals;

EnvLookup Env(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](const char* name) {
    const auto it = vars.find(name);
    return it == vars.end() ? std::string() : it->second;
  };
}

const TFontGroup kTextArea{"DejaVu Sans Mono", 13, 0x1CC, 2};  // charset above 255 on purpose

class SettingsCfgTest : public testing::TempStore {
 protected:
  TStoreContext Ctx(const std::string& lang = "en_US.UTF-8") const { return {file_, Env({{"LANG", lang}})}; }
  TSettings Read(const std::string& lang = "en_US.UTF-8") const {
    TSettings s;
    ReadCfg(s, kTextArea, Ctx(lang));
    return s;
  }
  // The store text of one key with the given value lines.
  static std::string Key(const std::string& subKey, const std::string& lines) {
    return "\n[" + RegKeyPath(subKey) + "]\n" + lines;
  }
  std::set<std::string> StoredNames() const {
    std::set<std::string> names;
    const TRegData d = Stored();
    for (const char* key : {"", "Settings", "Settings\\Font", "Settings\\SysFont"})
      for (const char* name :
           {"Convert on start", "Convert base64", "Convert QP",      "Convert RTF", "Convert HTML",
            "Convert UTF-8",    "Tray Icon",      "Detection limit", "English",     "Convert file open",
            "Translit",         "Word Wrap",      "Translit Table",  "Name",        "Size",
            "CharSet",          "Style",          "FirstRun",        "Location",    "LastSavePath",
            "LastOpenPath"})
        if (StoredValue(d, key, name)) names.insert(std::string(key) + "/" + name);
    return names;
  }
};

TEST_F(SettingsCfgTest, EmptyStoreGivesDefaultsAndWritesBackOnlyIntegers) {
  TSettings s;
  s.Cfg.TextFont.Style = 9;  // an absent style leaves the field alone
  s.Cfg.ConvertQP = false;
  s.Cfg.TranslitTable.clear();
  ReadCfg(s, kTextArea, Ctx());
  const TCfg& c = s.Cfg;
  EXPECT_TRUE(c.ConvertOnStart && c.ConvertBase64 && c.ConvertQP && c.ConvertRTF && c.ConvertHTML && c.ConvertUTF8 &&
              c.TrayIcon && c.English && c.ConvertFileOpen && c.WordWrapOn);
  EXPECT_FALSE(c.TranslitOn);
  EXPECT_EQ(c.DetectionLimit, 80);
  EXPECT_TRUE(s.FirstRun);
  EXPECT_EQ(c.TranslitTable, DefaultTranslitTable());
  EXPECT_EQ(c.TextFont, (TFontGroup{"", 13, 0xCC, 9}));
  EXPECT_EQ(c.InterfaceFont, (TFontGroup{"", 10, 0x1CC, 0}));
  EXPECT_EQ(s.Location, "");
  EXPECT_EQ(s.LastOpenPath, "");
  EXPECT_EQ(c.UserLanguage, kLangEnglish);

  const std::set<std::string> expected = {"Settings/Convert on start",
                                          "Settings/Convert base64",
                                          "Settings/Convert QP",
                                          "Settings/Convert RTF",
                                          "Settings/Convert HTML",
                                          "Settings/Convert UTF-8",
                                          "Settings/Tray Icon",
                                          "Settings/Detection limit",
                                          "Settings/English",
                                          "Settings/Convert file open",
                                          "Settings/Translit",
                                          "Settings/Word Wrap",
                                          "Settings\\Font/CharSet",
                                          "Settings\\Font/Size",
                                          "Settings\\SysFont/CharSet",
                                          "Settings\\SysFont/Size",
                                          "/FirstRun"};
  EXPECT_EQ(StoredNames(), expected);
  const TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "", "FirstRun"), TRegValue::Dword(1));
  EXPECT_EQ(*StoredValue(d, "Settings", "Translit"), TRegValue::Dword(0));
  EXPECT_EQ(*StoredValue(d, "Settings", "Detection limit"), TRegValue::Dword(80));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "CharSet"), TRegValue::Dword(0xCC));
  EXPECT_EQ(*StoredValue(d, "Settings\\SysFont", "CharSet"), TRegValue::Dword(0x1CC));
  EXPECT_EQ(*StoredValue(d, "Settings\\SysFont", "Size"), TRegValue::Dword(10));

  // A second read finds everything and writes nothing.
  const std::string before = ReadRaw();
  TSettings again = s;
  ReadCfg(again, kTextArea, Ctx());
  EXPECT_EQ(again, s);
  EXPECT_EQ(ReadRaw(), before);
}

TEST_F(SettingsCfgTest, RussianLocaleDefaultsToRussianInterface) {
  TSettings s = Read("ru_RU.UTF-8");
  EXPECT_EQ(s.Cfg.UserLanguage, kLangRussian);
  EXPECT_FALSE(s.Cfg.English);
  EXPECT_EQ(*StoredValue(Stored(), "Settings", "English"), TRegValue::Dword(0));
  // Once stored, the value wins over the locale.
  s = Read("en_GB");
  EXPECT_FALSE(s.Cfg.English);
  EXPECT_EQ(s.Cfg.UserLanguage, kLangEnglish);
}

TEST_F(SettingsCfgTest, BooleanAndIntegerReadRules) {
  WriteRaw("REGEDIT4\n" +
           Key("Settings",
               "\"Convert QP\"=\"0\"\n"                // string: default, rewritten as 1
               "\"Convert RTF\"=dword:00000002\n"      // non-zero: true, stays 2
               "\"Convert HTML\"=dword:00000000\n"     // false
               "\"Tray Icon\"=hex:00\n"                // binary: default
               "\"Convert UTF-8\"=hex(4):00,00\n"      // short dword: default
               "\"Detection limit\"=dword:000000c8\n"  // 200: no range check
               "\"Translit\"=dword:ffffffff\n") +
           Key("Settings\\Font", "\"Size\"=dword:fffffff6\n\"CharSet\"=\"204\"\n"));
  const TSettings s = Read();
  EXPECT_TRUE(s.Cfg.ConvertQP);
  EXPECT_TRUE(s.Cfg.ConvertRTF);
  EXPECT_FALSE(s.Cfg.ConvertHTML);
  EXPECT_TRUE(s.Cfg.TrayIcon);
  EXPECT_TRUE(s.Cfg.ConvertUTF8);
  EXPECT_EQ(s.Cfg.DetectionLimit, 200);
  EXPECT_TRUE(s.Cfg.TranslitOn);
  EXPECT_EQ(s.Cfg.TextFont.Size, -10);
  EXPECT_EQ(s.Cfg.TextFont.CharSet, 0xCC);

  const TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "Settings", "Convert QP"), TRegValue::Dword(1));
  EXPECT_EQ(*StoredValue(d, "Settings", "Convert RTF"), TRegValue::Dword(2));
  EXPECT_EQ(*StoredValue(d, "Settings", "Convert HTML"), TRegValue::Dword(0));
  EXPECT_EQ(*StoredValue(d, "Settings", "Tray Icon"), TRegValue::Dword(1));
  EXPECT_EQ(*StoredValue(d, "Settings", "Convert UTF-8"), TRegValue::Dword(1));
  EXPECT_EQ(*StoredValue(d, "Settings", "Detection limit"), TRegValue::Dword(200));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Size"), TRegValue::Dword(0xfffffff6));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "CharSet"), TRegValue::Dword(0xCC));

  // The 2 becomes 1 only when the value is next written.
  WriteCfg(s.Cfg, Ctx());
  EXPECT_EQ(*StoredValue(Stored(), "Settings", "Convert RTF"), TRegValue::Dword(1));
}

TEST_F(SettingsCfgTest, StringReadRules) {
  WriteRaw("REGEDIT4\n" + Key("Settings", "\"Translit Table\"=\"\"\n") +
           Key("Settings\\Font", "\"Name\"=dword:00000001\n") +
           Key("Settings\\SysFont", "\"Name\"=hex(2):41,72,69,61,6c,00,7a,7a\n") +
           Key("", "\"Location\"=\"/opt/ka\\x00mvo\"\n\"LastSavePath\"=hex:2f,61\n"));
  TSettings s;
  s.LastOpenPath = "/somewhere/";  // absent string: becomes empty
  ReadCfg(s, kTextArea, Ctx());
  EXPECT_EQ(s.Cfg.TranslitTable, DefaultTranslitTable());
  EXPECT_EQ(s.Cfg.TextFont.Name, kTextArea.Name);
  EXPECT_EQ(s.Cfg.InterfaceFont.Name, "Arial");
  EXPECT_EQ(s.Location, "/opt/ka/");
  EXPECT_EQ(s.LastSavePath, "");
  EXPECT_EQ(s.LastOpenPath, "");

  const TRegData d = Stored();
  // An empty table stays empty in the store until the next WriteCfg.
  EXPECT_EQ(*StoredValue(d, "Settings", "Translit Table"), TRegValue::String(""));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Name"), TRegValue::String(kTextArea.Name));
  EXPECT_EQ(StoredValue(d, "Settings\\SysFont", "Name")->Type, kRegExpandSz);
  EXPECT_EQ(*StoredValue(d, "", "LastSavePath"), TRegValue::String(""));
  EXPECT_EQ(StoredValue(d, "", "LastOpenPath"), nullptr);

  WriteCfg(s.Cfg, Ctx());
  EXPECT_EQ(*StoredValue(Stored(), "Settings", "Translit Table"), TRegValue::String(DefaultTranslitTable()));
}

TEST_F(SettingsCfgTest, StyleReadRules) {
  WriteRaw("REGEDIT4\n" + Key("Settings\\Font", "\"Style\"=hex:01,02\n") +
           Key("Settings\\SysFont", "\"Style\"=hex:05\n"));
  TSettings s = Read();
  EXPECT_EQ(s.Cfg.TextFont.Style, kTextArea.Style);
  EXPECT_EQ(s.Cfg.InterfaceFont.Style, kFontBold | kFontUnderline);
  EXPECT_EQ(*StoredValue(Stored(), "Settings\\Font", "Style"), TRegValue::Binary("\x02"));

  WriteRaw("REGEDIT4\n" + Key("Settings\\Font", "\"Style\"=dword:00000001\n") +
           Key("Settings\\SysFont", "\"Style\"=hex:\n"));
  s.Cfg.InterfaceFont.Style = 7;
  ReadCfg(s, kTextArea, Ctx());
  EXPECT_EQ(s.Cfg.TextFont.Style, kTextArea.Style);
  EXPECT_EQ(s.Cfg.InterfaceFont.Style, 7);  // an empty binary holds no byte
  const TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Style"), TRegValue::Binary("\x02"));
  EXPECT_EQ(*StoredValue(d, "Settings\\SysFont", "Style"), TRegValue::Binary(""));
}

TEST_F(SettingsCfgTest, PathsAreFoldersWithOneSlashInMemoryAndWithoutInStore) {
  WriteRaw("REGEDIT4\n" + Key("",
                              "\"LastOpenPath\"=\"/home/u/docs///\"\n"
                              "\"LastSavePath\"=\"/home/u/out\"\n"
                              "\"Location\"=\"/opt/kamvo/\"\n"));
  TSettings s = Read();
  EXPECT_EQ(s.LastOpenPath, "/home/u/docs/");
  EXPECT_EQ(s.LastSavePath, "/home/u/out/");
  EXPECT_EQ(s.Location, "/opt/kamvo/");

  WriteExitCfg(s, Ctx());
  TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "", "LastOpenPath"), TRegValue::String("/home/u/docs"));
  EXPECT_EQ(*StoredValue(d, "", "LastSavePath"), TRegValue::String("/home/u/out"));

  // After the dialogs the paths may hold file names; an empty one is not written.
  s.LastOpenPath = "/tmp/in/letter.txt";
  s.LastSavePath = "";
  s.Cfg.WordWrapOn = false;
  WriteExitCfg(s, Ctx());
  d = Stored();
  EXPECT_EQ(*StoredValue(d, "", "LastOpenPath"), TRegValue::String("/tmp/in"));
  EXPECT_EQ(*StoredValue(d, "", "LastSavePath"), TRegValue::String("/home/u/out"));
  EXPECT_EQ(*StoredValue(d, "Settings", "Word Wrap"), TRegValue::Dword(0));
  EXPECT_EQ(Read().LastOpenPath, "/tmp/in/");
}

TEST_F(SettingsCfgTest, WriteCfgThenReadCfgRestoresEveryField) {
  std::string table;
  for (int b = 1; b < 256; ++b) table += static_cast<char>(b);
  table += "\r\n\"'\\";
  TCfg c;
  c.ConvertOnStart = c.ConvertBase64 = c.ConvertRTF = c.ConvertUTF8 = c.TrayIcon = false;
  c.ConvertFileOpen = c.English = c.WordWrapOn = false;
  c.TranslitOn = true;
  c.DetectionLimit = 65;
  c.TextFont = {"Courier \"New\"", 14, 186, kFontItalic | kFontStrikeOut};
  c.InterfaceFont = {"Sans\\Serif", 9, 0, kFontBold};
  c.TranslitTable = table;
  c.UserLanguage = kLangRussian;
  WriteCfg(c, Ctx("ru"));
  ClearFirstRun(*std::make_unique<TSettings>(), Ctx());

  const std::string before = ReadRaw();
  const TSettings s = Read("ru");
  EXPECT_EQ(s.Cfg, c);
  EXPECT_FALSE(s.FirstRun);
  EXPECT_EQ(ReadRaw(), before);  // nothing to write back
  EXPECT_EQ(StoredValue(Stored(), "", "Location"), nullptr);
}

TEST_F(SettingsCfgTest, FirstRunCycle) {
  TSettings s;
  s.FirstRun = true;
  SetupFirstRun(s, "/opt/kamvo/bin/kamvo", Ctx());
  EXPECT_FALSE(s.FirstRun);
  s = Read();
  EXPECT_TRUE(s.FirstRun);
  EXPECT_EQ(s.Location, "/opt/kamvo/bin/");
  ClearFirstRun(s, Ctx());
  EXPECT_FALSE(s.FirstRun);
  EXPECT_EQ(*StoredValue(Stored(), "", "FirstRun"), TRegValue::Dword(0));
  EXPECT_FALSE(Read().FirstRun);

  SetupFirstRun(s, "kamvo", Ctx());
  s = Read();
  EXPECT_TRUE(s.FirstRun);
  EXPECT_EQ(s.Location, "");
  EXPECT_EQ(*StoredValue(Stored(), "", "Location"), TRegValue::String(""));
}

TEST_F(SettingsCfgTest, DamagedStoreReadsWhatParsesAndKeepsACopy) {
  const std::string damaged = "REGEDIT4\n" + Key("Settings", "\"Detection limit\"=dword:0000005a\n\x01\x02junk\xff\n") +
                              "[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings\\Fo\x00nt]\n\"Size\"=dword:00000063\n"s +
                              Key("Settings\\SysFont", "\"Size\"=dword:0000000c\n\"Name\"=\"Ari");
  WriteRaw(damaged);
  const TSettings s = Read();
  EXPECT_EQ(s.Cfg.DetectionLimit, 90);
  EXPECT_EQ(s.Cfg.InterfaceFont.Size, 12);
  EXPECT_EQ(s.Cfg.InterfaceFont.Name, "");
  EXPECT_EQ(s.Cfg.TextFont.Size, kTextArea.Size);
  EXPECT_EQ(ReadRaw(file_.string() + ".damaged"), damaged);
  size_t bad = 99;
  const TRegData d = Stored(&bad);
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(*StoredValue(d, "Settings", "Detection limit"), TRegValue::Dword(90));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Size"), TRegValue::Dword(kTextArea.Size));

  // Pure garbage reads as an empty store.
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  WriteRaw(garbage);
  TCfg fresh;
  fresh.TextFont = {"", kTextArea.Size, kTextArea.CharSet & 0xFF, 0};
  fresh.InterfaceFont = {"", 10, kTextArea.CharSet, 0};
  EXPECT_EQ(Read().Cfg, fresh);
  EXPECT_EQ(ReadRaw(file_.string() + ".damaged"), garbage);
}

TEST_F(SettingsCfgTest, UnreadableStoreLeavesTheRecordAlone) {
  std::filesystem::create_directories(file_);  // a folder where the file belongs
  TSettings s;
  s.Cfg.DetectionLimit = 66;
  s.Cfg.TextFont.Name = "Mono";
  s.LastOpenPath = "/a/b.txt";
  s.FirstRun = false;
  TSettings expected = s;
  expected.Cfg.UserLanguage = kLangRussian;
  ReadCfg(s, kTextArea, Ctx("ru_UA"));
  EXPECT_EQ(s, expected);
  WriteCfg(s.Cfg, Ctx());
  WriteExitCfg(s, Ctx());
  EXPECT_TRUE(std::filesystem::is_empty(file_));
}

TEST(SettingsCfg, UserLanguageFromLocale) {
  EXPECT_EQ(UserLanguageFromLocale(Env({})), kLangEnglish);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LANG", "ru_RU.KOI8-R"}})), kLangRussian);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LANG", "ru_RU"}, {"LC_MESSAGES", "C"}})), kLangEnglish);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LANG", "en_US"}, {"LC_MESSAGES", "ru_RU"}})), kLangRussian);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LC_ALL", "ru"}, {"LC_MESSAGES", "en_US"}})), kLangRussian);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LC_ALL", ""}, {"LANG", "ru_RU"}})), kLangRussian);
  EXPECT_EQ(UserLanguageFromLocale(Env({{"LANG", "uk_UA"}})), kLangEnglish);
}

TEST(SettingsCfg, DefaultStorePathFollowsXdg) {
  EXPECT_EQ(DefaultStorePath(Env({{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/home/u"}})), "/x/cfg/kamvo/kamvo.reg");
  EXPECT_EQ(DefaultStorePath(Env({{"XDG_CONFIG_HOME", "rel/cfg"}, {"HOME", "/home/u"}})),
            "/home/u/.config/kamvo/kamvo.reg");
  EXPECT_EQ(DefaultStorePath(Env({{"HOME", "/home/u"}})), "/home/u/.config/kamvo/kamvo.reg");
}

TEST(SettingsCfg, ExtractDir) {
  EXPECT_EQ(ExtractDir(""), "");
  EXPECT_EQ(ExtractDir("b.txt"), "");
  EXPECT_EQ(ExtractDir("/a/b.txt"), "/a");
  EXPECT_EQ(ExtractDir("/a/b/"), "/a/b");
  EXPECT_EQ(ExtractDir("/a//"), "/a/");
  EXPECT_EQ(ExtractDir("/b.txt"), "");
  EXPECT_EQ(ExtractDir("rel/dir/f"), "rel/dir");
}

TEST(SettingsCfg, DefaultTranslitTableHasOneLineForEachLetter) {
  const std::string t = DefaultTranslitTable();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t crlf; (crlf = t.find("\r\n", start)) != std::string::npos; start = crlf + 2)
    lines.push_back(t.substr(start, crlf - start));
  lines.push_back(t.substr(start));
  ASSERT_EQ(lines.size(), 33u);
  EXPECT_EQ(lines[6], "JO");    // Ё
  EXPECT_EQ(lines[22], "KH");   // Х
  EXPECT_EQ(lines[26], "SHH");  // Щ
  EXPECT_EQ(lines[27], "\"");   // Ъ
  EXPECT_EQ(lines[29], "'");    // Ь
  EXPECT_EQ(lines[32], "JA");   // Я
  EXPECT_EQ(t.find_first_of("\r\n", t.size() - 2), std::string::npos);
}

TEST(SettingsCfg, ApplyFontGroupKeepsFaceWhenNameIsEmpty) {
  TCfg c;
  c.TextFont = {"", 12, 0, kFontBold};
  c.InterfaceFont = {"Sans", 9, 204, 0};
  TFontGroup font = DesignedTextFont();
  ApplyTextFont(font, c);
  EXPECT_EQ(font, (TFontGroup{"Monospace", 12, 0, kFontBold}));
  ApplyInterfaceFont(font, c);
  EXPECT_EQ(font, c.InterfaceFont);
}

}  // namespace
}  // namespace kamvo
