// The real program on UTF-8 files that hold mojibake.
#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "codepages/unicode.h"
#include "support/russian_text.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The bytes converted by the system's iconv; false when it cannot.
bool Iconv(const std::string& bytes, const char* from, const char* to, std::string& out) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* o = out.data();
  std::size_t inLeft = bytes.size(), outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return ok;
}

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
