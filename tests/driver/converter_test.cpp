#include "driver/converter.h"

#include <gtest/gtest.h>

#include "support/plain_lines.h"

#include <random>

#include "codepages/code_page_list.h"
#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/iconv.h"
#include "support/literal_detection.h"
#include "support/russian_text.h"
#include "support/stage_tables.h"

namespace kamvo {
namespace {

using testing::PairOf;
using testing::Recode;
using testing::RussianText;

Lines PaneLines(const std::string& info) { return SplitLines(info); }

// Words that no chain turns into Russian words: a byte four times running
// becomes a letter four times running, which no Russian word holds.
const Lines kNothingRussian = {"\xE0\xE0\xE0\xE0\xE1\xE2 \xC1\xC1\xC1\xC1\xD5\xF7 \x90\x90\x90\x90\x91\xAB"};

class ConverterTest : public ::testing::Test {
 protected:
  ConverterTest() : converter(window, cfg) {}

  void Load(const Lines& text) {
    converter.TextBuffer = Text::FromLines(text);
    converter.CopyTextToScreen();
  }
  void Choose(int from, int to) { Choose(converter, from, to); }
  static void Choose(Converter& c, int from, int to) {
    c.Options.Source = from;
    c.Options.Target = to;
  }

  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
  std::mt19937 random{11};
};

TEST_F(ConverterTest, SameCodePageChangesNothingAndLeavesBackDisabled) {
  const Lines text = RussianText(random, 3, 5);
  Load(text);
  Choose(kWindows, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_FALSE(converter.BackAvailable);
  EXPECT_FALSE(window.backAvailable);
  EXPECT_FALSE(window.running);
  EXPECT_EQ(window.info, "");
}

TEST_F(ConverterTest, ChosenPairConvertsAndBackRestores) {
  const Lines text = RussianText(random, 3, 5);
  Load(Recode(text, {2}));
  Choose(kKoi8, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_EQ(ToLines(window.screen), text);
  EXPECT_TRUE(converter.BackAvailable);
  EXPECT_TRUE(window.backAvailable);
  converter.Back();
  EXPECT_EQ(ToLines(converter.TextBuffer), Recode(text, {2}));
  EXPECT_EQ(ToLines(window.screen), Recode(text, {2}));
  EXPECT_FALSE(converter.BackAvailable);
  EXPECT_FALSE(window.backAvailable);
}

TEST_F(ConverterTest, EditsOnScreenAreConverted) {
  Load({"old"});
  window.screen = {"\xF0\xD2\xC9\xD7\xC5\xD4"};  // Привет in KOI-8, typed by the user
  converter.ScreenEdited();
  Choose(kKoi8, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), Lines{"\xCF\xF0\xE8\xE2\xE5\xF2"});
  EXPECT_EQ(ToLines(converter.BackCopy), Lines{"\xF0\xD2\xC9\xD7\xC5\xD4"});
}

TEST_F(ConverterTest, ManualUtf8StepIsReportedBelowTheDecoderLines) {
  const Lines text = RussianText(random, 2, 4);
  Lines utf8;
  for (const auto& line : text) utf8.push_back(Utf8FromWin(line));
  utf8.push_back("plain");
  Load(utf8);
  Choose(kWindows, kWindows);
  converter.Convert();
  Lines expected = text;
  expected.push_back("plain");
  EXPECT_EQ(ToLines(converter.TextBuffer), expected);
  EXPECT_EQ(converter.Counters.Utf8Count, 2);
  EXPECT_EQ(window.info, "UTF-8 converted.");

  converter.Options.Switches.Utf8 = false;
  Load(utf8);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), utf8);
}

TEST_F(ConverterTest, ReportListsEachDecoderOnceInTableOrder) {
  Converter withStages(window, cfg,
                       testing::StagesDoing({{"escapes", [](StageContext& c) { c.Counters.QPCount += 3; }},
                                             {"binary", [](StageContext& c) {
                                                c.Counters.Base64Count++;
                                                c.Counters.RtfCount++;
                                              }}}));
  withStages.TextBuffer = {"x"};
  Choose(withStages, kWindows, kWindows);
  withStages.Convert();
  EXPECT_EQ(PaneLines(window.info), (Lines{"Base64 converted.", "Quoted-printable converted.", "RTF converted."}));
  withStages.Options.English = false;
  withStages.WriteMimeInfo();
  EXPECT_EQ(PaneLines(window.info),
            (Lines{WinFromUtf8("Преобразовано base64."), WinFromUtf8("Преобразовано quoted-printable."),
                   WinFromUtf8("Преобразовано RTF.")}));
}

TEST_F(ConverterTest, StagesRunInOrderOnlyWhenSwitchedOn) {
  std::string order;
  const StageTable stages = testing::StagesDoing({{"escapes", [&](StageContext&) { order += 'Q'; }},
                                                  {"binary", [&](StageContext&) { order += 'B'; }},
                                                  {"html", [&](StageContext&) { order += 'H'; }},
                                                  {"translit", [&](StageContext&) { order += 'T'; }}});
  Converter c(window, cfg, stages);
  Choose(c, kWindows, kWindows);
  c.Options.Switches = DecoderSwitches{true, true, true, true, true, true};
  c.Convert();
  EXPECT_EQ(order, "QBHT");
  order.clear();
  c.Options.Switches = DecoderSwitches{false, true, false, false, false, false};
  c.Convert();
  EXPECT_EQ(order, "Q");  // RTF alone runs the escape stage
  order.clear();
  c.Options.Switches = DecoderSwitches{false, false, false, false, false, false};
  c.Convert();
  EXPECT_EQ(order, "");
}

TEST_F(ConverterTest, UserBreakInAStageStopsTheRunAndBackRestores) {
  bool htmlRan = false;
  Converter c(window, cfg,
              testing::StagesDoing({{"escapes",
                                     [](StageContext& context) {
                                       context.Buffer = {"half decoded"};
                                       context.Stop = true;
                                     }},
                                    {"html", [&](StageContext&) { htmlRan = true; }}}));
  c.TextBuffer = {"original"};
  Choose(c, kKoi8, kWindows);
  c.Convert();
  EXPECT_FALSE(htmlRan);
  EXPECT_EQ(ToLines(window.screen), Lines{"half decoded"});
  EXPECT_EQ(PaneLines(window.info).front(), "User break.");
  EXPECT_FALSE(window.running);
  EXPECT_TRUE(window.backAvailable);
  c.Back();
  EXPECT_EQ(ToLines(c.TextBuffer), Lines{"original"});
}

TEST_F(ConverterTest, DecodedTextWithABreakInsideComesBackAsTwoLines) {
  Converter c(window, cfg, testing::StagesDoing({{"escapes", [](StageContext& context) {
                                                    context.Buffer = {"a\r\nb", "c"};
                                                    context.Counters.QPCount = 1;
                                                  }}}));
  c.TextBuffer = {"a=0D=0Ab", "c"};
  Choose(c, kWindows, kWindows);
  c.Convert();
  EXPECT_EQ(ToLines(c.TextBuffer), (Lines{"a", "b", "c"}));
}

// A %XX- or RTF-decoded text in which detection finds nothing Russian must
// stay decoded, as the pane reports.
TEST_F(ConverterTest, EscapeDecodedTextSurvivesAnUnsuccessfulDetection) {
  for (int DecoderCounters::*counter : {&DecoderCounters::SevenBitCount, &DecoderCounters::RtfCount}) {
    Converter c(window, cfg, testing::StagesDoing({{"escapes", [counter](StageContext& context) {
                                                      context.Buffer = {"decoded text"};
                                                      context.Counters.*counter = 1;
                                                    }}}));
    c.TextBuffer = {"decoded%20text"};
    c.CopyTextToScreen();
    Choose(c, 0, kWindows);
    c.Convert();
    EXPECT_EQ(ToLines(c.TextBuffer), Lines{"decoded text"});
    EXPECT_EQ(ToLines(window.screen), Lines{"decoded text"});
  }
}

TEST_F(ConverterTest, StatusLineNeverTakesThePlaceOfAReportLine) {
  converter.AddInfo("report");
  EXPECT_EQ(window.info, "report");  // with no status the report line stands first
  converter.WriteStatusInfo("status");
  EXPECT_EQ(window.info, "status\nreport");
  converter.AddInfo("line 2");
  converter.WriteStatusInfo("new status");
  EXPECT_EQ(window.info, "new status\nreport\nline 2");
  converter.WriteStatusInfo("");
  EXPECT_EQ(window.info, "report\nline 2");
  converter.WriteStatusInfo(std::string(100, 'x'));
  EXPECT_EQ(converter.LastStatus(), std::string(80, 'x'));
  converter.WriteMimeInfo();
  EXPECT_EQ(window.info, std::string(80, 'x'));
}

TEST_F(ConverterTest, DetectsKoi8AndReportsTheChainInBothLanguages) {
  const Lines text = RussianText(random, 8, 8);
  Load(Recode(text, {2}));
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_TRUE(converter.Detection.DetectionDone);
  EXPECT_EQ(converter.Detection.BestChain, (Chain{8}));
  EXPECT_EQ(PaneLines(window.info),
            (Lines{"Russian text detected 100% when converted:", "    KOI8-R -> Windows-1251"}));
  converter.Options.English = false;
  converter.WriteDetectionInfo();
  EXPECT_EQ(PaneLines(window.info),
            (Lines{WinFromUtf8("Русский текст распознан на 100% при перекодировке:"), "    KOI8-R -> Windows-1251"}));
  EXPECT_EQ(window.progressMin, 0);
  EXPECT_EQ(window.progressMax, 1);
  EXPECT_EQ(window.progressPosition, 0);
}

// The chain search ends at the first chain above the limit. Here that is a
// four-pair chain that explains 19 of the 22 sample words and reads the
// whole text as nonsense; the search goes on to the chain that explains
// them all.
TEST_F(ConverterTest, AChainThatReadsTheTextBadlyDoesNotEndTheSearch) {
  const Lines text = {WinFromUtf8("Никогда не пророчествуйте: если пророчество ложно, никто этого не "),
                      WinFromUtf8("забудет, а если оно правильно, никто об этом и не вспомнит."),
                      WinFromUtf8("\t\t-- Генри Шоу")};
  // KOI8-R text read as Windows-1251 and saved as KOI8-R, twice, then read
  // as ISO 8859-5 and saved as Windows-1251.
  const Lines koi = Recode(text, {PairOf(kWindows, kKoi8)});
  Load(Recode(koi, {PairOf(kWindows, kKoi8), PairOf(kWindows, kKoi8), PairOf(kIso, kWindows)}));
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(converter.Detection.BestChain,
            (Chain{PairOf(kWindows, kIso), PairOf(kKoi8, kWindows), PairOf(kKoi8, kWindows), PairOf(kKoi8, kWindows)}));
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
}

// Texts damaged by real converters (iconv's tables), each step a text in
// one code page read as another and saved in a third.
TEST_F(ConverterTest, UndoesChainsOfRealConverters) {
  struct Step {
    const char* readAs;
    const char* savedAs;
  };
  struct Case {
    const char* why;
    const char* text;
    const char* code;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"ь becomes the box drawing U+256A between CP866 and KOI8-R",
       "Мальчик гулял один, но ему было весело.\nКогда пришла мать, он уже спал.\n"
       "Он нашел книгу и читал ее весь день.",
       "CP1251",
       {{"KOI8-R", "CP1251"}, {"CP866", "KOI8-R"}}},
      {"a single pair reads the text in capitals and loses only В",
       "Времена меняются, и мы меняемся вместе с ними, хотя замечаем это слишком поздно.",
       "CP1251",
       {{"KOI8-R", "CP1251"}, {"ISO-8859-5", "CP1251"}}},
      {"a chain of two levels reads every sample word in capitals",
       "Раскрепощенность - вот ключ к тому, что человек хочет скрыть от других.",
       "ISO-8859-5",
       {{"CP1251", "KOI8-R"}, {"ISO-8859-5", "CP1251"}}},
      {"the right chain is two levels longer than the first one found",
       "Склероз хорош тем, что ничего плохого не помнишь и всегда узнаешь что-нибудь новенькое.",
       "ISO-8859-5",
       {{"CP1251", "ISO-8859-5"}, {"CP866", "KOI8-R"}, {"CP866", "KOI8-R"}}},
      {"a text that reads fairly as it stands, a chain of three steps",
       "Прелесть женщины еще в том, что она работает.\n\t\t-- Г. Малкин",
       "CP1251",
       {{"KOI8-R", "CP1251"}, {"ISO-8859-5", "CP1251"}, {"ISO-8859-5", "CP1251"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string damaged, windows;
    ASSERT_TRUE(testing::Iconv(c.text, "UTF-8", c.code, damaged));
    ASSERT_TRUE(testing::Iconv(c.text, "UTF-8", "CP1251", windows));
    for (const Step& step : c.steps) {
      std::string next;
      ASSERT_TRUE(testing::Iconv(damaged, step.readAs, step.savedAs, next));
      damaged = next;
    }
    Load(SplitLines(damaged));
    Choose(0, kWindows);
    converter.Convert();
    EXPECT_EQ(ToLines(converter.TextBuffer), SplitLines(windows));
  }
}

TEST_F(ConverterTest, DetectionIntoAnotherTargetAndWithoutConversion) {
  const Lines text = RussianText(random, 8, 8);
  Load(text);
  Choose(0, kDos);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), Recode(text, {1}));
  EXPECT_EQ(PaneLines(window.info), (Lines{"Russian text detected 100% when converted:", "    Windows-1251 -> CP866"}));
  Load(text);
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(PaneLines(window.info),
            (Lines{"Russian text detected 100% without conversion", "    already Windows-1251"}));

  Load(Recode(text, {9}));  // Windows text read as KOI-8, written as Dos
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_EQ(PaneLines(window.info), (Lines{"Russian text detected 100% when converted:",
                                           "    Windows-1251 read as KOI8-R, saved as CP866 -> Windows-1251"}));
}

TEST_F(ConverterTest, Utf8DetectionIsReportedAsAnExtraStep) {
  const Lines text = RussianText(random, 8, 6);
  Lines utf8;
  for (const auto& line : text) utf8.push_back(Utf8FromWin(line));
  Load(utf8);
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_TRUE(converter.Detection.DetectedUtf8);
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  const Lines pane = PaneLines(window.info);
  ASSERT_EQ(pane.size(), 2u);
  EXPECT_EQ(pane[1], "    UTF-8 -> Windows-1251");
}

// The UTF-8 step comes after the way into Windows-1251 (the chain or the
// chosen source) and before the way out to the target, for every target, in
// detection and with a chosen source. A byte order mark that opens the text
// goes with the step; a line that is not UTF-8 gets the whole code table.
// A UTF-8 text of Windows-1251 text read as KOI-8: the outer layer comes
// first, then the chain and the target; the pane names the layer in both
// languages, and the Back button gives the UTF-8 text back.
TEST_F(ConverterTest, OuterUtf8LayerComesFirstAndIsReported) {
  const Lines text = RussianText(random, 6, 8);
  Lines utf8;
  for (const auto& line : text) {
    std::string saved;
    for (char c : line) AppendUtf8(saved, CodePageToUnicode(kKoi8, static_cast<Byte>(c)));
    utf8.push_back(saved);
  }
  for (int to = kWindows; to <= kIso; ++to) {
    SCOPED_TRACE(to);
    converter.Options.English = true;
    Load(utf8);
    Choose(0, to);
    converter.Convert();
    Lines expected;
    for (const auto& line : text) expected.push_back(ConvertByTable(line, BuildCodeTable(kWindows, to)));
    EXPECT_EQ(ToLines(converter.TextBuffer), expected);
    EXPECT_EQ(converter.Detection.Layer, (OuterLayer{{kKoi8, 0}}));
    EXPECT_EQ(converter.Counters.Utf8Count, static_cast<int>(text.size()));
    const std::string target(CharsetName(to));
    EXPECT_EQ(PaneLines(window.info), (Lines{"Russian text detected 100% when converted:",
                                             "    Windows-1251 read as KOI8-R, saved as UTF-8 -> " + target}));
    converter.Options.English = false;
    converter.WriteDetectionInfo();
    EXPECT_EQ(PaneLines(window.info),
              (Lines{WinFromUtf8("Русский текст распознан на 100% при перекодировке:"),
                     WinFromUtf8("    Windows-1251 прочитан как KOI8-R, сохранён в UTF-8 -> ") + target}));
    converter.Back();
    EXPECT_EQ(ToLines(converter.TextBuffer), utf8);
  }
}

TEST_F(ConverterTest, Utf8StepComesBeforeTheTarget) {
  const Lines text = RussianText(random, 8, 6);
  Lines utf8 = {std::string(kByteOrderMark)};
  for (const auto& line : text) utf8.push_back(Utf8FromWin(line));
  utf8[0] += utf8[1];
  utf8.erase(utf8.begin() + 1);
  utf8.push_back("plain");
  struct Case {
    Lines in;
    int from;
  };
  const Case cases[] = {{utf8, 0}, {utf8, kWindows}, {Recode(utf8, {2}), 0}, {Recode(utf8, {2}), kKoi8}};
  for (const Case& c : cases) {
    for (int to = kWindows; to <= kIso; ++to) {
      SCOPED_TRACE(::testing::Message() << "from " << c.from << " to " << to);
      Load(c.in);
      Choose(c.from, to);
      converter.Convert();
      Lines expected;
      for (const auto& line : text) expected.push_back(ConvertByTable(line, BuildCodeTable(kWindows, to)));
      expected.push_back("plain");
      EXPECT_EQ(ToLines(converter.TextBuffer), expected);
      EXPECT_EQ(converter.Counters.Utf8Count, static_cast<int>(text.size()));
    }
  }
  // Without the UTF-8 switch a chosen source converts the bytes alone.
  converter.Options.Switches.Utf8 = false;
  Load(utf8);
  Choose(kWindows, kKoi8);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), Recode(utf8, {2}));
}

