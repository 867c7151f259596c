#include "recognition/chain_filter.h"

#include <algorithm>

#include "recognition/chain_scoring.h"
#include "recognition/russian_word.h"

namespace kamvo {
namespace {

// What a byte that a word's byte becomes tells the test.
enum : std::uint8_t {
  kUpper = 1,        // 0xC0..0xFF; every other high byte is a continuation byte
  kExtra = 2,        // 0xA0, 0xA8, 0xB8, 0xB9: with kUpper, what the direct test allows
  kNoBreak = 4,      // 0xA0
  kLead = 8,         // a lead whose sequences can decode
  kCaseUpper = 16,   // an upper-case letter (Ё, А..Я)
  kCaseLower = 32,   // a lower-case letter (ё, а..я)
  kVowel = 64,       // a vowel of either case
  kOneLetter = 128,  // a one-letter word of either case, or "№"
};

constexpr Byte FlagsOf(int b) {
  Byte flags = 0;
  if (b >= 0xC0) flags |= kUpper;
  if (b == 0xA0 || b == 0xA8 || b == 0xB8 || b == 0xB9) flags |= kExtra;
  if (b == 0xA0) flags |= kNoBreak;
  if (b == 0xC2 || b == 0xC3 || b == 0xD0 || b == 0xD1 || b == 0xD2 || b == 0xE2) flags |= kLead;
  if (b == 0xA8 || (b >= 0xC0 && b <= 0xDF)) flags |= kCaseUpper;
  if (b == 0xB8 || b >= 0xE0) flags |= kCaseLower;
  const int upper = b >= 0xE0 ? b - 0x20 : b == 0xB8 ? 0xA8 : b;
  // А Е Ё И О У Ы Э Ю Я
  if (upper == 0xC0 || upper == 0xC5 || upper == 0xA8 || upper == 0xC8 || upper == 0xCE || upper == 0xD3 ||
      upper == 0xDB || upper == 0xDD || upper == 0xDE || upper == 0xDF)
    flags |= kVowel;
  // А В Г Д Ж И К О С Т У Я, and "№"
  if (b == 0xB9 || upper == 0xC0 || upper == 0xC2 || upper == 0xC3 || upper == 0xC4 || upper == 0xC6 || upper == 0xC8 ||
      upper == 0xCA || upper == 0xCE || upper == 0xD1 || upper == 0xD2 || upper == 0xD3 || upper == 0xDF)
    flags |= kOneLetter;
  return flags;
}

// The bytes whose lanes get marked: every byte the direct test allows
// (0xA0, 0xA8, 0xB8, 0xB9, 0xC0..0xFF), the leads among them, in order of
// what they tell, so that marking them runs through few distinct cases.
constexpr std::size_t kTargetCount = 68;
constexpr std::array<Byte, kTargetCount> kTargets = [] {
  std::array<Byte, kTargetCount> bytes{};
  std::size_t n = 0;
  for (int flags = 0; flags < 256; ++flags)
    for (int b = 0x80; b <= 0xFF; ++b)
      if ((FlagsOf(b) & (kUpper | kExtra)) != 0 && FlagsOf(b) == flags) bytes[n++] = static_cast<Byte>(b);
  if (n != kTargetCount) throw "target byte count";
  return bytes;
}();
constexpr std::array<Byte, kTargetCount> kTargetFlags = [] {
  std::array<Byte, kTargetCount> flags{};
  for (std::size_t k = 0; k < kTargetCount; ++k) flags[k] = FlagsOf(kTargets[k]);
  return flags;
}();
constexpr std::array<Byte, 6> kLeads = {0xC2, 0xC3, 0xD0, 0xD1, 0xD2, 0xE2};

// The indexes into kTargets of the targets whose flags, masked, equal Value.
template <Byte Mask, Byte Value>
constexpr auto kTargetsWith = [] {
  constexpr std::size_t count = [] {
    std::size_t n = 0;
    for (Byte flags : kTargetFlags) n += (flags & Mask) == Value;
    return n;
  }();
  std::array<Byte, count> indexes{};
  std::size_t n = 0;
  for (std::size_t k = 0; k < kTargetCount; ++k)
    if ((kTargetFlags[k] & Mask) == Value) indexes[n++] = static_cast<Byte>(k);
  return indexes;
}();

// Bytes below 0x80 that the word test reads as letters.
bool IsLookAlike(Byte b) { return LatinLookAlikes.find(static_cast<char>(b)) != std::string_view::npos; }

// A word the test cannot rule out: bytes below 0x80 other than look-alikes
// (blanks, digits, signs) change what the word test sees in ways the byte
// sets do not follow, and words longer than candidate words (15 bytes) could
// need more leads than the block form counts.
bool IsOpenWord(std::string_view word) {
  if (word.size() > kMaxCandidateBytes) return true;
  for (char c : word) {
    const auto b = static_cast<Byte>(c);
    if (b < 0x80 && !IsLookAlike(b)) return true;
  }
  return false;
}

// How many of h high bytes must become leads for the word to decode: more
// than 2h/9; none can decode with fewer than two high bytes.
int LeadsNeeded(int h) { return h < 2 ? 0 : 2 * h / 9 + 1; }

inline LaneSet And(const LaneSet& a, const LaneSet& b) { return {a.Bits & b.Bits}; }
inline LaneSet Or(const LaneSet& a, const LaneSet& b) { return {a.Bits | b.Bits}; }
inline LaneSet Not(const LaneSet& a) { return {~a.Bits}; }
constexpr LaneSet kAllLanes{{~0ull, ~0ull}};

// reached[j] holds the lanes where at least j of the bytes seen so far
// (counted with repeats) fell in a set; adds `times` bytes in `lanes`.
template <int Needed>
inline void CountInto(LaneSet* reached, const LaneSet& lanes, int times) {
  if (times == 1) {  // by far the most common case
    for (int j = Needed; j >= 2; --j) reached[j].Bits |= reached[j - 1].Bits & lanes.Bits;
    reached[1].Bits |= lanes.Bits;
    return;
  }
  for (int j = Needed; j >= 1; --j) reached[j] = Or(reached[j], j <= times ? lanes : And(reached[j - times], lanes));
}

std::vector<LevelPair> PairsOfLevels(bool withUpper) {
  std::vector<LevelPair> pairs;
  for (int upper = withUpper ? 1 : 0; upper <= (withUpper ? kPairCount - 1 : 0); ++upper)
    for (int lower = 1; lower < kPairCount; ++lower)
      if (!Merges(lower, upper)) pairs.push_back({static_cast<std::uint8_t>(upper), static_cast<std::uint8_t>(lower)});
  return pairs;
}

}  // namespace

const std::vector<LevelPair>& BlockLanes(bool withLevel4) {
  static const std::vector<LevelPair> withFour = PairsOfLevels(true), alone = PairsOfLevels(false);
  return withLevel4 ? withFour : alone;
}

const std::vector<LevelPair>& InnerLevels() {
  static const std::vector<LevelPair> inner = PairsOfLevels(true);
  return inner;
}

const LaneSet& IrreducibleLanes(bool withLevel4, int level5, int level2) {
  // [with level 4][level 5][level 2]
  static const auto table = [] {
    std::array<std::array<std::array<LaneSet, kPairCount>, kPairCount>, 2> result{};
    for (int four = 0; four < 2; ++four) {
      const std::vector<LevelPair>& lanes = BlockLanes(four == 1);
      for (int c5 = 0; c5 < kPairCount; ++c5)
        for (int c2 = 1; c2 < kPairCount; ++c2)
          for (std::size_t lane = 0; lane < lanes.size(); ++lane)
            if (!Merges(lanes[lane].Upper, c5) && !Merges(c2, lanes[lane].Lower))
              result[four][c5][c2].Add(static_cast<int>(lane));
    }
    return result;
  }();
  return table[withLevel4 ? 1 : 0][level5][level2];
}

SampleFilter::SampleFilter(const Sample& sample, bool utf8Step) : utf8Step_(utf8Step) {
  struct Entry {
    std::string_view Word;
    int Position;
  };
  std::vector<Entry> words;
  for (int i = 0; i < sample.Count; ++i) {
    const std::string& word = sample.Words[i];
    if (IsOpenWord(word)) {
      alwaysOpen_.push_back(i);
      continue;
    }
    words.push_back({word, i});
    exact_[i] = word.size() == 1 && static_cast<Byte>(word[0]) >= 0x80;
    oneByteWords_ |= exact_[i];
    longWords_ |= word.size() >= 3;
  }
  for (const Entry& entry : words) positions_.push_back(entry.Position);
  for (const LevelPair& inner : InnerLevels()) {
    const CodeTable table = Compose(PairTable(inner.Lower), PairTable(inner.Upper));
    std::vector<WordBytes>& converted = afterInner_.emplace_back();
    for (const Entry& entry : words) {
      WordBytes bytes;
      int slot[128];
      std::fill(std::begin(slot), std::end(slot), -1);
      int high = 0;
      bytes.Length = static_cast<std::uint8_t>(entry.Word.size());
      for (std::size_t k = 0; k < entry.Word.size(); ++k) {
        const auto b = static_cast<Byte>(entry.Word[k]);
        if (b < 0x80) {
          // A look-alike: its Cyrillic partner's case and kind never change.
          const auto partner = static_cast<Byte>(CyrillicLookAlikes[LatinLookAlikes.find(static_cast<char>(b))]);
          bytes.Sequence[k] = (FlagsOf(partner) & kCaseUpper) ? kLatinUpper : kLatinLower;
          ((FlagsOf(partner) & kVowel) ? bytes.LatinVowel : bytes.LatinConsonant) = true;
          continue;
        }
        ++high;
        if (slot[b - 0x80] < 0) {
          slot[b - 0x80] = bytes.Count;
          bytes.Bytes[bytes.Count++] = static_cast<std::uint8_t>(table[b] - 0x80);
        }
        ++bytes.Times[slot[b - 0x80]];
        bytes.Sequence[k] = bytes.Bytes[slot[b - 0x80]];
      }
      bytes.Leads = static_cast<std::uint8_t>(utf8Step ? LeadsNeeded(high) : 0);
      converted.push_back(bytes);
    }
  }
}

void SampleFilter::MarkBytes(bool withLevel4, int level5, const CodeTable& outerInverse, Scratch& scratch) const {
  scratch.Letter.fill({});
  scratch.NoBreak.fill({});
  scratch.Lead.fill({});
  scratch.Vowel.fill({});
  scratch.OneLetter.fill({});
  scratch.CaseUpper.fill({});
  scratch.CaseLower.fill({});
  scratch.CaseUpper[kLatinUpper] = scratch.CaseLower[kLatinLower] = kAllLanes;
  scratch.OneLetter[kLatinUpper] = scratch.OneLetter[kLatinLower] = kAllLanes;
  // What each target byte comes from before level 4.
  Byte before4[kTargetCount];
  const std::vector<LevelPair>& lanes = BlockLanes(withLevel4);
  int current4 = -1;
  for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
    // A level 4 that merges with level 5 leaves the lane out of every
    // entry's irreducible lanes: nothing reads its marks.
    if (Merges(lanes[lane].Upper, level5)) continue;
    if (lanes[lane].Upper != current4) {
      current4 = lanes[lane].Upper;
      const CodeTable& inverse4 = InversePairTable(current4);
      for (std::size_t k = 0; k < kTargetCount; ++k) before4[k] = inverse4[outerInverse[kTargets[k]]];
    }
    const CodeTable& inverse3 = InversePairTable(lanes[lane].Lower);
    LaneSet bit{};
    bit.Add(static_cast<int>(lane));
    const LaneBits mark = bit.Bits;
    // The letters are marked by case, 0xC0..0xDF and Ё into CaseUpper,
    // 0xE0..0xFF and ё into CaseLower, the other bytes the direct test
    // allows into Letter; Upper and Letter are completed below.
    Byte from[kTargetCount];
    for (std::size_t k = 0; k < kTargetCount; ++k) from[k] = static_cast<Byte>(inverse3[before4[k]] - 0x80);
    auto markAll = [&](auto& set, const auto& targets) {
      for (const Byte k : targets) set[from[k]].Bits |= mark;
    };
    markAll(scratch.CaseUpper, kTargetsWith<kCaseUpper, kCaseUpper>);
    markAll(scratch.CaseLower, kTargetsWith<kCaseLower, kCaseLower>);
    markAll(scratch.Letter, kTargetsWith<kUpper, 0>);
    markAll(scratch.NoBreak, kTargetsWith<kNoBreak, kNoBreak>);
    markAll(scratch.Lead, kTargetsWith<kLead, kLead>);
    if (longWords_) markAll(scratch.Vowel, kTargetsWith<kVowel, kVowel>);
    if (oneByteWords_) markAll(scratch.OneLetter, kTargetsWith<kOneLetter, kOneLetter>);
  }
  // Ё and ё are the only letters outside 0xC0..0xFF, and already in Letter.
  for (int b = 0; b < 128; ++b) {
    const LaneBits cases = scratch.CaseUpper[b].Bits | scratch.CaseLower[b].Bits;
    scratch.Upper[b].Bits = cases & ~scratch.Letter[b].Bits;
    scratch.Letter[b].Bits |= cases;
    if (longWords_) scratch.Consonant[b].Bits = cases & ~scratch.Vowel[b].Bits;
  }
}

