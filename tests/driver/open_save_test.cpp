#include "driver/open_save.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace kamvo {
namespace {

TEST(SaveTextFile, WritesThroughALinkAndKeepsPermissions) {
  TempDir dir;
  const std::string file = dir / "letter.txt";
  WriteFile(file, "old");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(file, dir / "link.txt");

  ASSERT_TRUE(SaveTextFile(dir / "link.txt", {"a", "", "\xE0"}));
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(file), "a\n\n\xE0\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  ASSERT_TRUE(SaveTextFile(dir / "new.txt", {}));
  EXPECT_EQ(ReadFile(dir / "new.txt"), "");
  EXPECT_FALSE(SaveTextFile(dir / "missing/new.txt", {"a"}));
}

}  // namespace
}  // namespace kamvo
