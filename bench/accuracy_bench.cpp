// Detection quality on real text: fortunes of fortunes-ru, bucketed by word
// count, in every form the program should restore; for each bucket and form
// the share of texts that come back exactly as they were (the command line's
// conversion to Windows-1251, with the default settings and with the
// detection limit at 100), and for the files in one code page how often
// `enca -L ru` and `uchardet` name that code page.
//
// Usage: accuracy_bench [texts per bucket] [failures]   (default 30; fixed seed)
// With "failures", every text not restored with limit 80 in a form of 4 or
// more words is printed to standard error (as UTF-8) with the pane's report.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "bench_util.h"
#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "recognition/chain_scoring.h"
#include "settings/settings.h"
#include "support/headless_window.h"

using namespace kamvo;
namespace fs = std::filesystem;

namespace {

const char* const kFortunes = "/usr/share/games/fortunes/ru";

// The fortunes in Windows-1251, each with a Cyrillic letter.
std::vector<std::string> LoadFortunes() {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kFortunes, error))
    if (entry.path().extension() == ".u8") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> fortunes;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string line, text;
    auto take = [&] {
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
      const std::string win = WinFromUtf8(text);
      if (HasHighByte(win)) fortunes.push_back(win);
      text.clear();
    };
    while (std::getline(in, line)) {
      if (line == "%") {
        take();
      } else {
        text += line + "\n";
      }
    }
    take();
  }
  return fortunes;
}

// Where each word of the text ends.
std::vector<std::size_t> WordEnds(const std::string& text) {
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool blank = std::isspace(static_cast<unsigned char>(text[i]));
    const bool nextBlank = i + 1 == text.size() || std::isspace(static_cast<unsigned char>(text[i + 1]));
    if (!blank && nextBlank) ends.push_back(i + 1);
  }
  return ends;
}

struct Bucket {
  int Low, High;
  const char* Name;
};
constexpr std::array<Bucket, 5> kBuckets = {
    {{1, 3, "1-3"}, {4, 7, "4-7"}, {8, 15, "8-15"}, {16, 40, "16-40"}, {41, INT_MAX, ">40"}}};

// `count` texts of the bucket's word count: fortunes cut after a random
// word within the bucket, the longest ones whole or run together.
std::vector<std::string> TextsFor(const Bucket& bucket, const std::vector<std::string>& fortunes, int count,
                                  std::mt19937& random) {
  std::vector<std::string> texts;
  std::uniform_int_distribution<std::size_t> pick(0, fortunes.size() - 1);
  while (static_cast<int>(texts.size()) < count) {
    std::size_t i = pick(random);
    std::string text = fortunes[i];
    auto ends = WordEnds(text);
    while (static_cast<int>(ends.size()) < bucket.Low) {  // long texts: fortunes one after another
      text += "\n" + fortunes[++i % fortunes.size()];
      ends = WordEnds(text);
    }
    if (static_cast<int>(ends.size()) > bucket.High) {
      const int words = std::uniform_int_distribution<int>(bucket.Low, bucket.High)(random);
      text.resize(ends[words - 1]);
    }
    if (HasHighByte(text)) texts.push_back(text);
  }
  return texts;
}

std::string ReadAsSavedUtf8(const std::string& bytes, int readAs) {
  std::string utf8;
  for (char c : bytes) AppendUtf8(utf8, CodePageToUnicode(readAs, static_cast<Byte>(c)));
  return utf8;
}

struct Form {
  const char* Name;
  int Truth;  // the code page of a single-code-page form (5: UTF-8), 0 for the others
};
constexpr int kUtf8Truth = 5;
constexpr std::array<Form, 9> kForms = {{{"Windows-1251", kWindows},
                                         {"Dos (CP866)", kDos},
                                         {"KOI8-R", kKoi8},
                                         {"ISO 8859-5", kIso},
                                         {"UTF-8", kUtf8Truth},
                                         {"2 wrong conversions", 0},
                                         {"3 wrong conversions", 0},
                                         {"UTF-8 of a misread text", 0},
                                         {"UTF-8 twice over", 0}}};

// The text in the form; the random choices (pairs, code pages) from `random`.
std::string MakeForm(int form, const std::string& win, std::mt19937& random) {
  auto code = [&] { return 1 + static_cast<int>(random() % 4); };
  switch (form) {
    case 0:
    case 1:
    case 2:
    case 3:
      return ConvertByTable(win, BuildCodeTable(kWindows, kForms[form].Truth));
    case 4:
      return Utf8FromWin(win);
    case 5:
    case 6: {
      std::string text = win;
      int previous = 0;
      for (int step = 0; step < form - 3; ++step) {
        int pair;
        do pair = 1 + static_cast<int>(random() % 12);
        while (Merges(previous, pair));
        text = ConvertByPair(text, pair);
        previous = pair;
      }
      return text;
    }
    case 7: {
      const int writtenIn = code();
      int readAs;
      do readAs = code();
      while (readAs == writtenIn);
      return ReadAsSavedUtf8(ConvertByTable(win, BuildCodeTable(kWindows, writtenIn)), readAs);
    }
    default:
      return ReadAsSavedUtf8(Utf8FromWin(win), code());
  }
}

