// The ways of one or two conversions that real damage takes most often: one
// wrong code page; a text read in a wrong code page and saved as UTF-8; the
// same with the text itself in a wrong code page underneath. Detection
// reads the whole text through each of them beside the chain search, since
// the search judges only a sample and may find a long chain where one of
// these explains every word.
#pragma once

#include <vector>

#include "codepages/text.h"
#include "recognition/outer_layer.h"
#include "recognition/reading.h"

namespace kamvo {

// A conversion as detection records one: out of an outer UTF-8 layer,
// through a chain into Windows-1251, and the UTF-8 step.
struct Way {
  OuterLayer Layer;
  Chain Pairs{};
  bool Utf8 = false;

  int Steps() const { return ConversionSteps(Layer, Pairs, Utf8); }
  bool operator==(const Way&) const = default;
};

// The short ways, fewest conversions first: each single pair into and out
// of Windows-1251 (from MacCyrillic, KOI8-U, CP1125 and IBM855 too), and for a text that is valid UTF-8 beyond ASCII,
// each code page that holds its characters as an outer layer followed by the UTF-8 step or by a single pair of the four
// code pages into Windows-1251.
std::vector<Way> ShortWays(const Text& text, bool utf8Allowed);

struct WayReading {
  Way Route;
  Reading Read;
};

// True when the way reads the text as Ukrainian or Belarusian through a
// single code page that lacks their і (CP866, KOI8-R): the text is then in
// a sibling code page (CP1125, KOI8-U) that reads it with і where this one
// shows ў or a sign.
bool ReadsALanguageTheCodePageLacks(const Way& way, const Reading& reading);

// The short way that reads the text best among those `accept` lets
// through; fewer conversions win at the same share of good words, unless
// they read a language their code page cannot hold.
// Nothing (Read.Words == 0) when none is accepted.
template <typename Accept>
WayReading BestShortWay(const Text& text, bool utf8Allowed, Accept accept) {
  WayReading best;
  bool bestLacks = false;
  for (const Way& way : ShortWays(text, utf8Allowed)) {
    const Reading reading = ReadThrough(text, ChainReading(way.Layer, way.Pairs, way.Utf8));
    if (reading.Words == 0 || !accept(way, reading)) continue;
    const bool lacks = ReadsALanguageTheCodePageLacks(way, reading);
    if (best.Read.Words == 0 || reading.Percent() > best.Read.Percent() ||
        (reading.Percent() == best.Read.Percent() && bestLacks && !lacks)) {
      best = WayReading{way, reading};
      bestLacks = lacks;
    }
  }
  return best;
}

}  // namespace kamvo