TEST_F(ConverterTest, NoRussianTextLeavesTheTextAsItWas) {
  Load({"just some English text", "with 123 numbers"});
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"just some English text", "with 123 numbers"}));
  EXPECT_EQ(PaneLines(window.info), Lines{"Russian text not found."});
  EXPECT_FALSE(converter.BackAvailable);
  converter.Options.English = false;
  converter.WriteDetectionInfo();
  EXPECT_EQ(window.info, WinFromUtf8("Русский текст не найден."));
}

// Runs detection on text that no chain recognises and records what the
// status line and the progress bar showed.
TEST_F(ConverterTest, ProgressAndStatusDuringAnUnsuccessfulSearch) {
  std::vector<int> positions;
  std::vector<std::string> statuses;
  struct Recorder : HeadlessWindow {
    std::vector<int>* positions;
    std::vector<std::string>* statuses;
    void ShowProgress(int min, int max, int position) override {
      HeadlessWindow::ShowProgress(min, max, position);
      positions->push_back(position);
    }
    void ShowInfo(const std::string& caption) override {
      HeadlessWindow::ShowInfo(caption);
      const std::string first = caption.substr(0, caption.find('\n'));
      if (statuses->empty() || statuses->back() != first) statuses->push_back(first);
    }
  } recorder;
  recorder.positions = &positions;
  recorder.statuses = &statuses;
  Converter c(recorder, cfg);
  c.Options.MaxChainLevels = 2;
  c.TextBuffer = Text::FromLines(kNothingRussian);
  c.Convert();
  EXPECT_EQ(c.Detection.BestScore, 0);
  EXPECT_EQ(statuses, (std::vector<std::string>{"", "Checking 1-x coding...", "Checking 2-x coding...", ""}));
  std::vector<int> expected = {-12};
  for (int c1 = 1; c1 <= 12; ++c1) expected.push_back((c1 - 1) * 12);
  for (int c2 = 1; c2 <= 12; ++c2) expected.push_back(c2 * 12);
  expected.push_back(0);  // the bar is reset at the end
  EXPECT_EQ(positions, expected);
  EXPECT_EQ(recorder.progressMax, 1);
}

