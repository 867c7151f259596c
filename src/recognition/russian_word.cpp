#include "recognition/russian_word.h"

#include <array>
#include <cstdint>

namespace kamvo {
namespace {

// ---------------------------------------------------------------------------
// The word lists are written below as readable UTF-8 and turned into
// Windows-1251 bytes at compile time. Only ASCII, А..я, Ё and ё may appear in
// them; anything else stops the build.

template <std::size_t N>
struct WinString {
  char bytes[N]{};
  std::size_t size = 0;
  constexpr std::string_view view() const { return {bytes, size}; }
};

template <std::size_t N>
consteval WinString<N> Win(const char8_t (&utf8)[N]) {
  WinString<N> out;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    unsigned code = utf8[i];
    if (code >= 0x80) {
      if ((code & 0xE0) != 0xC0 || i + 2 >= N || (utf8[i + 1] & 0xC0) != 0x80)
        throw "word lists hold only one- and two-byte UTF-8 sequences";
      code = ((code & 0x1Fu) << 6) | (utf8[++i] & 0x3Fu);
    }
    unsigned byte = 0;
    if (code < 0x80)
      byte = code;
    else if (code >= 0x410 && code <= 0x44F)
      byte = 0xC0 + (code - 0x410);
    else if (code == 0x401)
      byte = 0xA8;
    else if (code == 0x451)
      byte = 0xB8;
    else
      throw "word lists hold only Russian letters and ASCII";
    out.bytes[out.size++] = static_cast<char>(byte);
  }
  return out;
}

constexpr auto kOneLetterWords = Win(u8"А В Г Д Ж И К О С Т У Я");

constexpr auto kTwoLetterWords =
    Win(u8"ОН МЫ ИХ ИМ НА ИЗ ВЫ ОТ ТЫ НЕ НО ТО ДО АХ УХ ЭХ ОХ ЗА КО ПО ДА ЖЕ ЛИ СО "
        u8"НУ ИВ ОС ЛА ЕЙ БЫ НИ ТА ТЕ ЕЕ ЕЁ ЁЖ ЕЖ ЕЛ ТЕ КА ВО ОЙ АЙ ЭЙ УЖ ЛЯ ОБ СМ "
        u8"ТУ ЛЬ ЮГ ЮН АД ПР ЯД ПН ВТ СР ЧТ ПТ СБ ВС КВ УЛ РФ ПК");

constexpr auto kForbiddenPairs =
    Win(u8"АЪ АЫ АЬ "
        u8"БЙ БП БФ "
        u8"ВЖ ВЙ ВФ ВЭ ВЮ "
        u8"ГЁ ГЖ ГЗ ГЙ ГФ ГХ ГЩ ГЪ ГЮ ГЯ "
        u8"ДЙ ДФ ДЩ "
        u8"ЕЪ ЕЫ ЕЬ "
        u8"ЁА ЁБ ЁГ ЁЕ ЁЁ ЁИ ЁО ЁУ ЁФ ЁЦ ЁЧ ЁЩ ЁЪ ЁЫ ЁЬ ЁЭ ЁЮ ЁЯ "
        u8"ЖЙ ЖФ ЖХ ЖЦ ЖШ ЖЩ ЖЪ ЖЫ ЖЭ ЖЯ "
        u8"ЗЙ ЗЩ "
        u8"ИЁ ИЪ ИЫ ИЬ "
        u8"ЙА ЙЁ ЙЖ ЙИ ЙЙ ЙУ ЙЩ ЙЪ ЙЫ ЙЬ ЙЭ ЙЮ "
        u8"КЁ КЙ КЪ КЬ КЯ "
        u8"ЛЙ ЛР ЛЪ "
        u8"МЖ МЙ МЪ "
        u8"НЙ НЪ "
        u8"ОЪ ОЫ ОЬ "
        u8"ПВ ПД ПЁ ПЖ ПЗ ПЙ ПМ ПФ ПХ ПЩ ПЪ "
        u8"РЙ "
        u8"СЙ "
        u8"ТЙ ТЪ "
        u8"УЪ УЫ УЬ "
        u8"ФБ ФВ ФД ФЁ ФЖ ФЗ ФЙ ФП ФХ ФЦ ФЧ ФШ ФЩ ФЪ ФЬ ФЯ "
        u8"ХЁ ХЖ ХЙ ХК ХФ ХХ ХЩ ХЪ ХЫ ХЬ ХЮ ХЯ "
        u8"ЦГ ЦЁ ЦЖ ЦЗ ЦЙ ЦЛ ЦН ЦФ ЦХ ЦЦ ЦЧ ЦЩ ЦЪ ЦЬ ЦЭ ЦЮ ЦЯ "
        u8"ЧГ ЧД ЧЖ ЧЗ ЧЙ ЧП ЧС ЧФ ЧХ ЧЦ ЧЧ ЧЩ ЧЪ ЧЫ ЧЭ ЧЯ "
        u8"ШБ ШГ ШД ШЖ ШЗ ШЙ ШФ ШЧ ШШ ШЩ ШЪ ШЫ ШЭ ШЯ "
        u8"ЩБ ЩВ ЩГ ЩД ЩЖ ЩЗ ЩЙ ЩК ЩЛ ЩМ ЩП ЩС ЩТ ЩФ ЩХ ЩЦ ЩЧ ЩШ ЩЩ ЩЪ ЩЫ ЩЭ ЩЮ "
        u8"ЪА ЪБ ЪВ ЪГ ЪД ЪЖ ЪЗ ЪИ ЪЙ ЪК ЪЛ ЪМ ЪН ЪО ЪП ЪР ЪС ЪТ ЪУ ЪФ ЪХ ЪЦ ЪЧ ЪШ ЪЩ ЪЪ ЪЫ ЪЬ ЪЭ ЪЮ "
        u8"ЫА ЫЁ ЫФ ЫЪ ЫЫ ЫЬ ЫЭ ЫЮ "
        u8"ЬА ЬЛ ЬР ЬУ ЬХ ЬЪ ЬЫ ЬЬ ЬЭ "
        u8"ЭА ЭЁ ЭЖ ЭО ЭУ ЭЦ ЭЧ ЭЩ ЭЪ ЭЫ ЭЬ ЭЭ ЭЮ ЭЯ "
        u8"ЮЁ ЮИ ЮО ЮУ ЮЪ ЮЫ ЮЬ ЮЭ ЮЯ "
        u8"ЯА ЯЁ ЯО ЯФ ЯЪ ЯЫ ЯЬ ЯЭ");

constexpr auto kForbiddenInitialPairs =
    Win(u8"АА АЕ АЁ АЪ АЩ АЫ АЬ АЮ АЯ "
        u8"ББ БВ БЁ БЖ БЙ БС БХ БЧ БШ БЩ БЪ "
        u8"ВЙ ВФ ВЩ "
        u8"ГЁ ГЖ ГЙ ГХ ГШ ГЩ ГЪ ГЫ "
        u8"ДЁ ДГ ДЙ ДХ ДФ ДШ ДЧ ДЩ "
        u8"ЕА ЕИ ЕО ЕТ ЕУ ЕЦ ЕЧ ЕЪ ЕЫ ЕЬ ЕЭ ЕЮ ЕЯ "
        u8"ЁА ЁВ ЁГ ЁД ЁЕ ЁЁ ЁЗ ЁИ ЁЙ ЁК ЁМ ЁН ЁО ЁП ЁТ ЁУ ЁФ ЁХ ЁЦ ЁЧ ЁШ ЁЩ ЁЪ ЁЫ ЁЬ ЁЭ ЁЮ ЁЯ "
        u8"ЖЁ ЖЗ ЖЙ ЖП ЖС ЖТ ЖФ ЖХ ЖЦ ЖЧ ЖШ ЖЩ ЖЪ ЖЫ ЖЬ ЖЭ ЖЯ "
        u8"ЗГ ЗЁ ЗЖ ЗЗ ЗЙ ЗК ЗП ЗС ЗТ ЗФ ЗХ ЗЦ ЗЧ ЗШ ЗЩ ЗЪ ЗЬ "
        u8"ИЁ ИФ ИЦ ИЪ ИЫ ИЬ ИЭ ИЯ "
        u8"ЙА ЙБ ЙВ ЙГ ЙД ЙЁ ЙЖ ЙЗ ЙИ ЙЙ ЙК ЙЛ ЙМ ЙН ЙП ЙР ЙС ЙТ ЙУ ЙФ ЙХ ЙЦ ЙЧ ЙШ ЙЩ ЙЪ ЙЫ ЙЬ ЙЭ ЙЮ ЙЯ "
        u8"КЁ КЖ КЙ КФ КЦ КЧ КШ КЩ КЪ КЫ "
        u8"ЛЁ ЛЗ ЛЙ ЛМ ЛР ЛС ЛФ ЛХ ЛЦ ЛЧ ЛШ ЛЩ ЛЪ "
        u8"МЖ МЙ МЦ МЪ МЬ "
        u8"НБ НВ НЙ НН НС НТ НХ НЦ НШ НЩ НЪ "
        u8"ОЕ ОЁ ОИ ОЪ ОЫ ОЬ ОЭ ОЮ ОЯ "
        u8"ПБ ПЁ ПЖ ПЙ ПЦ ПЩ ПЪ "
        u8"РБ РГ РЁ РЗ РЙ РК РМ РП РР РХ РЦ РЧ РШ РЩ РЪ "
        u8"СЁ СЙ СЩ "
        u8"ТГ ТД ТЁ ТЖ ТЙ ТС ТФ ТЦ ТЧ ТШ ТЪ "
        u8"УЁ УУ УЪ УЫ УЬ "
        u8"ФБ ФВ ФГ ФД ФЁ ФЖ ФЗ ФЙ ФК ФФ ФХ ФЦ ФЧ ФШ ФЩ ФЪ ФЯ "
        u8"ХГ ХД ХЁ ХЖ ХЙ ХК ХП ХС ХХ ХЦ ХШ ХЩ ХЪ ХЫ ХЮ ХЯ "
        u8"ЦГ ЦД ЦЁ ЦЖ ЦЗ ЦЙ ЦЛ ЦН ЦР ЦС ЦФ ЦХ ЦЦ ЦЧ ЦШ ЦЩ ЦЪ ЦЬ ЦЯ "
        u8"ЧГ ЧД ЧЁ ЧЖ ЧЗ ЧЙ ЧН ЧС ЧФ ЧХ ЧЦ ЧЧ ЧШ ЧЩ ЧЪ ЧЫ ЧЭ ЧЮ ЧЯ "
        u8"ШБ ШГ ШЖ ШЗ ШЙ ШС ШФ ШЦ ШЧ ШШ ШЩ ШЪ ШЫ ШЮ ШЯ "
        u8"ЩБ ЩГ ЩД ЩВ ЩЖ ЩЗ ЩЙ ЩК ЩЛ ЩМ ЩН ЩО ЩП ЩР ЩС ЩТ ЩФ ЩХ ЩЦ ЩЧ ЩШ ЩЩ ЩЪ ЩЫ ЩЬ ЩЭ ЩЮ ЩЯ "
        u8"ЭА ЭЕ ЭЁ ЭИ ЭЩ ЭЪ ЭЫ ЭЬ ЭЭ ЭЮ "
        u8"ЮЕ ЮЁ ЮИ ЮЙ ЮО ЮУ ЮХ ЮЦ ЮЧ ЮШ ЮЩ ЮЪ ЮЫ ЮЬ ЮЭ ЮЮ ЮЯ "
        u8"ЯА ЯЕ ЯЁ ЯЖ ЯО ЯУ ЯЦ ЯЪ ЯЫ ЯЬ ЯЭ ЯЮ ЯЯ");

constexpr std::string_view kLatinLookAlikes = "ABCHKMOPTXEacopxye";
constexpr auto kCyrillicLookAlikes = Win(u8"АВСНКМОРТХЕасорхуе");
constexpr auto kVowels = Win(u8"ЁАЕИОУЫЭЮЯ");
constexpr auto kNonInitialLetters = Win(u8"ЪЫЬ");

// ---------------------------------------------------------------------------
// Letters are numbered 0..32 in alphabetical order (Ё after Е), the same
// number for both cases, so that sets of letters fit in one 64-bit mask and
// letter pairs in 33 such masks.

constexpr int kLetterCount = kRussianLetters;
using LetterSet = std::uint64_t;
using PairMasks = std::array<LetterSet, kLetterCount>;

// The letter number of a Windows-1251 byte, or -1 for a byte that is not a
// Russian letter.
constexpr int LetterOf(Byte b) {
  if (b == 0xA8 || b == 0xB8) return 6;  // Ё, ё
  if (b >= 0xE0) b = static_cast<Byte>(b - 0x20);
  if (b < 0xC0) return -1;
  return b - 0xC0 + (b >= 0xC6 ? 1 : 0);
}

constexpr bool IsUpperLetter(Byte b) { return b == 0xA8 || (b >= 0xC0 && b <= 0xDF); }

consteval int Letter(const char8_t (&utf8)[3]) { return LetterOf(static_cast<Byte>(Win(utf8).bytes[0])); }

constexpr LetterSet Bit(int letter) { return LetterSet{1} << letter; }

consteval LetterSet SetOf(std::string_view letters) {
  LetterSet set = 0;
  for (char c : letters) {
    if (c == ' ') continue;
    const int letter = LetterOf(static_cast<Byte>(c));
    if (letter < 0) throw "not a letter";
    set |= Bit(letter);
  }
  return set;
}

// Parses a list of upper-case letter pairs separated by single spaces.
consteval PairMasks PairsOf(std::string_view list) {
  PairMasks table{};
  for (std::size_t i = 0; i < list.size(); i += 3) {
    if (i + 2 > list.size() || (i + 2 < list.size() && list[i + 2] != ' ')) throw "malformed pair list";
    const auto a = static_cast<Byte>(list[i]), b = static_cast<Byte>(list[i + 1]);
    if (!IsUpperLetter(a) || !IsUpperLetter(b)) throw "pair lists hold upper-case letters";
    table[LetterOf(a)] |= Bit(LetterOf(b));
  }
  return table;
}

constexpr LetterSet kAllLetters = Bit(kLetterCount) - 1;
constexpr LetterSet kVowelSet = SetOf(kVowels.view());
constexpr LetterSet kOneLetterSet = SetOf(kOneLetterWords.view());
constexpr PairMasks kTwoLetterTable = PairsOf(kTwoLetterWords.view());
constexpr PairMasks kForbiddenTable = PairsOf(kForbiddenPairs.view());

// What the first two letters of a word of three or more letters must not be:
// a forbidden initial pair, a pair forbidden anywhere, or any pair at all
// after a letter that never starts a word.
consteval PairMasks MakeStartTable() {
  PairMasks table = PairsOf(kForbiddenInitialPairs.view());
  for (int a = 0; a < kLetterCount; ++a) {
    table[a] |= kForbiddenTable[a];
    if (SetOf(kNonInitialLetters.view()) & Bit(a)) table[a] = kAllLetters;
  }
  return table;
}
constexpr PairMasks kStartTable = MakeStartTable();

constexpr int kLetterJ = Letter(u8"Й"), kLetterO = Letter(u8"О"), kLetterD = Letter(u8"Д"), kLetterG = Letter(u8"Г"),
              kLetterR = Letter(u8"Р"), kLetterK = Letter(u8"К"), kLetterS = Letter(u8"С"), kLetterT = Letter(u8"Т"),
              kLetterSoft = Letter(u8"Ь");

// Four letters packed into one number, the first in the highest byte.
consteval std::uint32_t Pack4(std::string_view letters) {
  std::uint32_t packed = 0;
  for (char c : letters) packed = (packed << 8) | static_cast<std::uint32_t>(LetterOf(static_cast<Byte>(c)));
  return packed;
}
constexpr std::uint32_t kClusterVzgl = Pack4(Win(u8"ВЗГЛ").view());
constexpr std::uint32_t kClusterNtsk = Pack4(Win(u8"НТСК").view());

// A run of four consonants is allowed when it contains СТ or Ь, or is one
// of the two listed clusters.
constexpr bool ClusterAllowed(std::uint32_t last4) {
  if (last4 == kClusterVzgl || last4 == kClusterNtsk) return true;
  for (int shift = 0; shift < 32; shift += 8) {
    const auto letter = static_cast<int>((last4 >> shift) & 0xFF);
    if (letter == kLetterSoft) return true;
    if (shift > 0 && letter == kLetterS && static_cast<int>((last4 >> (shift - 8)) & 0xFF) == kLetterT) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Byte classes. A letter (after the look-alike repair) is its number, with
// kUpperBit for upper case. The others have the high bit set.

constexpr Byte kUpperBit = 0x40;
constexpr Byte kSpace = 0x80;    // 0x20 and the no-break space: ends a word
constexpr Byte kControl = 0x81;  // below 0x20: trimmed at the ends only
constexpr Byte kNumero = 0x82;   // "№"
constexpr Byte kOther = 0x83;

constexpr bool IsBlankClass(Byte c) { return c == kSpace || c == kControl; }

consteval std::array<Byte, 256> MakeClasses() {
  std::array<Byte, 256> classes{};
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<Byte>(b);
    const int letter = LetterOf(byte);
    if (b < 0x20)
      classes[b] = kControl;
    else if (b == 0x20 || b == 0xA0)
      classes[b] = kSpace;
    else if (b == 0xB9)
      classes[b] = kNumero;
    else if (letter >= 0)
      classes[b] = static_cast<Byte>(letter | (IsUpperLetter(byte) ? kUpperBit : 0));
    else
      classes[b] = kOther;
  }
  for (std::size_t i = 0; i < kLatinLookAlikes.size(); ++i)
    classes[static_cast<Byte>(kLatinLookAlikes[i])] = classes[static_cast<Byte>(kCyrillicLookAlikes.bytes[i])];
  return classes;
}
constexpr std::array<Byte, 256> kClasses = MakeClasses();

static_assert(kLatinLookAlikes.size() == 18 && kCyrillicLookAlikes.size == 18);

struct Identity {
  Byte operator()(Byte b) const { return b; }
};
struct Through {
  const CodeTable& table;
  Byte operator()(Byte b) const { return table[b]; }
};

// True when every byte from p on is blank: a control byte met there is
// trailing and is trimmed, not part of the word.
template <class Map>
bool RestIsBlank(const Byte* p, const Byte* end, Map map) {
  for (; p != end; ++p)
    if (!IsBlankClass(kClasses[map(*p)])) return false;
  return true;
}

// One pass over the bytes. The word ends at the first space (0x20 or 0xA0)
// or where only blanks follow; everything before it must be letters. Every
// rule that can only reject is checked as soon as its letters have been
// seen, so most non-words stop after a few bytes.
template <class Map>
bool Judge(const Byte* p, const Byte* end, Map map) {
  while (p != end && IsBlankClass(kClasses[map(*p)])) ++p;

  std::size_t count = 0;
  int first = 0, second = 0, previous = 0;
  bool firstUpper = false, previousUpper = false;
  int caseChanges = 0;
  bool hasVowel = false, hasConsonant = false;
  bool needK = false;       // the word began with ЙОР: the fourth letter must be К
  unsigned vowelRun = 0;    // bit i set when the letter i places back is a vowel
  std::uint32_t last4 = 0;  // the last four letters, packed

  for (; p != end; ++p) {
    const Byte c = kClasses[map(*p)];
    if (c & 0x80) {
      if (c == kSpace || (c == kControl && RestIsBlank(p, end, map))) break;
      if (c == kNumero && count == 0) {
        const Byte next = p + 1 == end ? kSpace : kClasses[map(p[1])];
        return next == kSpace || (next == kControl && RestIsBlank(p + 1, end, map));
      }
      return false;
    }
    const int letter = c & 0x3F;
    const bool upper = (c & kUpperBit) != 0;
    const bool vowel = (kVowelSet & Bit(letter)) != 0;
    hasVowel |= vowel;
    hasConsonant |= !vowel;
    vowelRun = ((vowelRun << 1) | (vowel ? 1u : 0u)) & 0xFu;
    last4 = (last4 << 8) | static_cast<std::uint32_t>(letter);
    ++count;

    if (count == 1) {
      first = letter;
      firstUpper = upper;
    } else {
      caseChanges += upper != previousUpper;
      if (count == 2) {
        second = letter;
      } else {
        // Three letters or more: case shape, start and pair rules apply.
        if (caseChanges > (firstUpper ? 1 : 0)) return false;
        if (count == 3) {
          if (kStartTable[first] & Bit(second)) return false;
          if (first == kLetterJ) {
            if (second != kLetterO || (letter != kLetterD && letter != kLetterG && letter != kLetterR)) return false;
            needK = letter == kLetterR;
          }
        } else {
          if (needK && letter != kLetterK) return false;
          needK = false;
          if (vowelRun == 0xF) return false;
          if (vowelRun == 0 && !ClusterAllowed(last4)) return false;
        }
        if (kForbiddenTable[previous] & Bit(letter)) return false;
      }
    }
    previous = letter;
    previousUpper = upper;
  }

  switch (count) {
    case 0:
      return true;
    case 1:
      return (kOneLetterSet & Bit(first)) != 0;
    case 2:
      return (kTwoLetterTable[first] & Bit(second)) != 0;
    default:
      return hasVowel && hasConsonant && !needK;
  }
}

constexpr std::array<bool, 128> MakeLookAlikeSet() {
  std::array<bool, 128> set{};
  for (char c : kLatinLookAlikes) set[static_cast<Byte>(c)] = true;
  return set;
}
constexpr std::array<bool, 128> kIsLatinLookAlike = MakeLookAlikeSet();

}  // namespace

constinit const std::string_view OneLetterWords = kOneLetterWords.view();
constinit const std::string_view TwoLetterWords = kTwoLetterWords.view();
constinit const std::string_view ForbiddenPairs = kForbiddenPairs.view();
constinit const std::string_view ForbiddenInitialPairs = kForbiddenInitialPairs.view();
constinit const std::string_view LatinLookAlikes = kLatinLookAlikes;
constinit const std::string_view CyrillicLookAlikes = kCyrillicLookAlikes.view();

bool IsRussianWord(const Byte* word, std::size_t length) { return Judge(word, word + length, Identity{}); }

bool IsRussianWord(std::string_view word) {
  const auto* p = reinterpret_cast<const Byte*>(word.data());
  return Judge(p, p + word.size(), Identity{});
}

bool IsRussianWord(std::string_view word, const CodeTable& table) {
  const auto* p = reinterpret_cast<const Byte*>(word.data());
  return Judge(p, p + word.size(), Through{table});
}

bool IsAsciiWord(std::string_view word) {
  for (char c : word)
    if (static_cast<Byte>(c) >= 0x80) return false;
  return true;
}

bool IsCandidateWord(std::string_view word) {
  if (word.size() > kMaxCandidateBytes) return false;
  for (char c : word) {
    const auto b = static_cast<Byte>(c);
    if (b < 0x80 && !kIsLatinLookAlike[b]) return false;
  }
  return true;
}

}  // namespace kamvo