namespace {

// The lanes of `alive` where the word may decode through the UTF-8 step:
// at least `Leads` of its bytes become leads, and some byte becomes a
// continuation byte.
template <int Leads>
LaneSet MayDecode(const std::uint8_t* bytes, const std::uint8_t* times, int count, const LaneSet& alive,
                  const SampleFilter::Scratch& scratch) {
  LaneSet allUpper = kAllLanes, leads[Leads + 1]{};
  for (int i = 0; i < count; ++i) {
    allUpper.Bits &= scratch.Upper[bytes[i]].Bits;
    CountInto<Leads>(leads, scratch.Lead[bytes[i]], times[i]);
  }
  return And(alive, And(leads[Leads], Not(allUpper)));
}

}  // namespace

inline LaneSet SampleFilter::MayDecodeWord(const WordBytes& word, const LaneSet& alive, const Scratch& scratch) {
  const std::uint8_t* b = word.Bytes.data();
  const std::uint8_t* t = word.Times.data();
  const int n = word.Count;
  switch (word.Leads) {
    case 1:
      return MayDecode<1>(b, t, n, alive, scratch);
    case 2:
      return MayDecode<2>(b, t, n, alive, scratch);
    case 3:
      return MayDecode<3>(b, t, n, alive, scratch);
    case 4:
      return MayDecode<4>(b, t, n, alive, scratch);
    default:
      return alive;  // not reached: longer words are open words
  }
}

