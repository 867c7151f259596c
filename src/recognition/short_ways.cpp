#include "recognition/short_ways.h"

#include "codepages/code_page_unicode.h"

namespace kamvo {

std::vector<Way> ShortWays(const Text& text, bool utf8Allowed) {
  std::vector<Way> ways;
  for (int pair = 1; pair < kAllPairCount; ++pair)
    ways.push_back(Way{{}, Chain{static_cast<std::uint8_t>(pair)}, false});
  if (!utf8Allowed) return ways;
  const Utf8TextCheck check = CheckUtf8Text(text);
  if (!check.Usable()) return ways;
  for (const int code : kLayerCodes) {
    if (!Holds(check.Holders, code)) continue;
    const OuterLayer layer{{static_cast<std::uint8_t>(code), 0}};
    // Windows-1251 read in the code page and saved as UTF-8 (in Windows-1251
    // itself: the text as it stands).
    if (code != kWindows) ways.push_back(Way{layer, Chain{}, false});
  }
  for (const int code : kLayerCodes) {
    if (!Holds(check.Holders, code)) continue;
    const OuterLayer layer{{static_cast<std::uint8_t>(code), 0}};
    // UTF-8 read in the code page and saved as UTF-8 again.
    ways.push_back(Way{layer, Chain{}, true});
    // A text in a code page read in another and saved as UTF-8.
    for (int pair = 1; pair < kPairCount; ++pair)
      if (PairTo(pair) == kWindows) ways.push_back(Way{layer, Chain{static_cast<std::uint8_t>(pair)}, false});
  }
  return ways;
}

bool ReadsALanguageTheCodePageLacks(const Way& way, const Reading& reading) {
  if (reading.Language != TextLanguage::Ukrainian && reading.Language != TextLanguage::Belarusian) return false;
  if (!way.Layer.Empty() || way.Utf8 || ChainLength(way.Pairs) != 1 || PairTo(way.Pairs[0]) != kWindows) return false;
  const int source = PairFrom(way.Pairs[0]);
  return source == kDos || source == kKoi8;
}

}  // namespace kamvo
