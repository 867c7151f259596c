#include "driver/run_report.h"

#include <gtest/gtest.h>

#include "codepages/unicode.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

using testing::PairOf;

// Each way back is told as the damage it undoes, oldest step first, and
// ends in the code page written.
TEST(WayReport, TellsTheDamageInTheOrderItHappened) {
  struct Case {
    OuterLayer layer;
    Chain chain;
    bool utf8;
    int target;
    const char* english;
  };
  const Case cases[] = {
      {{}, {}, false, kUtf8Code, "Windows-1251 -> UTF-8"},
      {{}, {}, true, kUtf8Code, "already UTF-8"},
      {{}, {}, true, kKoi8, "UTF-8 -> KOI8-R"},
      {{}, {PairOf(kKoi8, kWindows)}, false, kUtf8Code, "KOI8-R -> UTF-8"},
      {{}, {PairOf(kKoi8, kWindows)}, false, kKoi8, "already KOI8-R"},
      {{}, {kMacToWindowsPair}, false, kWindows, "MacCyrillic -> Windows-1251"},
      {{{kKoi8, 0}}, {}, false, kUtf8Code, "Windows-1251 read as KOI8-R, saved as UTF-8 -> UTF-8"},
      {{{kWindows1252, 0}}, {}, true, kUtf8Code, "UTF-8 read as Windows-1252, saved as UTF-8 -> UTF-8"},
      {{}, {PairOf(kWindows, kKoi8)}, true, kWindows, "UTF-8 read as KOI8-R, saved as Windows-1251 -> Windows-1251"},
      // Windows-1251 text read as KOI8-R and saved as Windows-1251, then
      // taken for Dos and converted into KOI8-R (the last damage is undone
      // first).
      {{},
       {PairOf(kKoi8, kDos), PairOf(kWindows, kKoi8)},
       false,
       kUtf8Code,
       "Windows-1251 read as KOI8-R, saved as Windows-1251, then read as CP866, saved as KOI8-R -> UTF-8"},
      // A correct conversion after the damage is named as one.
      {{},
       {PairOf(kKoi8, kWindows), PairOf(kWindows, kKoi8)},
       false,
       kIso,
       "Windows-1251 read as KOI8-R, saved as Windows-1251, converted to KOI8-R -> ISO-8859-5"},
      {{{kWindows1252, kKoi8}},
       {},
       false,
       kUtf8Code,
       "Windows-1251 read as KOI8-R, saved as UTF-8, then read as Windows-1252, saved as UTF-8 -> UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.english);
    EXPECT_EQ(WayReport(c.layer, c.chain, c.utf8, c.target, true), c.english);
  }
  EXPECT_EQ(WayReport({{kKoi8, 0}}, {}, false, kUtf8Code, false),
            WinFromUtf8("Windows-1251 прочитан как KOI8-R, сохранён в UTF-8 -> UTF-8"));
  EXPECT_EQ(WayReport({}, {}, true, kUtf8Code, false), WinFromUtf8("уже UTF-8"));
}

TEST(DetectionReport, NamesALanguageOtherThanRussian) {
  DetectionState state;
  state.ReadsAsItStands = true;
  state.BestPercent = 97;
  state.DetectedUtf8 = true;
  EXPECT_EQ(DetectionReport(state, kUtf8Code, true),
            (std::vector<std::string>{"Russian text detected 97% without conversion", "    already UTF-8"}));
  state.Language = TextLanguage::Ukrainian;
  EXPECT_EQ(DetectionReport(state, kWindows, true),
            (std::vector<std::string>{"Ukrainian text detected 97% when converted:", "    UTF-8 -> Windows-1251"}));
  EXPECT_EQ(DetectionReport(state, kWindows, false)[0],
            WinFromUtf8("Украинский текст распознан на 97% при перекодировке:"));
}

}  // namespace
}  // namespace kamvo
