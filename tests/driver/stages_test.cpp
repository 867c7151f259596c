#include "driver/stages.h"

#include <gtest/gtest.h>

#include <random>

#include "decoders/binary.h"
#include "decoders/binary_encoders.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "decoders/translit.h"
#include "driver/converter.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

std::vector<int> CountsOf(const DecoderCounters& c) {
  return {c.QPCount,  c.SevenBitCount, c.RtfCount,      c.Base64Count, c.UUECount,
          c.XXECount, c.HtmlCount,     c.TranslitCount, c.Utf8Count};
}

// What a stage leaves behind.
struct Outcome {
  Lines text;
  DecoderCounters counters;
  std::vector<std::pair<std::string, std::string>> attachments;
  std::string info;
  int progressMin, progressMax, progressPosition;

  bool operator==(const Outcome& o) const {
    return text == o.text && CountsOf(counters) == CountsOf(o.counters) && attachments == o.attachments &&
           info == o.info && progressMin == o.progressMin && progressMax == o.progressMax &&
           progressPosition == o.progressPosition;
  }
};

// Runs one stage as a run does (checked: skipped when its quick check says
// it is inert) or the stage itself, without its check.
Outcome RunStage(const Stage& stage, const Lines& text, const DecoderSwitches& switches, bool checked,
                 int* statusWrites = nullptr) {
  TCfg cfg;
  struct Recorder : HeadlessWindow {
    int checking = 0;
    void ShowInfo(const std::string& caption) override {
      HeadlessWindow::ShowInfo(caption);
      if (caption.starts_with("Checking")) ++checking;
    }
  } window;
  Stage run = stage;
  run.Enabled = {};
  if (!checked) run.Inert = {};
  Converter converter(window, cfg, StageTable{run});
  converter.Options.Switches = switches;
  converter.TextBuffer = Text::FromLines(text);
  converter.RunStages(converter.Options);
  if (statusWrites) *statusWrites = window.checking;
  Outcome outcome{
      ToLines(converter.TextBuffer), converter.Counters, {}, window.info, window.progressMin, window.progressMax,
      window.progressPosition};
  for (const TFileRec& file : converter.Attachments) outcome.attachments.emplace_back(file.Name, file.Stream);
  return outcome;
}

// Russian lines with, here and there, the beginnings of what the stages
// decode: escapes, references, entities, tags, soft breaks, encoded lines.
Lines MixedText(std::mt19937& random) {
  static const std::vector<std::string> pieces = {"=",
                                                  "=4F",
                                                  "=e0",
                                                  "= ",
                                                  "%",
                                                  "%20",
                                                  "%E0",
                                                  "\\'e0",
                                                  "\\'",
                                                  "&",
                                                  "&#1040;",
                                                  "&#65;",
                                                  "&#;",
                                                  "&nbsp;",
                                                  "&amp",
                                                  "<",
                                                  ">",
                                                  "<b>",
                                                  "<br>",
                                                  "&lt;",
                                                  "begin 644 a.txt",
                                                  "filename=\"a.txt\"",
                                                  "100%",
                                                  "a=b"};
  Lines text = testing::RussianText(random, 12, 6);
  const int marks = static_cast<int>(random() % 4);
  for (int m = 0; m < marks; ++m) {
    std::string& line = text[random() % text.size()];
    line.insert(random() % (line.size() + 1), pieces[random() % pieces.size()]);
  }
  // Whole lines that the stages take, and near misses.
  static const std::vector<std::string> lines = {"=CF=F0=E8=E2=E5=F2 =EC=E8=F0",
                                                 "%CF%F0%E8%E2%E5%F2 %EC%E8%F0",
                                                 "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2",
                                                 "&#1055;&#1088;&#1080;",
                                                 "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=",
                                                 "QUJDREVGR0hJSktMTU5PUFFS",
                                                 testing::UULine("twenty-two bytes here!"),
                                                 testing::XXLine("twenty-two bytes here!"),
                                                 "--------------------------------",
                                                 "just some plain English words here",
                                                 "\xC0QUJDREVGR0hJSktMTU5PUFFS"};
  switch (random() % 3) {
    case 0:
      text.insert(text.begin() + 3, lines[random() % lines.size()]);
      break;
    case 1:  // soft breaks, one of them joining the halves of an escape
      text[2] += "=";
      text.insert(text.begin() + 4, {"abc =E=", "0 def"});
      break;
    default:
      break;
  }
  return text;
}

// The switch sets the tests run the stages with.
const std::vector<DecoderSwitches>& SwitchSets() {
  static const std::vector<DecoderSwitches> sets = {DecoderSwitches{},
                                                    DecoderSwitches{true, false, false, true, true, false},
                                                    DecoderSwitches{false, true, false, true, true, false},
                                                    DecoderSwitches{false, false, true, true, true, false},
                                                    DecoderSwitches{false, false, false, false, true, false},
                                                    DecoderSwitches{true, true, true, true, true, true}};
  return sets;
}

