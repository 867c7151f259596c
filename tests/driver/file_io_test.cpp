#include "driver/file_io.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::TempDir;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A file is read into a buffer of the size it has: every size around the
// page and the size from which the buffer is mapped in one request comes
// back byte for byte, and the buffer holds nothing more.
TEST(FileIo, ReadsFilesOfEverySizeWhole) {
  TempDir dir;
  const std::size_t sizes[] = {0, 1, 4095, 4096, 4097, (1u << 20) - 1, (1u << 20) + 4099, (3u << 20) + 17};
  for (std::size_t size : sizes) {
    const std::string path = dir / ("f" + std::to_string(size));
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    testing::WriteFile(path, bytes);
    std::string read = "left over";
    ASSERT_TRUE(ReadWholeFile(path, read)) << size;
    EXPECT_EQ(read.size(), size);
    EXPECT_TRUE(read == bytes) << size;
  }
}

// A file whose size the system does not know beforehand (files under /proc
// say 0) is read on to its real end.
TEST(FileIo, ReadsPastTheSizeTheFileClaims) {
  const std::string path = "/proc/self/cmdline";
  const std::string expected = testing::ReadFile(path);
  if (expected.empty()) GTEST_SKIP() << "no " << path;
  std::string read;
  ASSERT_TRUE(ReadWholeFile(path, read));
  EXPECT_EQ(read, expected);
}

// The temporary file holds exactly the bytes given, also when the disk is
// asked to start writing parts of it before the end (every few megabytes).
TEST(FileIo, WritesLargeFilesWhole) {
  TempDir dir;
  for (std::size_t size : {std::size_t{0}, std::size_t{5}, (std::size_t{8} << 20) - 1, (std::size_t{17} << 20) + 123}) {
    const std::string path = dir / "out.txt";
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + 1);
    ASSERT_TRUE(WriteFileAtomically(path, bytes)) << size;
    std::string read;
    ASSERT_TRUE(ReadWholeFile(path, read)) << size;
    EXPECT_TRUE(read == bytes) << size;
  }
}

}  // namespace
}  // namespace kamvo
