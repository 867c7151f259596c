// Files too large for the normal test run: one over 2 GiB and a single line
// of 100 MB. Disabled by default; scripts/run-large-file-tests runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "codepages/code_tables.h"
#include "driver/file_conversion.h"
#include "driver/file_io.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::ReadFile;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kWinWords = testing::Greeting() + " ";

// A text that repeats `period` without end; Slice gives any part of it.
class Repeated {
 public:
  explicit Repeated(std::string period) : period_(std::move(period)) {
    while (buffer_.size() < (std::size_t{1} << 20) + period_.size()) buffer_ += period_;
  }
  // The bytes from offset on, at most 1 MiB.
  std::string_view Slice(std::uint64_t offset, std::size_t length) const {
    return std::string_view(buffer_).substr(offset % period_.size(), std::min<std::size_t>(length, 1 << 20));
  }

 private:
  std::string period_, buffer_;
};

// Writes `size` bytes of the text to path.
void WriteRepeated(const std::string& path, const Repeated& text, std::uint64_t size) {
  std::ofstream out(path, std::ios::binary);
  for (std::uint64_t done = 0; done < size;) {
    const std::string_view piece =
        text.Slice(done, static_cast<std::size_t>(std::min<std::uint64_t>(size - done, 1 << 20)));
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    done += piece.size();
  }
  ASSERT_TRUE(out.good());
}

// True when the file holds exactly `size` bytes of the text.
bool HoldsRepeated(const std::string& path, const Repeated& text, std::uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  std::uint64_t done = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (done + got > size || text.Slice(done, got) != std::string_view(buffer.data(), got)) return false;
    done += got;
  }
  return done == size;
}

std::uint64_t AvailableMemory() {
  ::sync();  // written pages count as free only once they are on disk
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {  // "MemAvailable:  23303224 kB"
    std::istringstream fields(line);
    std::string key;
    std::uint64_t kilobytes = 0;
    if (fields >> key >> kilobytes && key == "MemAvailable:") return kilobytes * 1024;
  }
  return 0;
}

// Past 2 GiB no size or offset may wrap: the file is read and written whole,
// and converted in place when the machine has the memory for it.
TEST(LargeFiles, DISABLED_FileOverTwoGiB) {
  TempDir dir;
  const std::string file = dir / "large.txt", copy = dir / "copy.txt";
  // Lines of about 1000 bytes keep the line list small beside the text.
  std::string line;
  while (line.size() < 1000) line += kWinWords;
  line += "\n";
  const Repeated win(line), koi(ConvertByPair(line, 2));
  const std::uint64_t size = (std::uint64_t{2} << 30) + (1 << 20) + 12345;
  WriteRepeated(file, koi, size);

  {
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(file, bytes));
    ASSERT_EQ(bytes.size(), size);
    ASSERT_TRUE(WriteFileAtomically(copy, bytes));
  }
  EXPECT_TRUE(HoldsRepeated(copy, koi, size));
  fs::remove(copy);

  // The conversion holds the text, its lines, the shown copy and the
  // output at once.
  const std::uint64_t available = AvailableMemory();
  if (available < 7 * size)
    GTEST_SKIP() << "converting needs about " << (7 * size >> 30) << " GiB of free memory, " << (available >> 30)
                 << " GiB are free";
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg);
  converter.Options.Source = kKoi8;
  converter.Options.Target = kWindows;
  const FileReport report = ConvertFile(converter, file, file);
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n");
  EXPECT_TRUE(HoldsRepeated(file, win, size));
  EXPECT_TRUE(HoldsRepeated(file + ".bak", koi, size));
}

// One line of 100 MB through every stage and automatic detection.
TEST(LargeFiles, DISABLED_LineOf100MB) {
  TempDir dir;
  const std::string file = dir / "line.txt";
  const Repeated win(kWinWords), koi(ConvertByPair(kWinWords, 2));
  const std::uint64_t size = 100 << 20;
  WriteRepeated(file, koi, size);
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  const FileReport report = ConvertFile(converter, file, file);
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n");
  EXPECT_TRUE(HoldsRepeated(file, win, size));
  EXPECT_TRUE(HoldsRepeated(file + ".bak", koi, size));
}

}  // namespace
}  // namespace kamvo
