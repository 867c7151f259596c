#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "settings/temp_store.h"

namespace kamvo {
namespace {

using namespace std::string_literals;

const std::string kSettingsKey = RegKeyPath("Settings");

std::string AllNonNulBytes() {
  std::string s;
  for (int b = 1; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TEST(SettingsStoreFormat, StringsAndNamesRoundTripEveryByte) {
  const std::string all = AllNonNulBytes();
  TRegData d;
  d.Set(kSettingsKey, "Translit Table", TRegValue::String(all));
  d.Set(kSettingsKey, all, TRegValue::String("x"));
  d.Set(kSettingsKey, "with nul", TRegValue::String(std::string("a\0b", 3)));
  d.Set(kSettingsKey, "quotes", TRegValue::String("\"\\\"'\\"));
  d.Set(kSettingsKey, "bin", TRegValue::Binary(std::string("\0\xff\x0a", 3)));
  d.Set(kSettingsKey, "odd type", TRegValue{0x0b, "12345678"});
  d.Set(kSettingsKey, "short dword", TRegValue{kRegDword, "\x01\x02"});
  const std::string text = d.Serialize();

  size_t bad = 99;
  const TRegData back = TRegData::Parse(text, &bad);
  EXPECT_EQ(bad, 0u);
  for (const char* name : {"Translit Table", "with nul", "quotes", "bin", "odd type", "short dword"}) {
    ASSERT_NE(back.Find(kSettingsKey, name), nullptr) << name;
    EXPECT_EQ(*back.Find(kSettingsKey, name), *d.Find(kSettingsKey, name)) << name;
  }
  ASSERT_NE(back.Find(kSettingsKey, all), nullptr);
  // Every value stays on one line of the file: header, blank, key, 7 values.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
  EXPECT_EQ(back.Serialize(), text);
}

TEST(SettingsStoreFormat, ReadsRegistryExportForms) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Kamvo\\SETTINGS]\r\n"
      "\"Convert QP\"=dword:0000000A\r\n"
      "@=\"default value\"\r\n"
      "\"Path\"=\"C:\\\\dir\\\\\"\r\n"
      "\"Loose\"=\"a\\qb\"\r\n"
      "\"Expand\"=hex(2):41,00,42\r\n"
      "\"Long\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "  \"Spaced\" = dword:1\r\n"
      "\r\n"
      "[hkey_current_user\\software\\kamvo\\settings]\r\n"
      "\"convert qp\"=dword:0000000b\r\n";
  size_t bad = 99;
  const TRegData d = TRegData::Parse(text, &bad);
  EXPECT_EQ(bad, 0u);
  // Keys and names match without regard to case; the later value wins.
  EXPECT_EQ(*d.Find(kSettingsKey, "Convert QP"), TRegValue::Dword(11));
  EXPECT_EQ(*d.Find(kSettingsKey, ""), TRegValue::String("default value"));
  EXPECT_EQ(*d.Find(kSettingsKey, "Path"), TRegValue::String("C:\\dir\\"));
  EXPECT_EQ(*d.Find(kSettingsKey, "Loose"), TRegValue::String("a\\qb"));
  EXPECT_EQ(*d.Find(kSettingsKey, "Expand"), (TRegValue{kRegExpandSz, std::string("A\0B", 3)}));
  EXPECT_EQ(*d.Find(kSettingsKey, "Long"), TRegValue::Binary("\x01\x02\x03\x04"));
  EXPECT_EQ(*d.Find(kSettingsKey, "Spaced"), TRegValue::Dword(1));
}

TEST(SettingsStoreFormat, SkipsDamagedLinesAndNeverMisplacesValues) {
  const std::string text =
      "REGEDIT4\n"
      "\"Orphan\"=dword:00000001\n"  // before any key
      "[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings]\n"
      "\"Good\"=dword:00000002\n"
      "\"NoClose\"=\"abc\n"
      "\"Trailing\"=\"abc\" junk\n"
      "\"BadDword\"=dword:123456789\n"
      "\"BadHex\"=hex:1,2\n"
      "\"Deleted\"=-\n"
      "garbage \x01\x02\x00\xff line\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings\\Fo\n"  // damaged header
      "\"Size\"=dword:00000063\n"
      "[-HKEY_CURRENT_USER\\SOFTWARE\\KAMVO]\n"
      "\"Size2\"=dword:00000063\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO]\n"
      "\"FirstRun\"=dword:00000000\n"s;
  size_t bad = 0;
  const TRegData d = TRegData::Parse(text, &bad);
  EXPECT_EQ(bad, 11u);
  EXPECT_EQ(*d.Find(kSettingsKey, "Good"), TRegValue::Dword(2));
  EXPECT_EQ(*d.Find(RegKeyPath(""), "FirstRun"), TRegValue::Dword(0));
  // The values below the damaged headers must not land in Settings.
  for (const char* name : {"Orphan", "NoClose", "Trailing", "BadDword", "BadHex", "Deleted", "Size", "Size2"})
    EXPECT_EQ(d.Find(kSettingsKey, name), nullptr) << name;
}

// A store cut at any byte (a full disk, a crash of another writer) must never
// yield a value that differs from what was written: values are either read
// correctly or skipped.
TEST(SettingsStoreFormat, CutFileNeverYieldsWrongValue) {
  TRegData d;
  d.Set(kSettingsKey, "Detection limit", TRegValue::Dword(0x12345678));
  d.Set(kSettingsKey, "Translit Table", TRegValue::String("A\r\nB\"\r\nJA"));
  d.Set(RegKeyPath("Settings\\Font"), "Style", TRegValue::Binary("\x05"));
  d.Set(RegKeyPath("Settings\\Font"), "Blob", TRegValue::Binary("\x01\x02\x03"));
  d.Set(RegKeyPath(""), "Location", TRegValue::String("/opt/kamvo/"));
  const std::string full = d.Serialize() + "[x]\n\"Long\"=hex:01,02,\\\n  03,04\n";
  const TRegValue longValue = TRegValue::Binary("\x01\x02\x03\x04");

  for (size_t cut = 0; cut <= full.size(); ++cut) {
    const std::string_view prefix(full.data(), cut);
    const TRegData part = TRegData::Parse(prefix);
    for (const auto& [key, name] :
         std::initializer_list<std::pair<std::string, std::string>>{{kSettingsKey, "Detection limit"},
                                                                    {kSettingsKey, "Translit Table"},
                                                                    {RegKeyPath("Settings\\Font"), "Style"},
                                                                    {RegKeyPath("Settings\\Font"), "Blob"},
                                                                    {RegKeyPath(""), "Location"}}) {
      const TRegValue* v = part.Find(key, name);
      if (v) {
        EXPECT_EQ(*v, *d.Find(key, name)) << name << " cut at " << cut;
      }
      // A value whose line is complete is read.
      const size_t end = full.find(QuoteRegString(name) + "=");
      if (cut > full.find('\n', end)) {
        EXPECT_NE(v, nullptr) << name << " cut at " << cut;
      }
    }
    if (const TRegValue* v = part.Find("x", "Long")) {
      EXPECT_EQ(*v, longValue) << cut;
    }
  }
}

class SettingsStoreTest : public testing::TempStore {};

TEST_F(SettingsStoreTest, SessionReadsOnceAndCreatesMissingKeys) {
  WriteRaw("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO]\n\"FirstRun\"=dword:00000001\n");
  {
    TRegSession reg(file_);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(*reg.Get("", "FirstRun"), TRegValue::Dword(1));
    EXPECT_EQ(reg.Get("Settings", "FirstRun"), nullptr);
    reg.Put("Settings\\Font", "Size", TRegValue::Dword(12));
    // The session sees its own writes before they are committed.
    EXPECT_EQ(*reg.Get("Settings\\Font", "Size"), TRegValue::Dword(12));
    EXPECT_EQ(reg.FileReads(), 1);
  }  // committed by the destructor
  const TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "", "FirstRun"), TRegValue::Dword(1));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Size"), TRegValue::Dword(12));
}

