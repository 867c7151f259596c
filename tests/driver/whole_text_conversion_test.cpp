// A file converted on the command line (a window without a display) is
// converted as its bytes are held, without an editor between. The files,
// the backup, the report and the pane must be those of a run with a
// display, whose editor gives the lines back with breaks of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "codepages/unicode.h"
#include "driver/file_conversion.h"
#include "driver/file_io.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

struct Choices {
  DecoderSwitches switches;  // the defaults of the command line
  int from = 0;              // automatic detection
  bool inPlace = true;
  bool breakAtFirstEvent = false;
};

struct Result {
  std::string seen;  // report, pane, files and backup
  bool backCopyKept = false;
};

Result Convert(const std::string& content, bool display, const Choices& run) {
  TempDir dir;
  TCfg cfg;
  HeadlessWindow window;
  window.hasDisplay = display;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Switches = run.switches;
  converter.Options.Source = run.from;
  converter.Options.Target = kWindows;
  converter.Options.MaxChainLevels = 2;  // enough for these texts, and quick
  if (run.breakAtFirstEvent) window.onEvents = [&converter] { converter.UserBreak = true; };
  const std::string in = dir / "in.txt";
  const std::string out = run.inPlace ? in : std::string(dir / "out.txt");
  WriteFile(in, content);
  const FileReport report = ConvertFile(converter, in, out);
  std::string seen = report.Text + "|" + converter.Info() + "|" + ReadFile(in);
  if (!run.inPlace) seen += "|" + (fs::exists(out) ? ReadFile(out) : std::string("no output"));
  seen += "|" + (fs::exists(in + ".bak") ? ReadFile(in + ".bak") : std::string("no backup"));
  // The report names the folder, which differs between the runs.
  for (std::size_t at; (at = seen.find(dir.path().string())) != std::string::npos;)
    seen.replace(at, dir.path().string().size(), "DIR");
  return {seen, !converter.BackCopy.empty()};
}

// Russian text in KOI-8, `lines` lines joined with `lineBreak`.
std::string KoiText(std::mt19937& random, int lines, const std::string& lineBreak) {
  std::string text;
  for (const std::string& line : testing::Recode(testing::RussianText(random, lines, 7), {2})) text += line + lineBreak;
  return text;
}

class WholeTextConversion : public ::testing::Test {
 protected:
  // Both runs see the same, and neither keeps a back copy.
  void ExpectSame(const std::string& content, const Choices& run, const std::string& what) {
    const Result shown = Convert(content, true, run);
    const Result hidden = Convert(content, false, run);
    // Texts of megabytes are compared without printing them (and without
    // the listing of their differences, which would take minutes).
    if (shown.seen.size() + hidden.seen.size() < 4096)
      EXPECT_EQ(shown.seen, hidden.seen) << what;
    else
      EXPECT_TRUE(shown.seen == hidden.seen) << what;
    EXPECT_FALSE(shown.backCopyKept) << what;
    EXPECT_FALSE(hidden.backCopyKept) << what;
  }

  std::mt19937 random{5};
};

TEST_F(WholeTextConversion, SmallFilesOfEveryShape) {
  const std::string koi = KoiText(random, 3, "\n");
  const std::string koiLine = koi.substr(0, koi.find('\n'));
  const std::string win = ConvertByTable(koi, BuildCodeTable(kKoi8, kWindows));
  const std::vector<std::string> contents = {"",
                                             "\n",
                                             "\n\n",
                                             "\r\n",
                                             "\r",
                                             "plain English words\n",
                                             koiLine,
                                             koiLine + "\r\n" + koiLine,
                                             koiLine + "\r" + koiLine + "\r",
                                             koiLine + "\r\n" + koiLine + "\n" + koiLine,  // mixed breaks
                                             koiLine + "\n\r" + koiLine,
                                             koi,
                                             win,
                                             win + "no final break",
                                             koi + "=E0=E1\n",
                                             koi + "a =\n" + koi,
                                             koi + "&#1040;&#1041;\n",
                                             koi + "<b>" + koiLine + "</b>\n",
                                             koi + "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\n",
                                             Utf8FromWin(win),
                                             koi + Utf8FromWin(win),
                                             "\xC0\xC1 \xC2\r\n\xC3"};
  std::vector<Choices> runs(6);
  runs[1].inPlace = false;
  runs[2].from = kKoi8;  // with the UTF-8 switch on
  runs[3].from = kKoi8;
  runs[3].switches.Utf8 = false;
  runs[4].switches = DecoderSwitches{false, false, false, false, false, false};
  runs[5].switches.Translit = true;
  // Every file is written and flushed to disk, which takes its time: each
  // content goes with the defaults and with one of the other choices.
  for (std::size_t c = 0; c < contents.size(); ++c)
    for (std::size_t r : {std::size_t{0}, 1 + c % (runs.size() - 1)})
      ExpectSame(contents[c], runs[r], "content " + std::to_string(c) + ", run " + std::to_string(r));
}

