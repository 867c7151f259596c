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


int PercentOf(int score, int count) { return count == 0 ? 0 : (score * 100 + count / 2) / count; }

int ChainLength(const Chain& chain) {
  for (int level = kChainLevels; level >= 1; --level)
    if (chain[level - 1] != 0) return level;
  return 1;
}

namespace {

// Sample words are candidate words, which have at most this many bytes.
constexpr std::size_t kMaxCandidateBytes = 15;

// Byte classes of a converted word, for rejecting words without running the
// word test.
enum : Byte {
  kAscii = 1,      // below 0x80
  kLetter = 2,     // Ё, ё, А..я
  kNoBreak = 4,    // no-break space or "№": the word test treats them apart
  kContinue = 8,   // 0x80..0xBF: a UTF-8 continuation byte
  kLead2 = 16,     // 0xC0..0xDF: starts a two-byte UTF-8 sequence
  kLead3 = 32,     // 0xE0..0xEF: starts a three-byte UTF-8 sequence
};

constexpr std::array<Byte, 256> BuildByteClasses() {
  std::array<Byte, 256> classes{};
  for (int b = 0; b < 256; ++b) {
    Byte c = 0;
    if (b < 0x80) c |= kAscii;
    if (b == 0xA8 || b == 0xB8 || b >= 0xC0) c |= kLetter;
    if (b == 0xA0 || b == 0xB9) c |= kNoBreak;
    if (b >= 0x80 && b <= 0xBF) c |= kContinue;
    if (b >= 0xC0 && b <= 0xDF) c |= kLead2;
    if (b >= 0xE0 && b <= 0xEF) c |= kLead3;
    classes[b] = c;
  }
  return classes;
}
constexpr std::array<Byte, 256> kByteClasses = BuildByteClasses();

// What a cheap scan of a converted word tells: whether the word test could
// accept it, and whether the UTF-8 step could.
struct WordOutlook {
  bool Direct;
  bool Utf8;
};

// Scans the word as the table converts it. The direct answer is "maybe"
// unless a byte becomes something other than a letter (no-break spaces and
// "№" split or stand alone in the word test, so words holding them are left
// to it). The UTF-8 answer counts sequences as if every one decoded, which
// can only overstate the decoded bytes and understate the stray ones.
WordOutlook Outlook(std::string_view word, const CodeTable& table) {
  Byte converted[kMaxCandidateBytes];
  const std::size_t n = std::min(word.size(), sizeof converted);
  bool allLetters = true, noBreak = false;
  for (std::size_t i = 0; i < n; ++i) {
    converted[i] = table[static_cast<Byte>(word[i])];
    const Byte c = kByteClasses[converted[i]];
    if (!(c & (kAscii | kLetter))) allLetters = false;
    if (c & kNoBreak) noBreak = true;
  }
  const bool direct = allLetters || noBreak;
  int decoded = 0, stray = 0;
  auto continues = [&](std::size_t k) { return k < n && (kByteClasses[converted[k]] & kContinue); };
  for (std::size_t i = 0; i < n;) {
    const Byte c = kByteClasses[converted[i]];
    if (c & kAscii) {
      ++i;
    } else if ((c & kLead2) && continues(i + 1)) {
      decoded += 2;
      i += 2;
    } else if ((c & kLead3) && continues(i + 1) && continues(i + 2)) {
      decoded += 3;
      i += 3;
    } else {
      ++stray;
      ++i;
    }
  }
  return {direct, decoded > 2 * stray};
}

// Scores the sample through a table, running the word test only on words
// that the scan leaves open.
ChainScore ScoreFiltered(const Sample& sample, const CodeTable& table, bool utf8Step) {
  ChainScore result;
  int utfScore = 0;
  std::string converted, decoded;
  for (int i = 0; i < sample.Count; ++i) {
    const std::string& word = sample.Words[i];
    const WordOutlook outlook =
        word.size() <= kMaxCandidateBytes ? Outlook(word, table) : WordOutlook{true, true};
    if (outlook.Direct && IsRussianWord(word, table)) ++result.Score;
    if (utf8Step && outlook.Utf8) {
      converted = word;
      ConvertInPlace(converted, table);
      if (Utf8ToWin(converted, decoded) && IsRussianWord(decoded)) ++utfScore;
    }
  }
  if (utfScore > result.Score) {
    result.Score = utfScore;
    result.Utf8 = true;
  }
  return result;
}

// A pair followed by a pair that starts where the first ends acts as one
// pair (or none): the chain acts as a shorter one, which the search has
// already visited, so it can never improve on the best score.
bool Merges(int first, int then) { return first != 0 && then != 0 && PairTo(first) == PairFrom(then); }

bool OuterLevelsMerge(const Chain& chain, int levels) {
  for (int k = 1; k + 1 < levels; ++k)
    if (Merges(chain[k], chain[k + 1])) return true;
  return false;
}

}  // namespace

ChainScore ScoreChain(const Sample& sample, const Chain& chain, bool utf8Step) {
  return ScoreFiltered(sample, MakeCodeTable(chain, true, kWindows), utf8Step);
}

SearchResult SearchChains(const Sample& sample, const SearchOptions& options,
                          SearchObserver& observer) {
  SearchResult result;
  const int levels = std::max(1, std::min(options.MaxLevels, kChainLevels));
  Chain chain{};
  for (;;) {
    if (!OuterLevelsMerge(chain, levels)) {
      const CodeTable outer = OuterTable(chain, levels);
      const int firstInner = chain[1] == 0 ? 0 : 1;
      for (int c1 = firstInner; c1 < kPairCount; ++c1) {
        chain[0] = static_cast<std::uint8_t>(c1);
        if (!Merges(c1, chain[1])) {
          const ChainScore score =
              ScoreFiltered(sample, Compose(PairTable(c1), outer), options.Utf8Step);
          if (score.Score > result.BestScore) {
            result.BestScore = score.Score;
            result.Best = chain;
            result.Utf8 = score.Utf8;
            const int percent = PercentOf(score.Score, sample.Count);
            observer.Improved(chain, score.Score, percent, score.Utf8);
            if (percent > options.DetectionLimit) return result;
          }
        }
        if (observer.UserBreak()) {
          result.Broken = true;
          return result;
        }
        if (chain[1] == 0) observer.UpdateProgress(chain);
        observer.Pump();
      }
    } else {
      chain[0] = kPairCount - 1;
      if (observer.UserBreak()) {
        result.Broken = true;
        return result;
      }
      observer.Pump();
    }
    observer.UpdateProgress(chain);
    // Once every sample word is recognised no chain can do better.
    if (result.BestScore == sample.Count) return result;
    if (!AdvanceOuterLevels(chain, levels)) return result;
  }
}

}  // namespace kamvo
