// Detection through an outer UTF-8 layer: a text that is valid UTF-8 may be
// a text that was read in a wrong code page and saved as UTF-8 (once, or
// twice over). Taking it out of UTF-8 into the code page it was read in gives
// back its bytes, and the chain search then works on those as on any text.
// A layer's sample is taken from the text as the layer gives it, so it
// often holds longer words than the written search's sample (words of UTF-8
// mojibake take four bytes a letter).
//
// The search runs once for each code page that holds every character of the
// text, and once more for each code page that holds every character of such a
// result when that result is itself valid UTF-8. A layer's result that
// reaches the detection limit replaces the result before it when it explains
// strictly more sample words, whatever the percentages (a result at the limit
// explaining more words is not replaced by one explaining fewer). Otherwise a
// layer's result replaces the result before it with a strictly higher
// percentage, or with the same percentage of strictly more words; between
// layers, the same percentage of as many words reached with fewer
// conversions counts as better too. A
// layer that converts the text just as the result before it does never
// replaces it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "codepages/text.h"
#include "recognition/detection.h"

namespace kamvo {

// The code pages an outer layer may take a text into, in the order they are
// tried: the four Cyrillic ones, then Windows-1252 (Cyrillic text read as
// Western European and saved as UTF-8).
inline constexpr std::array<int, 5> kLayerCodes = {kWindows, kDos, kKoi8, kIso, kWindows1252};

// True when every character of a text that `check` scanned is in the code page.
inline bool Holds(unsigned holders, int code) { return (holders >> (code - 1) & 1) != 0; }

// The code pages a text is taken out of UTF-8 into, the outer one first; 0
// where unused.
struct OuterLayer {
  std::array<std::uint8_t, 2> Codes{};

  bool Empty() const { return Codes[0] == 0; }
  int Size() const { return (Codes[0] != 0) + (Codes[1] != 0); }
  bool operator==(const OuterLayer&) const = default;
};

// Takes a line out of UTF-8 through the layer's code pages, one after the
// other. False, and the line left as it was, when some step finds no valid
// UTF-8 of characters its code page holds. textStart: the line opens the
// text (a byte order mark there is dropped).
bool ApplyOuterLayer(std::string& line, const OuterLayer& layer, std::string& scratch, bool textStart);

// The sample that sampling takes from the text taken through the layer.
// Converts only the lines the sampling reads (in growing pieces).
Sample TakeSampleThroughLayer(const Text& text, const OuterLayer& layer);

// How many conversions a result applies: the layer's steps, the chain's
// levels and the UTF-8 step.
int ConversionSteps(const OuterLayer& layer, const Chain& chain, bool utf8);

struct LayerResult {
  OuterLayer Layer;
  Sample Words;  // the layer's sample
  Chain Best{};
  int BestScore = 0;
  int Percent = 0;
  bool Utf8 = false;
};

class LayerObserver {
 public:
  virtual ~LayerObserver() = default;
  // A layer's chain beat every result before it.
  virtual void Improved(const LayerResult& result) = 0;
  virtual bool StopRequested() = 0;
  virtual void UpdateProgress(const Chain& chain) = 0;
  virtual void Pump() = 0;
};

// What the layers have to beat: the written search's result.
struct WrittenResult {
  int Percent = 0;  // 0 when it recognised nothing or had no sample
  int Score = 0;
  // Its chain is the UTF-8 step alone: the layer into Windows-1251 without
  // a chain converts the text the same way.
  bool Utf8Alone = false;
};

struct LayerSearchResult {
  bool Found = false;  // some layer beat the written search
  LayerResult Best;
  bool Broken = false;
};

// The chain search through every outer layer the text allows (none when it
// is not valid UTF-8 with some character above U+007F). Each layer's search is
// the chain search with options (its UTF-8 step included); it is told what
// it must beat, which ends it early where it cannot, without changing which
// layer wins.
LayerSearchResult SearchOuterLayers(const Text& text, const SearchOptions& options, const WrittenResult& written,
                                    LayerObserver& observer);

}  // namespace kamvo