// The program's conversion of the text to Windows-1251 with automatic
// detection, as the command line runs it.
bool Restores(const std::string& bytes, const std::string& win, int limit, std::string* report = nullptr) {
  TCfg cfg;
  cfg.DetectionLimit = limit;
  HeadlessWindow window;
  window.hasDisplay = false;
  // The switches of the settings, automatic detection into Windows-1251.
  Converter converter(window, cfg, StandardStages());
  converter.KeepTextWhenNotRecognised = true;
  converter.TextBuffer = Text::FromBytes(bytes);
  converter.CopyTextToScreen();
  converter.Convert();
  const std::string result = JoinLines(converter.TextBuffer, "\n");
  if (report) *report = Utf8FromWin(window.info) + "\n--- came out as:\n" + Utf8FromWin(result);
  return result == win + "\n";
}

// The code page a detector's answer names (5: UTF-8), 0 for anything else.
int Named(std::string answer) {
  answer = answer.substr(0, answer.find_first_of(" \n"));
  for (char& c : answer) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (answer == "CP1251" || answer == "WINDOWS-1251") return kWindows;
  if (answer == "IBM866" || answer == "CP866") return kDos;
  if (answer == "KOI8-R") return kKoi8;
  if (answer == "ISO-8859-5") return kIso;
  if (answer == "UTF-8") return kUtf8Truth;
  return 0;
}

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Tally {
  int Texts = 0, Default = 0, Full = 0, Enca = 0, Uchardet = 0;
};

std::string Share(int hits, int total) {
  char text[16];
  std::snprintf(text, sizeof text, "%3d %%", total == 0 ? 0 : (hits * 100 + total / 2) / total);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const int perBucket = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const bool showFailures = argc > 2 && std::string(argv[2]) == "failures";
  const std::vector<std::string> fortunes = LoadFortunes();
  if (fortunes.empty()) {
    std::printf("no fortunes in %s (package fortunes-ru): nothing measured\n", kFortunes);
    return 0;
  }
  const bool enca = Have("enca"), uchardet = Have("uchardet");
  const fs::path file = fs::temp_directory_path() / ("kamvo-accuracy-" + std::to_string(getpid()));
  std::mt19937 random(20261208);

  std::printf("%d texts per bucket and form, seed 20261208; restored: the whole text back exactly\n", perBucket);
  std::printf("| words | form | kamvo, limit 80 | kamvo, limit 100 | enca -L ru | uchardet |\n");
  std::printf("|---|---|---:|---:|---:|---:|\n");
  double seconds80 = 0, seconds100 = 0;
  for (const Bucket& bucket : kBuckets) {
    const std::vector<std::string> texts = TextsFor(bucket, fortunes, perBucket, random);
    for (int form = 0; form < static_cast<int>(kForms.size()); ++form) {
      Tally tally;
      for (const std::string& win : texts) {
        const std::string bytes = MakeForm(form, win, random);
        ++tally.Texts;
        std::string report;
        bool restored = false;
        seconds80 += bench::Seconds([&] { restored = Restores(bytes, win, 80, showFailures ? &report : nullptr); });
        tally.Default += restored;
        if (showFailures && !restored && bucket.Low >= 4)
          std::fprintf(stderr, "=== %s words, %s, not restored with limit 80:\n%s\n--- report:\n%s\n", bucket.Name,
                       kForms[form].Name, Utf8FromWin(win).c_str(), report.c_str());
        seconds100 += bench::Seconds([&] { tally.Full += Restores(bytes, win, 100); });
        const int truth = kForms[form].Truth;
        if (truth == 0 || (!enca && !uchardet)) continue;
        std::ofstream(file, std::ios::binary) << bytes;
        if (enca) tally.Enca += Named(Run("enca -L ru -i '" + file.string() + "' 2>/dev/null")) == truth;
        if (uchardet) tally.Uchardet += Named(Run("uchardet '" + file.string() + "' 2>/dev/null")) == truth;
      }
      const bool single = kForms[form].Truth != 0;
      std::printf("| %s | %s | %s | %s | %s | %s |\n", bucket.Name, kForms[form].Name,
                  Share(tally.Default, tally.Texts).c_str(), Share(tally.Full, tally.Texts).c_str(),
                  single && enca ? Share(tally.Enca, tally.Texts).c_str() : "-",
                  single && uchardet ? Share(tally.Uchardet, tally.Texts).c_str() : "-");
      std::fflush(stdout);
    }
  }
  std::error_code error;
  fs::remove(file, error);
  std::printf("kamvo's time over all texts: %.1f s with limit 80, %.1f s with limit 100\n", seconds80, seconds100);
  return 0;
}
