// Automatic detection on a short text, with chains of at most three levels so
// that each input stays cheap: the sample the reader takes, the fast search
// against the plain nested-loop search (same best chain, same improvements in
// the same order), and detection inside a conversion with Stop pressed at
// some chain.
//
// Input: a flag byte (bits 0-1 the levels, bit 2 the UTF-8 step, bits 3-4 the
// detection limit, bits 5-7 the chain at which Stop is pressed), then the text.
#include <vector>

#include "driver/converter.h"
#include "fuzz_common.h"
#include "recognition/detection.h"
#include "recognition/reading.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/literal_detection.h"

using namespace kamvo;
using namespace kamvo::fuzz;

namespace {

class RecordingObserver : public SearchObserver {
 public:
  std::vector<Chain> improvements;
  int chains = 0;
  int breakAt = 0;
  void Improved(const Chain& chain, int, int, bool) override { improvements.push_back(chain); }
  bool StopRequested() override { return ++chains == breakAt; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

constexpr int kLimits[] = {80, 100, 50, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  const int levels = (input.flags & 3) % 3 + 1;
  const bool utf8Step = input.Bit(2);
  const int limit = kLimits[(input.flags >> 3) & 3];
  const int breakAt = input.flags >> 5;
  const Lines lines = InputLines(input.text, false);

  const Text readText = Text::FromLines(lines);
  WordReader reader(readText);
  const Sample sample = TakeSample(reader);
  FUZZ_CHECK(sample.Count <= kSampleSize);
  if (sample.Count == 0) return 0;

  SearchOptions options;
  options.Utf8Step = utf8Step;
  options.DetectionLimit = limit;
  options.MaxLevels = levels;
  RecordingObserver observer;
  const SearchResult fast = SearchChains(sample, options, observer);
  FUZZ_CHECK(!fast.Broken);
  const auto literal = testing::LiteralSearch(sample, utf8Step, limit, levels);
  FUZZ_CHECK(fast.Best == literal.Best);
  FUZZ_CHECK(fast.BestScore == literal.BestScore);
  FUZZ_CHECK(fast.Utf8 == literal.Utf8);
  FUZZ_CHECK(observer.improvements == literal.Improvements);
  FUZZ_CHECK(fast.BestScore <= sample.Count);
  FUZZ_CHECK(ChainLength(fast.Best) <= levels);

  // Broken off early: what was found so far is a prefix of the whole search.
  RecordingObserver broken;
  broken.breakAt = breakAt;
  const SearchResult part = SearchChains(sample, options, broken);
  FUZZ_CHECK(broken.improvements.size() <= observer.improvements.size());
  FUZZ_CHECK(std::equal(broken.improvements.begin(), broken.improvements.end(), observer.improvements.begin()));
  if (!part.Broken) FUZZ_CHECK(part.Best == fast.Best);

  // Detection inside a conversion, converting into the code page of the flags.
  TCfg cfg;
  cfg.DetectionLimit = limit;
  HeadlessWindow window;
  Converter converter(window, cfg);
  converter.Options.Switches.Utf8 = utf8Step;
  converter.Options.MaxChainLevels = levels;
  converter.Options.Target = ((input.flags >> 3) & 3) + 1;
  int events = 0;
  window.onEvents = [&] {
    if (++events == breakAt * 7) converter.UserBreak = true;
  };
  converter.TextBuffer = Text::FromLines(lines);
  converter.CopyTextToScreen();
  const bool found = converter.AutoCodeDetect();
  if (!converter.UserBreak) {
    // The search's result stands unless the reading of the whole text
    // decides otherwise: the text as it stands, or a single pair.
    const DetectionState& state = converter.Detection;
    if (state.ReadsAsItStands) {
      FUZZ_CHECK(found);
      FUZZ_CHECK(state.BestChain == Chain{});
      FUZZ_CHECK(ReadAsItStands(converter.TextBuffer, utf8Step).Readable());
    } else if (state.BestChain == fast.Best && state.Layer.Empty()) {
      // A result the reading refused leaves the empty chain with no score.
      FUZZ_CHECK(state.BestScore == fast.BestScore || (state.BestChain == Chain{} && state.BestScore == 0 && !found));
      if (found) FUZZ_CHECK(PercentOf(fast.BestScore, sample.Count) >= limit || ChainLength(state.BestChain) == 1);
    } else if (found) {
      FUZZ_CHECK(ChainLength(state.BestChain) == 1 && state.Layer.Empty() && !state.DetectedUtf8);
    } else {
      FUZZ_CHECK(state.BestChain == Chain{} && state.Layer.Empty());
    }
  }
  return 0;
}
