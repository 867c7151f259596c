// Speed of the word test: detection judges every sampled word through every
// chain of conversion pairs it tries, so this runs hundreds of millions of
// times per text.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "codepages/code_tables.h"
#include "recognition/russian_word.h"

int main() {
  using namespace kamvo;
  std::mt19937 rng(1);
  // Lower-case Russian letters of lengths 3..12: what detection sees after
  // a right or wrong conversion of a Cyrillic word.
  std::vector<std::string> words;
  double bytes = 0;
  for (int i = 0; i < 100'000; ++i) {
    std::string word(3 + rng() % 10, ' ');
    for (auto& c : word) c = static_cast<char>(0xE0 + rng() % 32);
    bytes += static_cast<double>(word.size());
    words.push_back(std::move(word));
  }
  constexpr int kRounds = 200;
  const double judged = static_cast<double>(words.size()) * kRounds;

  long accepted = 0;
  const double plain = bench::Seconds([&] {
    for (int r = 0; r < kRounds; ++r)
      for (const auto& w : words) accepted += IsRussianWord(w);
  });
  bench::Report("IsRussianWord", plain, bytes * kRounds, "under 50 ns per word");
  std::printf("  %.1f ns per word, %ld accepted\n", plain / judged * 1e9, accepted);

  const double through = bench::Seconds([&] {
    for (int r = 0; r < kRounds; ++r)
      for (const auto& w : words) accepted += IsRussianWord(w, PairTable(r % kPairCount));
  });
  bench::Report("IsRussianWord through a code table", through, bytes * kRounds, "under 50 ns per word");
  std::printf("  %.1f ns per word\n", through / judged * 1e9);
}
