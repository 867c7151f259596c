#include "recognition/reading.h"

#include <string>
#include <vector>

#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "recognition/russian_word.h"

namespace kamvo {

namespace {

// The bytes of a text a reading looks at, at most: enough for
// ReadingCounter::kMaxWords words of any text that has them.
constexpr std::size_t kReadBytes = 256 * 1024;

bool IsCyrillicChar(std::uint32_t c) { return (c >= 0x400 && c <= 0x45F) || c == 0x490 || c == 0x491; }
bool IsUpperCyrillic(std::uint32_t c) { return (c >= 0x400 && c <= 0x42F) || c == 0x490; }

bool IsApostrophe(std::uint32_t c) { return c == '\'' || c == 0x2019 || c == 0x2BC; }

// Whether a character may touch a word in correct text: ASCII, spaces,
// emoji, and of the signs beyond ASCII the quotes, dashes and the no-break
// space before or after it, the ellipsis and the degree after it. Any
// other sign or symbol touching a letter (box drawing, ¤, ®, ‚) is what a
// text read in a wrong code page shows (ҐЈ®¤­п, Рџ‚, ▀Н║═О), and the word
// beside it reads badly.
bool IsWindowsSign(std::uint32_t c) {
  if (c < 0x80) return false;
  Byte b = 0;
  return UnicodeToWin(c, b) && b >= 0x80 && b <= 0xBF && !IsLetterChar(c);
}
bool MayTouchWord(std::uint32_t c) {
  return c < 0x80 || c == 0xA0 || (c >= 0x2000 && c <= 0x200D) || c == 0x202F || c == 0x3000 ||
         (c >= 0x2600 && c <= 0x27BF) || (c >= 0x2B00 && c <= 0x2BFF) || c == 0xFE0F || c >= 0x1F000;
}
bool MayOpenWord(std::uint32_t c) {
  static constexpr std::u32string_view open = U"«„“”‘’—–";
  return MayTouchWord(c) || open.find(static_cast<char32_t>(c)) != std::u32string_view::npos;
}
bool MayCloseWord(std::uint32_t c) {
  static constexpr std::u32string_view close = U"»“”’‘…—–°";
  return MayTouchWord(c) || close.find(static_cast<char32_t>(c)) != std::u32string_view::npos;
}

// Combining marks (the stress mark of за́мок) belong to the word they sit in.
bool IsCombiningMark(std::uint32_t c) { return c >= 0x300 && c <= 0x36F; }

// A Cyrillic letter folded to lower case.
std::uint32_t Lower(std::uint32_t c) {
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c == 0x490) return 0x491;
  return c;
}

bool IsRussianLetter(std::uint32_t lower) { return (lower >= 0x430 && lower <= 0x44F) || lower == 0x451; }

// The Cyrillic letter a Latin look-alike stands for; 0 for any other.
std::uint32_t CyrillicLookAlike(std::uint32_t c) {
  static constexpr std::u32string_view latin = U"ABCHKMOPTXEacopxye";
  static constexpr std::u32string_view cyrillic = U"АВСНКМОРТХЕасорхуе";
  const std::size_t at = latin.find(static_cast<char32_t>(c));
  return at == std::u32string_view::npos ? 0 : cyrillic[at];
}

// The alphabets a word's letters may belong to, one bit each.
enum : unsigned {
  kRussian = 1,
  kUkrainian = 2,
  kBelarusian = 4,
  kSerbian = 8,
  kMacedonian = 16,
  kAnyAlphabet = 31,
  // With the alphabets: a word of letters Russian shares with them that
  // the Russian word test rejects (згорнувся, працював).
  kSharedLetters = 32,
};

// The alphabets that hold a lower-case Cyrillic letter.
unsigned AlphabetsOf(std::uint32_t lower) {
  switch (lower) {
    case U'ё':
      return kRussian | kBelarusian;
    case U'ъ':
      return kRussian;
    case U'ы':
    case U'э':
      return kRussian | kBelarusian;
    case U'и':
      return kRussian | kUkrainian | kSerbian | kMacedonian;
    case U'щ':
      return kRussian | kUkrainian;
    case U'й':
      return kRussian | kUkrainian | kBelarusian;
    case U'ь':
    case U'ю':
    case U'я':
      return kRussian | kUkrainian | kBelarusian;
    case U'і':
      return kUkrainian | kBelarusian;
    case U'ї':
    case U'є':
    case U'ґ':
      return kUkrainian;
    case U'ў':
      return kBelarusian;
    case U'ђ':
    case U'ћ':
      return kSerbian;
    case U'ј':
    case U'љ':
    case U'њ':
    case U'џ':
      return kSerbian | kMacedonian;
    case U'ѓ':
    case U'ѕ':
    case U'ќ':
      return kMacedonian;
    default:
      break;
  }
  if (IsRussianLetter(lower)) return kAnyAlphabet;
  return 0;  // Ѐ, Ѝ and the like: no alphabet of ours
}

bool IsVowel(std::uint32_t lower) {
  static constexpr std::u32string_view vowels = U"аеёиоуыэюяіїє";
  return vowels.find(static_cast<char32_t>(lower)) != std::u32string_view::npos;
}

// Decodes one UTF-8 character at s[i]; 0 when the bytes there are no valid
// shortest form (surrogates and values above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& out) {
  const auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t lead = b(i);
  std::size_t length = 0;
  std::uint32_t c = 0;
  if (lead < 0x80) {
    out = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(i + k) & 0x3F);
  }
  if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
    return 0;
  out = c;
  return length;
}