// A default written back by one process must not overwrite a value that
// another process stored after the first one read the file.
TEST_F(SettingsStoreTest, WriteBackNeverOverwritesNewerValue) {
  TRegSession reader(file_);
  int32_t limit = 0, size = 0;
  ReadInteger(reader, "Settings", "Detection limit", limit, 80);
  ReadInteger(reader, "Settings\\Font", "Size", size, 10);
  EXPECT_EQ(limit, 80);
  {
    TRegSession other(file_);
    WriteInteger(other, "Settings", "Detection limit", 95);
  }
  reader.Flush();
  const TRegData d = Stored();
  EXPECT_EQ(*StoredValue(d, "Settings", "Detection limit"), TRegValue::Dword(95));
  EXPECT_EQ(*StoredValue(d, "Settings\\Font", "Size"), TRegValue::Dword(10));
}

TEST_F(SettingsStoreTest, ConcurrentProcessesLoseNoValue) {
  constexpr int kWriters = 3, kValues = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each value in its own session: one locked read-modify-write each.
      for (int i = 0; i < kValues; ++i) {
        TRegSession reg(file_);
        WriteInteger(reg, "Settings", "W" + std::to_string(w) + "-" + std::to_string(i), i);
        WriteString(reg, "", "Last" + std::to_string(w), std::to_string(i));
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  size_t bad = 99;
  const TRegData d = Stored(&bad);
  EXPECT_EQ(bad, 0u);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      const TRegValue* v = StoredValue(d, "Settings", "W" + std::to_string(w) + "-" + std::to_string(i));
      ASSERT_NE(v, nullptr) << w << " " << i;
      EXPECT_EQ(*v, TRegValue::Dword(i));
    }
    EXPECT_EQ(*StoredValue(d, "", "Last" + std::to_string(w)), TRegValue::String(std::to_string(kValues - 1)));
  }
  // No temporary file is left behind.
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(file_.parent_path())) ++files;
  EXPECT_EQ(files, 2);  // kamvo.reg and kamvo.reg.lock
}

