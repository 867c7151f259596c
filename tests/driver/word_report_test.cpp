// The word report after a real conversion run: the sample of the last
// detection as it reads after the chosen conversion.
#include "recognition/word_report.h"

#include <gtest/gtest.h>

#include "codepages/unicode.h"
#include "driver/converter.h"
#include "settings/settings.h"
#include "support/headless_window.h"

namespace kamvo {
namespace {

std::string W(const char* utf8) { return WinFromUtf8(utf8); }

// Seven Russian words (one of them twice) and one that no reading makes
// Russian: detection succeeds at 8 of 9.
const std::string kText = W("Привет мир, привет друг! Хорошая погода сегодня, ЪЬЫЪ дорогой.");
const std::string kRecognised = W("Привет мир привет друг Хорошая погода сегодня дорогой ");

class WordReportTest : public ::testing::Test {
 protected:
  WordReportTest() : converter(window, cfg) {}

  WordReport Run(const std::string& bytes, int to) {
    converter.Options.Source = 0;
    converter.Options.Target = to;
    converter.TextBuffer = {bytes};
    converter.CopyTextToScreen();
    converter.Convert();
    EXPECT_TRUE(converter.Detection.DetectionDone);
    return MakeWordReport(converter.Detection.SampleWords, converter.Table, converter.Detection.DetectedUtf8);
  }

  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(WordReportTest, WordsReadAsConvertedInSampleOrderDuplicatesKept) {
  const WordReport report = Run(ConvertByPair(kText, 2), kWindows);  // KOI-8 bytes
  EXPECT_EQ(report.Recognised, kRecognised);
  EXPECT_EQ(report.Unknown, W("ЪЬЫЪ "));
}

TEST_F(WordReportTest, UtfEightWordsAreDecodedAfterTheTable) {
  converter.Options.Switches.Utf8 = true;
  const WordReport report = Run(Utf8FromWin(kText), kWindows);
  ASSERT_TRUE(converter.Detection.DetectedUtf8);
  EXPECT_EQ(report.Recognised, kRecognised);
  EXPECT_EQ(report.Unknown, W("ЪЬЫЪ "));
}

TEST_F(WordReportTest, ATargetOtherThanWindowsIsJudgedInThatCodePage) {
  // The words are converted into Dos, which the word test does not read.
  const WordReport report = Run(kText, kDos);
  EXPECT_EQ(report.Recognised, "");
  EXPECT_EQ(report.Unknown, ConvertByTable(W("Привет мир привет друг Хорошая погода сегодня ЪЬЫЪ дорогой "),
                                           BuildCodeTable(kWindows, kDos)));
}

TEST_F(WordReportTest, NoSampleGivesAnEmptyReport) {
  EXPECT_TRUE(Run("only latin words here", kWindows).Empty());
  EXPECT_TRUE(MakeWordReport(Sample{}, IdentityCodeTable(), false).Empty());
}

}  // namespace
}  // namespace kamvo
