#include "recognition/detection.h"

#include <algorithm>

#include "recognition/chain_scoring.h"
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
      if (sample.Count == kSampleSize && FindDuplicateWord(sample) == 0 && FewOneLetterWords(sample)) break;
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

int PercentOf(int score, int count) { return count == 0 ? 0 : (score * 100 + count / 2) / count; }

int ChainLength(const Chain& chain) {
  for (int level = kChainLevels; level >= 1; --level)
    if (chain[level - 1] != 0) return level;
  return 1;
}

ChainScore ScoreChain(const Sample& sample, const Chain& chain, bool utf8Step) {
  return ScoreThroughTable(sample, MakeCodeTable(chain, true, kWindows), utf8Step);
}

}  // namespace kamvo