TEST_F(SettingsStoreTest, DamagedFileIsKeptAsideBeforeRewrite) {
  const std::string damaged =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings]\n"
      "\"Detection limit\"=dword:00000046\n"
      "\x00\x13\x37 binary junk\xff\n"
      "\"Translit\"=dword:0000"s;
  WriteRaw(damaged);
  {
    TRegSession reg(file_);
    int32_t limit = 0;
    bool translit = true;
    ReadInteger(reg, "Settings", "Detection limit", limit, 80);
    ReadBool(reg, "Settings", "Translit", translit, false);
    EXPECT_EQ(limit, 70);
    EXPECT_FALSE(translit);
  }
  EXPECT_EQ(ReadRaw(file_.string() + ".damaged"), damaged);
  size_t bad = 99;
  const TRegData d = Stored(&bad);
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(*StoredValue(d, "Settings", "Detection limit"), TRegValue::Dword(70));
  EXPECT_EQ(*StoredValue(d, "Settings", "Translit"), TRegValue::Dword(0));

  // A clean file is rewritten without a new copy.
  std::filesystem::remove(file_.string() + ".damaged");
  {
    TRegSession reg(file_);
    WriteBool(reg, "Settings", "Translit", true);
  }
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".damaged"));
}

TEST_F(SettingsStoreTest, FailuresAreSilentAndNeverClobber) {
  // The store is a folder: it cannot be read, so it is never written.
  std::filesystem::create_directories(file_);
  {
    TRegSession reg(file_);
    EXPECT_FALSE(reg.Available());
    bool b = false;
    std::string s = "kept";
    ReadBool(reg, "Settings", "Translit", b, true);
    ReadString(reg, "", "Location", s, "x");
    EXPECT_FALSE(b);
    EXPECT_EQ(s, "kept");
    WriteBool(reg, "Settings", "Translit", true);
  }
  EXPECT_TRUE(std::filesystem::is_directory(file_));

  // The folder cannot be created: a regular file stands in its way.
  const auto blocked = dir_ / "blocker" / "kamvo" / "kamvo.reg";
  WriteRawTo(dir_ / "blocker", "not a folder");
  {
    TRegSession reg(blocked);
    bool b = false;
    ReadBool(reg, "Settings", "Translit", b, true);
    EXPECT_TRUE(b);  // absent: the default is taken, the write-back is lost
  }
  EXPECT_EQ(ReadRaw(dir_ / "blocker"), "not a folder");
}

TEST_F(SettingsStoreTest, WritesThroughSymbolicLink) {
  const auto real = dir_ / "dotfiles" / "kamvo.reg";
  WriteRawTo(real, "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO]\n\"Location\"=\"/opt/\"\n");
  std::filesystem::create_directories(file_.parent_path());
  std::filesystem::create_symlink(real, file_);
  {
    TRegSession reg(file_);
    WriteBool(reg, "", "FirstRun", false);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  const TRegData d = TRegData::Parse(ReadRaw(real));
  EXPECT_EQ(*d.Find(RegKeyPath(""), "Location"), TRegValue::String("/opt/"));
  EXPECT_EQ(*d.Find(RegKeyPath(""), "FirstRun"), TRegValue::Dword(0));
}

}  // namespace
}  // namespace kamvo
