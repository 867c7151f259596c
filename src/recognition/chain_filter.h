// A quick test that rules out most chains of the search without scoring them.
//
// The word test accepts a converted word only if, up to its first no-break
// space (0xA0), every byte is a letter (or the word is "№"). So a sample word
// can be recognised directly only if every byte of 0x80 and above becomes a
// letter, 0xA0 or 0xB9, or some byte becomes 0xA0.
//
// Through the UTF-8 step, a word of h high bytes decodes only if more than
// 2h/3 of them sit in sequences that decode. Each such sequence has one of
// the leads 0xC2, 0xC3, 0xD0..0xD2, 0xE2 (no other lead decodes to a
// Windows-1251 character: 0xC0, 0xC1 and 0xE0 give only overlong forms,
// which do not decode) and a continuation byte (0x80..0xBF), so more
// than 2h/9 bytes must become such leads and some byte a continuation byte.
//
// Without a no-break space the word test asks more of the letters, and the
// test follows it: a one-byte word must become one of the one-letter words
// (or "№"), which the test decides exactly; a word of three or more bytes
// must become lower case, or upper case turning lower case at most once,
// and hold a vowel and a consonant.
//
// Words holding bytes below 0x80 other than Latin look-alike letters are
// never ruled out. A chain whose count of direct or of UTF-8 possibilities
// stays below the score it must reach is skipped.
//
// The test runs on blocks of chains that share their levels above level 4:
// the combinations of levels 4 and 3 are lanes of a bit vector, and each
// combination of levels 2 and 1 is tried over all lanes at once.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "recognition/detection.h"
#include "recognition/russian_word.h"

namespace kamvo {

// One bit per lane, 128 lanes, in a vector register where the machine has
// one (GCC and Clang vector extension; plain code elsewhere).
using LaneBits = std::uint64_t __attribute__((vector_size(16)));

struct LaneSet {
  LaneBits Bits{};

  bool Has(int lane) const { return (Bits[lane >> 6] >> (lane & 63)) & 1; }
  void Add(int lane) { Bits[lane >> 6] |= std::uint64_t{1} << (lane & 63); }
  bool Empty() const { return (Bits[0] | Bits[1]) == 0; }
  std::uint64_t Word(int i) const { return Bits[i]; }
};

// A pair of adjacent levels: the upper one applied after the lower one.
struct LevelPair {
  std::uint8_t Upper = 0;
  std::uint8_t Lower = 0;
};

// The lanes of a block in search order: levels 4 and 3 where level 3 does
// not merge with level 4 (108 lanes), or for chains of three levels, level 3
// alone (12 lanes, Upper 0).
const std::vector<LevelPair>& BlockLanes(bool withLevel4);

// Levels 2 and 1 in search order, where level 1 does not merge with level 2.
const std::vector<LevelPair>& InnerLevels();

// The lanes whose chain does not act as a shorter one, given level 5 (0 when
// there is none) and level 2.
const LaneSet& IrreducibleLanes(bool withLevel4, int level5, int level2);

class SampleFilter {
 public:
  SampleFilter(const Sample& sample, bool utf8Step);

  // Per byte (minus 0x80), the lanes where it becomes...
  struct Scratch {
    std::array<LaneSet, 128> Upper;      // 0xC0..0xFF (else a continuation byte)
    std::array<LaneSet, 128> Letter;     // 0xC0..0xFF, 0xA0, 0xA8, 0xB8 or 0xB9
    std::array<LaneSet, 128> NoBreak;    // 0xA0
    std::array<LaneSet, 128> Lead;       // a lead that decodes
    std::array<LaneSet, 128> Vowel;      // a vowel of either case
    std::array<LaneSet, 128> Consonant;  // a consonant of either case
    // A one-letter word of either case, or "№"; an upper-case and a
    // lower-case letter. Entries 128 and 129 stand for an upper-case and a
    // lower-case Latin look-alike.
    std::array<LaneSet, 130> OneLetter, CaseUpper, CaseLower;
    // How often the letters alone ruled out every lane, of the times they
    // were tried lately: the direct test weighs by them first only where
    // that pays.
    int LettersTried = 0, LettersRuledOut = 0;
  };

  // What the test leaves open for one entry of InnerLevels(): the lanes
  // whose chain (the inner levels, the lane's levels, then the outer levels)
  // may recognise at least `needed` words directly, or through the UTF-8
  // step, and for those lanes, per sample word, where it may be recognised.
  // Only irreducible chains are reported.
  struct Open {
    LaneSet Direct, Utf8;
    std::array<LaneSet, kSampleSize> DirectWords, Utf8Words;
    bool Tested = false;  // false: every word was left open without a test
  };

  // True when, for a tested block, DirectWords is exactly the word test's
  // answer for the sample word at this index (0-based): so for one-byte
  // words of a high byte.
  bool DirectExact(int index) const { return exact_[index]; }

  // The candidates of a block, one entry per entry of InnerLevels();
  // `outerInverse` undoes the outer levels.
  void Candidates(bool withLevel4, int level5, const CodeTable& outerInverse, int needed, Scratch& scratch,
                  std::vector<Open>& candidates) const;

 private:
  // The case entries of Scratch that stand for Latin look-alikes.
  static constexpr std::uint8_t kLatinUpper = 128, kLatinLower = 129;
  struct WordBytes {
    std::uint8_t Count = 0;                // distinct high bytes
    std::array<std::uint8_t, 16> Bytes{};  // as byte - 0x80
    std::array<std::uint8_t, 16> Times{};  // how often each occurs
    std::uint8_t Leads = 0;                // how many must become leads; 0: cannot decode
    std::uint8_t Length = 0;               // bytes in the word
    // Every byte in order, as byte - 0x80, or kLatinUpper or kLatinLower.
    std::array<std::uint8_t, kMaxCandidateBytes> Sequence{};
    bool LatinVowel = false, LatinConsonant = false;  // look-alikes that read so
  };

  void MarkBytes(bool withLevel4, int level5, const CodeTable& outerInverse, Scratch& scratch) const;
  void CountWords(const std::vector<WordBytes>& words, int needed, const LaneSet& lanes, bool lettersFirst,
                  Scratch& scratch, Open& open) const;
  // The lanes where the word may pass the word test directly; outside
  // `alive` the answer is only "maybe".
  [[gnu::always_inline]] static LaneSet MayBeWord(const WordBytes& word, const LaneSet& alive, const Scratch& scratch);
  [[gnu::always_inline]] static LaneSet MayDecodeWord(const WordBytes& word, const LaneSet& alive,
                                                      const Scratch& scratch);

  bool utf8Step_;
  bool oneByteWords_ = false, longWords_ = false;  // words of one, and of three or more bytes
  std::array<bool, kSampleSize> exact_{};
  std::vector<int> alwaysOpen_;  // sample positions of words the test never rules out
  std::vector<int> positions_;   // sample positions of the other words, in order
  // For every entry of InnerLevels(): each word's distinct high bytes after
  // those levels, in the order of positions_.
  std::vector<std::vector<WordBytes>> afterInner_;
};

}  // namespace kamvo
