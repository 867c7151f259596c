#include "driver/stages.h"

#include <gtest/gtest.h>

#include <random>

#include "decoders/binary.h"
#include "decoders/binary_encoders.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "driver/headless_window.h"
#include "settings/settings.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

// What a stage leaves behind.
struct Outcome {
  Lines text;
  DecoderCounters counters;
  std::vector<std::pair<std::string, std::string>> attachments;
  std::string info;
  int progressMin, progressMax, progressPosition;

  bool operator==(const Outcome& o) const {
    auto counts = [](const DecoderCounters& c) {
      return std::vector<int>{c.QPCount, c.SevenBitCount, c.RtfCount, c.Base64Count, c.UUECount,
                              c.XXECount,  c.HtmlCount,     c.TranslitCount, c.Utf8Count};
    };
    return text == o.text && counts(counters) == counts(o.counters) && attachments == o.attachments &&
           info == o.info && progressMin == o.progressMin && progressMax == o.progressMax &&
           progressPosition == o.progressPosition;
  }
};

Outcome RunStage(const Stage& stage, const Lines& text, const DecoderSwitches& switches, int* statusWrites = nullptr) {
  TCfg cfg;
  struct Recorder : HeadlessWindow {
    int checking = 0;
    void ShowInfo(const std::string& caption) override {
      HeadlessWindow::ShowInfo(caption);
      if (caption.starts_with("Checking")) ++checking;
    }
  } window;
  window.switches = switches;
  Converter converter(window, cfg);
  converter.TextBuffer = Text::FromLines(text);
  stage(converter);
  if (statusWrites) *statusWrites = window.checking;
  Outcome outcome{ToLines(converter.TextBuffer), converter.Counters, {}, window.info,
                  window.progressMin, window.progressMax, window.progressPosition};
  for (const TFileRec& file : converter.Attachments) outcome.attachments.emplace_back(file.Name, file.Stream);
  return outcome;
}

// Russian lines with, here and there, the beginnings of what the stages
// decode: escapes, references, entities, tags, soft breaks, encoded lines.
Lines MixedText(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      "=", "=4F", "=e0", "= ", "%", "%20", "%E0", "\\'e0", "\\'", "&", "&#1040;", "&#65;", "&#;", "&nbsp;",
      "&amp", "<", ">", "<b>", "<br>", "&lt;", "begin 644 a.txt", "filename=\"a.txt\"", "100%", "a=b"};
  Lines text = testing::RussianText(random, 12, 6);
  const int marks = static_cast<int>(random() % 4);
  for (int m = 0; m < marks; ++m) {
    std::string& line = text[random() % text.size()];
    line.insert(random() % (line.size() + 1), pieces[random() % pieces.size()]);
  }
  // Whole lines that the stages take, and near misses.
  static const std::vector<std::string> lines = {
      "=CF=F0=E8=E2=E5=F2 =EC=E8=F0", "%CF%F0%E8%E2%E5%F2 %EC%E8%F0", "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2",
      "&#1055;&#1088;&#1080;", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=", "QUJDREVGR0hJSktMTU5PUFFS",
      testing::UULine("twenty-two bytes here!"), testing::XXLine("twenty-two bytes here!"),
      "--------------------------------", "just some plain English words here", "\xC0QUJDREVGR0hJSktMTU5PUFFS"};
  switch (random() % 3) {
    case 0: text.insert(text.begin() + 3, lines[random() % lines.size()]); break;
    case 1:  // soft breaks, one of them joining the halves of an escape
      text[2] += "=";
      text.insert(text.begin() + 4, {"abc =E=", "0 def"});
      break;
    default: break;
  }
  return text;
}

TEST(Stages, CheckedStagesEndAsTheStagesThemselves) {
  std::mt19937 random(17);
  const std::vector<DecoderSwitches> switchSets = {
      DecoderSwitches{}, DecoderSwitches{true, false, false, true, true, false},
      DecoderSwitches{false, true, false, true, true, false}, DecoderSwitches{false, false, true, true, true, false}};
  for (int round = 0; round < 120; ++round) {
    const Lines text = MixedText(random);
    const DecoderSwitches& switches = switchSets[round % switchSets.size()];
    EXPECT_EQ(RunStage(QuotedPrintableStage, text, switches), RunStage(ConvQuotedPrintable, text, switches)) << round;
    EXPECT_EQ(RunStage(BinaryStage, text, switches), RunStage(ConvBinary, text, switches)) << round;
    EXPECT_EQ(RunStage(HtmlStage, text, switches), RunStage(ConvHTML, text, switches)) << round;
  }
}

TEST(Stages, EncodedLinesAreStillDecoded) {
  std::mt19937 random(2);
  Lines text = testing::RussianText(random, 3, 5);
  const Lines block = testing::Base64Lines(std::string(200, 'x'));
  text.insert(text.begin() + 1, block.begin(), block.end());
  const DecoderSwitches switches;
  const Outcome checked = RunStage(BinaryStage, text, switches);
  EXPECT_EQ(checked, RunStage(ConvBinary, text, switches));
  EXPECT_EQ(checked.counters.Base64Count, 1);
}

