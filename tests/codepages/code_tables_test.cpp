#include "codepages/code_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "support/iconv.h"
#include "support/plain_helpers.h"

namespace kamvo {
namespace {

using testing::MatchAt;
using testing::WinToDos;

void ExpectPermutationAndInverse(const HalfTable& in, const HalfTable& out) {
  std::set<int> seen;
  for (int i = 0; i < 128; ++i) {
    ASSERT_GE(in[i], 0x80);
    seen.insert(in[i]);
    EXPECT_EQ(out[in[i] - 0x80], 0x80 + i) << "byte " << 0x80 + i;
    EXPECT_EQ(in[out[i] - 0x80], 0x80 + i) << "byte " << 0x80 + i;
  }
  EXPECT_EQ(seen.size(), 128u);
}

TEST(CodeTables, InwardTablesArePermutationsAndOutwardTablesTheirInverses) {
  ExpectPermutationAndInverse(DosToWinTable, WinToDosTable);
  ExpectPermutationAndInverse(KoiToWinTable, WinToKoiTable);
  ExpectPermutationAndInverse(IsoToWinTable, WinToIsoTable);
}

TEST(CodeTables, BytesBelow0x80NeverChange) {
  for (int from = 0; from <= 5; ++from)
    for (int to = 0; to <= 5; ++to)
      for (int b = 0; b < 0x80; ++b) EXPECT_EQ(ConvChar(static_cast<Byte>(b), from, to), b);
}

TEST(CodeTables, SameCodeAndRoundTripGiveIdentity) {
  const CodeTable identity = IdentityCodeTable();
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(BuildCodeTable(n, n), identity) << n;
  for (int a = 1; a <= 4; ++a)
    for (int b = 1; b <= 4; ++b) {
      const CodeTable there = BuildCodeTable(a, b), back = BuildCodeTable(b, a);
      for (int i = 0; i < 256; ++i) EXPECT_EQ(back[there[i]], i) << a << "->" << b;
    }
}

// Every byte of every pair of code pages against iconv: a character both
// hold goes to its place; a byte whose character the target lacks goes to a
// byte whose character the source lacks (never to another character of the
// text). The code pages outside the chain search are checked to and from
// Windows-1251, the way their text goes.
TEST(CodeTables, EveryByteOfEveryPairAgreesWithIconv) {
  const char* names[] = {"", "CP1251",       "CP866",  "KOI8-R", "ISO-8859-5",
                         "", "MAC-CYRILLIC", "KOI8-U", "CP1125", "IBM855"};
  std::vector<std::pair<int, int>> pairs;
  for (int from = 1; from <= kLastCode; ++from)
    for (int to = 1; to <= kLastCode; ++to)
      if (IsSingleByteCode(from) && IsSingleByteCode(to) &&
          ((from <= kCodeCount && to <= kCodeCount) || from == kWindows || to == kWindows))
        pairs.emplace_back(from, to);
  struct Exception {
    int from, to, byte;
  };
  const Exception exceptions[] = {// MacCyrillic 0xFF: the euro sign, in iconv the currency sign
                                  {kMacCyrillic, kWindows, 0xFF},
                                  {kWindows, kMacCyrillic, 0x88},
                                  {kWindows, kMacCyrillic, 0xA4},
                                  {kMacCyrillic, kWindows, 0xB2}};
  const auto iconvByte = [&](int from, int to, Byte b, Byte& out) {
    std::string converted;
    if (!testing::Iconv(std::string(1, static_cast<char>(b)), names[from], names[to], converted) ||
        converted.size() != 1)
      return false;
    out = static_cast<Byte>(converted[0]);
    return true;
  };
  for (const auto& [from, to] : pairs)
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(::testing::Message() << names[from] << " -> " << names[to] << " byte " << std::hex << b);
      const Byte ours = ConvChar(static_cast<Byte>(b), from, to);
      Byte theirs = 0, back = 0;
      bool excepted = false;
      for (const Exception& e : exceptions) excepted |= e.from == from && e.to == to && e.byte == b;
      if (excepted) {
        EXPECT_NE(ours, iconvByte(from, to, static_cast<Byte>(b), theirs) ? theirs : b);
      } else if (iconvByte(from, to, static_cast<Byte>(b), theirs)) {
        EXPECT_EQ(ours, theirs);
      } else {
        EXPECT_FALSE(iconvByte(to, from, ours, back)) << std::hex << int(ours) << " is " << int(back);
      }
    }
}

// The 66 Russian letters sit at their published places in every code page
// (KOI-8 by its table), so a text goes from any code page to any other,
// directly or through a pair, and back without a letter lost.
TEST(CodeTables, RussianLettersAtTheirPublishedPlaces) {
  // Windows, Dos and ISO 8859-5 places of Ё, ё and А..я.
  std::vector<std::array<int, 3>> letters = {{0xA8, 0xF0, 0xA1}, {0xB8, 0xF1, 0xF1}};
  for (int k = 0; k < 64; ++k) letters.push_back({0xC0 + k, k < 48 ? 0x80 + k : 0xE0 + k - 48, 0xB0 + k});
  for (const auto& [win, dos, iso] : letters) {
    SCOPED_TRACE(win);
    EXPECT_EQ(ConvChar(static_cast<Byte>(win), kWindows, kDos), dos);
    EXPECT_EQ(ConvChar(static_cast<Byte>(win), kWindows, kIso), iso);
    EXPECT_EQ(ConvChar(static_cast<Byte>(iso), kIso, kWindows), win);
    EXPECT_EQ(ConvChar(static_cast<Byte>(iso), kIso, kDos), dos);
    EXPECT_EQ(ConvChar(static_cast<Byte>(dos), kDos, kIso), iso);
    EXPECT_EQ(ConvChar(ConvChar(static_cast<Byte>(iso), kIso, kKoi8), kKoi8, kIso), iso);
  }
  // Ещё in ISO 8859-5 read through each pair out of ISO and back.
  const std::string iso = "\xB5\xE9\xF1", win = "\xC5\xF9\xB8";
  EXPECT_EQ(ConvertByPair(iso, 3), win);
  EXPECT_EQ(ConvertByPair(win, 4), iso);
  EXPECT_EQ(ConvertByPair(ConvertByPair(iso, 11), 7), iso);   // ISO -> Dos -> ISO
  EXPECT_EQ(ConvertByPair(ConvertByPair(iso, 12), 10), iso);  // ISO -> KOI-8 -> ISO
  EXPECT_EQ(ConvertByPair(iso, 12), "\xE5\xDD\xA3");          // KOI-8 Ещё
}

TEST(CodeTables, PairTableOrder) {
  const int expected[13][2] = {{1, 1}, {1, 2}, {1, 3}, {4, 1}, {1, 4}, {2, 1}, {2, 3},
                               {2, 4}, {3, 1}, {3, 2}, {3, 4}, {4, 2}, {4, 3}};
  for (int p = 0; p < kPairCount; ++p) {
    EXPECT_EQ(PairFrom(p), expected[p][0]);
    EXPECT_EQ(PairTo(p), expected[p][1]);
    EXPECT_EQ(PairTable(p), BuildCodeTable(expected[p][0], expected[p][1]));
  }
}

TEST(CodeTables, MakeCodeTableComposesLevelsInOrderThenTarget) {
  Chain chain{5, 8, 0, 0, 0, 0, 0, 0};  // Dos -> Windows, then KOI-8 -> Windows
  const CodeTable table = MakeCodeTable(chain, true, kDos);
  const CodeTable withTarget = MakeCodeTable(chain, false, kDos);
  for (int i = 0; i < 256; ++i) {
    const Byte viaPairs = ConvChar(ConvChar(static_cast<Byte>(i), 2, 1), 3, 1);
    EXPECT_EQ(table[i], viaPairs);
    EXPECT_EQ(withTarget[i], ConvChar(viaPairs, 1, 2));
  }
  EXPECT_EQ(MakeCodeTable(Chain{}, false, kWindows), IdentityCodeTable());
}

TEST(CyrillicCase, FoldsOnlyLatinRussianAndYo) {
  EXPECT_EQ(UpperRus(0xB8), 0xA8);
  EXPECT_EQ(LowerRus(0xA8), 0xB8);
  EXPECT_EQ(LowerRus(0xDF), 0xFF);
  EXPECT_EQ(UpperRus('q'), 'Q');
  for (Byte b : {0xB3, 0xBA, 0xBF, 0xB4, 0x9A}) EXPECT_EQ(UpperRus(b), b);
  for (Byte b : {0xB2, 0xAA, 0xAF, 0xA5, 0x8A}) EXPECT_EQ(LowerRus(b), b);
  for (int b = 0; b < 256; ++b) {
    const Byte up = UpperRus(static_cast<Byte>(b));
    if (up != b) {
      EXPECT_EQ(LowerRus(up), b);
    }
  }
  EXPECT_EQ(UpperCaseRus("ab\xE0\xFF\xB8"), "AB\xC0\xDF\xA8");
  EXPECT_EQ(LowerCaseRus("AB\xC0\xDF\xA8"), "ab\xE0\xFF\xB8");
}

TEST(CodeTables, RussianAlphabetAndNames) {
  ASSERT_EQ(RussianAlphabet.size(), 33u);
  EXPECT_EQ(static_cast<Byte>(RussianAlphabet[6]), 0xA8);
  EXPECT_EQ(CodeNames[3], "KOI-8");
  EXPECT_EQ(CodeNames[4], "ISO 8859-5");
  EXPECT_EQ(WinToDos("a\xC0\xA8"), "a\x80\xF0");
}

TEST(MatchAt, PositionCountAndBounds) {
  const std::string jod = "\xC9\xCE\xC4";  // ЙОД
  EXPECT_TRUE(MatchAt(jod, "\xC9\xCE\xC4\xC0", 1, 3));
  EXPECT_FALSE(MatchAt(jod, "\xC9\xCE", 1, 3));
  EXPECT_TRUE(MatchAt("xy", "abxy", 3, 2));
  EXPECT_FALSE(MatchAt("xy", "abxy", 4, 2));
  EXPECT_TRUE(MatchAt("", "ab", 2, 0));
  EXPECT_FALSE(MatchAt("", "ab", 4, 0));
}

}  // namespace
}  // namespace kamvo
