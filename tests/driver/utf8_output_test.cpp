#include "driver/utf8_output.h"

#include <gtest/gtest.h>

#include "codepages/unicode.h"

namespace kamvo {
namespace {

TEST(Utf8Output, WellFormedUtf8) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain", true},
      {"\xD0\x9F\xD1\x80", true},   // Пр
      {"\xF0\x9F\x98\x80", true},   // an emoji: four bytes
      {"\xE2\x80\xB0", true},       // per mille
      {"\xCF\xF0\xE8", false},      // Windows-1251
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
      {"\xD0", false},              // cut short
      {"\xF0\x9F\x98", false},
  };
  for (const auto& [text, wellFormed] : cases) EXPECT_EQ(IsWellFormedUtf8(text), wellFormed) << text;
}

TEST(Utf8Output, KeepsLinesTheRunOnlyDecoded) {
  const std::string russian = WinFromUtf8("Привет");
  const std::string emoji = Utf8FromWin(russian) + " \xF0\x9F\x98\x80";
  std::string decoded;
  Utf8ToWin(emoji, decoded);
  // Input lines, the run's lines, and what is written.
  const Text input = {emoji, "ascii", "\xF0\xD2\xC9\xD7\xC5\xD4", emoji};
  Text result = {decoded, "ascii", russian, russian};
  EXPECT_FALSE(ToUtf8Lines(input, result));
  EXPECT_EQ(result, (Text{emoji, "ascii", Utf8FromWin(russian), Utf8FromWin(russian)}));
  // A stage that changed the number of lines: every line is converted.
  Text joined = {russian};
  EXPECT_FALSE(ToUtf8Lines(input, joined));
  EXPECT_EQ(joined, Text{Utf8FromWin(russian)});
  Text same = {decoded, "ascii"};
  EXPECT_TRUE(ToUtf8Lines({emoji, "ascii"}, same));
}

}  // namespace
}  // namespace kamvo
