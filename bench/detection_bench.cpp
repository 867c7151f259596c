// Automatic detection: the full eight-level search on a sample that no chain
// recognises completely, and ordinary texts in one wrong code page.
#include <algorithm>
#include <cstdio>
#include <random>

#include "bench_util.h"
#include "codepages/unicode.h"
#include "recognition/detection.h"

using namespace kamvo;

namespace {

class QuietObserver : public SearchObserver {
 public:
  int improvements = 0;
  void Improved(const Chain&, int, int, bool) override { ++improvements; }
  bool StopRequested() override { return false; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

Sample SampleOf(const std::string& text) {
  Lines lines{text};
  WordReader reader(lines);
  return TakeSample(reader);
}

std::string RussianWords() {
  return WinFromUtf8(
      "Привет дорогой друг как твои дела сегодня хорошая погода мы идём гулять в парк вчера вечером "
      "пришло письмо из Москвы большой красивый город новости работа семья книга время человек жизнь");
}

}  // namespace

int main() {
  // Russian words with every third one garbled beyond repair: no chain
  // recognises the whole sample, so with the limit at 100 the search runs
  // through every chain of up to eight conversions.
  std::string mixed;
  std::mt19937 random(5);
  const std::string words = RussianWords();
  std::size_t start = 0;
  int index = 0;
  while (start < words.size()) {
    std::size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    std::string word = words.substr(start, end - start);
    if (index++ % 3 == 2) word = std::string(4, static_cast<char>(0x80 + random() % 64)) + word;
    mixed += ConvertByPair(word, 2) + " ";
    start = end + 1;
  }
  const Sample sample = SampleOf(mixed);
  SearchOptions options;
  options.DetectionLimit = 100;
  QuietObserver observer;
  SearchResult result;
  // The best of three runs: the machine is shared.
  double full = 1e9, single = 1e9;
  for (int run = 0; run < 3; ++run) {
    options.Threads = 0;
    full = std::min(full, bench::Seconds([&] { result = SearchChains(sample, options, observer); }));
    options.Threads = 1;
    single = std::min(single, bench::Seconds([&] { SearchChains(sample, options, observer); }));
  }
  std::printf("full 8-level search, %d words, best %d%%: %.3f s on every processor, %.3f s on one "
              "(target 0.5 s)\n",
              sample.Count, PercentOf(result.BestScore, sample.Count), full, single);
  options.Threads = 0;

  // Random bytes: no chain gets far, so the quick test can rule out little.
  std::string garbage;
  for (int w = 0; w < 40; ++w) {
    for (int i = 0, n = 2 + static_cast<int>(random() % 8); i < n; ++i)
      garbage.push_back(static_cast<char>(0x80 + random() % 128));
    garbage += ' ';
  }
  const Sample noise = SampleOf(garbage);
  const double noisy = bench::Seconds([&] { result = SearchChains(noise, options, observer); });
  std::printf("full 8-level search on random bytes, best %d%%: %.3f s (no target)\n",
              PercentOf(result.BestScore, noise.Count), noisy);

  const Sample koi = SampleOf(ConvertByPair(words, 2));
  options.DetectionLimit = 80;
  const double ordinary = bench::Seconds([&] {
    for (int i = 0; i < 1000; ++i) SearchChains(koi, options, observer);
  });
  std::printf("ordinary KOI-8 text: %.3f ms per detection (target 1 ms)\n", ordinary);
  return 0;
}
