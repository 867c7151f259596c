// The detection limit at limit - 1, limit and limit + 1: where the chain
// search ends and which outer layer wins follow ReachesDetectionLimit and
// EndsChainSearch, whatever the limit.
#include <gtest/gtest.h>

#include <random>

#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "recognition/detection.h"
#include "recognition/outer_layer.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

using testing::Recode;
using testing::RussianText;
using testing::SavedAsUtf8;

struct Found {
  Chain Best;
  int Percent;
  bool operator==(const Found&) const = default;
};

class Recorder : public SearchObserver {
 public:
  std::vector<Found> found;
  void Improved(const Chain& chain, int, int percent, bool) override { found.push_back({chain, percent}); }
  bool StopRequested() override { return false; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

Sample SampleOf(const Lines& text) {
  const Text readText = Text::FromLines(text);
  WordReader reader(readText);
  return TakeSample(reader);
}

std::vector<Found> Search(const Sample& sample, int limit, int threads) {
  SearchOptions options;
  options.DetectionLimit = limit;
  options.MaxLevels = 3;
  options.Threads = threads;
  Recorder recorder;
  SearchChains(sample, options, recorder);
  return recorder.found;
}

// Russian text through the wrong pairs, with words no chain reads mixed in,
// so that the search improves several times below 100 %.
Lines Damaged(std::mt19937& random, const std::vector<int>& pairs) {
  Lines text = Recode(RussianText(random, 4, 8), pairs);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] += i % 2 ? " \xF9\xFA\xFC\xFB" : " qwx \xFA\xFC\xFB\xF9";
  return text;
}

// No limit ends the search before it has seen every chain (no percentage
// passes 100); with a limit, it ends exactly at the first improvement the
// rule says ends it.
TEST(DetectionLimit, TheChainSearchEndsWhereTheRuleSays) {
  std::mt19937 random(77);
  int endedEarly = 0, wentOn = 0;
  for (const std::vector<int>& pairs : std::vector<std::vector<int>>{{2}, {1}, {2, 9}, {1, 7, 12}}) {
    const Sample sample = SampleOf(Damaged(random, pairs));
    const std::vector<Found> all = Search(sample, 100, 1);
    ASSERT_FALSE(all.empty());
    for (const Found& at : all) {
      for (int limit : {at.Percent - 1, at.Percent, at.Percent + 1}) {
        SCOPED_TRACE(::testing::Message() << "limit " << limit);
        std::vector<Found> expected;
        for (const Found& f : all) {
          expected.push_back(f);
          if (EndsChainSearch(f.Percent, limit)) break;
        }
        (expected.size() < all.size() ? endedEarly : wentOn) += 1;
        for (int threads : {1, 2}) EXPECT_EQ(Search(sample, limit, threads), expected);
      }
    }
  }
  // Both sides of the rule were met.
  EXPECT_GT(endedEarly, 0);
  EXPECT_GT(wentOn, 0);
}

class LayerRecorder : public LayerObserver {
 public:
  void Improved(const LayerResult&) override {}
  bool StopRequested() override { return false; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

// Mojibake twice over: the written search reads its few short words in
// full, the layer that undoes both reads every word but two. At and above
// the limit the layer explains more words and wins at its lower percentage;
// below it the higher percentage stands.
TEST(DetectionLimit, AnOuterLayerWinsByMoreWordsOnlyAtTheLimit) {
  std::mt19937 random(30);
  Lines text = RussianText(random, 12, 8);
  text[2] += " \xF9\xFA\xFC\xFB\xFD";
  text[7] += " \xFA\xFC\xFB\xF9";
  const Lines twice = SavedAsUtf8(SavedAsUtf8(text, kKoi8), kWindows);
  const OuterLayer layer{{kWindows, kKoi8}};
  const Sample layerSample = TakeSampleThroughLayer(Text::FromLines(twice), layer);
  const Sample written = SampleOf(twice);
  const Found layerBest = Search(layerSample, 100, 1).back();
  int won = 0, lost = 0;
  for (int limit : {layerBest.Percent - 1, layerBest.Percent, layerBest.Percent + 1}) {
    SCOPED_TRACE(::testing::Message() << "limit " << limit);
    const std::vector<Found> plain = Search(written, limit, 1);
    ASSERT_FALSE(plain.empty());
    const int writtenScore = ScoreChain(written, plain.back().Best, true).Score;
    const std::vector<Found> throughLayer = Search(layerSample, limit, 1);
    const Found best = throughLayer.back();
    const int layerScore = ScoreChain(layerSample, best.Best, true).Score;
    ASSERT_LT(best.Percent, plain.back().Percent);
    ASSERT_GT(layerScore, writtenScore);

    SearchOptions options;
    options.DetectionLimit = limit;
    options.MaxLevels = 3;
    LayerRecorder recorder;
    const LayerSearchResult result = SearchOuterLayers(
        Text::FromLines(twice), options, WrittenResult{plain.back().Percent, writtenScore, false}, recorder);
    const bool wins = ReachesDetectionLimit(best.Percent, limit);
    (wins ? won : lost) += 1;
    EXPECT_EQ(result.Found && result.Best.Layer == layer, wins);
    if (wins) {
      EXPECT_EQ(result.Best.Best, best.Best);
      EXPECT_EQ(result.Best.Percent, best.Percent);
    }
  }
  EXPECT_EQ(won, 2);
  EXPECT_EQ(lost, 1);
}

}  // namespace
}  // namespace kamvo
