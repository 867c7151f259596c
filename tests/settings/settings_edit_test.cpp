#include "settings/settings_edit.h"

#include <gtest/gtest.h>

#include "codepages/unicode.h"
#include "settings/settings.h"

namespace kamvo {
namespace {

TEST(SettingsEditTest, DetectionLimitAsTyped) {
  struct Case {
    const char* text;
    bool number;
    int32_t value;
    bool allowed;
  };
  const Case cases[] = {
      {"80", true, 80, true},
      {"60", true, 60, true},
      {"100", true, 100, true},
      {"59", true, 59, false},
      {"101", true, 101, false},
      {" 75", true, 75, true},
      {"+70", true, 70, true},
      {"-70", true, -70, false},
      {"$50", true, 80, true},
      {"$6e", true, 110, false},
      {"$", false, 0, false},
      {"", false, 0, false},
      {"abc", false, 0, false},
      {"7 5", false, 0, false},
      {"75 ", false, 0, false},
      {"+-7", false, 0, false},
      {"0x5", false, 0, false},
      {"-", false, 0, false},
      {"2147483647", true, 2147483647, false},
      {"-2147483648", true, INT32_MIN, false},
      {"2147483648", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t value = 0;
    EXPECT_EQ(ParseWholeNumber(c.text, value), c.number);
    if (c.number) {
      EXPECT_EQ(value, c.value);
    }
    EXPECT_EQ(DetectionLimitAllowed(c.text), c.allowed);
    EXPECT_EQ(DetectionLimitFromText(c.text), c.number ? c.value : 80);
  }
}

TEST(SettingsEditTest, TranslitTableShownAndStoredAsThirtyThreeCapitalLines) {
  // The default table comes back in capitals with CR LF after every line.
  EXPECT_EQ(JoinTranslitTable(TranslitSpellings(DefaultTranslitTable())), DefaultTranslitTable() + "\r\n");
  // Small letters, mixed breaks, too few lines.
  const auto shortTable = TranslitSpellings("a\nb\r\nv\rg");
  std::string expected = "A\r\nB\r\nV\r\nG\r\n";
  for (int i = 4; i < 33; ++i) expected += "\r\n";
  EXPECT_EQ(JoinTranslitTable(shortTable), expected);
  // Lines after the 33rd are dropped.
  std::string longTable;
  for (int i = 0; i < 40; ++i) longTable += "x" + std::to_string(i) + "\n";
  const std::string stored = JoinTranslitTable(TranslitSpellings(longTable));
  EXPECT_EQ(SplitLines(stored).size(), 33u);
  EXPECT_TRUE(stored.ends_with("X32\r\n")) << stored;
}

TEST(SettingsEditTest, OnlyLatinCapitalsAndEditingKeysAreTyped) {
  for (int b = 0; b < 256; ++b) {
    const Byte typed = static_cast<Byte>(b);
    Byte expected = 0;
    if (b >= 'a' && b <= 'z') expected = static_cast<Byte>(b - 32);
    if ((b >= 'A' && b <= 'Z') || b == 8 || b == 9 || b == 27) expected = typed;
    EXPECT_EQ(FilterTranslitKey(typed), expected) << b;
  }
}

}  // namespace
}  // namespace kamvo
