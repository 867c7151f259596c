// A text held in memory (ConvertText) and the same bytes in a file
// (ConvertFile) go through one run: the same bytes come out, with the same
// pane and attachments, and the converter's own choices come back after.
#include <gtest/gtest.h>

#include <new>
#include <random>
#include <utility>
#include <vector>

#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "driver/text_conversion.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/mixed_breaks.h"
#include "support/russian_text.h"
#include "support/stage_tables.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::Recode;
using testing::RussianText;

struct Outcome {
  std::string bytes;
  std::string pane;
  std::vector<std::pair<std::string, std::string>> attachments;
  std::size_t spelt = 0;                    // characters the target lacks, spelt out in what was written
  bool failed = false;                      // nothing was written: the target is strict and lacks some
  bool keepText = false, keepBack = false;  // the converter's choices after the run
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << "bytes \"" << o.bytes << "\", pane \"" << o.pane << "\", " << o.attachments.size() << " attachment(s), spelt "
       << o.spelt << (o.failed ? ", failed" : "") << ", keep text " << o.keepText << ", keep back " << o.keepBack;
}

// A converter as a front end leaves it: a text not recognised is shown as
// the best guess, and the run keeps a back copy.
struct FrontEnd {
  explicit FrontEnd(bool display, const RunOptions& options, StageTable stages = StandardStages())
      : converter(window, cfg, std::move(stages)) {
    window.hasDisplay = display;
    converter.Options = options;
  }
  Outcome Finish(std::string bytes, std::size_t spelt, bool failed) {
    Outcome outcome{std::move(bytes),      converter.Info(), {}, spelt, failed, converter.KeepTextWhenNotRecognised,
                    converter.KeepBackCopy};
    for (const TFileRec& file : converter.Attachments) outcome.attachments.emplace_back(file.Name, file.Stream);
    return outcome;
  }
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

Outcome InMemory(const std::string& content, bool display, const RunOptions& options) {
  FrontEnd run(display, options);
  const TextConversion result = ConvertText(run.converter, content);
  return run.Finish(result.Text, result.StrictFailed ? 0 : result.Transliterated, result.StrictFailed);
}

Outcome InAFile(const std::string& content, bool display, const RunOptions& options) {
  FrontEnd run(display, options);
  testing::TempDir dir;
  const std::string in = dir / "in.txt", out = dir / "out.txt";
  testing::WriteFile(in, content);
  const FileReport report = ConvertFile(run.converter, in, out);
  return run.Finish(report.Written ? testing::ReadFile(out) : std::string(), report.Transliterated, report.Failed);
}

// The texts both routes are given: Russian text in a wrong code page with
// every kind of break, Russian text saved as UTF-8 with characters no
// single-byte code page holds, text with no Russian in it, and a mail in
// quoted-printable with a Base64 attachment.
std::vector<std::string> GeneratedTexts() {
  std::mt19937 random(31);
  std::vector<std::string> texts;
  const Lines koi = Recode(RussianText(random, 12, 7), {2});
  texts.emplace_back(testing::MixedBreaks(koi).Bytes());
  Lines utf8;
  for (const std::string& line : RussianText(random, 10, 6)) utf8.push_back(Utf8FromWin(line));
  utf8[3] += " \xF0\x9F\x98\x80 \xCE\xB1\xCE\xB2\xCE\xB3";  // an emoji and Greek letters
  texts.emplace_back(testing::MixedBreaks(utf8).Bytes());
  texts.push_back("just some English words\r\nand \xE2\x80\x9Cquoted\xE2\x80\x9D ones\nwith 123 numbers\r");
  std::string mail =
      "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n--b1\n"
      "Content-Type: text/plain; charset=koi8-r\nContent-Transfer-Encoding: quoted-printable\n\n";
  for (const std::string& line : Recode(RussianText(random, 8, 7), {2})) {
    std::string encoded;
    for (const char c : line) {
      static const char kHex[] = "0123456789ABCDEF";
      const auto b = static_cast<unsigned char>(c);
      encoded += b < 0x80 && c != '=' ? std::string(1, c) : std::string{'=', kHex[b >> 4], kHex[b & 15]};
    }
    // A soft break in the middle of every line.
    const std::size_t half = encoded.size() / 2 / 3 * 3;
    mail += encoded.substr(0, half) + "=\r\n" + encoded.substr(half) + "\r\n";
  }
  mail +=
      "\n--b1\nContent-Type: application/octet-stream; name=\"data.bin\"\n"
      "Content-Transfer-Encoding: base64\n\n";
  std::string attachment;
  for (int i = 0; i < 200; ++i) attachment += static_cast<char>(i * 7);
  for (const std::string& line : testing::Base64Lines(attachment)) mail += line + "\n";
  mail += "\n--b1--\n";
  texts.push_back(mail);
  return texts;
}

std::vector<RunOptions> OptionSets() {
  std::vector<RunOptions> sets;
  RunOptions automatic;
  automatic.TranslitTable = DefaultTranslitTable();
  automatic.MaxChainLevels = 2;  // enough for these texts, and quick
  sets.push_back(automatic);
  RunOptions utf8 = automatic;  // UTF-8 target
  utf8.Utf8Target = true;
  sets.push_back(utf8);
  RunOptions koi = automatic;  // a single-byte target spells what it lacks
  koi.Target = kKoi8;
  sets.push_back(koi);
  RunOptions strict = automatic;
  strict.Target = kDos;
  strict.StrictTarget = true;
  sets.push_back(strict);
  RunOptions chosen = automatic;  // a chosen source, decoders off
  chosen.Source = kKoi8;
  chosen.Switches = DecoderSwitches{false, false, false, false, false, false};
  sets.push_back(chosen);
  return sets;
}

TEST(OneRun, TextInMemoryAndInAFileComeOutAlike) {
  const std::vector<std::string> texts = GeneratedTexts();
  const std::vector<RunOptions> sets = OptionSets();
  int spelt = 0, attached = 0;
  for (std::size_t t = 0; t < texts.size(); ++t) {
    for (std::size_t o = 0; o < sets.size(); ++o) {
      for (const bool display : {false, true}) {
        const Outcome memory = InMemory(texts[t], display, sets[o]);
        EXPECT_EQ(memory, InAFile(texts[t], display, sets[o]))
            << "text " << t << ", options " << o << ", display " << display;
        EXPECT_FALSE(memory.keepText);
        EXPECT_TRUE(memory.keepBack);
        spelt += memory.spelt > 0 || memory.failed;
        attached += !memory.attachments.empty();
      }
    }
  }
  // The texts reach what they are meant to reach.
  EXPECT_GT(spelt, 0);
  EXPECT_GT(attached, 0);
}

// A run that ends by an exception gives the converter its choices back
// too: the file route reports a lack of memory, the text route passes it on.
TEST(OneRun, ChoicesComeBackWhenARunThrows) {
  RunOptions options = OptionSets().front();
  const StageTable throwing = testing::StagesDoing({{"escapes", [](StageContext&) { throw std::bad_alloc(); }}});
  FrontEnd memory(false, options, throwing);
  EXPECT_THROW(ConvertText(memory.converter, "text"), std::bad_alloc);
  EXPECT_FALSE(memory.converter.KeepTextWhenNotRecognised);
  EXPECT_TRUE(memory.converter.KeepBackCopy);

  FrontEnd file(false, options, throwing);
  testing::TempDir dir;
  testing::WriteFile(dir / "in.txt", "text");
  const FileReport report = ConvertFile(file.converter, dir / "in.txt", dir / "in.txt");
  EXPECT_TRUE(report.Failed);
  EXPECT_EQ(testing::ReadFile(dir / "in.txt"), "text");
  EXPECT_FALSE(file.converter.KeepTextWhenNotRecognised);
  EXPECT_TRUE(file.converter.KeepBackCopy);
}

}  // namespace
}  // namespace kamvo
