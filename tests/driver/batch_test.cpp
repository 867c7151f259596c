#include "driver/batch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

TEST(BatchQuestion, RussianWordsAgreeWithTheNumber) {
  struct Case {
    int n;
    const char* file;
    const char* folder;
  };
  const Case cases[] = {
      {1, " файл", " директорию"},    {2, " файла", " директории"},   {5, " файла", " директории"},
      {6, " файлов", " директорий"},  {10, " файлов", " директорий"}, {11, " файлов", " директорий"},
      {19, " файлов", " директорий"}, {20, " файлов", " директорий"}, {21, " файл", " директорию"},
      {22, " файла", " директории"},  {25, " файла", " директории"},  {111, " файл", " директорию"},
      {112, " файла", " директории"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8FromWin(RussianFileWord(c.n)), c.file) << c.n;
    EXPECT_EQ(Utf8FromWin(RussianFolderWord(c.n)), c.folder) << c.n;
  }
}

TEST(BatchQuestion, TextsInBothLanguages) {
  EXPECT_EQ(BatchQuestion({3, 1}, "Auto", "Windows", true),
            "Convert 3 file(s) and 1 folder(s)\r\nfrom Auto to Windows ?");
  EXPECT_EQ(BatchQuestion({0, 2}, FromCodeName(0), ToCodeName(3), true), "Convert 2 folder(s)\r\nfrom Auto to KOI-8 ?");
  EXPECT_EQ(BatchQuestion({2, 0}, FromCodeName(2), ToCodeName(1), true), "Convert 2 file(s)\r\nfrom Dos to Windows ?");
  EXPECT_EQ(Utf8FromWin(BatchQuestion({21, 5}, "Auto", "KOI-8", false)),
            "Перекодировать 21 файл и 5 директории\r\nиз кодировки Auto в KOI-8 ?");
}

// The short greeting in Windows-1251 and KOI-8.
const std::string kWin = testing::ShortGreeting();
const std::string kKoi = ConvertByPair(kWin, 2);

class FolderBatchTest : public ::testing::Test {
 protected:
  FolderBatchTest() : converter(window, cfg) {
    // A tree three levels deep with a file at every level.
    fs::create_directories(dir.path() / "a" / "b");
    for (const char* name : {"top.txt", "a/one.txt", "a/two.txt", "a/b/deep.txt"}) WriteFile(dir / name, kKoi + "\n");
    WriteFile(dir / "single.txt", kKoi + "\n");
    converter.TextBuffer = {"kept"};
    converter.CopyTextToScreen();
  }

  TempDir dir;
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
  std::string asked;
};

TEST_F(FolderBatchTest, ConvertsEveryFileOnceAndShowsTheReport) {
  fs::create_directory_symlink(dir.path() / "a", dir.path() / "a" / "b" / "loop");
  const std::vector<std::string> paths = {dir / "single.txt", dir / "a", dir / "missing"};
  window.onAsk = [&](const std::string& q) {
    asked = q;
    return true;
  };
  ASSERT_TRUE(OpenMultiFiles(converter, paths));
  EXPECT_EQ(asked, "Convert 1 file(s) and 1 folder(s)\r\nfrom Auto to Windows ?");
  for (const char* name : {"single.txt", "a/one.txt", "a/two.txt", "a/b/deep.txt"}) {
    EXPECT_EQ(ReadFile(dir / name), kWin + "\n") << name;
    EXPECT_EQ(ReadFile(dir / name + ".bak"), kKoi + "\n") << name;
    EXPECT_FALSE(fs::exists(dir / name + ".bak.bak")) << name;
  }
  EXPECT_EQ(ReadFile(dir / "top.txt"), kKoi + "\n");  // not among the paths
  // A folder's files before the next entry of its parent, by name.
  const Lines expected = {"File converted " + (dir / "single.txt"), "File converted " + (dir / "a/b/deep.txt"),
                          "File converted " + (dir / "a/one.txt"), "File converted " + (dir / "a/two.txt")};
  EXPECT_EQ(ToLines(converter.TextBuffer), expected);
  EXPECT_EQ(ToLines(window.screen), expected);
  EXPECT_TRUE(converter.Attachments.Empty());
}

TEST_F(FolderBatchTest, NoChangesNothing) {
  window.onAsk = [](const std::string&) { return false; };
  EXPECT_FALSE(OpenMultiFiles(converter, {dir.path().string()}));
  EXPECT_EQ(ReadFile(dir / "top.txt"), kKoi + "\n");
  EXPECT_FALSE(fs::exists(dir / "top.txt.bak"));
  EXPECT_EQ(ToLines(window.screen), Lines{"kept"});
}

TEST_F(FolderBatchTest, StopOfTheWholeBatchLeavesTheRestAlone) {
  int files = 0;
  window.onEvents = [&] {};
  const auto report = ConvertFileOrDir(converter, dir.path().string(), [&] { return files++ == 2; });
  EXPECT_EQ(report.size(), 2u);
  EXPECT_EQ(ReadFile(dir / "single.txt"), kKoi + "\n");
}

}  // namespace
}  // namespace kamvo
