// Throughput of the command line converting a file in place, as a user runs
// it: the built `kamvo` converts 10 MiB and 100 MiB of KOI8-R Russian text
// into Windows-1251, with the default switches and with every decoder off.
// The general converters iconv and enca do the same job on the same files
// for comparison when they are installed. The same files go into UTF-8 too,
// beside iconv doing the same, and 100 MiB of KOI8-R, Windows-1251 and
// CP866 text into UTF-8 and through --detect. Each figure is the median of
// several runs, with the peak memory (maximum resident set) of the process.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../tests/support/russian_text.h"
#include "child_process.h"
#include "codepages/byte_scan.h"

namespace {

namespace fs = std::filesystem;
using namespace kamvo;
using namespace kamvo::bench;

// Russian text of about `size` bytes in KOI8-R (or, through another pair
// out of Windows-1251, another code page; pair 0 keeps Windows-1251), lines
// of 6 to 14 words broken with LF, as ordinary text files are.
std::string KoiText(std::size_t size, int pair = 2) {
  std::mt19937 random(42);
  std::string text;
  text.reserve(size + 256);
  while (text.size() < size) {
    const int words = 6 + static_cast<int>(random() % 9);
    const Lines line = testing::RussianText(random, 1, words);
    text += pair == 0 ? line[0] : ConvertByPair(line[0], pair);
    text += '\n';
  }
  text.resize(size);
  text.back() = '\n';
  return text;
}

void Print(const char* what, double fileBytes, const Figure& f) {
  if (!f.ok) {
    std::printf("  %-34s failed\n", what);
    return;
  }
  std::printf("  %-34s %7.3f s  %7.1f MB/s  max RSS %6.1f MiB (%.2fx the file)\n", what, f.seconds,
              fileBytes / f.seconds / 1e6, f.maxRssBytes / kMiB, f.maxRssBytes / fileBytes);
}

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

}  // namespace

