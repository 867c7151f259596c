#include "codepages/code_tables.h"

#include "codepages/code_page_list.h"
#include "codepages/unicode_tables.h"

namespace kamvo {

constinit const std::array<std::string_view, kLastCode + 1> CodeNames = [] {
  std::array<std::string_view, kLastCode + 1> names{};
  for (const CodePageInfo& page : kCodePageList) names[page.Code] = page.Name;
  return names;
}();

// А Б В Г Д Е Ё Ж З И Й К Л М Н О П Р С Т У Ф Х Ц Ч Ш Щ Ъ Ы Ь Э Ю Я
constinit const std::string_view RussianAlphabet =
    "\xC0\xC1\xC2\xC3\xC4\xC5\xA8\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
    "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF";

namespace {

// The places the bytes without a counterpart in Windows-1251 take (see
// Inward): for Dos the table of old (it already follows the published
// mapping), for KOI8-R and ISO 8859-5 the old tables that moved only the
// Russian letters.
constexpr HalfTable kDosFill = {
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2,
    0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5,
    0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90,
    0x91, 0x92, 0x93, 0x94, 0x86, 0x96, 0x97, 0xBE, 0x99, 0x9A, 0x81, 0x9C, 0x9D, 0x9E, 0x9F, 0x85, 0x83, 0x9B, 0xA3,
    0xBD, 0xA5, 0xA6, 0xA7, 0x82, 0x84, 0x87, 0xAB, 0xAC, 0xAD, 0xAE, 0x80, 0xA9, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xBC, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0xA8, 0xB8,
    0xAA, 0xBA, 0xAF, 0xBF, 0xA1, 0xA2, 0xB0, 0x95, 0xB7, 0xBB, 0xB9, 0xA4, 0x98, 0xA0,
};

constexpr HalfTable kKoiFill = {
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92,
    0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xA0, 0xA1, 0xA2, 0xB8, 0xA4, 0xA5,
    0xA6, 0xA7, 0xB3, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xA8, 0xB4, 0xB5, 0xB6, 0xB7, 0xA3,
    0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xFE, 0xE0, 0xE1, 0xF6, 0xE4, 0xE5, 0xF4, 0xE3, 0xF5, 0xE8, 0xE9, 0xEA,
    0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xFF, 0xF0, 0xF1, 0xF2, 0xF3, 0xE6, 0xE2, 0xFC, 0xFB, 0xE7, 0xF8, 0xFD, 0xF9, 0xF7,
    0xFA, 0xDE, 0xC0, 0xC1, 0xD6, 0xC4, 0xC5, 0xD4, 0xC3, 0xD5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xDF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xC6, 0xC2, 0xDC, 0xDB, 0xC7, 0xD8, 0xDD, 0xD9, 0xD7, 0xDA,
};

constexpr HalfTable kIsoFill = {
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92,
    0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xA0, 0xA8, 0xA2, 0xA3, 0xA4, 0xA5,
    0xA6, 0xA7, 0xA1, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8,
    0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB,
    0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE,
    0xEF, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0xB0, 0xB8,
    0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB1, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
};

using UnicodeHalf = std::array<std::uint16_t, 128>;

// The byte 0x80 + i of the code page that holds the character; -1 if none.
constexpr int PlaceOf(const UnicodeHalf& page, std::uint16_t c) {
  for (int i = 0; i < 128; ++i)
    if (page[i] == c) return i;
  return -1;
}

// The table into Windows-1251 of a code page, built from the published
// mappings:
// 1. a byte whose character Windows-1251 holds goes to its place;
// 2. a byte whose character the partner code page holds (the box drawing
//    and signs Dos and KOI8-R share) goes where the partner's byte goes, if
//    that place is still free, so the pair between the two keeps it too;
// 3. every other byte takes its place in `fill`; where byte m of steps 1-2
//    holds that place already, it takes m's place in `fill` instead, and so
//    on. That ends at a free place, and no two bytes end at the same one, so
//    the table stays one to one (chains of them can be undone) and differs
//    from `fill` only where the mappings ask.
constexpr HalfTable Inward(const UnicodeHalf& page, const HalfTable& fill, const UnicodeHalf* partner,
                           const HalfTable* partnerInward) {
  HalfTable table{};
  std::array<int, 128> heldBy{};  // place - 0x80 -> byte - 0x80 + 1 of steps 1-2, 0: free
  std::array<bool, 128> placed{};
  const auto place = [&](int i, int to) {
    table[i] = static_cast<Byte>(0x80 + to);
    heldBy[to] = i + 1;
    placed[i] = true;
  };
  for (int i = 0; i < 128; ++i)
    if (const int to = PlaceOf(unicode_tables::kWinHighToUnicode, page[i]); to >= 0) place(i, to);
  if (partner != nullptr)
    for (int i = 0; i < 128; ++i) {
      const int there = placed[i] ? -1 : PlaceOf(*partner, page[i]);
      if (there < 0 || PlaceOf(unicode_tables::kWinHighToUnicode, page[i]) >= 0) continue;
      const int to = (*partnerInward)[there] - 0x80;
      if (heldBy[to] == 0) place(i, to);
    }
  for (int i = 0; i < 128; ++i) {
    if (placed[i]) continue;
    int to = fill[i] - 0x80;
    while (heldBy[to] != 0) to = fill[heldBy[to] - 1] - 0x80;
    table[i] = static_cast<Byte>(0x80 + to);
  }
  return table;
}

constexpr HalfTable kDosToWin = Inward(unicode_tables::kDosHighToUnicode, kDosFill, nullptr, nullptr);
constexpr HalfTable kKoiToWin =
    Inward(unicode_tables::kKoiHighToUnicode, kKoiFill, &unicode_tables::kDosHighToUnicode, &kDosToWin);
constexpr HalfTable kIsoToWin =
    Inward(unicode_tables::kIsoHighToUnicode, kIsoFill, &unicode_tables::kDosHighToUnicode, &kDosToWin);
static_assert(kDosToWin == kDosFill);

// The code pages outside the chain search keep their other bytes in place
// where they can.
constexpr HalfTable IdentityFill() {
  HalfTable table{};
  for (int i = 0; i < 128; ++i) table[i] = static_cast<Byte>(0x80 + i);
  return table;
}
constexpr HalfTable kMacToWin = Inward(unicode_tables::kMacHighToUnicode, IdentityFill(), nullptr, nullptr);
constexpr HalfTable kKoiUToWin = Inward(unicode_tables::kKoiUHighToUnicode, IdentityFill(), nullptr, nullptr);
constexpr HalfTable kCp1125ToWin = Inward(unicode_tables::kCp1125HighToUnicode, IdentityFill(), nullptr, nullptr);
constexpr HalfTable kIbm855ToWin = Inward(unicode_tables::kIbm855HighToUnicode, IdentityFill(), nullptr, nullptr);

// Each outward table is the inverse of its inward table.
constexpr HalfTable Inverse(const HalfTable& inward) {
  HalfTable outward{};
  for (int i = 0; i < 128; ++i) outward[inward[i] - 0x80] = static_cast<Byte>(0x80 + i);
  return outward;
}

// Dos and KOI8-R share 51 characters beyond the letters (box drawing and
// signs), one more than Windows-1251 has free places for, so the way
// through Windows-1251 cannot keep them all. Between the two, every shared
// character goes straight to its place instead; the byte that the way
// through Windows-1251 would have sent there takes the place it leaves, so
// the table stays one to one.
constexpr HalfTable Direct(const UnicodeHalf& source, const UnicodeHalf& target, const HalfTable& in,
                           const HalfTable& out) {
  HalfTable table{};
  for (int i = 0; i < 128; ++i) table[i] = out[in[i] - 0x80];
  for (int i = 0; i < 128; ++i) {
    const int place = PlaceOf(target, source[i]);
    if (place < 0 || table[i] == 0x80 + place) continue;
    for (int j = 0; j < 128; ++j)
      if (table[j] == 0x80 + place) table[j] = table[i];
    table[i] = static_cast<Byte>(0x80 + place);
  }
  return table;
}
constexpr HalfTable kDosToKoiDirect =
    Direct(unicode_tables::kDosHighToUnicode, unicode_tables::kKoiHighToUnicode, kDosToWin, Inverse(kKoiToWin));
constinit const HalfTable kDosToKoi = kDosToKoiDirect;
constinit const HalfTable kKoiToDos = Inverse(kDosToKoiDirect);

// The tables of the code pages known by their Unicode tables only.
constinit const HalfTable kMacIn = kMacToWin, kMacOut = Inverse(kMacToWin);
constinit const HalfTable kKoiUIn = kKoiUToWin, kKoiUOut = Inverse(kKoiUToWin);
constinit const HalfTable kCp1125In = kCp1125ToWin, kCp1125Out = Inverse(kCp1125ToWin);
constinit const HalfTable kIbm855In = kIbm855ToWin, kIbm855Out = Inverse(kIbm855ToWin);

const HalfTable* InwardTable(int code) {
  switch (code) {
    case kDos:
      return &DosToWinTable;
    case kKoi8:
      return &KoiToWinTable;
    case kIso:
      return &IsoToWinTable;
    case kMacCyrillic:
      return &kMacIn;
    case kKoi8U:
      return &kKoiUIn;
    case kCp1125:
      return &kCp1125In;
    case kIbm855:
      return &kIbm855In;
    default:
      return nullptr;
  }
}

const HalfTable* OutwardTable(int code) {
  switch (code) {
    case kDos:
      return &WinToDosTable;
    case kKoi8:
      return &WinToKoiTable;
    case kIso:
      return &WinToIsoTable;
    case kMacCyrillic:
      return &kMacOut;
    case kKoi8U:
      return &kKoiUOut;
    case kCp1125:
      return &kCp1125Out;
    case kIbm855:
      return &kIbm855Out;
    default:
      return nullptr;
  }
}

struct Pair {
  int from;
  int to;
};

constexpr std::array<Pair, kAllPairCount> kPairs = {{
    {kWindows, kWindows},
    {kWindows, kDos},
    {kWindows, kKoi8},
    {kIso, kWindows},
    {kWindows, kIso},
    {kDos, kWindows},
    {kDos, kKoi8},
    {kDos, kIso},
    {kKoi8, kWindows},
    {kKoi8, kDos},
    {kKoi8, kIso},
    {kIso, kDos},
    {kIso, kKoi8},
    {kMacCyrillic, kWindows},
    {kKoi8U, kWindows},
    {kCp1125, kWindows},
    {kIbm855, kWindows},
}};

std::array<CodeTable, kAllPairCount> BuildPairTables() {
  std::array<CodeTable, kAllPairCount> tables{};
  for (int p = 0; p < kAllPairCount; ++p) tables[p] = BuildCodeTable(kPairs[p].from, kPairs[p].to);
  return tables;
}

}  // namespace

constinit const HalfTable DosToWinTable = kDosToWin;
constinit const HalfTable KoiToWinTable = kKoiToWin;
constinit const HalfTable IsoToWinTable = kIsoToWin;
constinit const HalfTable WinToDosTable = Inverse(kDosToWin);
constinit const HalfTable WinToKoiTable = Inverse(kKoiToWin);
constinit const HalfTable WinToIsoTable = Inverse(kIsoToWin);

CodeTable IdentityCodeTable() {
  CodeTable table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<Byte>(i);
  return table;
}

int PairFrom(int pairIndex) { return kPairs.at(pairIndex).from; }
int PairTo(int pairIndex) { return kPairs.at(pairIndex).to; }

Byte ConvChar(Byte b, int from, int to) {
  if (b < 0x80) return b;
  if (from == kDos && to == kKoi8) return kDosToKoi[b - 0x80];
  if (from == kKoi8 && to == kDos) return kKoiToDos[b - 0x80];
  if (const HalfTable* in = InwardTable(from)) b = (*in)[b - 0x80];
  if (const HalfTable* out = OutwardTable(to)) b = (*out)[b - 0x80];
  return b;
}

CodeTable BuildCodeTable(int from, int to) {
  CodeTable table{};
  for (int i = 0; i < 256; ++i) table[i] = ConvChar(static_cast<Byte>(i), from, to);
  return table;
}

const CodeTable& PairTable(int pairIndex) {
  static const std::array<CodeTable, kAllPairCount> tables = BuildPairTables();
  return tables.at(pairIndex);
}

CodeTable MakeCodeTable(const Chain& chain, bool windowsOnly, int toCode) {
  CodeTable table = IdentityCodeTable();
  for (int level = 0; level < kChainLevels; ++level) {
    const CodeTable& step = PairTable(chain[level]);
    for (auto& b : table) b = step[b];
  }
  if (!windowsOnly)
    for (auto& b : table) b = ConvChar(b, kWindows, toCode);
  return table;
}

std::string ConvertByTable(std::string_view s, const CodeTable& table) {
  std::string result(s);
  ConvertInPlace(result, table);
  return result;
}

void ConvertInPlace(std::string& s, const CodeTable& table) {
  for (auto& c : s) c = static_cast<char>(table[static_cast<Byte>(c)]);
}

std::string ConvertByPair(std::string_view s, int pairIndex) { return ConvertByTable(s, PairTable(pairIndex)); }

Byte UpperRus(Byte b) {
  if ((b >= 'a' && b <= 'z') || b >= 0xE0) return static_cast<Byte>(b - 0x20);
  if (b == 0xB8) return 0xA8;
  return b;
}

Byte LowerRus(Byte b) {
  if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) return static_cast<Byte>(b + 0x20);
  if (b == 0xA8) return 0xB8;
  return b;
}

std::string UpperCaseRus(std::string_view s) {
  std::string result(s);
  for (auto& c : result) c = static_cast<char>(UpperRus(static_cast<Byte>(c)));
  return result;
}

std::string LowerCaseRus(std::string_view s) {
  std::string result(s);
  for (auto& c : result) c = static_cast<char>(LowerRus(static_cast<Byte>(c)));
  return result;
}

}  // namespace kamvo
