// Hex values continued over many lines, as an export writes long binary
// values: the pieces join into the value whatever blanks stand around the
// items and the backslashes, and the next value is read after them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/settings_store.h"

namespace kamvo {
namespace {

const std::string kKey = RegKeyPath("Settings");

std::string Blanks(std::mt19937& random) {
  static const char* const kChoices[] = {"", "", " ", "\t", "  ", " \t "};
  return kChoices[random() % 6];
}

// The value written as hex items, `perLine` to a line, every line but the
// last ending in a backslash, with blanks sprinkled around.
std::string ContinuedHex(const std::string& bytes, std::size_t perLine, std::mt19937& random) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "\"Blob\"=hex:" + Blanks(random);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    if (i + 1 == bytes.size()) break;
    out += Blanks(random) + "," + Blanks(random);
    if ((i + 1) % perLine == 0) out += "\\" + Blanks(random) + "\r\n" + Blanks(random);
  }
  return out + Blanks(random) + "\r\n";
}

TEST(SettingsStoreContinuation, LongValuesJoinOverManyLines) {
  std::mt19937 random(17);
  for (std::size_t size : {1u, 2u, 25u, 4000u, 60000u}) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(random());
    for (std::size_t perLine : {1u, 3u, 25u}) {
      const std::string text =
          "REGEDIT4\r\n\r\n[" + kKey + "]\r\n" + ContinuedHex(bytes, perLine, random) + "\"After\"=dword:00000007\r\n";
      std::size_t bad = 99;
      const TRegData data = TRegData::Parse(text, &bad);
      EXPECT_EQ(bad, 0u) << size << " bytes, " << perLine << " a line";
      const TRegValue* blob = data.Find(kKey, "Blob");
      ASSERT_NE(blob, nullptr) << size << " bytes, " << perLine << " a line";
      EXPECT_EQ(*blob, TRegValue::Binary(bytes));
      const TRegValue* after = data.Find(kKey, "After");
      ASSERT_NE(after, nullptr);
      EXPECT_EQ(*after, TRegValue::Dword(7));
    }
  }
}

TEST(SettingsStoreContinuation, BackslashLinesAtTheEdges) {
  const std::string head = "[" + kKey + "]\n";
  struct Case {
    const char* lines;
    const char* value;  // nullptr: the value is not taken
  };
  const Case cases[] = {
      {"\"Blob\"=hex:\\\n  01,02\n", "\x01\x02"},          // nothing before the first backslash
      {"\"Blob\"=hex:01,\\\n\\\n02\n", "\x01\x02"},        // a line holding only a backslash
      {"\"Blob\"=hex: 01 ,\t\\ \t\n\t02 \n", "\x01\x02"},  // blanks on both sides
      {"\"Blob\"=hex:01,\\\n", nullptr},                   // the next line never comes
      {"\"Blob\"=hex:01,\\\n02,\\", nullptr},              // the last line may be cut short
      {"\"Blob\"=hex:01,\\\n\n02\n", nullptr},             // an empty line ends the list early
  };
  for (const Case& c : cases) {
    const TRegData data = TRegData::Parse(head + c.lines);
    const TRegValue* blob = data.Find(kKey, "Blob");
    if (c.value == nullptr) {
      EXPECT_EQ(blob, nullptr) << c.lines;
    } else {
      ASSERT_NE(blob, nullptr) << c.lines;
      EXPECT_EQ(*blob, TRegValue::Binary(c.value)) << c.lines;
    }
  }
}

}  // namespace
}  // namespace kamvo
