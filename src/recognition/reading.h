// How a text reads: its words judged in Unicode, for deciding whether a
// text is already correct and whether a conversion found by the chain
// search really makes it readable.
//
// A word is a run of letters; every other character (digits, ASCII
// punctuation, the signs of Windows-1251 such as — « » „ “ ” … № € ‰ ± ° §,
// the no-break space, emoji) separates words, and an apostrophe between
// two letters belongs to the word (Ukrainian п'ять). A word glued to a sign
// that correct text never puts there (ҐЈ®¤­п) reads badly. Only Cyrillic words are
// judged; Latin, Greek and other words are left out. A Cyrillic word reads
// well when
//   - its letters keep the case shape of a real word (слово, Слово, СЛОВО,
//     СЛОВОм; not слОво or рТЙЧЕФ), and
//   - they belong to one Cyrillic alphabet (Russian, Ukrainian, Belarusian,
//     Serbian or Macedonian; Bulgarian uses the Russian letters), and
//   - a word of Russian letters only is a Russian word by IsRussianWord; a
//     word with letters of another alphabet holds a vowel or is short.
// Latin letters that look like Cyrillic ones count as those inside a word
// of Russian letters; any other letter mixed into a Cyrillic word makes it
// read badly.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "recognition/outer_layer.h"

namespace kamvo {

// The language a text reads as: Russian (and Bulgarian, whose letters are
// Russian ones), or one with letters of its own.
enum class TextLanguage : std::uint8_t { Russian, Ukrainian, Belarusian, Serbian, Macedonian };

struct Reading {
  int Words = 0;     // Cyrillic words judged
  int Good = 0;      // of them, words that read well
  int LongGood = 0;  // good words of three letters or more
  // Runs of characters beyond ASCII that are letters or may stand for
  // letters (box drawing, symbols; no sign of Windows-1251 such as — or «)
  int Letters = 0;
  int Glued = 0;     // words with a sign glued to them that no correct text puts there
  int Foreign = 0;   // of the good words, those of another alphabet than Russian
  int Capitals = 0;  // of the good words, those of two letters or more in capitals only
  // Another language than Russian when the text holds enough words of its
  // own letters to be a text of that language (see ReadingCounter).
  TextLanguage Language = TextLanguage::Russian;

  bool MostlyCapitals() const { return Capitals * 2 > Good; }
  int Percent() const { return Words == 0 ? 0 : (Good * 100 + Words / 2) / Words; }
  // The share of good words a readable text has at least: correct text of
  // any Cyrillic language stays above it (names, rare and foreign words
  // included), text read in a wrong code page falls far below it.
  static constexpr int kReadablePercent = 60;
  bool Readable() const { return Words > 0 && Good * 100 >= kReadablePercent * Words; }
  // Readable beyond doubt: no conversion could read it clearly better.
  static constexpr int kSurePercent = 80;
  bool Sure() const { return Words > 0 && Good * 100 >= kSurePercent * Words; }
};

// Judges one word of code points and adds it to the reading.
class ReadingCounter {
 public:
  // Feeds the characters of a line; the end of the line ends a word.
  void AddLine(const std::uint32_t* chars, std::size_t count);
  Reading Result() const;
  bool Full() const { return reading_.Words >= kMaxWords; }

  static constexpr int kMaxWords = 2000;

 private:
  // Ends the word before `next` (0 at the end of a line).
  void EndWord(std::uint32_t next);

  // Good words of other alphabets than Russian, per alphabet (Russian,
  // Ukrainian, Belarusian, Serbian, Macedonian).
  static constexpr int kAlphabets = 5;
  std::array<int, kAlphabets> foreignGood_{};
  std::array<int, kAlphabets> foreignLongGood_{};
  // Words of letters Russian shares with the alphabet that the Russian
  // word test rejects; they count only for a text of that language, one
  // with this share (and number) of words of three letters or more of its
  // own letters.
  std::array<int, kAlphabets> sharedGood_{};
  std::array<int, kAlphabets> sharedLongGood_{};
  static constexpr int kSharedLettersLanguagePercent = 20;
  static constexpr int kSharedLettersLanguageWords = 4;
  // The share (and number) of words of its own letters that name a text's
  // language.
  static constexpr int kLanguageNamePercent = 8;
  static constexpr int kLanguageNameWords = 2;
  // Words of one lower-case letter and capitals (пРИВЕТ), and the good
  // Russian words in capitals.
  int inverted_ = 0;
  int capitalsGood_ = 0, capitalsLongGood_ = 0;

  Reading reading_;
  std::uint32_t word_[64];
  std::size_t length_ = 0;
  bool tooLong_ = false;
  bool glued_ = false;
  bool inLetterRun_ =
      false;  // a run counted in Letters goes on  // a sign that no correct text puts there touches the word
  bool pendingApostrophe_ = false;
};

// True when the code point is a word character of some script (a letter).
bool IsLetterChar(std::uint32_t c);

// A conversion of a text, as detection describes one: out of an outer UTF-8
// layer, through the chain into Windows-1251, and the UTF-8 step.
struct ReadingConversion {
  OuterLayer Layer;
  CodeTable IntoWindows = IdentityCodeTable();
  bool Utf8 = false;
  // Not 0: the bytes are read straight as this code page's characters
  // (box drawing and signs as they are), instead of through IntoWindows.
  int SourceCode = 0;
};

// The conversion of a chain into Windows-1251, with the UTF-8 step and an
// outer layer; a single pair into Windows-1251 reads its source code page
// straight.
ReadingConversion ChainReading(const OuterLayer& layer, const Chain& chain, bool utf8);

// How the text reads as it stands: UTF-8 when `utf8Allowed` and it is
// valid UTF-8 holding some character above U+007F, Windows-1251 otherwise.
// `isUtf8` receives which.
Reading ReadAsItStands(const Text& text, bool utf8Allowed, bool* isUtf8 = nullptr);

// How the text reads after the conversion (its first lines, up to
// ReadingCounter::kMaxWords words).
Reading ReadThrough(const Text& text, const ReadingConversion& conversion);

// How a conversion found by detection must improve the reading to replace
// the text: by kClearGain good words in every hundred at least. A way of
// more than kUsualSteps conversions (outer layer, chain and UTF-8 step
// together) replaces only a text with at most kMostGoodOfWrongText good
// words in every hundred, as a text read in a wrong code page shows, or one
// it reads almost perfectly (kAlmostPerfect) by twice the clear gain; of
// kWordsForLongWays words at least, kWordsForLongWaysOnPoorText for the
// latter.
inline constexpr int kClearGain = 25;
inline constexpr int kUsualSteps = 2;
inline constexpr int kMostGoodOfWrongText = 34;
inline constexpr int kWordsForLongWays = 3;
inline constexpr int kWordsForLongWaysOnPoorText = 8;

// True when a single pair that reads as `converted` replaces a text that
// reads fairly (readable, but not surely): the pair must read it almost
// perfectly, and better by a clear gain; it must keep
// every word but the pieces that signs glued to them
// (text in a wrong code page falls apart into more, shorter pieces).
bool OutreadsFairText(const Reading& asItStands, const Reading& converted);
inline constexpr int kAlmostPerfect = 95;

// True when a conversion of `steps` conversions that reads as `converted`
// replaces a text that reads as `asItStands` (which must not be readable).
// The conversion must give more good words than the text had, one of three
// letters or more among them, and may
// not make many more words than the text held words of letters beyond
// ASCII: a conversion that turns signs into letters invents words.
bool ReplacesTextAsItStands(const Reading& asItStands, const Reading& converted, int steps);

}  // namespace kamvo
