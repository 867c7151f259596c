// A temporary configuration folder for the settings tests: they never touch
// the real ~/.config.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/settings_store.h"

namespace kamvo {
inline void PrintTo(const TRegValue& v, std::ostream* os) {
  *os << "type " << v.Type << " " << ::testing::PrintToString(v.Data);
}
}  // namespace kamvo

namespace kamvo::testing {

class TempStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kamvo-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    file_ = dir_ / "kamvo" / "kamvo.reg";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  void WriteRaw(const std::string& bytes) { WriteRawTo(file_, bytes); }
  static void WriteRawTo(const std::filesystem::path& p, const std::string& bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string ReadRaw(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string ReadRaw() const { return ReadRaw(file_); }

  // The store as it is on disk now; counts lines that did not parse.
  TRegData Stored(size_t* bad = nullptr) const { return TRegData::Parse(ReadRaw(), bad); }
  const TRegValue* StoredValue(const TRegData& d, std::string_view subKey, std::string_view name) const {
    return d.Find(RegKeyPath(subKey), name);
  }

  std::filesystem::path dir_;
  std::filesystem::path file_;
};

}  // namespace kamvo::testing
