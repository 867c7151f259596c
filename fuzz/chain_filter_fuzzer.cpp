// The quick test of the chain search on arbitrary words and chains: it must
// never rule out a word that the word test accepts through the chain, and
// its bit-sliced block form must give, chain by chain, what its single-table
// form gives.
//
// Input: eight bytes for a chain (each taken modulo 13), a byte for the score
// a chain must reach, then words separated by spaces.
#include <random>

#include "codepages/unicode.h"
#include "fuzz_common.h"
#include "recognition/chain_filter.h"
#include "recognition/chain_scoring.h"
#include "recognition/russian_word.h"
#include "support/literal_chain_filter.h"

using namespace kamvo;
using namespace kamvo::fuzz;
using kamvo::testing::MayRecognise;
using kamvo::testing::WordChances;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  Chain chain{};
  for (int level = 0; level < kChainLevels; ++level) chain[level] = static_cast<std::uint8_t>(data[level] % 13);
  const int needed = (data[8] & 0x7F) % (kSampleSize + 2);
  const std::string_view text = AsText(data + 9, size - 9);

  Sample sample;
  for (std::size_t start = 0; start < text.size() && sample.Count < kSampleSize;) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start)
      sample.Words[sample.Count++] = std::string(text.substr(start, std::min<std::size_t>(end - start, 45)));
    start = end + 1;
  }

  // Never rules out a word the word test accepts.
  const CodeTable table = MakeCodeTable(chain, true, kWindows);
  std::string decoded;
  for (int w = 0; w < sample.Count; ++w) {
    const std::string converted = ConvertByTable(sample.Words[w], table);
    const WordChances chances = MayRecognise(sample.Words[w], table);
    if (IsRussianWord(converted)) FUZZ_CHECK(chances.Direct);
    if (Utf8ToWin(converted, decoded) && IsRussianWord(decoded)) FUZZ_CHECK(chances.Utf8);
  }

  // The block form against the single-table form, for some chains of the
  // block whose outer levels are the input's levels 5 to 8.
  CodeTable outerInverse = IdentityCodeTable();
  for (int level = kChainLevels - 1; level >= 4; --level)
    outerInverse = Compose(outerInverse, InversePairTable(chain[level]));
  const bool utf8Step = (data[8] & 0x80) == 0;
  const SampleFilter filter(sample, utf8Step);
  static SampleFilter::Scratch scratch;
  std::vector<SampleFilter::Open> open;
  filter.Candidates(true, chain[4], outerInverse, needed, scratch, open);
  const auto& lanes = BlockLanes(true);
  const auto& inner = InnerLevels();
  FUZZ_CHECK(open.size() == inner.size());
  std::mt19937 random(static_cast<unsigned>(size * 131 + data[0]));
  for (int probe = 0; probe < 24; ++probe) {
    const int lane = static_cast<int>(random() % lanes.size());
    const std::size_t i = random() % inner.size();
    Chain probed = chain;
    probed[3] = lanes[lane].Upper;
    probed[2] = lanes[lane].Lower;
    probed[1] = inner[i].Upper;
    probed[0] = inner[i].Lower;
    const CodeTable probedTable = MakeCodeTable(probed, true, kWindows);
    int direct = 0, utf = 0;
    bool directWords[kSampleSize], utfWords[kSampleSize];
    for (int w = 0; w < sample.Count; ++w) {
      const WordChances chances = MayRecognise(sample.Words[w], probedTable);
      direct += directWords[w] = chances.Direct;
      utf += utfWords[w] = chances.Utf8;
    }
    const bool irreducible = !Merges(lanes[lane].Upper, chain[4]) && !Merges(inner[i].Upper, lanes[lane].Lower);
    FUZZ_CHECK(open[i].Direct.Has(lane) == (irreducible && direct >= needed));
    FUZZ_CHECK(open[i].Utf8.Has(lane) == (irreducible && utf8Step && utf >= needed));
    // Every word that may be recognised is left open for the chain.
    for (int w = 0; w < sample.Count; ++w) {
      if (open[i].Direct.Has(lane) && directWords[w]) FUZZ_CHECK(open[i].DirectWords[w].Has(lane));
      if (open[i].Utf8.Has(lane) && utfWords[w]) FUZZ_CHECK(open[i].Utf8Words[w].Has(lane));
    }
  }
  return 0;
}
