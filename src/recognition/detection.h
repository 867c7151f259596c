// Automatic code detection: a sample of words from the text, and the search
// through chains of conversion pairs for the one that turns the most sample
// words into Russian words.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "codepages/code_tables.h"
#include "recognition/word_reader.h"

namespace kamvo {

constexpr int kSampleSize = 25;

// Up to 25 words, positions 1..Count (stored at index position - 1).
struct Sample {
  std::array<std::string, kSampleSize> Words;
  int Count = 0;
};

// The smallest position whose word appears again later; 0 when all differ.
int FindDuplicateWord(const Sample& sample);
bool IsSampleWord(const Sample& sample, std::string_view word);
// Fewer one-letter words than half the sample.
bool FewOneLetterWords(const Sample& sample);
// The first position holding a one-letter word, or 25 when there is none.
int FirstOneLetterWord(const Sample& sample);

// Reads words from the reader's start until the sample holds 25 different
// words with few one-letter words among them, or the text ends.
Sample TakeSample(WordReader& reader);

struct ChainScore {
  int Score = 0;
  bool Utf8 = false;  // the score needs the UTF-8 step after the chain
};

// How many sample words the chain turns into Russian words, directly or,
// when utf8Step is set, through the UTF-8 step (which wins only when it
// recognises strictly more).
ChainScore ScoreChain(const Sample& sample, const Chain& chain, bool utf8Step);

// (score * 100 + count / 2) / count.
int PercentOf(int score, int count);

// The detection limit's two rules; every layer asks these and nothing else.
//
// A result is accepted (the text is converted through it) when its
// percentage reaches the limit.
constexpr bool ReachesDetectionLimit(int percent, int limit) { return percent >= limit; }
// The chain search ends at the first chain whose percentage passes the
// limit. A chain exactly at the limit does not end it: a later chain may
// still explain more words.
constexpr bool EndsChainSearch(int percent, int limit) { return percent > limit; }

// The highest level in use (1..8), 1 for the empty chain.
int ChainLength(const Chain& chain);

// What the search reports while it runs.
class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  // A chain recognised strictly more words than any before it.
  virtual void Improved(const Chain& chain, int score, int percent, bool utf8) = 0;
  // True ends the search (the user broke it off): the same meaning as a
  // decoding stage's StopRequested. Asked after every chain of up to two
  // levels, then after every chunk of longer chains and while waiting for
  // one.
  virtual bool StopRequested() = 0;
  // After every chain of length 0 or 1, whenever level 1 has run through
  // all its values in chains of two levels, and after every chunk of longer
  // chains (with the chunk's last chain).
  virtual void UpdateProgress(const Chain& chain) = 0;
  // Lets the window handle events: as often as StopRequested.
  virtual void Pump() = 0;
};

struct SearchOptions {
  bool Utf8Step = true;
  int DetectionLimit = 80;
  int MaxLevels = kChainLevels;  // fewer only for tests and experiments
  int Threads = 0;               // chains of three or more levels; 0: one per processor
  // Only chains that recognise more words than this count: the search
  // starts as if a chain had recognised this many, so that a search that
  // must beat an earlier result skips what cannot. 0: every chain that
  // recognises a word.
  int MustBeat = 0;
};

struct SearchResult {
  Chain Best{};
  int BestScore = 0;  // options.MustBeat when no chain beat it
  bool Utf8 = false;
  bool Broken = false;  // ended by the user
};

// Visits the empty chain, the chains of length 1, of length 2 and so on,
// within one length the highest level changing slowest, until a chain ends
// the search (EndsChainSearch), the user breaks off, or every
// chain has been tried. Reports exactly the improvements, in order, that
// trying every chain one by one would find. Chains of three or more levels
// are searched in chunks, side by side when options.Threads allows; the
// observer is called from the calling thread only, StopRequested and Pump at
// least once per chunk and every 10 ms, UpdateProgress once per chunk.
SearchResult SearchChains(const Sample& sample, const SearchOptions& options, SearchObserver& observer);

}  // namespace kamvo
