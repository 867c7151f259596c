#include "driver/file_list.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kamvo
