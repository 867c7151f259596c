// Scoring a sample through one conversion chain, and the facts about chains
// that the search relies on.
#pragma once

#include "codepages/code_tables.h"
#include "recognition/detection.h"

namespace kamvo {

// The table that applies `first`, then `then`.
CodeTable Compose(const CodeTable& first, const CodeTable& then);

// The same for tables that leave bytes below 0x80 alone: writes only the
// upper half of `result`, whose lower half must already be the identity.
inline void ComposeHigh(const CodeTable& first, const CodeTable& then, CodeTable& result) {
  for (int i = 0x80; i < 256; ++i) result[i] = then[first[i]];
}

// The inverse of a pair's table (every pair table is a permutation of the
// 256 byte values that leaves bytes below 0x80 alone).
const CodeTable& InversePairTable(int pairIndex);

// A pair followed by a pair that starts where the first ends acts as one
// pair (or none): the chain acts as a shorter one, which the search has
// already visited, so it can never improve on the best score.
inline bool Merges(int first, int then) { return first != 0 && then != 0 && PairTo(first) == PairFrom(then); }

// How many sample words the table turns into Russian words, directly or,
// when utf8Step is set, through the UTF-8 step (which wins only when it
// recognises strictly more). A cheap scan of each converted word skips the
// word test where it cannot succeed.
ChainScore ScoreThroughTable(const Sample& sample, const CodeTable& table, bool utf8Step);

}  // namespace kamvo