// Detection reads only the first lines of a long text; what comes after
// them must still be converted, decoded or noticed.
TEST_F(WholeTextConversion, LongTextsWithSomethingNearTheEnd) {
  const std::string body = KoiText(random, 6000, "\n");  // some 300 KiB
  ASSERT_GT(body.size(), 256u << 10);
  Choices koiManual;
  koiManual.from = kKoi8;
  koiManual.switches.Utf8 = false;

  ExpectSame(body, Choices{}, "plain LF");
  ExpectSame(body + "\xC0\xC1", Choices{}, "no final break");
  ExpectSame(body, koiManual, "manual");
  std::string crlf = body;
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) crlf.insert(at, "\r");
  ExpectSame(crlf, Choices{}, "CR LF");

  // Detection's sample lies beyond the first tries of lines, or in a line
  // longer than half the text.
  std::string english;
  while (english.size() < (100u << 10)) english += "plain English words on a line of their own\n";
  ExpectSame(english + body + body, Choices{}, "English first");
  std::string longLine = body;
  for (char& c : longLine)
    if (c == '\n') c = ' ';
  ExpectSame(longLine + "\n" + KoiText(random, 20, "\n"), Choices{}, "long line");

  // Each of these is decoded or converted line by line.
  const CodeTable koiToWin = BuildCodeTable(kKoi8, kWindows);
  const std::string utf8Lines = Utf8FromWin(ConvertByTable(KoiText(random, 2, "\n"), koiToWin));
  const std::vector<std::string> tails = {"=E0=E1=E2\n",
                                          "soft =\nbreak\n",
                                          "%E0%E1%E2\n",
                                          "\\'e0\\'e1\\'e2\n",
                                          "&#1040;&#1041;&#1042;\n",
                                          "&lt;<b>\n",
                                          "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\n"};
  for (std::size_t t = 0; t < tails.size(); ++t) {
    const std::string what = "tail " + std::to_string(t);
    ExpectSame(body + tails[t], Choices{}, what);
  }
  // Breaks of another kind keep their places.
  ExpectSame(body + "\r\n", Choices{}, "CR LF tail");
  ExpectSame(body + "\r", Choices{}, "CR tail");
  // UTF-8 lines in a KOI-8 text: detection asks for no UTF-8 step, the
  // UTF-8 switch with a manual choice does.
  ExpectSame(body + utf8Lines, Choices{}, "UTF-8 lines");
  Choices utf8Manual;
  utf8Manual.from = kKoi8;
  ExpectSame(body + utf8Lines, utf8Manual, "UTF-8 lines, manual");
  // A text that detection finds to be UTF-8.
  std::string utf8;
  while (utf8.size() < (200u << 10)) utf8 += Utf8FromWin(ConvertByTable(KoiText(random, 50, "\n"), koiToWin));
  ExpectSame(utf8, Choices{}, "UTF-8 text");
}

// Whether a text holds a control byte is found in one read over the whole
// text: one far beyond the first line still refuses it. Breaks of another
// kind anywhere keep their places, whichever way the text goes.
TEST_F(WholeTextConversion, LateBreaksOfAnotherKindAndControlBytes) {
  const std::string lf = KoiText(random, 4000, "\n");
  const std::string cr = KoiText(random, 4000, "\r");
  const std::string crlf = KoiText(random, 4000, "\r\n");
  Choices off;
  off.switches = DecoderSwitches{false, false, false, false, false, false};
  for (const Choices& run : {Choices{}, off}) {
    ExpectSame(lf + lf, run, "LF");
    ExpectSame(cr + cr, run, "CR");
    const CodeTable koiToWin = BuildCodeTable(kKoi8, kWindows);
    for (const std::string& mixed : {lf + "\xC0\r" + lf, lf + "\xC0\r\n" + lf, cr + "\xC0\n" + cr,
                                     crlf + "\xC0\n" + crlf, crlf + "\xC0\r" + crlf}) {
      ExpectSame(mixed, run, "mixed breaks");
      const Result result = Convert(mixed, false, run);
      EXPECT_NE(result.seen.find("|" + ConvertByTable(mixed, koiToWin) + "|"), std::string::npos)
          << "every break in its place";
    }
    for (char control : {'\0', '\x1A', '\x0B'}) {
      std::string bad = lf + lf;
      bad[bad.size() - 7] = control;
      ExpectSame(bad, run, "control byte near the end");
      const Result result = Convert(bad, false, run);
      EXPECT_NE(result.seen.find("no backup"), std::string::npos);
      EXPECT_NE(result.seen.find("|" + bad + "|"), std::string::npos) << "file unchanged";
    }
  }
}