int main(int argc, char** argv) {
  // A child's peak memory counts the parent it was forked from: large blocks
  // are taken straight from the system so that they are given back when freed
  // and this process stays small.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);
  std::error_code error;
  const std::string kamvo = KamvoBeside(argv[0]);
  if (!fs::exists(kamvo)) {
    std::printf("kamvo not found beside the benchmark (%s)\n", kamvo.c_str());
    return 1;
  }
  const bool haveIconv = Installed("iconv");
  const bool haveEnca = Installed("enca");
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  const fs::path dir = fs::temp_directory_path() / ("kamvo-throughput-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string master = (dir / "master.txt").string();
  const std::string work = (dir / "work.txt").string();
  const std::string out = (dir / "out.txt").string();
  const std::vector<std::string> off = {"/BIN-", "/QP-", "/RTF-", "/HTML-", "/UTF-"};

  std::printf(
      "%d runs of each, median time, largest max RSS; MB = 10^6 bytes. Other work on the\n"
      "machine makes single runs noisy: compare figures taken in the same run.\n",
      repeats);
  // KAMVO_BYTE_KERNEL, passed on to the program, measures a slower kernel.
  std::printf("Byte-scan kernels up to: %.*s (KAMVO_BYTE_KERNEL)\n",
              static_cast<int>(kamvo::ByteKernelCeiling().size()), kamvo::ByteKernelCeiling().data());

  Figure kamvoDefault[2], kamvoOff[2], iconvFigure[2], encaFigure[2], kamvoUtf8[2], iconvUtf8[2];
  double utf8Bytes[2] = {0, 0};  // the size of the UTF-8 result
  const std::size_t sizes[2] = {10u << 20, 100u << 20};
  for (int s = 0; s < 2; ++s) {
    const double bytes = static_cast<double>(sizes[s]);
    WriteFile(master, KoiText(sizes[s]));
    std::vector<Sample> runsDefault, runsOff, runsIconv, runsEnca, runsUtf8, runsIconvUtf8;
    // The tools take turns, so that a disturbance hits them alike.
    for (int r = 0; r < repeats; ++r) {
      Fresh(master, work);
      // The target named: without it the locale would choose.
      runsDefault.push_back(RunProgram({kamvo, work, "/WIN"}));
      if (r == 0 && haveIconv) {
        // The result must be what iconv makes of the same file.
        RunProgram({"iconv", "-f", "koi8-r", "-t", "cp1251", master, "-o", out});
        if (ReadFile(work) != ReadFile(out)) std::printf("  kamvo's result differs from iconv's!\n");
      }
      Fresh(master, work);
      std::vector<std::string> args = {kamvo, work, "/WIN"};
      args.insert(args.end(), off.begin(), off.end());
      runsOff.push_back(RunProgram(args));
      if (haveIconv) {
        fs::remove(out);
        runsIconv.push_back(RunProgram({"iconv", "-f", "koi8-r", "-t", "cp1251", master, "-o", out}));
      }
      if (haveEnca) {
        Fresh(master, work);
        runsEnca.push_back(RunProgram({"enca", "-L", "ru", "-x", "cp1251", work}));
      }
      Fresh(master, work);
      runsUtf8.push_back(RunProgram({kamvo, work, "--to=utf-8"}));
      utf8Bytes[s] = static_cast<double>(fs::file_size(work, error));
      if (haveIconv) {
        if (r == 0) {
          RunProgram({"iconv", "-f", "koi8-r", "-t", "utf-8", master, "-o", out});
          if (ReadFile(work) != ReadFile(out)) std::printf("  kamvo's UTF-8 differs from iconv's!\n");
        }
        fs::remove(out);
        runsIconvUtf8.push_back(RunProgram({"iconv", "-f", "koi8-r", "-t", "utf-8", master, "-o", out}));
      }
    }
    kamvoUtf8[s] = Median(runsUtf8);
    iconvUtf8[s] = Median(runsIconvUtf8);
    kamvoDefault[s] = Median(runsDefault);
    kamvoOff[s] = Median(runsOff);
    iconvFigure[s] = Median(runsIconv);
    encaFigure[s] = Median(runsEnca);
    std::printf("%zu MiB of KOI8-R text, converted in place into Windows-1251:\n", sizes[s] >> 20);
    Print("kamvo FILE", bytes, kamvoDefault[s]);
    Print("kamvo FILE /BIN- /QP- /RTF- /HTML- /UTF-", bytes, kamvoOff[s]);
    if (haveIconv) Print("iconv -f koi8-r -t cp1251", bytes, iconvFigure[s]);
    if (haveEnca) Print("enca -L ru -x cp1251", bytes, encaFigure[s]);
    std::printf("%zu MiB of KOI8-R text, converted in place into UTF-8 (%.1f MB):\n", sizes[s] >> 20,
                utf8Bytes[s] / 1e6);
    Print("kamvo FILE --to=utf-8", bytes, kamvoUtf8[s]);
    if (haveIconv) Print("iconv -f koi8-r -t utf-8", bytes, iconvUtf8[s]);
  }
  // The other code pages into UTF-8, and detection alone, at 100 MiB.
  struct Other {
    const char* name;
    const char* iconvName;
    int pair;
  };
  const Other others[] = {{"KOI8-R", "koi8-r", 2}, {"Windows-1251", "cp1251", 0}, {"CP866", "cp866", 1}};
  double worstUtf8Time = 0, worstUtf8Memory = 0, worstDetectTime = 0, worstDetectMemory = 0;
  for (const Other& other : others) {
    const double bytes = static_cast<double>(sizes[1]);
    WriteFile(master, KoiText(sizes[1], other.pair));
    std::vector<Sample> runsUtf8, runsIconvUtf8, runsDetect;
    double resultBytes = 0;
    for (int r = 0; r < repeats; ++r) {
      Fresh(master, work);
      runsUtf8.push_back(RunProgram({kamvo, work, "--to=utf-8"}));
      resultBytes = static_cast<double>(fs::file_size(work, error));
      if (haveIconv) {
        if (r == 0) {
          RunProgram({"iconv", "-f", other.iconvName, "-t", "utf-8", master, "-o", out});
          if (ReadFile(work) != ReadFile(out)) std::printf("  kamvo's UTF-8 differs from iconv's!\n");
        }
        fs::remove(out);
        runsIconvUtf8.push_back(RunProgram({"iconv", "-f", other.iconvName, "-t", "utf-8", master, "-o", out}));
      }
      runsDetect.push_back(RunProgram({kamvo, "--detect", master}));
    }
    const Figure utf8 = Median(runsUtf8), iconv = Median(runsIconvUtf8), detect = Median(runsDetect);
    std::printf("100 MiB of %s text into UTF-8 (%.1f MB), and --detect:\n", other.name, resultBytes / 1e6);
    Print("kamvo FILE --to=utf-8", bytes, utf8);
    if (haveIconv) Print(("iconv -f " + std::string(other.iconvName) + " -t utf-8").c_str(), bytes, iconv);
    Print("kamvo --detect FILE", bytes, detect);
    if (haveIconv) worstUtf8Time = std::max(worstUtf8Time, utf8.seconds / iconv.seconds);
    worstUtf8Memory = std::max(worstUtf8Memory, utf8.maxRssBytes / resultBytes);
    worstDetectTime = std::max(worstDetectTime, detect.seconds);
    worstDetectMemory = std::max(worstDetectMemory, detect.maxRssBytes);
  }
  fs::remove_all(dir, error);

  const double big = static_cast<double>(sizes[1]);
  std::printf("Targets (100 MiB):\n");
  if (haveIconv) {
    const double ratio = kamvoDefault[1].seconds / iconvFigure[1].seconds;
    std::printf("  default switches vs iconv:  %.2fx iconv's time   target: at most 1.0x  %s\n", ratio,
                Verdict(ratio <= 1.0));
  } else {
    std::printf("  default switches vs iconv:  iconv not installed   target: at most iconv's time\n");
  }
  if (haveEnca) {
    const double ratio = kamvoOff[1].seconds / encaFigure[1].seconds;
    std::printf("  decoders off vs enca:       %.2fx enca's time    target: at most 1.5x  %s\n", ratio,
                Verdict(ratio <= 1.5));
  } else {
    std::printf("  decoders off vs enca:       enca not installed    target: at most 1.5x enca's time\n");
  }
  const double memory = std::max(kamvoDefault[1].maxRssBytes, kamvoOff[1].maxRssBytes) / big;
  std::printf("  peak memory:                %.2fx the file         target: at most 4x    %s\n", memory,
              Verdict(memory <= 4.0));
  if (haveIconv) {
    const double ratio = kamvoUtf8[1].seconds / iconvUtf8[1].seconds;
    std::printf("  into UTF-8 vs iconv:        %.2fx iconv's time   target: at most 1.0x  %s\n", ratio,
                Verdict(ratio <= 1.0));
  }
  const double utf8Memory = kamvoUtf8[1].maxRssBytes / utf8Bytes[1];
  std::printf("  into UTF-8, peak memory:    %.2fx the result       target: at most 1.5x  %s\n", utf8Memory,
              Verdict(utf8Memory <= 1.5));
  if (haveIconv)
    std::printf("  3 code pages into UTF-8:    %.2fx iconv's time (worst)  target: at most 1.0x  %s\n", worstUtf8Time,
                Verdict(worstUtf8Time <= 1.0));
  std::printf("  3 code pages, peak memory:  %.2fx the result (worst)  target: at most 1.5x  %s\n", worstUtf8Memory,
              Verdict(worstUtf8Memory <= 1.5));
  std::printf("  --detect on 100 MiB:        %.3f s, %.1f MiB (worst)  target: under 0.1 s and 32 MB  %s\n",
              worstDetectTime, worstDetectMemory / kMiB, Verdict(worstDetectTime < 0.1 && worstDetectMemory < 32e6));
  const double scaling = kamvoDefault[1].seconds / kamvoDefault[0].seconds;
  const double scalingOff = kamvoOff[1].seconds / kamvoOff[0].seconds;
  std::printf("  10 -> 100 MiB time:         %.1fx (decoders off %.1fx)  target: at most 11x  %s\n", scaling,
              scalingOff, Verdict(scaling <= 11.0 && scalingOff <= 11.0));
  return 0;
}
