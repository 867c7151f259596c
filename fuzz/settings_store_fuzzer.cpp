// The settings store reader. Any text parses without harm; what it parses to
// is written out in a form that reads back to the same content without a
// single bad line; a string value escaped for the file reads back as its exact
// bytes; and loading the settings from the text as a store file gives a record
// that loading again (after the defaults were written back) gives unchanged.
//
// Input: the store file's text.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_common.h"
#include "settings/settings.h"
#include "settings/settings_store.h"

using namespace kamvo;
using namespace kamvo::fuzz;

namespace {

// A folder of this process's own for the store file, in memory when /dev/shm
// exists, removed at exit.
const std::filesystem::path& StoreFolder() {
  static const std::filesystem::path folder = [] {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::exists("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                                         : std::filesystem::temp_directory_path();
    std::string pattern = (base / "kamvo-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(StoreFolder(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);

  std::size_t bad = 0;
  const TRegData parsed = TRegData::Parse(text, &bad);
  const std::string written = parsed.Serialize();
  std::size_t badAgain = 0;
  const TRegData again = TRegData::Parse(written, &badAgain);
  FUZZ_CHECK(badAgain == 0);
  FUZZ_CHECK(again.Serialize() == written);

  const std::string key = RegKeyPath("Settings");
  const std::string quoted = "[" + key + "]\n" + QuoteRegString("v") + "=" + QuoteRegString(text) + "\n";
  const TRegData single = TRegData::Parse(quoted, &bad);
  FUZZ_CHECK(bad == 0);
  const TRegValue* value = single.Find(key, "V");
  FUZZ_CHECK(value && value->Type == kRegSz && value->Data == text);

  // Loading the settings from the text as the store file.
  const std::filesystem::path file = StoreFolder() / "kamvo.reg";
  std::error_code ec;
  std::filesystem::remove(StoreFolder() / "kamvo.reg.damaged", ec);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  TStoreContext context;
  context.StoreFile = file;
  context.Env = [](const char* name) { return std::string(name == std::string_view("LANG") ? "ru_RU" : ""); };
  TSettings first;
  ReadCfg(first, DesignedTextFont(), context);
  TSettings second;
  ReadCfg(second, DesignedTextFont(), context);
  FUZZ_CHECK(first == second);
  return 0;
}
