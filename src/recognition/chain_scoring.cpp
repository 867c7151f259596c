#include "recognition/chain_scoring.h"

#include <algorithm>
#include <string>

#include "codepages/unicode.h"
#include "recognition/russian_word.h"

namespace kamvo {

CodeTable Compose(const CodeTable& first, const CodeTable& then) {
  CodeTable result;
  for (int i = 0; i < 256; ++i) result[i] = then[first[i]];
  return result;
}

const CodeTable& InversePairTable(int pairIndex) {
  static const std::array<CodeTable, kAllPairCount> inverses = [] {
    std::array<CodeTable, kAllPairCount> tables{};
    for (int p = 0; p < kAllPairCount; ++p)
      for (int b = 0; b < 256; ++b) tables[p][PairTable(p)[b]] = static_cast<Byte>(b);
    return tables;
  }();
  return inverses[pairIndex];
}

namespace {

// Byte classes of a converted word, for rejecting words without running the
// word test.
enum : Byte {
  kAscii = 1,     // below 0x80
  kLetter = 2,    // Ё, ё, А..я
  kNoBreak = 4,   // no-break space or "№": the word test treats them apart
  kContinue = 8,  // 0x80..0xBF: a UTF-8 continuation byte
  kLead2 = 16,    // 0xC2..0xDF: starts a two-byte UTF-8 sequence (0xC0, 0xC1 only overlong ones)
  kLead3 = 32,    // 0xE0..0xEF: starts a three-byte UTF-8 sequence
};

constexpr std::array<Byte, 256> BuildByteClasses() {
  std::array<Byte, 256> classes{};
  for (int b = 0; b < 256; ++b) {
    Byte c = 0;
    if (b < 0x80) c |= kAscii;
    if (b == 0xA8 || b == 0xB8 || b >= 0xC0) c |= kLetter;
    if (b == 0xA0 || b == 0xB9) c |= kNoBreak;
    if (b >= 0x80 && b <= 0xBF) c |= kContinue;
    if (b >= 0xC2 && b <= 0xDF) c |= kLead2;
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

}  // namespace

ChainScore ScoreThroughTable(const Sample& sample, const CodeTable& table, bool utf8Step) {
  int direct = 0, utf = 0;
  std::string converted, decoded;
  for (int i = 0; i < sample.Count; ++i) {
    const std::string& word = sample.Words[i];
    const WordOutlook outlook = word.size() <= kMaxCandidateBytes ? Outlook(word, table) : WordOutlook{true, true};
    if (outlook.Direct && IsRussianWord(word, table)) ++direct;
    if (utf8Step && outlook.Utf8) {
      converted = word;
      ConvertInPlace(converted, table);
      if (Utf8ToWin(converted, decoded) && IsRussianWord(decoded)) ++utf;
    }
  }
  if (utf > direct) return {utf, true};
  return {direct, false};
}

}  // namespace kamvo
