#include "driver/attachment_files.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "codepages/unicode.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(AttachmentFilesTest, TakenNamesGiveNumberedNamesAndNothingIsReplaced) {
  TempDir dir;
  const std::string folder = dir.path().string() + "/";
  const std::string name = WinFromUtf8("отчёт.txt");
  WriteFile(folder + "отчёт.txt", "mine");
  fs::create_directory(folder + "отчёт (1).txt");
  fs::create_symlink(folder + "elsewhere", folder + "отчёт (2).txt");

  const SavedAttachment saved = SaveAttachmentAsNewFile(folder, name, "new bytes");
  ASSERT_TRUE(saved.Saved) << saved.Error;
  EXPECT_EQ(saved.Name, WinFromUtf8("отчёт (3).txt"));
  EXPECT_EQ(ReadFile(folder + "отчёт (3).txt"), "new bytes");  // the name on disk is UTF-8
  EXPECT_EQ(ReadFile(folder + "отчёт.txt"), "mine");
  EXPECT_FALSE(fs::exists(folder + "elsewhere"));

  EXPECT_EQ(SaveAttachmentAsNewFile(folder, "README", "x").Name, "README");
  EXPECT_EQ(SaveAttachmentAsNewFile(folder, "README", "x").Name, "README (1)");
  EXPECT_EQ(SaveAttachmentAsNewFile(folder, ".profile", "x").Name, ".profile");
  EXPECT_EQ(SaveAttachmentAsNewFile(folder, ".profile", "x").Name, ".profile (1)");
}

TEST(AttachmentFilesTest, NamesThatLeaveTheFolderAreRefused) {
  TempDir dir;
  fs::create_directory(dir / "inner");
  const std::string folder = (dir / "inner") + "/";
  for (const std::string& name :
       std::vector<std::string>{"", ".", "..", "../escape.txt", "a/b", std::string("nul\0x", 5)}) {
    const SavedAttachment saved = SaveAttachmentAsNewFile(folder, name, "x");
    EXPECT_FALSE(saved.Saved) << name;
    EXPECT_EQ(saved.Error, EINVAL) << name;
    EXPECT_EQ(WriteAttachmentReplacing(folder, name, "x"), "") << name;
  }
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  EXPECT_TRUE(fs::is_empty(dir / "inner"));
}

TEST(AttachmentFilesTest, TemporaryCopiesReplaceTheirOlderSelves) {
  TempDir dir;
  const std::string folder = dir.path().string() + "/";
  EXPECT_EQ(WriteAttachmentReplacing(folder, WinFromUtf8("фото.jpg"), "old"), folder + "фото.jpg");
  EXPECT_EQ(WriteAttachmentReplacing(folder, WinFromUtf8("фото.jpg"), "new"), folder + "фото.jpg");
  EXPECT_EQ(ReadFile(folder + "фото.jpg"), "new");
}

// Runs body with the system's temporary folder set to a fresh folder.
class PrivateTempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("TMPDIR");
    saved_ = old ? old : "";
    hadTmp_ = old != nullptr;
    setenv("TMPDIR", dir.path().c_str(), 1);
    own = (dir / ("kamvo-" + std::to_string(geteuid())));
  }
  void TearDown() override {
    if (hadTmp_)
      setenv("TMPDIR", saved_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  static unsigned Mode(const std::string& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 0777;
  }

  TempDir dir;
  std::string own;

 private:
  std::string saved_;
  bool hadTmp_ = false;
};

TEST_F(PrivateTempFolderTest, MadeForTheUserAloneAndKept) {
  EXPECT_EQ(PrivateTempFolder(), own + "/");
  EXPECT_EQ(Mode(own), 0700u);
  EXPECT_EQ(PrivateTempFolder(), own + "/");
}

TEST_F(PrivateTempFolderTest, ANameTakenByOthersIsNotUsed) {
  fs::create_directory(dir / "target");
  fs::create_symlink(dir / "target", own);
  const std::string first = PrivateTempFolder();
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, own + "/");
  EXPECT_EQ(Mode(first), 0700u);

  fs::remove(own);
  fs::create_directory(own);
  chmod(own.c_str(), 0755);
  const std::string second = PrivateTempFolder();
  EXPECT_NE(second, own + "/");
  EXPECT_TRUE(second.starts_with(own + "-")) << second;
}

}  // namespace
}  // namespace kamvo