TEST_F(ConverterTest, StopDuringDetectionShowsTheBestSoFar) {
  int pumps = 0;
  window.onEvents = [&] {
    if (++pumps == 30) converter.UserBreak = true;
  };
  converter.Options.MaxChainLevels = 3;
  Load(kNothingRussian);
  Choose(0, kWindows);
  converter.Convert();
  EXPECT_EQ(PaneLines(window.info).front(), "User break.");
  EXPECT_TRUE(converter.UserBreak);
  EXPECT_FALSE(window.running);
  EXPECT_EQ(ToLines(converter.TextBuffer), kNothingRussian);
}

// Stop pressed while the search goes through the outer layers: the run ends
// there with the best result so far, and the text is kept as it was (no
// result above the limit: garbage that is valid UTF-8).
TEST_F(ConverterTest, StopDuringTheOuterLayersEndsTheRun) {
  Lines garbage(1);
  for (int i = 0; i < 60; ++i) AppendUtf8(garbage[0], i % 5 == 4 ? ' ' : 0x0410 + (i * 37) % 64);
  converter.Options.DetectionLimit = 100;
  converter.Options.MaxChainLevels = 3;
  int pumps = 0;
  window.onEvents = [&] { ++pumps; };
  Load(garbage);
  Choose(0, kWindows);
  converter.Convert();
  const int all = pumps;
  ASSERT_FALSE(converter.UserBreak);
  // Without the UTF-8 switch no layer is searched: the layers take most of
  // the run, so the stops below fall within them.
  converter.Options.Switches.Utf8 = false;
  pumps = 0;
  Load(garbage);
  converter.Convert();
  ASSERT_LT(pumps, all / 2);
  converter.Options.Switches.Utf8 = true;
  for (int stopAt : {all / 2, all - 3}) {
    pumps = 0;
    window.onEvents = [&] {
      if (++pumps == stopAt) converter.UserBreak = true;
    };
    Load(garbage);
    converter.Convert();
    EXPECT_EQ(PaneLines(window.info).front(), "User break.");
    EXPECT_TRUE(converter.UserBreak);
    EXPECT_FALSE(window.running);
    EXPECT_TRUE(converter.Detection.DetectionDone);
  }
}

