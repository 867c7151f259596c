#include "recognition/chain_chunks.h"

#include <algorithm>
#include <bit>

#include "codepages/unicode.h"
#include "recognition/chain_scoring.h"
#include "recognition/russian_word.h"

namespace kamvo {

std::vector<Chunk> ChunksUpTo(int maxLevels) {
  std::vector<Chunk> chunks;
  for (int length = 3; length <= maxLevels; ++length) {
    Chunk chunk;
    chunk.Length = length;
    chunk.TopCount = std::clamp(length - 4, 0, 2);
    if (chunk.TopCount == 0) {
      chunks.push_back(chunk);
      continue;
    }
    for (int top = 1; top < kPairCount; ++top) {
      chunk.Top[length - 1] = static_cast<std::uint8_t>(top);
      if (chunk.TopCount == 1) {
        chunks.push_back(chunk);
        continue;
      }
      for (int next = 1; next < kPairCount; ++next) {
        chunk.Top[length - 2] = static_cast<std::uint8_t>(next);
        chunks.push_back(chunk);
      }
    }
  }
  return chunks;
}

std::vector<Sample> SamplesAfterInnerLevels(const Sample& sample) {
  std::vector<Sample> samples;
  for (const LevelPair& inner : InnerLevels()) {
    const CodeTable table = Compose(PairTable(inner.Lower), PairTable(inner.Upper));
    Sample& converted = samples.emplace_back();
    converted.Count = sample.Count;
    for (int w = 0; w < sample.Count; ++w) converted.Words[w] = ConvertByTable(sample.Words[w], table);
  }
  return samples;
}

Chain LastChainOf(const Chunk& chunk) {
  Chain chain = chunk.Top;
  for (int level = 0; level < chunk.Length - chunk.TopCount; ++level) chain[level] = kPairCount - 1;
  return chain;
}

namespace {

class ChunkSearcher {
 public:
  ChunkSearcher(const ChunkContext& context, const Chunk& chunk, int best, const std::function<bool()>& keepGoing,
                SampleFilter::Scratch& scratch, std::vector<ChainFound>& found)
      : context_(context),
        length_(chunk.Length),
        chain_(chunk.Top),
        best_(best),
        keepGoing_(keepGoing),
        scratch_(scratch),
        found_(found) {}

  ChunkEnd Run(int topCount) {
    CodeTable outer = IdentityCodeTable(), inverse = IdentityCodeTable();
    for (int level = length_ - 1; level >= length_ - topCount; --level) {
      if (level + 1 < length_ && Merges(chain_[level], chain_[level + 1])) return ChunkEnd::Done;
      outer = Compose(PairTable(chain_[level]), outer);
      inverse = Compose(inverse, InversePairTable(chain_[level]));
    }
    return Descend(length_ - topCount - 1, outer, inverse);
  }

 private:
  // Fills level index `level` and the ones below it; `outer` applies the
  // levels above, `inverse` undoes them.
  ChunkEnd Descend(int level, const CodeTable& outer, const CodeTable& inverse) {
    if (level <= 3) return RunBlock(outer, inverse);
    for (int pair = 1; pair < kPairCount; ++pair) {
      if (Merges(pair, chain_[level + 1])) continue;
      chain_[level] = static_cast<std::uint8_t>(pair);
      const ChunkEnd end =
          Descend(level - 1, Compose(PairTable(pair), outer), Compose(inverse, InversePairTable(pair)));
      if (end != ChunkEnd::Done) return end;
    }
    return ChunkEnd::Done;
  }

