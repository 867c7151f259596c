#include "settings/sample_text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace kamvo {
namespace {

TEST(SampleText, BesideTheProgramOrInTheInstalledShareFolder) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "prefix/bin");
  std::filesystem::create_directories(dir / "prefix/share/kamvo");
  const std::string bin = dir / "prefix/bin/";
  // Neither exists: the name beside the program.
  EXPECT_EQ(SampleTextPath(bin), bin + "sample.txt");
  testing::WriteFile(dir / "prefix/share/kamvo/sample.txt", "installed");
  const std::string installed = dir / "prefix/share/kamvo/sample.txt";
  EXPECT_EQ(SampleTextPath(bin), installed);
  EXPECT_EQ(SampleTextPath(dir / "prefix/bin"), installed);
  testing::WriteFile(bin + "sample.txt", "build");
  EXPECT_EQ(SampleTextPath(bin), bin + "sample.txt");
}

}  // namespace
}  // namespace kamvo