// The characters of a line: UTF-8 where it decodes (with `utf8`), every
// other byte as its Windows-1251 character.
void LineChars(std::string_view line, bool utf8, std::vector<std::uint32_t>& out) {
  out.clear();
  for (std::size_t i = 0; i < line.size();) {
    std::uint32_t c = 0;
    const std::size_t used = utf8 ? DecodeUtf8(line, i, c) : 0;
    if (used == 0) {
      out.push_back(WinToUnicode(static_cast<Byte>(line[i])));
      ++i;
    } else {
      if (c != 0xFEFF) out.push_back(c);
      i += used;
    }
  }
}

// True when the first part of the text is valid UTF-8 holding some
// character above U+007F.
bool StandsInUtf8(const Text& text) {
  bool multibyte = false;
  std::size_t bytes = 0;
  for (std::size_t l = 0; l < text.size() && bytes < kReadBytes; ++l) {
    const std::string_view line = text[l];
    bytes += line.size() + 1;
    for (std::size_t i = 0; i < line.size();) {
      std::uint32_t c = 0;
      const std::size_t used = DecodeUtf8(line, i, c);
      if (used == 0) return false;
      multibyte |= used > 1;
      i += used;
    }
  }
  return multibyte;
}

// The word with ё written as е, as most Russian text writes it (the word
// lists know чёрный only as черный).
bool IsRussianWithE(std::string win) {
  bool changed = false;
  for (char& c : win) {
    if (static_cast<Byte>(c) == 0xB8) c = static_cast<char>(0xE5), changed = true;
    if (static_cast<Byte>(c) == 0xA8) c = static_cast<char>(0xC5), changed = true;
  }
  return changed && IsRussianWord(win);
}

// A Bulgarian word holds ъ as a vowel inside the word (твърде, дълъг),
// where the Russian word lists forbid it; read as а, the rest of the word
// is judged as Russian.
bool IsBulgarianWord(std::string win) {
  bool inner = false;
  for (std::size_t i = 1; i + 1 < win.size(); ++i) {
    Byte& b = reinterpret_cast<Byte&>(win[i]);
    if (b == 0xFA || b == 0xDA) b = b == 0xFA ? 0xE0 : 0xC0, inner = true;
  }
  return inner && IsRussianWord(win);
}

