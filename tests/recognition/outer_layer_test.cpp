#include "recognition/outer_layer.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "support/literal_detection.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

using testing::LiteralLayerSearch;
using testing::LiteralSearch;
using testing::Recode;
using testing::RussianText;
using testing::SavedAsUtf8;

class RecordingLayerObserver : public LayerObserver {
 public:
  std::vector<LayerResult> improvements;
  void Improved(const LayerResult& result) override { improvements.push_back(result); }
  bool StopRequested() override { return false; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

WrittenResult Written(const Lines& text, int limit, int levels) {
  const Text readText = Text::FromLines(text);
  WordReader reader(readText);
  const Sample sample = TakeSample(reader);
  if (sample.Count == 0) return {};
  const auto r = LiteralSearch(sample, true, limit, levels);
  return {std::max(0, r.BestPercent), r.BestScore, r.Utf8 && r.Best == Chain{}};
}

// The search through the layers, each told what it must beat, against the
// literal one, where every layer's search runs in full.
// True when some layer won.
bool ExpectSameAsLiteral(const Lines& text, int limit, int levels, const char* what) {
  SCOPED_TRACE(what);
  const WrittenResult written = Written(text, limit, levels);
  const auto literal = LiteralLayerSearch(text, true, limit, levels, written);
  RecordingLayerObserver observer;
  SearchOptions options;
  options.DetectionLimit = limit;
  options.MaxLevels = levels;
  options.Threads = 1;
  const LayerSearchResult fast = SearchOuterLayers(Text::FromLines(text), options, written, observer);
  EXPECT_EQ(fast.Found, literal.Found);
  if (!fast.Found || !literal.Found) return false;
  EXPECT_EQ(fast.Best.Layer, literal.Layer);
  EXPECT_EQ(fast.Best.Best, literal.Search.Best);
  EXPECT_EQ(fast.Best.BestScore, literal.Search.BestScore);
  EXPECT_EQ(fast.Best.Utf8, literal.Search.Utf8);
  EXPECT_EQ(fast.Best.Percent, literal.Percent);
  EXPECT_EQ(observer.improvements.back().Layer, fast.Best.Layer);
  return true;
}

TEST(OuterLayer, AgreesWithTheLiteralSearch) {
  std::mt19937 random(16);
  int won = 0;
  for (int round = 0; round < 2; ++round) {
    const Lines text = RussianText(random, 6, 8);
    const Lines utf8 = SavedAsUtf8(text, kWindows);
    for (int limit : {80, 100}) {
      won += ExpectSameAsLiteral(SavedAsUtf8(text, kKoi8), limit, 2, "Windows text read as KOI-8");
      won += ExpectSameAsLiteral(SavedAsUtf8(text, kDos), limit, 2, "Windows text read as Dos");
      won += ExpectSameAsLiteral(SavedAsUtf8(Recode(text, {2}), kIso), limit, 2, "KOI-8 text read as ISO");
      won += ExpectSameAsLiteral(SavedAsUtf8(utf8, kWindows), limit, 2, "UTF-8 read as Windows");
      won += ExpectSameAsLiteral(SavedAsUtf8(SavedAsUtf8(text, kKoi8), kWindows), limit, 2, "twice over");
      ExpectSameAsLiteral(utf8, limit, 2, "plain UTF-8");
      Lines marked = utf8;
      marked[0] = std::string(kByteOrderMark) + marked[0];
      ExpectSameAsLiteral(marked, limit, 2, "UTF-8 with a byte order mark");
    }
  }
  // Valid UTF-8 of characters that spell nothing.
  Lines noise(1);
  for (int i = 0; i < 120; ++i) {
    AppendUtf8(noise[0], (i % 6 == 5) ? ' ' : 0x2550 + random() % 0x1D);
    if (i % 3 == 0) AppendUtf8(noise[0], 0x0410 + random() % 64);
  }
  ExpectSameAsLiteral(noise, 100, 2, "noise");
  // Every mojibake form is won by a layer: where the written search
  // recognises all of its few short words, the layer recognises more.
  EXPECT_EQ(won, 20);
}

TEST(OuterLayer, UndoesTheCommonMojibake) {
  std::mt19937 random(5);
  const Lines text = RussianText(random, 10, 8);
  SearchOptions options;
  options.MaxLevels = 2;
  struct Case {
    Lines in;
    OuterLayer layer;
  };
  const Case cases[] = {
      {SavedAsUtf8(text, kKoi8), {{kKoi8, 0}}},
      {SavedAsUtf8(SavedAsUtf8(text, kWindows), kWindows), {{kWindows, 0}}},
  };
  for (const Case& c : cases) {
    RecordingLayerObserver observer;
    const LayerSearchResult result = SearchOuterLayers(Text::FromLines(c.in), options, {}, observer);
    ASSERT_TRUE(result.Found);
    EXPECT_EQ(result.Best.Layer, c.layer);
    EXPECT_EQ(result.Best.Percent, 100);
    std::string scratch;
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::string line = c.in[i];
      ASSERT_TRUE(ApplyOuterLayer(line, result.Best.Layer, scratch, i == 0));
      line = ConvertByTable(line, MakeCodeTable(result.Best.Best, true, kWindows));
      std::string decoded;
      if (result.Best.Utf8 && Utf8ToWin(line, decoded)) line = decoded;
      EXPECT_EQ(line, text[i]);
    }
  }
  // Not UTF-8: no layer, nothing searched.
  RecordingLayerObserver observer;
  EXPECT_FALSE(SearchOuterLayers(Text::FromLines(Recode(text, {2})), options, {}, observer).Found);
}

// The sample through a layer is the one the whole converted text gives,
// also when the sampling reads on past the first piece converted.
TEST(OuterLayer, SamplesOnlyWhatItNeedsAndTheSameAsTheWholeText) {
  Lines text;
  // Many one-letter words keep the sampling reading to the end.
  for (int i = 0; i < 30000; ++i) text.push_back(i % 1000 == 999 ? "\xD0\x9C\xD0\xB8\xD1\x80" : "\xD0\xB2 \xD0\xB8");
  for (const OuterLayer& layer : {OuterLayer{{kWindows, 0}}, OuterLayer{{kKoi8, 0}}}) {
    Lines whole;
    ASSERT_TRUE(testing::LiteralOutOfUtf8(text, layer.Codes[0], whole));
    const Text readText = Text::FromLines(whole);
    WordReader reader(readText);
    const Sample expected = TakeSample(reader);
    const Sample sample = TakeSampleThroughLayer(Text::FromLines(text), layer);
    EXPECT_EQ(sample.Count, expected.Count);
    EXPECT_EQ(sample.Words, expected.Words);
  }
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// A layer that reaches the limit explaining more words than the written
// search wins even at a lower percentage: mojibake twice over leaves the
// written search only a few short words, which some chain may read in
// full, while the layer reads every word and misses only the odd one.
TEST(OuterLayer, AtTheLimitMoreWordsExplainedWin) {
  std::mt19937 random(30);
  Lines text = RussianText(random, 12, 8);
  text[2] += " \xF9\xFA\xFC\xFB\xFD";  // no Russian word
  text[7] += " \xFA\xFC\xFB\xF9";
  const Lines twice = SavedAsUtf8(SavedAsUtf8(text, kKoi8), kWindows);
  const int limit = 80, levels = 3;
  const WrittenResult written = Written(twice, limit, levels);
  ASSERT_TRUE(ExpectSameAsLiteral(twice, limit, levels, "twice over, two words unknown"));
  RecordingLayerObserver observer;
  SearchOptions options;
  options.DetectionLimit = limit;
  options.MaxLevels = levels;
  const LayerSearchResult result = SearchOuterLayers(Text::FromLines(twice), options, written, observer);
  EXPECT_EQ(result.Best.Layer, (OuterLayer{{kWindows, kKoi8}}));
  EXPECT_GE(result.Best.Percent, limit);
  EXPECT_GT(result.Best.BestScore, written.Score);
  EXPECT_LT(result.Best.Percent, written.Percent);  // the written search read its few words in full
}

}  // namespace
}  // namespace kamvo
