#include "recognition/outer_layer.h"

#include <algorithm>

#include "codepages/code_page_unicode.h"
#include "recognition/word_reader.h"

namespace kamvo {

namespace {

// The first piece of a text converted for sampling; each further piece is
// four times the text converted so far.
constexpr std::size_t kFirstSampleBytes = 64 * 1024;

// The text taken through the layer's first code page, judged as UTF-8
// again; stops at the first line that is not.
Utf8TextCheck CheckThroughCode(const Text& text, int code) {
  Utf8TextCheck check;
  std::string line;
  for (std::size_t i = 0; i < text.size() && check.Valid; ++i) {
    if (!Utf8ToCodePage(text[i], code, line, i == 0)) return Utf8TextCheck{false, false, 0};
    check.Add(line, i == 0);
  }
  return check;
}

// The most words of a sample of `count` that a chain may recognise and
// still neither end the search nor reach `percent`; 0 when even one word
// does either.
int MostWordsShortOf(int percent, int limit, int count) {
  auto tooMany = [&](int score) {
    const int p = PercentOf(score, count);
    return EndsChainSearch(p, limit) || p >= percent;
  };
  int score = count;
  while (score > 0 && tooMany(score)) --score;
  return score;
}

// The fewest words of a sample of `count` that reach the detection limit;
// count + 1 when no number does.
int FewestWordsReaching(int limit, int count) {
  int score = 0;
  while (score <= count && !ReachesDetectionLimit(PercentOf(score, count), limit)) ++score;
  return score;
}

// Runs the layers' searches and keeps the best result.
class LayerSearch {
 public:
  LayerSearch(const Text& text, const SearchOptions& options, const WrittenResult& written, LayerObserver& observer)
      : text_(text),
        options_(options),
        observer_(observer),
        written_(written),
        bestPercent_(written.Percent),
        bestScore_(written.Score) {}

  // False when the search must end (the user broke off, or nothing can beat
  // the best any more).
  bool Try(const OuterLayer& layer) {
    // Nothing beats a full sample recognised through one step.
    if (bestPercent_ >= 100 && bestScore_ >= kSampleSize && (!Result.Found || bestSteps_ <= 1)) return false;
    const Sample sample = TakeSampleThroughLayer(text_, layer);
    if (sample.Count == 0) return true;
    SearchOptions options = options_;
    // A layer's search stops at its first chain that ends the search, so it
    // needs to look for nothing beyond that; below, it needs only chains
    // that could beat the best so far (the same percentage included, which
    // may win with more words or fewer conversions).
    options.MustBeat = bestPercent_ > 0 ? MostWordsShortOf(bestPercent_, options_.DetectionLimit, sample.Count) : 0;
    // A chain that reaches the limit explaining more words than the best
    // so far wins at any percentage.
    const int moreWords = std::max(bestScore_ + 1, FewestWordsReaching(options_.DetectionLimit, sample.Count));
    if (moreWords <= sample.Count) options.MustBeat = std::min(options.MustBeat, moreWords - 1);
    Adapter adapter(*this, layer, sample);
    const SearchResult found = SearchChains(sample, options, adapter);
    if (found.Broken) {
      Result.Broken = true;
      return false;
    }
    return true;
  }

  LayerSearchResult Result;

 private:
  class Adapter : public SearchObserver {
   public:
    Adapter(LayerSearch& search, const OuterLayer& layer, const Sample& sample)
        : search_(search), layer_(layer), sample_(sample) {}
    void Improved(const Chain& chain, int score, int percent, bool utf8) override {
      search_.Offer(layer_, sample_, chain, score, percent, utf8);
    }
    bool StopRequested() override { return search_.observer_.StopRequested(); }
    void UpdateProgress(const Chain& chain) override { search_.observer_.UpdateProgress(chain); }
    void Pump() override { search_.observer_.Pump(); }

   private:
    LayerSearch& search_;
    const OuterLayer& layer_;
    const Sample& sample_;
  };

