#include "recognition/russian_word.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "support/plain_helpers.h"

namespace kamvo {
namespace {

using testing::MatchAt;

std::string W(std::string_view utf8) { return WinFromUtf8(utf8); }

bool Has(std::string_view list, std::string_view key) { return list.find(key) != std::string_view::npos; }
bool Has(std::string_view list, char key) { return list.find(key) != std::string_view::npos; }

// The rules written out step by step with plain string searches, as slow and
// as obvious as possible. The fast judgement must agree with it everywhere.
bool LiteralIsRussianWord(std::string_view input) {
  static const std::string latin = "ABCHKMOPTXEacopxye";
  static const std::string cyrillic = W("АВСНКМОРТХЕасорхуе");
  static const std::string upper = W("ЁАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
  static const std::string lower = W("ёабвгдежзийклмнопрстуфхцчшщъыьэюя");
  static const std::string oneLetter = W("АВГДЖИКОСТУЯ");
  static const std::string vowels = W("ЁАЕИОУЫЭЮЯ");
  static const std::string nonInitial = W("ЪЫЬ");
  static const std::string j = W("Й"), jod = W("ЙОД"), jog = W("ЙОГ"), york = W("ЙОРК");
  static const std::string st = W("СТ"), soft = W("Ь"), vzgl = W("ВЗГЛ"), ntsk = W("НТСК");

  // 1. Look-alikes, then no-break spaces.
  std::string w(input);
  for (char& c : w) {
    const auto k = latin.find(c);
    if (k != std::string::npos) c = cyrillic[k];
  }
  for (char& c : w)
    if (c == '\xA0') c = ' ';
  // 2. Trim, then keep the part before an inner space.
  while (!w.empty() && static_cast<Byte>(w.front()) <= 0x20) w.erase(0, 1);
  while (!w.empty() && static_cast<Byte>(w.back()) <= 0x20) w.pop_back();
  const auto space = w.find(' ');
  if (space != std::string::npos) w.resize(space);
  // 3.
  if (w.empty() || w == "\xB9") return true;
  // 4.
  const std::string u = UpperCaseRus(w);
  // 5.
  for (char c : w)
    if (!Has(upper, c) && !Has(lower, c)) return false;
  // 6, 7.
  if (w.size() == 1) return Has(oneLetter, u);
  if (w.size() == 2) return Has(TwoLetterWords, u);
  // 8.
  if (Has(lower, w.substr(0, 1))) {
    for (std::size_t i = 1; i < w.size(); ++i)
      if (Has(upper, w.substr(i, 1))) return false;
  } else {
    int changes = 0;
    for (std::size_t i = 1; i < w.size(); ++i)
      if (Has(upper, w.substr(i, 1)) != Has(upper, w.substr(i - 1, 1))) ++changes;
    if (changes > 1) return false;
  }
  // 9 - 12.
  if (Has(nonInitial, u.substr(0, 1))) return false;
  if (Has(ForbiddenInitialPairs, u.substr(0, 2))) return false;
  if (u.substr(0, 1) == j && !MatchAt(jod, u, 1, 3) && !MatchAt(jog, u, 1, 3) && !MatchAt(york, u, 1, 4)) return false;
  for (std::size_t i = 0; i + 1 < u.size(); ++i)
    if (Has(ForbiddenPairs, u.substr(i, 2))) return false;
  // 13.
  bool vowel = false, consonant = false;
  for (char c : u) (Has(vowels, c) ? vowel : consonant) = true;
  if (!vowel || !consonant) return false;
  // 14, 15.
  if (u.size() == 3) return true;
  for (std::size_t i = 0; i + 4 <= u.size(); ++i) {
    const std::string window = u.substr(i, 4);
    int vowelCount = 0;
    for (char c : window) vowelCount += Has(vowels, c);
    if (vowelCount == 0 && !Has(window, st) && !Has(window, soft) && window != vzgl && window != ntsk) return false;
    if (vowelCount == 4) return false;
  }
  return true;
}

std::vector<std::string> Entries(std::string_view list) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto end = std::min(list.find(' ', start), list.size());
    entries.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

TEST(RussianWordLists, HoldExactlyTheListedEntries) {
  EXPECT_EQ(Entries(OneLetterWords).size(), 12u);
  EXPECT_EQ(LatinLookAlikes.size(), 18u);
  EXPECT_EQ(CyrillicLookAlikes.size(), 18u);
  EXPECT_TRUE(IsAsciiWord(LatinLookAlikes));

  const std::vector<std::string> two = Entries(TwoLetterWords);
  EXPECT_EQ(two.size(), 66u);
  EXPECT_EQ(std::set<std::string>(two.begin(), two.end()).size(), 65u);
  EXPECT_EQ(std::count(two.begin(), two.end(), W("ТЕ")), 2);

  // A duplicate would keep the count right while losing a pair; every entry
  // must be exactly two upper-case letters, or a search could span entries.
  for (auto [list, expected] : {std::pair{ForbiddenPairs, 283u}, std::pair{ForbiddenInitialPairs, 396u}}) {
    const std::vector<std::string> pairs = Entries(list);
    EXPECT_EQ(pairs.size(), expected);
    EXPECT_EQ(std::set<std::string>(pairs.begin(), pairs.end()).size(), expected);
    for (const auto& pair : pairs) EXPECT_TRUE(pair.size() == 2 && UpperCaseRus(pair) == pair) << Utf8FromWin(pair);
  }
  for (const auto& pair : two) EXPECT_TRUE(pair.size() == 2 && UpperCaseRus(pair) == pair) << Utf8FromWin(pair);
}

TEST(RussianWord, JudgesRealWordsAndTheirGarbledForms) {
  for (const char* word : {"Привет", "ИВАНОВ", "Иванов", "ИВАНов", "ВЗГЛЯД", "ЙОГУРТ", "ЙОД", "Йорк", "ОБЪЕМ",
                           "здравствуйте", "СЛОВОм", "ёлка", "Topт", "в", "Я", "НЕ", "ёж", "ТЕ", "пр"})
    EXPECT_TRUE(IsRussianWord(W(word))) << word;
  for (const char* word :
       {"рТЙЧЕФ", "иВанов", "слОво", "СлоВо", "ЙЕТИ", "ЙОР", "ЙОРД", "б",    "ь",      "НЯ",     "ОЪ",
        "ПОЪЕЗД", "БОАОИ",  "ОАОИ",  "ЪЕЛ",   "ЫМА",  "ЬЕН", "БСТР", "ToPт", "слово1", "сло-во", "їжак"})
    EXPECT_FALSE(IsRussianWord(W(word))) << word;
  // The KOI8-R bytes of Привет, read as Windows-1251.
  EXPECT_FALSE(IsRussianWord("\xF0\xD2\xC9\xD7\xC5\xD4"));
  // Four consonants pass only with СТ, Ь or as ВЗГЛ / НТСК.
  EXPECT_TRUE(IsRussianWord(W("ЧЕРСТВЫЙ")));
  EXPECT_TRUE(IsRussianWord(W("КОЛЬСКИЙ")));
  EXPECT_TRUE(IsRussianWord(W("ГИГАНТСКИЙ")));
  EXPECT_FALSE(IsRussianWord(W("КОЛДСКИЙ")));
  EXPECT_FALSE(IsRussianWord(W("ГИГАНТПКИЙ")));
  EXPECT_FALSE(IsRussianWord(W("ВЗГМЯД")));
}

TEST(RussianWord, RepairsLookAlikesAndTrimsBlanks) {
  EXPECT_TRUE(IsRussianWord("TOPT"));  // Latin letters reading ТОРТ
  EXPECT_TRUE(IsRussianWord("cyp"));   // Latin letters reading сур
  EXPECT_FALSE(IsRussianWord("TOPZ"));

  EXPECT_TRUE(IsRussianWord(""));
  EXPECT_TRUE(IsRussianWord("\xA0\xA0\xA0"));
  EXPECT_TRUE(IsRussianWord(" \t\r\n"));
  EXPECT_TRUE(IsRussianWord(W("\t слово \x01 ")));
  EXPECT_TRUE(IsRussianWord(W("слово мщщщ")));  // only the part before a space counts
  EXPECT_TRUE(IsRussianWord(W("слово") + "\xA0" + W("мщщщ")));
  EXPECT_FALSE(IsRussianWord(W("мщщщ слово")));
  EXPECT_FALSE(IsRussianWord(W("сло\x01во")));
  // A control byte before an inner space stays in the word and spoils it;
  // the same byte at the very end is trimmed.
  EXPECT_FALSE(IsRussianWord(W("слово\x01 дом")));
  EXPECT_TRUE(IsRussianWord(W("слово\x01 ")));

  EXPECT_TRUE(IsRussianWord("\xB9"));
  EXPECT_TRUE(IsRussianWord(" \xB9\xA0\x02"));
  EXPECT_TRUE(IsRussianWord("\xB9 5"));
  EXPECT_FALSE(
      IsRussianWord("\xB9"
                    "5"));
  EXPECT_FALSE(IsRussianWord("\xB9\xB9"));
  EXPECT_FALSE(IsRussianWord(W("д") + "\xB9"));
  EXPECT_FALSE(
      IsRussianWord("\xB9\x01"
                    "a"));
}

TEST(WordFilters, AsciiAndCandidateWords) {
  EXPECT_TRUE(IsAsciiWord(""));
  EXPECT_TRUE(IsAsciiWord("plain \x7F"));
  EXPECT_FALSE(IsAsciiWord("plai\x80"));

  EXPECT_TRUE(IsCandidateWord(""));
  EXPECT_FALSE(IsCandidateWord(LatinLookAlikes));  // 18 bytes: too long
  EXPECT_TRUE(IsCandidateWord(LatinLookAlikes.substr(3)));
  EXPECT_TRUE(IsCandidateWord("\x80\xFF\x98\xB9\xE0"));
  EXPECT_TRUE(IsCandidateWord(std::string(15, '\xA0')));
  EXPECT_FALSE(IsCandidateWord(std::string(16, '\xE0')));
  for (const char* word : {"abc", "TOP1", "x-y", "\xE0 \xE0", "Z", "\xE0\x01"})
    EXPECT_FALSE(IsCandidateWord(word)) << word;
}

// A small fast generator; the words need not be random in any strong sense.
struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
};

// Words close enough to Russian that a fair share passes, with look-alikes,
// mixed case and the bytes that trimming and splitting care about.
std::string GenerateWord(Rng& rng) {
  static const std::string vowels = W("ЁАЕИОУЫЭЮЯ");
  static const std::string consonants = W("БВГДЖЗЙКЛМНПРСТФХЦЧШЩЪЬ");
  static const std::array<char, 256> latinFor = [] {
    std::array<char, 256> table{};
    for (std::size_t i = 0; i < LatinLookAlikes.size(); ++i)
      table[static_cast<Byte>(CyrillicLookAlikes[i])] = LatinLookAlikes[i];
    return table;
  }();
  const unsigned length = rng.Below(21);
  const unsigned caseMode = rng.Below(4);  // lower, upper, capitalised, random
  const bool noisy = rng.Below(3) == 0;
  std::string word;
  bool lastVowel = rng.Below(2) == 0;
  for (unsigned i = 0; i < length; ++i) {
    if (noisy && rng.Below(6) == 0) {
      static const char specials[] = {' ', '\xA0', '\xB9', '\t', '\x01', '\x1F', '-', '7', 'z', '\x7F', '\x98', '\xB2'};
      word += rng.Below(4) == 0 ? static_cast<char>(rng.Below(256)) : specials[rng.Below(sizeof specials)];
      continue;
    }
    lastVowel = rng.Below(10) < (lastVowel ? 3u : 6u);
    const std::string& set = lastVowel ? vowels : consonants;
    auto letter = static_cast<Byte>(set[rng.Below(static_cast<unsigned>(set.size()))]);
    const bool upper = caseMode == 1 || (caseMode == 2 && i == 0) || (caseMode == 3 && rng.Below(2) == 0);
    if (!upper) letter = LowerRus(letter);
    word += latinFor[letter] != 0 && rng.Below(8) == 0 ? latinFor[letter] : static_cast<char>(letter);
  }
  return word;
}

TEST(RussianWordDifferential, AllShortWordsAgreeWithTheLiteralRules) {
  std::vector<std::string> words{""};
  for (int a = 0; a < 256; ++a) {
    words.emplace_back(1, static_cast<char>(a));
    for (int b = 0; b < 256; ++b) words.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  // Every upper-case three-letter word, every four-letter word starting with
  // Й, and every run of four consonants.
  const std::string letters = W("ЁАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
  const std::string consonants = W("БВГДЖЗЙКЛМНПРСТФХЦЧШЩЪЬ");
  const char j = W("Й")[0], a0 = W("А")[0];
  for (char a : letters)
    for (char b : letters)
      for (char c : letters) {
        words.push_back({a, b, c});
        words.push_back({j, a, b, c});
      }
  for (char a : consonants)
    for (char b : consonants)
      for (char c : consonants)
        for (char d : consonants) words.push_back({a0, a, b, c, d});

  std::size_t accepted = 0;
  for (const auto& word : words) {
    const bool expected = LiteralIsRussianWord(word);
    ASSERT_EQ(IsRussianWord(word), expected) << Utf8FromWin(word);
    accepted += expected;
  }
  EXPECT_GT(accepted, 5000u);
}

TEST(RussianWordDifferential, GeneratedWordsAgreeWithTheLiteralRules) {
  Rng rng{20240611};
  constexpr int kWords = 2'000'000;
  std::size_t accepted = 0;
  for (int i = 0; i < kWords; ++i) {
    const std::string word = GenerateWord(rng);
    const bool expected = LiteralIsRussianWord(word);
    ASSERT_EQ(IsRussianWord(word), expected) << "word " << i << ": " << Utf8FromWin(word);
    ASSERT_EQ(IsRussianWord(reinterpret_cast<const Byte*>(word.data()), word.size()), expected);
    accepted += expected;
  }
  // The generator must keep both answers common, or the comparison proves
  // little.
  EXPECT_GT(accepted, kWords / 20u);
  EXPECT_LT(accepted, kWords - kWords / 4u);
}

TEST(RussianWordDifferential, JudgingThroughATableEqualsConvertingFirst) {
  Rng rng{7};
  CodeTable shuffled = IdentityCodeTable();
  for (int i = 255; i > 0; --i) std::swap(shuffled[i], shuffled[rng.Below(static_cast<unsigned>(i + 1))]);
  for (int i = 0; i < 200'000; ++i) {
    const std::string word = GenerateWord(rng);
    const CodeTable& table = i % 14 == 13 ? shuffled : PairTable(i % 14);
    ASSERT_EQ(IsRussianWord(word, table), IsRussianWord(ConvertByTable(word, table))) << Utf8FromWin(word);
  }
}

}  // namespace
}  // namespace kamvo
