#include "decoders/file_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codepages/byte_scan.h"

namespace kamvo {
namespace {

TEST(FileList, AddDataStartsAnUnnamedEntryAndAppendsToTheLast) {
  TFileList list;
  list.AddData("abc");
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Name, "");
  list.AddData("def");
  EXPECT_EQ(list[0].Stream, "abcdef");
  list.AddFile("b.bin");
  list.AddData(std::string("\x01\x02", 2));
  EXPECT_EQ(list[1].Stream, std::string("\x01\x02", 2));
  EXPECT_FALSE(list.IsBinary(0));
  EXPECT_TRUE(list.IsBinary(1));
  EXPECT_FALSE(list.IsBinary(2));
  EXPECT_FALSE(list.IsBinary(-1));
  list.Clear();
  EXPECT_TRUE(list.Empty());
}

TEST(FileList, ControlBytesAreAllBelowSpaceButTabLfCr) {
  EXPECT_FALSE(HasControlBytes(""));
  EXPECT_FALSE(HasControlBytes("a\tb\r\nc\x7F\x80\xFF"));
  for (int b = 0; b < 0x20; ++b) {
    const bool allowed = b == 0x09 || b == 0x0A || b == 0x0D;
    EXPECT_EQ(HasControlBytes(std::string("text") + static_cast<char>(b)), !allowed) << b;
  }
}

// The test reads large blocks at a time: a control byte is found at every
// position of texts of every length around the block sizes.
TEST(FileList, ControlBytesAreFoundAtEveryPosition) {
  for (std::size_t length = 1; length < 200; ++length) {
    const std::string text(length, '\xE0');
    EXPECT_FALSE(HasControlBytes(text + "\t\r\n")) << length;
    for (std::size_t at = 0; at < length; at += 1 + length / 40) {
      for (char control : {'\0', '\x1A', '\x1F', '\x08', '\x0B'}) {
        std::string bad = text;
        bad[at] = control;
        EXPECT_TRUE(HasControlBytes(bad)) << length << " " << at;
      }
    }
  }
}

// The one read over a file's bytes gives what separate searches give, for
// a CR, an LF or a control byte at every position around its block size.
TEST(FileList, ExaminingFileBytesAgreesWithSeparateSearches) {
  std::mt19937 random(11);
  const char special[] = {'\r', '\n', '\0', '\x1F', '\t', '\x7F', '\x80', 'a'};
  for (std::size_t length = 0; length < 300; ++length) {
    for (int round = 0; round < 6; ++round) {
      std::string text(length, '\xE0');
      const int count = static_cast<int>(random() % 3);
      for (int k = 0; k < count && length > 0; ++k) text[random() % length] = special[random() % sizeof special];
      const FileBytes seen = ExamineFileBytes(text);
      EXPECT_EQ(seen.Control, HasControlBytes(text)) << length;
      EXPECT_EQ(seen.Cr, text.find('\r') != std::string::npos) << length;
      EXPECT_EQ(seen.Lf, text.find('\n') != std::string::npos) << length;
    }
  }
}

}  // namespace
}  // namespace kamvo