// Files of more than a few megabytes: whatever comes late in them (a break of another kind, a control byte,
// something to decode, a line longer than a piece read) and however they
// end must give what the line-by-line run gives; breaks of every kind keep
// their places.
TEST_F(WholeTextConversion, LargeFilesConvertedWhileRead) {
  std::string body;
  while (body.size() < (5u << 20)) body += KoiText(random, 2000, "\n");
  std::string crBody = body;
  for (char& c : crBody)
    if (c == '\n') c = '\r';
  std::string longLine;
  while (longLine.size() < (5u << 19)) longLine += KoiText(random, 100, " ");
  Choices off;
  off.switches = DecoderSwitches{false, false, false, false, false, false};
  Choices offOutside = off;
  offOutside.inPlace = false;
  for (const Choices& run : {Choices{}, off}) {
    ExpectSame(body, run, "LF");
    ExpectSame(crBody, run, "CR");
    ExpectSame(body + "\xC0\xC1", run, "no final break");
    ExpectSame(body + longLine + "\n" + body.substr(0, 1000), run, "a line over pieces");
    ExpectSame(body + "\xC0\r\n", run, "a late CR");
    ExpectSame(crBody + "\xC0\n", run, "a late LF");
    // A CR LF whose CR ends the first part read and whose LF starts the next.
    const std::size_t cut = (4u << 20) - 1;
    std::string split = body.substr(0, body.rfind('\n', cut - 100) + 1);
    split.resize(cut, 'a');
    split += "\r\n" + body;
    ExpectSame(split, run, "CR LF across pieces");
    ExpectSame(body + "\xC0\x01\n", run, "a late control byte");
    ExpectSame(body + "\xC0\x01", run, "a control byte at the very end");
  }
  ExpectSame(body + "=E0=E1=E2\n", off, "quoted-printable, decoders off");
  ExpectSame(body + "=E0=E1=E2\n", Choices{}, "quoted-printable");
  ExpectSame(body + longLine + " =E0=E1=E2\n" + body.substr(0, 1000), Choices{},
             "quoted-printable at the end of a line over pieces");
  ExpectSame(body + "&#1040;&#1041;\n", Choices{}, "a late reference");
  ExpectSame(body, offOutside, "to another file");
  std::string english;
  while (english.size() < (5u << 20)) english += "plain English words on a line of their own\n";
  ExpectSame(english, off, "nothing to convert");
  ExpectSame(english, offOutside, "nothing to convert, to another file");
}

// A disk that fails while a large file is written, or a file that cannot be
// read, loses nothing and is reported as it is with a display.
TEST_F(WholeTextConversion, LargeFilesOnAFailingDisk) {
  std::string body;
  while (body.size() < (5u << 20)) body += KoiText(random, 2000, "\n");
  for (const FileStep failing : {FileStep::WriteChunk, FileStep::Sync, FileStep::CreateTemporary, FileStep::Read}) {
    for (int from : {1, 3}) {
      int calls = 0;
      SetFileFaultHook(
          [&](FileStep step, const std::string&) { return step == failing && ++calls >= from ? ENOSPC : 0; });
      const Result shown = Convert(body, true, Choices{});
      calls = 0;
      const Result hidden = Convert(body, false, Choices{});
      SetFileFaultHook({});
      EXPECT_TRUE(shown.seen == hidden.seen) << static_cast<int>(failing) << " from " << from;
      EXPECT_NE(hidden.seen.find(body), std::string::npos) << "the text is kept";
    }
  }
}

TEST_F(WholeTextConversion, UserBreakWritesNothing) {
  const std::string body = KoiText(random, 3000, "\n");
  Choices run;
  run.breakAtFirstEvent = true;
  ExpectSame(body, run, "break");
  const Result hidden = Convert(body, false, run);
  EXPECT_EQ(hidden.seen.substr(0, 1), "|");  // an empty report
  EXPECT_NE(hidden.seen.find("|" + body + "|no backup"), std::string::npos);
}

}  // namespace
}  // namespace kamvo
