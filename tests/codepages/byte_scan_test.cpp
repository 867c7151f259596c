#include "codepages/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kamvo {
namespace {

using namespace std::string_view_literals;

// Every vector kernel gives what its portable twin gives, for texts of every
// length up to a few blocks of four vectors, starting at every alignment,
// dense with the bytes sought or holding only one or two of them.
TEST(ByteScan, EveryKernelAgreesWithItsPortableTwin) {
  std::mt19937 random(21);
  const std::string_view special = "\r\n\t\0\x1F\x7F\x80\xE0\xFF=%\\&<ab"sv;
  const std::string_view sets[] = {"\r", "=%\\&", "=%\\&<", "abcdefgh", "\r\n\x80 .,;:!?", "\0\x1F"sv};
  unsigned char table[256];
  for (auto& entry : table) entry = static_cast<unsigned char>(random());
  for (std::size_t offset = 0; offset < 17; ++offset) {
    for (std::size_t length = 0; length <= 140; ++length) {
      std::string buffer(offset + length, 'a');
      const bool dense = (length + offset) % 2 == 0;
      const std::size_t specials = dense ? length : random() % 3;
      for (std::size_t k = 0; k < specials && length > 0; ++k)
        buffer[offset + random() % length] = special[random() % special.size()];
      const std::string_view text = std::string_view(buffer).substr(offset);
      const std::string where = "offset " + std::to_string(offset) + " length " + std::to_string(length);

      EXPECT_EQ(HasHighByte(text), portable::HasHighByte(text)) << where;
      EXPECT_EQ(CountByte(text, '\n'), portable::CountByte(text, '\n')) << where;
      const TextBytes bytes = ExamineBytes(text), plainBytes = portable::ExamineBytes(text);
      EXPECT_EQ(bytes.High, plainBytes.High) << where;
      EXPECT_EQ(bytes.Break, plainBytes.Break) << where;
      EXPECT_EQ(HasControlBytes(text), portable::HasControlBytes(text)) << where;
      const FileBytes file = ExamineFileBytes(text), plainFile = portable::ExamineFileBytes(text);
      EXPECT_EQ(file.Control, plainFile.Control) << where;
      EXPECT_EQ(file.Cr, plainFile.Cr) << where;
      EXPECT_EQ(file.Lf, plainFile.Lf) << where;
      const std::size_t from = length == 0 ? 0 : random() % (length + 1);
      EXPECT_EQ(FindLineBreak(text, from), portable::FindLineBreak(text, from)) << where;
      for (std::string_view set : sets)
        EXPECT_EQ(FindAnyByte(text, set, from), portable::FindAnyByte(text, set, from)) << where;
      const std::size_t run = 1 + random() % 64;
      EXPECT_EQ(FindPlainRun(text, run, from), portable::FindPlainRun(text, run, from)) << where << " run " << run;
      std::string fast(text), plain(text);
      EXPECT_EQ(TranslateBytes(fast.data(), fast.size(), table),
                portable::TranslateBytes(plain.data(), plain.size(), table))
          << where;
      EXPECT_EQ(fast, plain) << where;
    }
  }
}

}  // namespace
}  // namespace kamvo