// Judges a Cyrillic word (look-alikes already replaced): the alphabets in
// which it reads well, kAnyAlphabet for a Russian word, 0 when it reads
// badly (or some letter is not Cyrillic).
unsigned ReadsWell(const std::uint32_t* word, std::size_t length) {
  // The case shape: lower case throughout after a lower-case first letter;
  // after an upper-case one, at most one change of case.
  const bool firstUpper = IsUpperCyrillic(word[0]);
  int changes = 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsCyrillicChar(word[i]) && !IsApostrophe(word[i])) return 0;
    if (IsApostrophe(word[i])) continue;
    const bool upper = IsUpperCyrillic(word[i]);
    if (!firstUpper && upper) return 0;
    std::size_t before = i - 1;
    while (IsApostrophe(word[before])) --before;
    if (upper != IsUpperCyrillic(word[before])) ++changes;
  }
  if (!IsCyrillicChar(word[0]) || changes > 1) return 0;

  unsigned alphabets = kAnyAlphabet;
  bool onlyRussian = true, vowel = false, apostrophe = false;
  std::string win;
  for (std::size_t i = 0; i < length; ++i) {
    if (IsApostrophe(word[i])) {
      apostrophe = true;
      continue;
    }
    const std::uint32_t lower = Lower(word[i]);
    alphabets &= AlphabetsOf(lower);
    onlyRussian = onlyRussian && IsRussianLetter(lower);
    vowel = vowel || IsVowel(lower);
    Byte b = 0;
    if (UnicodeToWin(word[i], b)) win.push_back(static_cast<char>(b));
  }
  if (alphabets == 0) return 0;
  if (onlyRussian && !apostrophe && (IsRussianWord(win) || IsRussianWithE(win) || IsBulgarianWord(win)))
    return kAnyAlphabet;
  // Words of another language: letters of one alphabet besides Russian,
  // some of them not Russian, with a vowel.
  alphabets &= ~kRussian;
  if (!vowel || alphabets == 0) return 0;
  // An apostrophe inside a word is Ukrainian or Belarusian (п'ять), never
  // Russian.
  return onlyRussian && !apostrophe ? alphabets | kSharedLetters : alphabets;
}

}  // namespace

bool IsLetterChar(std::uint32_t c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
  if (c < 0x250) return c != 0xD7 && c != 0xF7;
  if (c >= 0x370 && c <= 0x3FF) return c != 0x37E && c != 0x387;  // Greek
  if (c >= 0x400 && c <= 0x52F) return c < 0x482 || c > 0x489;    // Cyrillic
  return false;
}

Reading ReadingCounter::Result() const {
  // Words of other alphabets count in the one language most of them share:
  // a text mixes no Ukrainian ї with Serbian ђ, text in a wrong code page
  // does.
  int best = 0;
  for (int a = 1; a < kAlphabets; ++a)
    if (foreignGood_[a] > foreignGood_[best]) best = a;
  Reading reading = reading_;
  reading.Good += foreignGood_[best];
  reading.LongGood += foreignLongGood_[best];
  reading.Foreign = foreignGood_[best];
  // In a text of that language, its words of letters Russian shares count
  // too; a Russian text with a few of its words does not get them.
  if (foreignLongGood_[best] >= kSharedLettersLanguageWords &&
      foreignLongGood_[best] * 100 >= kSharedLettersLanguagePercent * reading_.Words) {
    reading.Good += sharedGood_[best];
    reading.LongGood += sharedLongGood_[best];
    reading.Foreign += sharedGood_[best];
  }
  // The text is named by that language when a fair share of its words
  // have letters Russian lacks; a Russian text quoting a word or two is not.
  if (foreignGood_[best] >= kLanguageNameWords && foreignGood_[best] * 100 >= kLanguageNamePercent * reading_.Words)
    reading.Language = static_cast<TextLanguage>(best);
  // A word in capitals after the first letter (пРИВЕТ) is what a text in
  // KOI-8 read as Windows-1251 makes of a capitalised word, and its other
  // words come out in capitals: these are no evidence then.
  if (inverted_ > 0) {
    reading.Good -= capitalsGood_;
    reading.LongGood -= capitalsLongGood_;
  } else {
    reading.Capitals = capitalsGood_;
  }
  return reading;
}

