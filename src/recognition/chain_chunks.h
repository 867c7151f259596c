// The chains of three or more levels, cut into chunks that can be searched
// one by one or side by side. A chunk fixes the top one or two levels of a
// length (chains of three and four levels make one chunk each); inside it,
// blocks of chains that share their levels above level 4 go through the
// quick test before any chain is scored.
#pragma once

#include <functional>
#include <vector>

#include "recognition/chain_filter.h"
#include "recognition/detection.h"

namespace kamvo {

struct Chunk {
  int Length = 3;    // 3..8
  int TopCount = 0;  // how many top levels are fixed (0..2)
  Chain Top{};       // the fixed levels at their places, zero elsewhere
};

// The chunks of chains of 3..maxLevels levels, in search order.
std::vector<Chunk> ChunksUpTo(int maxLevels);

// The chunk's last chain in search order (its free levels all 12).
Chain LastChainOf(const Chunk& chunk);

struct ChainFound {
  Chain Found{};
  int Score = 0;
  bool Utf8 = false;
};

// The sample as levels 2 and 1 leave it, for every entry of InnerLevels():
// scoring these through the rest of a chain scores the sample through the
// whole chain.
std::vector<Sample> SamplesAfterInnerLevels(const Sample& sample);

struct ChunkContext {
  const Sample& Words;
  const std::vector<Sample>& AfterInner;  // SamplesAfterInnerLevels(Words)
  const SampleFilter& Filter;
  bool Utf8Step = true;
  int DetectionLimit = 80;
};

enum class ChunkEnd {
  Done,     // every chain was tried
  Final,    // a chain passed the limit or recognised every word: no later chain counts
  Stopped,  // keepGoing said no
};

// Searches the chunk's chains in order, recording each one that beats the
// best score so far (starting from `best`). keepGoing is asked before each
// block.
ChunkEnd SearchChunk(const ChunkContext& context, const Chunk& chunk, int best, const std::function<bool()>& keepGoing,
                     SampleFilter::Scratch& scratch, std::vector<ChainFound>& found);

}  // namespace kamvo