// The converter's detection result and report equal those of the literal
// search on generated texts.
TEST_F(ConverterTest, DetectionAgreesWithTheLiteralSearch) {
  const Lines text = RussianText(random, 6, 8);
  const std::vector<std::vector<int>> damages = {{}, {2}, {1}, {4}, {2, 9}, {5}, {1, 7, 12}};
  for (int limit : {80, 100}) {
    for (const auto& damage : damages) {
      converter.Options.DetectionLimit = limit;
      converter.Options.MaxChainLevels = 2;
      Load(Recode(text, damage));
      Choose(0, kWindows);
      converter.Convert();
      WordReader reader(converter.BackCopy);
      const Sample sample = TakeSample(reader);
      const auto literal = testing::LiteralSearch(sample, true, limit, 2);
      EXPECT_EQ(converter.Detection.BestChain, literal.Best);
      EXPECT_EQ(converter.Detection.BestScore, literal.BestScore);
      EXPECT_EQ(converter.Detection.DetectedUtf8, literal.Utf8);
      if (literal.BestPercent >= 0) {
        EXPECT_EQ(converter.Detection.BestPercent, literal.BestPercent);
      }
      const bool found = literal.BestScore * 100 + sample.Count / 2 >= limit * sample.Count;
      if (found && !literal.Utf8) {
        const CodeTable table = MakeCodeTable(literal.Best, false, kWindows);
        Lines expected;
        for (const auto& line : Recode(text, damage)) expected.push_back(ConvertByTable(line, table));
        EXPECT_EQ(ToLines(converter.TextBuffer), expected);
      }
    }
  }
}