// The lanes of `lanes` where at least `needed` of `total` words may be
// recognised (`possible` gives a word's lanes, asked over `lanes`). The
// words are counted in binary, one bit plane per power of two, two words at
// a time: a few operations a word however many must pass. Every word is
// looked at: stopping once no lane can reach `needed` saves less than
// counting up to `needed` word by word costs.
template <class Possible>
LaneSet CountReaching(int total, int needed, const LaneSet& lanes, Possible possible) {
  static_assert(kSampleSize < 32, "five bit planes");
  if (total < needed) return {};
  LaneBits plane[5]{};
  // Adds `carry` at plane p and up.
  auto ripple = [&](int p, LaneBits carry) {
    for (; p < 5; ++p) {
      const LaneBits next = plane[p] & carry;
      plane[p] ^= carry;
      carry = next;
    }
  };
  int k = 0;
  for (; k + 1 < total; k += 2) {
    const LaneBits a = possible(k, lanes).Bits, b = possible(k + 1, lanes).Bits;
    // A carry-save adder: the ones plane takes both words, the carry goes up.
    const LaneBits half = plane[0] ^ a;
    const LaneBits carry = (plane[0] & a) | (half & b);
    plane[0] = half ^ b;
    ripple(1, carry);
  }
  if (k < total) ripple(0, possible(k, lanes).Bits);
  // count >= needed, from the highest plane down.
  LaneBits greater{}, equal = lanes.Bits;
  for (int p = 4; p >= 0; --p) {
    if ((needed >> p) & 1) {
      equal &= plane[p];
    } else {
      greater |= equal & plane[p];
      equal &= ~plane[p];
    }
  }
  return {greater | equal};
}

