#include "codepages/byte_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kamvo {
namespace {

using namespace std::string_view_literals;

// Every scan under one kernel ceiling gives what its portable twin gives, for
// texts of every length up to a few blocks of four vectors, starting at every
// alignment, dense with the bytes sought or holding only one or two of them.
void ExpectScansAgreeWithPortableTwins() {
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

// Each kernel the program has, as the ceiling, against the portable twins;
// a kernel this processor lacks is named as skipped.
class ByteKernelTest : public ::testing::TestWithParam<std::string_view> {
 protected:
  void TearDown() override { UseByteKernelsUpTo(before_); }

 private:
  std::string_view before_ = ByteKernelCeiling();
};

TEST_P(ByteKernelTest, AgreesWithThePortableTwins) {
  const std::string_view name = GetParam();
  for (const ByteKernel& kernel : ByteKernels()) {
    if (kernel.Name != name) continue;
    if (!kernel.Runs)
      GTEST_SKIP() << "this " << (kernel.Built ? "processor" : "build") << " has no " << name << " kernel ("
                   << kernel.Serves << ")";
  }
  ASSERT_TRUE(UseByteKernelsUpTo(name));
  EXPECT_EQ(ByteKernelCeiling(), name);
  ExpectScansAgreeWithPortableTwins();
}

std::vector<std::string_view> KernelNames() {
  std::vector<std::string_view> names;
  for (const ByteKernel& kernel : ByteKernels()) names.push_back(kernel.Name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(ByteScan, ByteKernelTest, ::testing::ValuesIn(KernelNames()),
                         [](const ::testing::TestParamInfo<std::string_view>& info) {
                           return std::string(info.param);
                         });

// The kernels are listed slowest first, the portable twins among them, and a
// name that is no kernel changes nothing.
TEST(ByteScan, KernelsAreListedAndForcedByName) {
  const std::vector<std::string_view> names = KernelNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "portable");
  EXPECT_NE(std::find(names.begin(), names.end(), "block"), names.end());
  const std::string_view before = ByteKernelCeiling();
  EXPECT_FALSE(UseByteKernelsUpTo("no such kernel"));
  EXPECT_EQ(ByteKernelCeiling(), before);
}

}  // namespace
}  // namespace kamvo