// A window that counts what it is given.
struct CountingWindow : HeadlessWindow {
  int shown = 0;
  void ShowText(const Text& lines) override {
    HeadlessWindow::ShowText(lines);
    ++shown;
  }
};

// What a run leaves for the user: the text, the pane, Back.
struct RunResult {
  Lines text;
  std::string info;
  bool back;
  Lines backCopy;
  int utf8Count;
  bool operator==(const RunResult&) const = default;
};

struct Scenario {
  Lines text;
  int from, to;
  StageTable stages;
  DecoderSwitches switches;
};

RunResult RunScenario(const Scenario& s, HeadlessWindow& window, bool thenBack) {
  TCfg cfg;
  Converter c(window, cfg, s.stages);
  c.Options.MaxChainLevels = 2;  // texts that nothing recognises would search long
  c.Options.Source = s.from;
  c.Options.Target = s.to;
  c.Options.Switches = s.switches;
  c.TextBuffer = Text::FromLines(s.text);
  c.CopyTextToScreen();
  c.Convert();
  RunResult result{ToLines(c.TextBuffer), c.Info(), c.BackAvailable, ToLines(c.BackCopy), c.Counters.Utf8Count};
  if (thenBack) {
    c.Back();
    result.text.push_back("-- back --");
    for (const auto line : c.TextBuffer) result.text.emplace_back(line);
  }
  return result;
}

