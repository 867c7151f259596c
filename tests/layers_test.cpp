// The source folders are layers: a file may include files of its own folder
// and of the layers below it, never of a layer above it or beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace kamvo {
namespace {

// Each folder of src/ and its layer, read from src/layers.txt: the line it
// stands on, lowest first (lines starting with '#' are comments).
const std::map<std::string, int>& LayerOf() {
  static const std::map<std::string, int> layers = [] {
    std::map<std::string, int> read;
    std::ifstream in(std::filesystem::path(KAMVO_SOURCE_DIR) / "src" / "layers.txt");
    std::string line;
    int layer = 0;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream folders(line);
      for (std::string folder; folders >> folder;) read[folder] = layer;
      ++layer;
    }
    return read;
  }();
  return layers;
}

TEST(Layers, NoFolderIncludesOneAboveOrBesideIt) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(KAMVO_SOURCE_DIR) / "src";
  const std::regex include(R"(^\s*#\s*include\s*"([^"/]+)/[^"]*")");
  int files = 0;
  ASSERT_FALSE(LayerOf().empty()) << "src/layers.txt not read";
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file() || entry.path().filename() == "layers.txt") continue;
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
