// Large files converted into UTF-8 piece by piece come out byte for byte as
// the whole-text route makes them, with the same report; a file the pieces
// cannot decide goes the whole-text route.
#include "driver/streamed_utf8.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>

#include "codepages/unicode.h"
#include "driver/file_conversion.h"
#include "settings/settings.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::PairOf;

// Russian lines in Windows-1251, long and short, so that the small pieces
// of the test end in the middle of lines.
Lines Sentences(int count) {
  std::mt19937 random(7);
  Lines lines = testing::RussianText(random, count, 6);
  for (std::size_t i = 0; i < lines.size(); i += 5) lines[i] += " " + lines[i] + " " + lines[i];
  return lines;
}

// The lines joined with the breaks in turn.
std::string Join(const Lines& lines, const std::vector<std::string>& breaks) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + breaks[i % breaks.size()];
  return text;
}

Lines In(int code, const Lines& win) { return testing::Recode(win, {PairOf(kWindows, code)}); }

// The text in the code page with every fiftieth line in UTF-8: such a line
// keeps its bytes.
Lines InWithUtf8Lines(int code, const Lines& win) {
  Lines lines = In(code, win);
  for (std::size_t i = 40; i < lines.size(); i += 50) lines[i] = Utf8FromWin(win[i]);
  return lines;
}

struct Case {
  const char* Name;
  std::string Bytes;
  int From = 0;  // 0: detection
  bool Streamed = true;
  bool Changes = true;
};

struct Outcome {
  std::string Bytes, Report, Pane;
  bool Streamed = false;
};

class StreamedUtf8Test : public ::testing::Test {
 protected:
  Outcome Convert(const Case& c, bool stream) {
    const std::string file = dir / c.Name;
    WriteFile(file, c.Bytes);
    if (stream) {
      ::setenv("KAMVO_STREAM_BYTES", "1", 1);
      ::setenv("KAMVO_STREAM_PIECE", "4096", 1);
    }
    RunReporter quiet;
    TCfg cfg;
    Converter converter(quiet, cfg, StandardStages());
    converter.Options.Source = c.From;
    converter.Options.Target = kWindows;
    converter.Options.Utf8Target = true;
    const FileReport report = ConvertFile(converter, file, file);
    ::unsetenv("KAMVO_STREAM_BYTES");
    ::unsetenv("KAMVO_STREAM_PIECE");
    Outcome outcome{ReadFile(file), report.Text, converter.Info(), report.Streamed};
    std::filesystem::remove(file + ".bak");
    return outcome;
  }

  TempDir dir;
};

TEST_F(StreamedUtf8Test, PiecesComeOutAsTheWholeText) {
  // Stray signs the decoding stages look at and leave alone, as real
  // text has them.
  Lines win = Sentences(3000);
  win[1500] += " Plug & Play, $@%f3^@af4ga";
  win[2100] = WinFromUtf8("Веб-мастер: <BR>, как холодно");
  const Lines bigWin = Sentences(80000);  // beyond the first piece that decides
  const std::string mixed = Join(In(kKoi8, win), {"\n", "\r\n", "\r"});
  const std::vector<Case> cases = {
      {"koi8.txt", Join(InWithUtf8Lines(kKoi8, win), {"\r\n"}) + In(kKoi8, win)[0]},
      {"koi8-mixed-breaks.txt", mixed},
      {"cp866-given.txt", Join(InWithUtf8Lines(kDos, win), {"\n"}), kDos},
      {"koi8-large.txt", Join(InWithUtf8Lines(kKoi8, bigWin), {"\n"})},
      // Windows-1251 read as KOI8-R and saved as CP866: a chain of two.
      {"chain.txt", Join(testing::Recode(win, {PairOf(kKoi8, kWindows), PairOf(kWindows, kDos)}), {"\n"})},
      // What a stage acts on, late in the text: the whole-text route.
      {"late-reference.txt", mixed + "&#1055;&#1088;&#1080;\n", 0, false},
      {"late-qp.txt", mixed + "=CF=F0=E8=E2=E5=F2 =\n", 0, false},
      // Correct UTF-8 stays as it is.
      {"utf8.txt", Join(Lines(win.size(), Utf8FromWin(win[0])), {"\n"}), 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Outcome whole = Convert(c, false), pieces = Convert(c, true);
    EXPECT_FALSE(whole.Streamed);
    EXPECT_EQ(pieces.Streamed, c.Streamed);
    EXPECT_EQ(whole.Bytes != c.Bytes, c.Changes);
    EXPECT_TRUE(pieces.Bytes == whole.Bytes);
    EXPECT_EQ(pieces.Report, whole.Report);
    EXPECT_EQ(pieces.Pane, whole.Pane);
  }
}

// The program itself: the same file, the same report, on both routes.
TEST_F(StreamedUtf8Test, TheProgramWritesWhatTheWholeTextRouteWrites) {
  const std::string text = Join(InWithUtf8Lines(kKoi8, Sentences(3000)), {"\r\n", "\n"});
  std::string result[2], out[2];
  for (const bool streamed : {false, true}) {
    WriteFile(dir / "big.txt", text);
    std::filesystem::remove(dir / "big.txt.bak");
    const testing::ProgramRun run =
        testing::RunKamvo(dir, {dir / "big.txt", "--to=utf-8"}, KAMVO_EXECUTABLE,
                          streamed ? std::vector<std::string>{"KAMVO_STREAM_BYTES=1", "KAMVO_STREAM_PIECE=3000"}
                                   : std::vector<std::string>{});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadFile(dir / "big.txt.bak"), text);
    result[streamed] = ReadFile(dir / "big.txt");
    out[streamed] = run.Out + run.Err;
  }
  EXPECT_NE(result[0], text);
  EXPECT_TRUE(result[1] == result[0]);
  EXPECT_EQ(out[1], out[0]);
}

TEST(StreamedUtf8, PiecesEndAfterWholeBreaks) {
  for (const auto& [bytes, end] : std::vector<std::pair<std::string, std::size_t>>{
           {"ab\ncd", 3}, {"ab\r\ncd\r", 4}, {"ab\r\r", 3}, {"abcd", 0}, {"ab\r\n", 4}, {"\r", 0}})
    EXPECT_EQ(EndOfLastLine(bytes.data(), bytes.size()), end) << bytes;
}

}  // namespace
}  // namespace kamvo