std::vector<Scenario> Scenarios() {
  std::mt19937 random(23);
  const Lines text = RussianText(random, 30, 7);
  Lines utf8;
  for (const auto& line : text) utf8.push_back(Utf8FromWin(line));
  auto decoding = [](Lines decoded, int DecoderCounters::*counter) {
    return testing::StagesDoing({{"escapes", [decoded, counter](StageContext& c) {
                                    c.Buffer = Text::FromLines(decoded);
                                    c.Counters.*counter += 1;
                                  }}});
  };
  auto breaking = [](StageContext& c) {
    c.Buffer = {"half"};
    c.Stop = true;
  };
  Lines withBreaks = Recode(text, {2});
  withBreaks[3] += "\r\n" + withBreaks[4];
  return {
      {Recode(text, {2}), kKoi8, kWindows, {}, {}},  // chosen pair
      {utf8, kWindows, kWindows, {}, {}},            // chosen pair with UTF-8 lines
      {Recode(text, {2}), 0, kWindows, {}, {}},      // detection
      {Recode(text, {2, 9}), 0, kDos, {}, {}},       // a chain, into Dos
      {utf8, 0, kWindows, {}, {}},                   // detection through UTF-8
      {kNothingRussian, 0, kWindows, {}, {}},        // nothing recognised
      {{"english only"}, 0, kWindows, {}, {}},       // no sample at all
      {{"decoded%20text"}, 0, kWindows, decoding({"decoded text"}, &DecoderCounters::SevenBitCount), {}},
      {Recode(text, {2}), 0, kWindows, decoding(withBreaks, &DecoderCounters::QPCount), {}},
      {Recode(text, {2}), 0, kWindows, testing::StagesDoing({{"escapes", breaking}}), {}},  // Stop in a stage
      // A stage that changes the text without counting it: the editor
      // still shows the text from before, which a failed detection takes.
      {kNothingRussian,
       0,
       kWindows,
       testing::StagesDoing({{"escapes", [](StageContext& c) { c.Buffer = {"changed quietly"}; }}}),
       {}},
  };
}