// The lanes where the word may pass the word test directly.
inline LaneSet SampleFilter::MayBeWord(const WordBytes& word, const LaneSet& alive, const Scratch& scratch) {
  LaneSet noBreak{};
  if (word.Length <= 2) {
    LaneSet all = kAllLanes;
    for (int i = 0; i < word.Count; ++i) {
      all = And(all, scratch.Letter[word.Bytes[i]]);
      noBreak = Or(noBreak, scratch.NoBreak[word.Bytes[i]]);
    }
    if (word.Length == 2) return Or(all, noBreak);
    // A one-byte word is decided exactly (a look-alike is left open).
    return Or(noBreak, And(all, scratch.OneLetter[word.Sequence[0]]));
  }
  // Three bytes or more: a vowel and a consonant, and every byte a letter,
  // the upper-case ones (if any) before the lower-case ones (if any): all
  // lower case, all upper case, or upper case turned lower case once. Only
  // the lanes asked about need the closer look; branches on what the lanes
  // hold cost more than the few operations they save.
  LaneSet vowel = word.LatinVowel ? kAllLanes : LaneSet{};
  LaneSet consonant = word.LatinConsonant ? kAllLanes : LaneSet{};
  for (int i = 0; i < word.Count; ++i) {
    const int b = word.Bytes[i];
    noBreak = Or(noBreak, scratch.NoBreak[b]);
    vowel = Or(vowel, scratch.Vowel[b]);
    consonant = Or(consonant, scratch.Consonant[b]);
  }
  const LaneSet letters = And(And(Not(noBreak), alive), And(vowel, consonant));
  // Upper case so far; upper case so far then lower case from some byte on.
  LaneSet upper = And(letters, scratch.CaseUpper[word.Sequence[0]]);
  LaneSet turned = And(letters, scratch.CaseLower[word.Sequence[0]]);
  for (int k = 1; k < word.Length; ++k) {
    const int b = word.Sequence[k];
    turned = And(Or(turned, upper), scratch.CaseLower[b]);
    upper = And(upper, scratch.CaseUpper[b]);
  }
  return Or(noBreak, Or(upper, turned));
}