  // Levels 4 (if the chain has it), 3, 2 and 1 under fixed outer levels.
  ChunkEnd RunBlock(const CodeTable& outer, const CodeTable& inverse) {
    if (!keepGoing_()) return ChunkEnd::Stopped;
    const bool withLevel4 = length_ >= 4;
    const int level5 = length_ >= 5 ? chain_[4] : 0;
    context_.Filter.Candidates(withLevel4, level5, inverse, best_ + 1, scratch_, candidates_);
    // The open chains in search order, by lane, then by inner levels: a
    // counting sort of the inner indexes into one bucket per lane.
    std::fill(std::begin(laneEnd_), std::end(laneEnd_), 0);
    for (const SampleFilter::Open& open : candidates_) {
      const LaneSet lanes{open.Direct.Bits | open.Utf8.Bits};
      for (int word = 0; word < 2; ++word)
        for (std::uint64_t bits = lanes.Word(word); bits != 0; bits &= bits - 1)
          ++laneEnd_[word * 64 + std::countr_zero(bits) + 1];
    }
    for (int lane = 0; lane < kLanes; ++lane) laneEnd_[lane + 1] += laneEnd_[lane];
    byLane_.resize(laneEnd_[kLanes]);
    {
      int fill[kLanes];
      std::copy(std::begin(laneEnd_), std::end(laneEnd_) - 1, fill);
      for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const LaneSet lanes{candidates_[i].Direct.Bits | candidates_[i].Utf8.Bits};
        for (int word = 0; word < 2; ++word)
          for (std::uint64_t bits = lanes.Word(word); bits != 0; bits &= bits - 1)
            byLane_[fill[word * 64 + std::countr_zero(bits)]++] = static_cast<std::uint8_t>(i);
      }
    }
    const std::vector<LevelPair>& lanes = BlockLanes(withLevel4);
    const std::vector<LevelPair>& inner = InnerLevels();
    int upper = -1;
    for (int lane = 0; lane < static_cast<int>(lanes.size()); ++lane) {
      if (laneEnd_[lane] == laneEnd_[lane + 1]) continue;
      chain_[3] = lanes[lane].Upper;
      chain_[2] = lanes[lane].Lower;
      // Levels 4 and 3 and the outer levels, applied to the sample as the
      // inner levels leave it (lanes come grouped by level 4).
      if (lanes[lane].Upper != upper) {
        upper = lanes[lane].Upper;
        ComposeHigh(PairTable(upper), outer, afterLevel3_);
      }
      ComposeHigh(PairTable(lanes[lane].Lower), afterLevel3_, afterLevel2_);
      for (int k = laneEnd_[lane]; k < laneEnd_[lane + 1]; ++k) {
        const int i = byLane_[k];
        const ChainScore score = Score(candidates_[i], lane, context_.AfterInner[i], afterLevel2_);
        if (score.Score <= best_) continue;
        chain_[1] = inner[i].Upper;
        chain_[0] = inner[i].Lower;
        best_ = score.Score;
        found_.push_back({chain_, score.Score, score.Utf8});
        if (EndsChainSearch(PercentOf(best_, context_.Words.Count), context_.DetectionLimit) ||
            best_ == context_.Words.Count)
          return ChunkEnd::Final;
      }
    }
    return ChunkEnd::Done;
  }

  // The chain's score when it can beat the best, or no more than the best:
  // only the words the quick test left open are judged, and a side (direct
  // or UTF-8) the test ruled out, or that falls too far behind, scores -1.
  ChainScore Score(const SampleFilter::Open& open, int lane, const Sample& words, const CodeTable& table) {
    const int needed = best_ + 1;
    // The words the test left open in this lane, as one bit per word: the
    // others fail without a look, and the ones left are judged in order
    // until too many have failed.
    auto openIn = [&](const std::array<LaneSet, kSampleSize>& sets) {
      std::uint32_t mask = 0;
      const int half = lane >> 6, bit = lane & 63;
      for (int w = 0; w < words.Count; ++w) mask |= static_cast<std::uint32_t>((sets[w].Word(half) >> bit) & 1) << w;
      return mask;
    };
    int direct = -1, utf = -1;
    if (open.Direct.Has(lane)) {
      const std::uint32_t candidates = openIn(open.DirectWords);
      int failed = words.Count - std::popcount(candidates);
      direct = words.Count - failed < needed ? -1 : 0;
      for (std::uint32_t bits = candidates; bits != 0 && direct >= 0; bits &= bits - 1) {
        const int w = std::countr_zero(bits);
        if ((open.Tested && context_.Filter.DirectExact(w)) || IsRussianWord(words.Words[w], table)) {
          ++direct;
        } else if (words.Count - ++failed < needed) {
          direct = -1;
        }
      }
    }
    if (open.Utf8.Has(lane)) {
      const std::uint32_t candidates = openIn(open.Utf8Words);
      int failed = words.Count - std::popcount(candidates);
      utf = words.Count - failed < needed ? -1 : 0;
      for (std::uint32_t bits = candidates; bits != 0 && utf >= 0; bits &= bits - 1) {
        const int w = std::countr_zero(bits);
        converted_ = words.Words[w];
        ConvertInPlace(converted_, table);
        if (Utf8ToWin(converted_, decoded_) && IsRussianWord(decoded_)) {
          ++utf;
        } else if (words.Count - ++failed < needed) {
          utf = -1;
        }
      }
    }
    if (utf > direct) return {utf, true};
    return {std::max(direct, 0), false};
  }

  const ChunkContext& context_;
  const int length_;
  Chain chain_;
  int best_;
  const std::function<bool()>& keepGoing_;
  SampleFilter::Scratch& scratch_;
  std::vector<ChainFound>& found_;
  std::vector<SampleFilter::Open> candidates_;
  static constexpr int kLanes = 128;
  int laneEnd_[kLanes + 1];           // bucket lane ends at laneEnd_[lane + 1]
  std::vector<std::uint8_t> byLane_;  // the open inner indexes, bucketed by lane
  // Tables that leave bytes below 0x80 alone; only their upper halves are
  // ever written.
  CodeTable afterLevel3_ = IdentityCodeTable(), afterLevel2_ = IdentityCodeTable();
  std::string converted_, decoded_;
};

}  // namespace

ChunkEnd SearchChunk(const ChunkContext& context, const Chunk& chunk, int best, const std::function<bool()>& keepGoing,
                     SampleFilter::Scratch& scratch, std::vector<ChainFound>& found) {
  return ChunkSearcher(context, chunk, best, keepGoing, scratch, found).Run(chunk.TopCount);
}

}  // namespace kamvo