// Without a display the converter keeps no copy for the editor and converts
// only what it takes back; the user gets the same text, pane and Back.
TEST(ConverterScreen, WindowWithoutDisplayGivesTheSameResults) {
  int index = 0;
  for (const Scenario& s : Scenarios()) {
    for (bool thenBack : {false, true}) {
      HeadlessWindow shown, hidden;
      hidden.hasDisplay = false;
      EXPECT_EQ(RunScenario(s, shown, thenBack), RunScenario(s, hidden, thenBack)) << "scenario " << index;
      EXPECT_TRUE(hidden.screen.empty());
    }
    ++index;
  }
}

// A window that is not ready to redraw is given the detected text once, at
// the end, however often the search improves; the result is the same.
TEST(ConverterScreen, DetectionRedrawsOnlyWhenTheWindowIsReady) {
  int index = 0;
  for (const Scenario& s : Scenarios()) {
    CountingWindow eager, lazy;
    lazy.readyToRedraw = false;
    const RunResult a = RunScenario(s, eager, false);
    const RunResult b = RunScenario(s, lazy, false);
    EXPECT_EQ(a.text, b.text) << index;
    EXPECT_EQ(a.info, b.info) << index;
    EXPECT_EQ(a.back, b.back) << index;
    EXPECT_EQ(ToLines(lazy.screen), Resplit(b.text)) << index;
    EXPECT_LE(lazy.shown, eager.shown) << index;
    ++index;
  }
  // Text that detection improves on three times: with Dos text read as
  // KOI-8 and then as ISO the chains of length 1 recognise some words and
  // the chain of length 2 all of them.
  std::mt19937 random(29);
  const Lines text = RussianText(random, 30, 7);
  Scenario improving{Recode(text, {4, 6}), 0, kWindows, {}, {}};
  CountingWindow eager, lazy;
  lazy.readyToRedraw = false;
  const RunResult a = RunScenario(improving, eager, false);
  const RunResult b = RunScenario(improving, lazy, false);
  EXPECT_EQ(a, b);
  EXPECT_EQ(b.text, text);
  EXPECT_GE(eager.shown, 3);
  EXPECT_EQ(lazy.shown, 2);  // the file's text, then the result

  // Once the window is ready again, the waiting text is drawn at the next
  // pump, during the search.
  CountingWindow later;
  later.readyToRedraw = false;
  int events = 0;
  later.onEvents = [&] {
    if (++events == 2) later.readyToRedraw = true;
  };
  EXPECT_EQ(RunScenario(improving, later, false), a);
  EXPECT_GT(later.shown, 2);
}

}  // namespace
}  // namespace kamvo
