// KOI8-R keeps its letters in the other case order from the other code
// pages, so a chain one step away from the right one can read a lower-case
// text as capitals: every sample word is still a Russian word (in capitals),
// and only the text's own capitals are lost to signs or other letters
// (ЈРЕМЕНА for Времена, °АСКРЕПОЩЕННОСТЬ for Раскрепощенность). The chain
// search cannot tell the two apart by the sample. These are the chains that
// read the sample as well in lower case, for the whole text to decide.
#pragma once

#include <vector>

#include "recognition/detection.h"

namespace kamvo {

// True when the sample words come out of the chain in capitals: at least
// three words of two letters or more in capitals only, five times as many
// as words holding a small letter.
bool ReadsSampleInCapitals(const Sample& sample, const Chain& chain);

// When `found` reads the sample in capitals: the chains of up to
// `maxLevels` levels (at most four) that score at least `score` without the
// UTF-8 step and read more sample words with small letters than in
// capitals, shortest first.
// Empty otherwise.
std::vector<Chain> CaseSiblings(const Sample& sample, const Chain& found, int score, int maxLevels);

}  // namespace kamvo