// Fills in which lanes could reach `needed` directly or through the UTF-8
// step, and for those, where each word may be recognised.
void SampleFilter::CountWords(const std::vector<WordBytes>& words, int needed, const LaneSet& lanes, bool lettersFirst,
                              Scratch& scratch, Open& open) const {
  const int total = static_cast<int>(words.size());
  // The letters alone first, where asked: cheaper than the whole test, and
  // on some samples they leave no lane; the whole test on those they leave.
  LaneSet byLetters = lanes;
  if (lettersFirst) {
    byLetters = CountReaching(total, needed, lanes, [&](int k, const LaneSet&) {
      const WordBytes& word = words[k];
      LaneSet all = kAllLanes, noBreak{};
      for (int i = 0; i < word.Count; ++i) {
        all = And(all, scratch.Letter[word.Bytes[i]]);
        noBreak = Or(noBreak, scratch.NoBreak[word.Bytes[i]]);
      }
      return Or(all, noBreak);
    });
    ++scratch.LettersTried;
    scratch.LettersRuledOut += byLetters.Empty();
  }
  open.Direct =
      byLetters.Empty() ? LaneSet{} : CountReaching(total, needed, byLetters, [&](int k, const LaneSet& alive) {
        return open.DirectWords[positions_[k]] = MayBeWord(words[k], alive, scratch);
      });
  open.Utf8 = {};
  if (!utf8Step_) return;
  open.Utf8 = CountReaching(total, needed, lanes, [&](int k, const LaneSet& alive) {
    const WordBytes& word = words[k];
    return open.Utf8Words[positions_[k]] = word.Leads == 0 ? LaneSet{} : MayDecodeWord(word, alive, scratch);
  });
}

void SampleFilter::Candidates(bool withLevel4, int level5, const CodeTable& outerInverse, int needed, Scratch& scratch,
                              std::vector<Open>& candidates) const {
  const std::vector<LevelPair>& inner = InnerLevels();
  candidates.resize(inner.size());
  needed -= static_cast<int>(alwaysOpen_.size());
  const bool test = needed > 0;
  if (test) MarkBytes(withLevel4, level5, outerInverse, scratch);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    Open& open = candidates[i];
    const LaneSet& lanes = IrreducibleLanes(withLevel4, level5, inner[i].Upper);
    open.Tested = test;
    if (test) {
      // The letters go first while they rule out every lane more than a
      // third of the time, when they save more than they cost (measured on
      // the hard samples); every eighth entry tries them anyway, to see.
      if (scratch.LettersTried >= 256) {
        scratch.LettersTried /= 2;
        scratch.LettersRuledOut /= 2;
      }
      const bool lettersFirst = i % 8 == 0 || scratch.LettersRuledOut * 3 > scratch.LettersTried;
      CountWords(afterInner_[i], needed, lanes, lettersFirst, scratch, open);
    } else {
      open.Direct = lanes;
      open.Utf8 = utf8Step_ ? lanes : LaneSet{};
      for (int position : positions_) open.DirectWords[position] = open.Utf8Words[position] = lanes;
    }
    for (int position : alwaysOpen_) open.DirectWords[position] = open.Utf8Words[position] = kAllLanes;
  }
}

}  // namespace kamvo
