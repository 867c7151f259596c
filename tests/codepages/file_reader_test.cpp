#include "codepages/file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::TempDir;
using testing::WriteFile;

// What reading each kind of path gives: the bytes of a regular file (and
// its permission bits), "missing" only where no file is, and a failure at
// once, without waiting, for a folder, a pipe with no writer and a file over
// the limit.
TEST(FileReader, EachKindOfPathGivesItsOutcome) {
  TempDir dir;
  const std::string text(70000, 'x');
  WriteFile(dir / "file", text);
  ::chmod((dir / "file").c_str(), 0640);
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::size_t limit;
    FileRead outcome;
    std::string bytes;
  };
  const Case cases[] = {
      {dir / "file", text.size(), FileRead::Ok, text},  {dir / "file", text.size() - 1, FileRead::Failed, ""},
      {dir / "none", 100, FileRead::Missing, ""},       {dir / "file/below", 100, FileRead::Missing, ""},
      {dir.path().string(), 100, FileRead::Failed, ""}, {dir / "pipe", 100, FileRead::Failed, ""},
  };
  for (const Case& c : cases) {
    std::string bytes = "left over";
    mode_t mode = 0;
    EXPECT_EQ(ReadRegularFile(c.path, bytes, c.limit, &mode), c.outcome) << c.path << " " << c.limit;
    EXPECT_EQ(bytes, c.bytes) << c.path;
    if (c.outcome == FileRead::Ok) {
      EXPECT_EQ(mode, 0640u);
    }
  }
}

}  // namespace
}  // namespace kamvo