void ReadingCounter::AddLine(const std::uint32_t* chars, std::size_t count) {
  for (std::size_t i = 0; i < count && !Full(); ++i) {
    const std::uint32_t c = chars[i];
    if (IsCombiningMark(c) && length_ > 0) continue;
    // Runs of letters and of characters that may stand for letters in a
    // wrong code page (box drawing, symbols): not ASCII, no sign of
    // Windows-1251.
    const bool mayBeLetter = IsLetterChar(c) || (c > 0xBF && !IsWindowsSign(c) && c != 0xFEFF);
    if (mayBeLetter) {
      if (c >= 0x80 && !inLetterRun_) {
        ++reading_.Letters;
        inLetterRun_ = true;
      }
    } else {
      inLetterRun_ = false;
    }
    if (IsLetterChar(c)) {
      if (length_ == 0 && i > 0 && !MayOpenWord(chars[i - 1])) glued_ = true;
      if (pendingApostrophe_) {
        if (length_ < std::size(word_)) word_[length_++] = '\'';
        pendingApostrophe_ = false;
      }
      if (length_ < std::size(word_))
        word_[length_++] = c;
      else
        tooLong_ = true;
    } else if (IsApostrophe(c) && length_ > 0 && !pendingApostrophe_) {
      pendingApostrophe_ = true;
    } else {
      if (length_ > 0 && !MayCloseWord(c)) glued_ = true;
      EndWord(c);
    }
  }
  EndWord(0);
  inLetterRun_ = false;
}

void ReadingCounter::EndWord(std::uint32_t next) {
  pendingApostrophe_ = false;
  if (length_ == 0) {
    glued_ = false;
    return;
  }
  bool cyrillic = false, foreign = false, russianOnly = true;
  for (std::size_t i = 0; i < length_; ++i)
    if (IsCyrillicChar(word_[i]) && !IsRussianLetter(Lower(word_[i]))) russianOnly = false;
  for (std::size_t i = 0; i < length_; ++i) {
    if (IsCyrillicChar(word_[i])) {
      cyrillic = true;
    } else if (!IsApostrophe(word_[i]) && !russianOnly) {
      foreign = true;  // Latin letters stand for Russian ones only among Russian ones
    } else if (!IsApostrophe(word_[i])) {
      const std::uint32_t alike = CyrillicLookAlike(word_[i]);
      if (alike != 0)
        word_[i] = alike;
      else
        foreign = true;
    }
  }
  // A lone letter of another alphabet says nothing (Ukrainian і, and the
  // box drawing │ of Dos text read as Windows-1251, look the same), nor
  // does an initial (А. С. Пушкин).
  const bool loneForeignLetter = length_ == 1 && !IsRussianLetter(Lower(word_[0]));
  const bool initial = length_ == 1 && IsUpperCyrillic(word_[0]) && next == '.';
  if (cyrillic && !loneForeignLetter && !initial) {
    ++reading_.Words;
    reading_.Glued += glued_;
    const unsigned alphabets = foreign || tooLong_ || glued_ ? 0 : ReadsWell(word_, length_);
    bool allUpper = length_ >= 2, inverted = length_ >= 2 && !IsUpperCyrillic(word_[0]);
    for (std::size_t i = 1; i < length_; ++i) {
      allUpper = allUpper && (IsUpperCyrillic(word_[i]) || IsApostrophe(word_[i]));
      inverted = inverted && (IsUpperCyrillic(word_[i]) || IsApostrophe(word_[i]));
    }
    allUpper = allUpper && IsUpperCyrillic(word_[0]);
    inverted_ += inverted;
    if (alphabets & kSharedLetters) {
      for (int a = 0; a < kAlphabets; ++a) {
        if (!(alphabets >> a & 1)) continue;
        ++sharedGood_[a];
        sharedLongGood_[a] += length_ >= 3;
      }
    } else if (alphabets == kAnyAlphabet) {
      ++reading_.Good;
      reading_.LongGood += length_ >= 3;
      capitalsGood_ += allUpper;
      capitalsLongGood_ += allUpper && length_ >= 3;
    } else {
      for (int a = 0; a < kAlphabets; ++a) {
        if (!(alphabets >> a & 1)) continue;
        ++foreignGood_[a];
        foreignLongGood_[a] += length_ >= 3;
      }
    }
  }
  length_ = 0;
  tooLong_ = false;
  glued_ = false;
}

