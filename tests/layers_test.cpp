// The source folders are layers: a file may include files of its own folder
// and of the layers below it, never of a layer above it or beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace kamvo {
namespace {

// Each folder of src/ and its layer, lowest first. The settings are used by
// the driver and the front ends (the command line, the window) only.
const std::map<std::string, int>& LayerOf() {
  static const std::map<std::string, int> layers = {
      {"codepages", 0}, {"recognition", 1}, {"decoders", 2}, {"settings", 3},
      {"driver", 4},    {"cli", 5},         {"ui", 5},
  };
  return layers;
}

TEST(Layers, NoFolderIncludesOneAboveOrBesideIt) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(KAMVO_SOURCE_DIR) / "src";
  const std::regex include(R"(^\s*#\s*include\s*"([^"/]+)/[^"]*")");
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string folder = fs::relative(entry.path(), src).begin()->string();
    const auto own = LayerOf().find(folder);
    ASSERT_NE(own, LayerOf().end()) << "src/" << folder << " has no layer";
    ++files;
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch match;
      if (!std::regex_search(line, match, include) || match[1] == folder) continue;
      // The program's entry starts one front end or the other.
      if (entry.path().filename() == "main.cpp" && folder == "cli" && match[1] == "ui") continue;
      const auto used = LayerOf().find(match[1]);
      const std::string where = entry.path().string() + ":" + std::to_string(number) + ": " + line;
      ASSERT_NE(used, LayerOf().end()) << where;
      EXPECT_LT(used->second, own->second) << where;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace kamvo