// Every stage of the table ends the same whether its quick check is asked
// or not: text, counters, attachments, pane and progress bar.
TEST(Stages, CheckedStagesEndAsTheStagesThemselves) {
  std::mt19937 random(17);
  for (int round = 0; round < 120; ++round) {
    const Lines text = MixedText(random);
    const DecoderSwitches& switches = SwitchSets()[round % SwitchSets().size()];
    for (const Stage& stage : StandardStages()) {
      if (!stage.Inert) continue;
      EXPECT_EQ(RunStage(stage, text, switches, true), RunStage(stage, text, switches, false))
          << stage.Name << " " << round;
    }
  }
}

TEST(Stages, EncodedLinesAreStillDecoded) {
  std::mt19937 random(2);
  Lines text = testing::RussianText(random, 3, 5);
  const Lines block = testing::Base64Lines(std::string(200, 'x'));
  text.insert(text.begin() + 1, block.begin(), block.end());
  const DecoderSwitches switches;
  const Outcome checked = RunStage(StandardStage("binary"), text, switches, true);
  EXPECT_EQ(checked, RunStage(StandardStage("binary"), text, switches, false));
  EXPECT_EQ(checked.counters.Base64Count, 1);
}

// A plain Russian text is not read by the stages at all: none of them shows
// its status line. Anything they could decode makes them run.
TEST(Stages, PlainTextSkipsTheStages) {
  std::mt19937 random(8);
  const Lines plain = testing::Recode(testing::RussianText(random, 50, 8), {2});
  const DecoderSwitches switches;
  for (const Stage& stage : StandardStages()) {
    if (!stage.Inert) continue;
    int checking = -1;
    RunStage(stage, plain, switches, true, &checking);
    EXPECT_EQ(checking, 0) << stage.Name;
  }
  int checking = -1;
  Lines escaped = plain;
  escaped[7] += "=E0=E1";
  RunStage(StandardStage("escapes"), escaped, switches, true, &checking);
  EXPECT_EQ(checking, 1);
  Lines tagged = plain;
  tagged[7] += "<i>";
  RunStage(StandardStage("html"), tagged, switches, true, &checking);
  EXPECT_EQ(checking, 1);
  // Comparisons and a "<" at a line's end are no markup.
  Lines compared = plain;
  compared[7] += " a < b > c <<\xCA\xCF>> <= 5";
  compared[8] += " <";
  RunStage(StandardStage("html"), compared, switches, true, &checking);
  EXPECT_EQ(checking, 0);
  EXPECT_EQ(RunStage(StandardStage("html"), compared, switches, false).text, compared);
}

// The texts the table is walked over: Russian text, plain or with the
// beginnings of what the stages decode, its lines joined with breaks of
// every kind, the last one with or without a break.
std::vector<std::string> GeneratedTexts() {
  std::mt19937 random(23);
  const std::string breaks[] = {"\n", "\r\n", "\r", "\n\r"};
  std::vector<std::string> texts;
  for (int round = 0; round < 400; ++round) {
    Lines lines = round % 2 ? MixedText(random) : testing::Recode(testing::RussianText(random, 12, 6), {2});
    if (round % 5 == 0) lines.back() = lines[3];  // what the text holds also on its last line
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      if (i + 1 < lines.size() || round % 3) text += breaks[random() % 4];
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

// Walks the stage table: wherever a stage's quick check says it is inert,
// the stage itself (not its check) leaves the text, the counters and the
// attachments as they are.
TEST(Stages, InertStagesLeaveTextCountersAndAttachments) {
  const std::vector<std::string> texts = GeneratedTexts();
  for (const Stage& stage : StandardStages()) {
    int inert = 0, acting = 0;
    for (std::size_t round = 0; round < texts.size(); ++round) {
      RunOptions options;
      options.Switches = SwitchSets()[round % SwitchSets().size()];
      options.TranslitTable = DefaultTranslitTable();
      if (!stage.Enabled(options)) continue;
      Text text = Text::FromBytes(texts[round]);
      DecoderCounters counters;
      TFileList attachments;
      std::atomic<bool> stop{false};
      StageContext context{text, NoProgress(), stop, counters, attachments, options};
      if (!stage.Inert || !stage.Inert(context)) {
        ++acting;
        continue;
      }
      ++inert;
      const Lines before = ToLines(text);
      stage.Run(context);
      EXPECT_EQ(ToLines(text), before) << stage.Name << " " << round;
      EXPECT_EQ(CountsOf(counters), CountsOf(DecoderCounters{})) << stage.Name << " " << round;
      EXPECT_TRUE(attachments.Empty()) << stage.Name << " " << round;
    }
    // Both answers come up for every stage with a check: plain Russian text
    // is left alone, and the texts hold what each stage acts on.
    if (stage.Inert) {
      EXPECT_GT(inert, 50) << stage.Name;
      EXPECT_GT(acting, 20) << stage.Name;
    }
  }
}

}  // namespace
}  // namespace kamvo