Reading ReadAsItStands(const Text& text, bool utf8Allowed, bool* isUtf8) {
  const bool utf8 = utf8Allowed && StandsInUtf8(text);
  if (isUtf8 != nullptr) *isUtf8 = utf8;
  ReadingCounter counter;
  std::vector<std::uint32_t> chars;
  std::size_t bytes = 0;
  for (std::size_t l = 0; l < text.size() && bytes < kReadBytes && !counter.Full(); ++l) {
    const std::string_view line = text[l];
    bytes += line.size() + 1;
    LineChars(line, utf8, chars);
    counter.AddLine(chars.data(), chars.size());
  }
  return counter.Result();
}

Reading ReadThrough(const Text& text, const ReadingConversion& conversion) {
  ReadingCounter counter;
  std::vector<std::uint32_t> chars;
  std::string line, scratch;
  std::size_t bytes = 0;
  for (std::size_t l = 0; l < text.size() && bytes < kReadBytes && !counter.Full(); ++l) {
    line.assign(text[l]);
    bytes += line.size() + 1;
    ApplyOuterLayer(line, conversion.Layer, scratch, l == 0);
    if (conversion.SourceCode != 0) {
      chars.clear();
      for (const char c : line) chars.push_back(CodePageToUnicode(conversion.SourceCode, static_cast<Byte>(c)));
    } else {
      ConvertInPlace(line, conversion.IntoWindows);
      LineChars(line, conversion.Utf8, chars);
    }
    counter.AddLine(chars.data(), chars.size());
  }
  return counter.Result();
}

ReadingConversion ChainReading(const OuterLayer& layer, const Chain& chain, bool utf8) {
  ReadingConversion conversion;
  conversion.Layer = layer;
  conversion.Utf8 = utf8;
  conversion.IntoWindows = MakeCodeTable(chain, true, kWindows);
  const bool singlePair = chain[0] != 0 && chain[1] == 0;
  if (singlePair && !utf8 && PairTo(chain[0]) == kWindows) conversion.SourceCode = PairFrom(chain[0]);
  return conversion;
}

bool OutreadsFairText(const Reading& asItStands, const Reading& converted) {
  return !asItStands.Sure() && converted.Percent() >= kAlmostPerfect &&
         converted.Percent() >= asItStands.Percent() + kClearGain &&
         converted.Words >= asItStands.Words - asItStands.Glued && converted.LongGood > 0 &&
         converted.Words <= 2 * asItStands.Letters;
}

bool ReplacesTextAsItStands(const Reading& asItStands, const Reading& converted, int steps) {
  if (!converted.Readable() || asItStands.Readable() || converted.LongGood == 0) return false;
  if (converted.Good <= asItStands.Good) return false;
  if (converted.Words > 2 * asItStands.Letters) return false;
  if (converted.Percent() < asItStands.Percent() + kClearGain) return false;
  // A way of many conversions is rare: it must explain a text that reads
  // badly, or read almost perfectly one that reads poorly, by enough words
  // that chance cannot.
  if (steps > kUsualSteps)
    return asItStands.Percent() <= kMostGoodOfWrongText
               ? converted.Words >= kWordsForLongWays
               : converted.Words >= kWordsForLongWaysOnPoorText && converted.Percent() >= kAlmostPerfect &&
                     converted.Percent() >= asItStands.Percent() + 2 * kClearGain;
  return true;
}

}  // namespace kamvo
