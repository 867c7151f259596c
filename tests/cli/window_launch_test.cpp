// The program opens the window through its module, loaded only then.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

// A copy of the program without its window module, asked for the window:
// it says what is missing and fails, rather than crash or hang.
TEST(WindowLaunch, AProgramWithoutItsWindowModuleSaysSo) {
  testing::TempDir dir;
  const std::string lone = dir / "kamvo";
  std::filesystem::copy_file(KAMVO_EXECUTABLE, lone);
  const testing::ProgramRun run = testing::RunKamvo(dir, {}, lone, {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(
      run.Err.rfind("kamvo: the window cannot be opened, its module is missing:\n  " + dir / "kamvo-window.so", 0), 0u)
      << run.Err;
}

}  // namespace
}  // namespace kamvo