// A plain Russian text is not read by the stages at all: none of them shows
// its status line. Anything they could decode makes them run.
TEST(Stages, PlainTextSkipsTheStages) {
  std::mt19937 random(8);
  const Lines plain = testing::Recode(testing::RussianText(random, 50, 8), {2});
  const DecoderSwitches switches;
  for (const Stage& stage : {Stage(QuotedPrintableStage), Stage(BinaryStage), Stage(HtmlStage)}) {
    int checking = -1;
    RunStage(stage, plain, switches, &checking);
    EXPECT_EQ(checking, 0);
  }
  int checking = -1;
  Lines escaped = plain;
  escaped[7] += "=E0=E1";
  RunStage(QuotedPrintableStage, escaped, switches, &checking);
  EXPECT_EQ(checking, 1);
  Lines tagged = plain;
  tagged[7] += "<i>";
  RunStage(HtmlStage, tagged, switches, &checking);
  EXPECT_EQ(checking, 1);
  // Comparisons and a "<" at a line's end are no markup.
  Lines compared = plain;
  compared[7] += " a < b > c <<\xCA\xCF>> <= 5";
  compared[8] += " <";
  RunStage(HtmlStage, compared, switches, &checking);
  EXPECT_EQ(checking, 0);
  EXPECT_EQ(RunStage(ConvHTML, compared, switches).text, compared);
}

// The stages' own quick checks, as a run asks them before each stage.
bool QuickChecksLeaveTextAlone(const Text& text, const DecoderSwitches& switches) {
  if (switches.Translit) return false;
  const EscapeSwitches escapes{switches.QP, switches.Rtf, switches.Html};
  if ((switches.QP || switches.Rtf || switches.Html) && !EscapesInert(text, escapes, EscapeCounters{})) return false;
  if (switches.Html && !HtmlInert(text)) return false;
  if (switches.Base64 && !BinaryInert(text, TFileList{})) return false;
  return true;
}

// The quick checks over a text with breaks of every kind: when they say
// that the stages leave the text alone, each of them (the real stage, not its quick
// check) leaves the lines, the counters and the attachments as they are.
// Whole lines are joined with every kind of break.
TEST(Stages, WholeTextCheckHoldsForEveryLine) {
  std::mt19937 random(23);
  const std::vector<DecoderSwitches> switchSets = {
      DecoderSwitches{}, DecoderSwitches{true, false, false, true, true, false},
      DecoderSwitches{false, true, false, true, true, false}, DecoderSwitches{false, false, true, true, true, false},
      DecoderSwitches{false, false, false, false, true, false}};
  const std::string breaks[] = {"\n", "\r\n", "\r", "\n\r"};
  int alone = 0, acting = 0;
  for (int round = 0; round < 400; ++round) {
    Lines lines = round % 2 ? MixedText(random) : testing::Recode(testing::RussianText(random, 12, 6), {2});
    if (round % 5 == 0) lines.back() = lines[3];  // what the text holds also on its last line
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      if (i + 1 < lines.size() || round % 3) text += breaks[random() % 4];
    }
    const DecoderSwitches& switches = switchSets[round % switchSets.size()];
    if (!QuickChecksLeaveTextAlone(Text::FromBytes(text), switches)) {
      ++acting;
      continue;
    }
    ++alone;
    const Lines split = SplitLines(text);
    // The stages a run calls with these switches.
    std::vector<Stage> stages;
    if (switches.QP || switches.Rtf || switches.Html) stages.push_back(ConvQuotedPrintable);
    if (switches.Base64) stages.push_back(ConvBinary);
    if (switches.Html) stages.push_back(ConvHTML);
    for (const Stage& stage : stages) {
      const Outcome outcome = RunStage(stage, split, switches);
      EXPECT_EQ(outcome.text, split) << round;
      EXPECT_EQ(outcome.counters.QPCount + outcome.counters.SevenBitCount + outcome.counters.RtfCount +
                    outcome.counters.Base64Count + outcome.counters.UUECount + outcome.counters.XXECount +
                    outcome.counters.HtmlCount,
                0)
          << round;
      EXPECT_TRUE(outcome.attachments.empty()) << round;
    }
  }
  // Both answers come up, and plain Russian text is left alone.
  EXPECT_GT(alone, 100);
  EXPECT_GT(acting, 50);
  DecoderSwitches translit;
  translit.Translit = true;
  std::mt19937 plainRandom(4);
  const std::string plain = JoinLines(testing::Recode(testing::RussianText(plainRandom, 20, 8), {2}), "\n");
  EXPECT_TRUE(QuickChecksLeaveTextAlone(Text::FromBytes(plain), DecoderSwitches{}));
  EXPECT_FALSE(QuickChecksLeaveTextAlone(Text::FromBytes(plain), translit));
}

}  // namespace
}  // namespace kamvo