  void Offer(const OuterLayer& layer, const Sample& sample, const Chain& chain, int score, int percent, bool utf8) {
    const int steps = ConversionSteps(layer, chain, utf8);
    const int limit = options_.DetectionLimit;
    bool better = false;
    if (ReachesDetectionLimit(percent, limit) && score > bestScore_)
      better = true;  // more words explained, at the limit
    else if (ReachesDetectionLimit(bestPercent_, limit) && bestScore_ > score)
      better = false;  // the best explains more words, at the limit
    else
      better = percent > bestPercent_ ||
               (percent == bestPercent_ && percent > 0 &&
                (score > bestScore_ || (Result.Found && score == bestScore_ && steps < bestSteps_)));
    if (!better) return;
    // The layer into Windows-1251 alone converts a text as the UTF-8 step
    // alone does: the written result stands, explained by this sample.
    if (!Result.Found && written_.Utf8Alone && layer == OuterLayer{{kWindows, 0}} && !utf8 && chain == Chain{}) {
      bestPercent_ = percent;
      bestScore_ = score;
      return;
    }
    Result.Found = true;
    Result.Best = LayerResult{layer, sample, chain, score, percent, utf8};
    bestPercent_ = percent;
    bestScore_ = score;
    bestSteps_ = steps;
    observer_.Improved(Result.Best);
  }

  const Text& text_;
  const SearchOptions& options_;
  LayerObserver& observer_;
  const WrittenResult written_;
  int bestPercent_;
  int bestScore_;
  int bestSteps_ = 0;
};

}  // namespace

bool ApplyOuterLayer(std::string& line, const OuterLayer& layer, std::string& scratch, bool textStart) {
  if (layer.Empty()) return true;
  if (!Utf8ToCodePage(line, layer.Codes[0], scratch, textStart)) return false;
  if (layer.Codes[1] != 0) {
    std::string inner;
    if (!Utf8ToCodePage(scratch, layer.Codes[1], inner, textStart)) return false;
    line.swap(inner);
  } else {
    line.swap(scratch);
  }
  return true;
}

Sample TakeSampleThroughLayer(const Text& text, const OuterLayer& layer) {
  Text converted;
  std::size_t next = 0, bytes = 0, goal = kFirstSampleBytes;
  std::string line, scratch;
  for (;;) {
    while (next < text.size() && bytes < goal) {
      line.assign(text[next]);
      ApplyOuterLayer(line, layer, scratch, next == 0);
      converted.AddLine(line, LineEnd::Lf);
      bytes += line.size() + 1;
      ++next;
    }
    WordReader reader(converted);
    Sample sample = TakeSample(reader);
    // The sampling ended before the end of the lines converted so far: the
    // rest of the text cannot change it.
    if (next == text.size() || !reader.NextWord().empty()) return sample;
    goal = bytes * 4;
  }
}

int ConversionSteps(const OuterLayer& layer, const Chain& chain, bool utf8) {
  int steps = layer.Size() + (utf8 ? 1 : 0);
  for (const std::uint8_t pair : chain) steps += pair != 0;
  return steps;
}

LayerSearchResult SearchOuterLayers(const Text& text, const SearchOptions& options, const WrittenResult& written,
                                    LayerObserver& observer) {
  LayerSearch search(text, options, written, observer);
  const Utf8TextCheck check = CheckUtf8Text(text);
  if (!check.Usable()) return search.Result;
  for (const int code : kLayerCodes)
    if (Holds(check.Holders, code) && !search.Try(OuterLayer{{static_cast<std::uint8_t>(code), 0}}))
      return search.Result;
  // Text saved as UTF-8 twice over.
  for (const int outer : kLayerCodes) {
    if (!Holds(check.Holders, outer)) continue;
    const Utf8TextCheck inner = CheckThroughCode(text, outer);
    if (!inner.Usable()) continue;
    for (const int code : kLayerCodes) {
      const OuterLayer layer{{static_cast<std::uint8_t>(outer), static_cast<std::uint8_t>(code)}};
      if (Holds(inner.Holders, code) && !search.Try(layer)) return search.Result;
    }
  }
  return search.Result;
}

}  // namespace kamvo
