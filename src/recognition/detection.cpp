#include "recognition/detection.h"

#include <algorithm>

#include "codepages/unicode.h"
#include "recognition/russian_word.h"

namespace kamvo {

int FindDuplicateWord(const Sample& sample) {
  for (int i = 0; i < sample.Count; ++i)
    for (int j = i + 1; j < sample.Count; ++j)
      if (sample.Words[i] == sample.Words[j]) return i + 1;
  return 0;
}

bool IsSampleWord(const Sample& sample, std::string_view word) {
  for (int i = 0; i < sample.Count; ++i)
    if (sample.Words[i] == word) return true;
  return false;
}

bool FewOneLetterWords(const Sample& sample) {
  int oneLetter = 0;
  for (int i = 0; i < sample.Count; ++i)
    if (sample.Words[i].size() == 1) ++oneLetter;
  return oneLetter < sample.Count / 2;
}

int FirstOneLetterWord(const Sample& sample) {
  for (int i = 0; i < sample.Count; ++i)
    if (sample.Words[i].size() == 1) return i + 1;
  return kSampleSize;
}

Sample TakeSample(WordReader& reader) {
  Sample sample;
  for (;;) {
    std::string word = reader.NextWord();
    if (word.empty()) break;
    if (IsAsciiWord(word) || !IsCandidateWord(word)) continue;
    if (sample.Count < kSampleSize) {
      sample.Words[sample.Count++] = std::move(word);
      if (sample.Count == kSampleSize && FindDuplicateWord(sample) == 0 && FewOneLetterWords(sample))
        break;
      continue;
    }
    if (IsSampleWord(sample, word)) continue;
    if (const int duplicate = FindDuplicateWord(sample); duplicate != 0) {
      sample.Words[duplicate - 1] = std::move(word);
    } else if (FewOneLetterWords(sample)) {
      break;
    } else if (word.size() > 1) {
      sample.Words[FirstOneLetterWord(sample) - 1] = std::move(word);
    }
  }
  return sample;
}

namespace {

// Scores the sample through one code table that stands for a whole chain.
ChainScore ScoreThroughTable(const Sample& sample, const CodeTable& table, bool utf8Step) {
  ChainScore result;
  int utfScore = 0;
  std::string converted, decoded;
  for (int i = 0; i < sample.Count; ++i) {
    converted = sample.Words[i];
    ConvertInPlace(converted, table);
    if (IsRussianWord(converted)) ++result.Score;
    if (utf8Step && Utf8ToWin(converted, decoded) && IsRussianWord(decoded)) ++utfScore;
  }
  if (utfScore > result.Score) {
    result.Score = utfScore;
    result.Utf8 = true;
  }
  return result;
}

CodeTable Compose(const CodeTable& first, const CodeTable& then) {
  CodeTable result;
  for (int i = 0; i < 256; ++i) result[i] = then[first[i]];
  return result;
}

// The table of levels 2..8, applied after level 1.
CodeTable OuterTable(const Chain& chain, int levels) {
  CodeTable table = IdentityCodeTable();
  for (int level = 1; level < levels; ++level) table = Compose(table, PairTable(chain[level]));
  return table;
}

// Moves levels 2..levels to the next combination in search order; false
// when they have run through all of them.
bool AdvanceOuterLevels(Chain& chain, int levels) {
  for (int k = 1; k < levels; ++k) {
    if (chain[k] < kPairCount - 1) {
      ++chain[k];
      // Below a level in use every level is in use.
      for (int j = 1; j < k; ++j) chain[j] = 1;
      return true;
    }
  }
  return false;
}

}  // namespace

ChainScore ScoreChain(const Sample& sample, const Chain& chain, bool utf8Step) {
  return ScoreThroughTable(sample, MakeCodeTable(chain, true, kWindows), utf8Step);
}

int PercentOf(int score, int count) { return count == 0 ? 0 : (score * 100 + count / 2) / count; }

int ChainLength(const Chain& chain) {
  for (int level = kChainLevels; level >= 1; --level)
    if (chain[level - 1] != 0) return level;
  return 1;
}

SearchResult SearchChains(const Sample& sample, const SearchOptions& options,
                          SearchObserver& observer) {
  SearchResult result;
  const int levels = std::max(1, std::min(options.MaxLevels, kChainLevels));
  Chain chain{};
  for (;;) {
    const CodeTable outer = OuterTable(chain, levels);
    const int firstInner = chain[1] == 0 ? 0 : 1;
    for (int c1 = firstInner; c1 < kPairCount; ++c1) {
      chain[0] = static_cast<std::uint8_t>(c1);
      const ChainScore score =
          ScoreThroughTable(sample, Compose(PairTable(c1), outer), options.Utf8Step);
      if (score.Score > result.BestScore) {
        result.BestScore = score.Score;
        result.Best = chain;
        result.Utf8 = score.Utf8;
        const int percent = PercentOf(score.Score, sample.Count);
        observer.Improved(chain, score.Score, percent, score.Utf8);
        if (percent > options.DetectionLimit) return result;
      }
      if (observer.UserBreak()) {
        result.Broken = true;
        return result;
      }
      if (chain[1] == 0) observer.UpdateProgress(chain);
      observer.Pump();
    }
    observer.UpdateProgress(chain);
    if (!AdvanceOuterLevels(chain, levels)) return result;
  }
}

}  // namespace kamvo
