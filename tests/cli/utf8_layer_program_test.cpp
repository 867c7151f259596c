// The real program on UTF-8 files that hold mojibake.
#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "support/iconv.h"
#include "support/russian_text.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::Iconv;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(Utf8LayerProgram, RestoresMojibakeSavedAsUtf8AndKeepsPlainUtf8) {
  std::mt19937 random(80);
  const Lines lines = testing::RussianText(random, 12, 8);
  const std::string windows = JoinLines(lines, "\n");
  std::string readAsKoi;
  if (!Iconv(windows, "KOI8-R", "UTF-8", readAsKoi)) GTEST_SKIP() << "no iconv for KOI8-R";
  struct Case {
    std::string in;
    std::string expected;  // Windows-1251
    std::string pane;
  };
  const Case cases[] = {
      // Windows-1251 text read as KOI8-R and saved as UTF-8.
      {readAsKoi, windows, "Russian text detected 100% when converted:\n    UTF-8  ->  KOI-8\n"},
      // UTF-8 read as Windows-1251 and saved as UTF-8 again.
      {Utf8FromWin("Привет\n"),  // "РџСЂРёРІРµС‚": the UTF-8 bytes taken as Windows-1251
       WinFromUtf8("Привет\n"), "Russian text detected 100% when converted:\n    UTF-8  ->  Windows\n    UTF8  ->  ASCII\n"},
      // Plain UTF-8 keeps the written search's result.
      {Utf8FromWin(windows), windows, "Russian text detected 100% when converted:\n    UTF8  ->  ASCII\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pane);
    WriteFile(dir / "in.txt", c.in);
    std::filesystem::remove(dir / "out.txt");
    EXPECT_EQ(testing::RunKamvo(dir, {dir / "in.txt", dir / "out.txt", "/WIN"}).Out, c.pane);
    EXPECT_EQ(ReadFile(dir / "out.txt"), c.expected);
  }
}

}  // namespace
}  // namespace kamvo
