// The real program on UTF-8 files that hold mojibake.
#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "support/iconv.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
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
  const std::string ukrainian = WinFromUtf8(
      "Їжачок згорнувся клубочком під старою яблунею. Він п'ять років працював у бібліотеці й читав "
      "усе підряд. Ці слова з'являються в кожному підручнику.\n");
  std::string readAsWestern, utf8ReadAsLatin1;
  if (!Iconv(windows, "KOI8-R", "UTF-8", readAsKoi) || !Iconv(windows, "CP1252", "UTF-8", readAsWestern) ||
      !Iconv(Utf8FromWin(windows), "ISO-8859-1", "UTF-8", utf8ReadAsLatin1))
    GTEST_SKIP() << "no iconv for KOI8-R, CP1252 or ISO-8859-1";
  struct Case {
    std::string in;
    std::string expected;  // Windows-1251
    std::string pane;
  };
  const Case cases[] = {
      // Windows-1251 text read as KOI8-R and saved as UTF-8.
      {readAsKoi, windows,
       "Russian text detected 100% when converted:\n    Windows-1251 read as KOI8-R, saved as UTF-8 -> Windows-1251\n"},
      // UTF-8 read as Windows-1251 and saved as UTF-8 again.
      {Utf8FromWin("Привет\n"),  // "РџСЂРёРІРµС‚": the UTF-8 bytes taken as Windows-1251
       WinFromUtf8("Привет\n"),
       "Russian text detected 100% when converted:\n    UTF-8 read as Windows-1251, saved as UTF-8 -> Windows-1251\n"},
      // Windows-1251 read as Windows-1252 and saved as UTF-8 ("Ïðèâåò").
      {readAsWestern, windows,
       "Russian text detected 100% when converted:\n    Windows-1251 read as Windows-1252, saved as UTF-8 -> "
       "Windows-1251\n"},
      // UTF-8 read as Latin-1 and saved as UTF-8 again ("ÐŸÑ\u0080"), C1 controls and all.
      {utf8ReadAsLatin1, windows,
       "Russian text detected 100% when converted:\n    UTF-8 read as Windows-1252, saved as UTF-8 -> Windows-1251\n"},
      // Ukrainian UTF-8 read as Windows-1251: the layer alone, no chain that
      // turns і into something Russian.
      {Utf8FromWin(Utf8FromWin(ukrainian)), ukrainian,
       "Ukrainian text detected 95% when converted:\n    UTF-8 read as Windows-1251, saved as UTF-8 -> Windows-1251\n"},
      // Plain UTF-8 keeps the written search's result.
      {Utf8FromWin(windows), windows, "Russian text detected 100% when converted:\n    UTF-8 -> Windows-1251\n"},
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
