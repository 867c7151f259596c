// How texts read: correct text of every Cyrillic language is readable as it
// stands, the same text in a wrong code page is not, and only a clearly
// better reading replaces a text.
#include <gtest/gtest.h>

#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "recognition/reading.h"

namespace kamvo {
namespace {

// The UTF-8 text's characters written in a code page (1..4), as bytes.
std::string InCodePage(std::string_view utf8, int code) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t c = static_cast<Byte>(utf8[i]);
    int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (length > 1) c &= 0x3F >> (length - 1);
    for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<Byte>(utf8[i + k]) & 0x3F);
    i += length;
    Byte b = '?';
    UnicodeToCodePage(code, c, b);
    out.push_back(static_cast<char>(b));
  }
  return out;
}

Reading AsItStands(const std::string& bytes) { return ReadAsItStands(Text::FromBytes(bytes), true); }

TEST(Reading, CorrectTextReadsWellInEveryFormAndWrongCodePagesDoNot) {
  const char* const texts[] = {
      "Стоимость билета — 500 рублей, скидка 10 %.",
      "Привет, «ёлка» и всё. Цена 5 €, № 7, § 3, 2 ‰, ±1 °C…",
      "ЧЁРНЫЙ КОТ ПЕРЕШЁЛ ДОРОГУ",
      "-- Лопе де Вега",
      "Письмо от John Smith и Microsoft пришло вчера 😀 (α + β).",
      "Ми зустрілися біля річки, і вона сказала, що все буде добре. Її брат п'ять років мовчав.",
      "Мы сустрэліся каля ракі, і яна сказала, што ўсё будзе добра.",
      "Срещнахме се до реката и тя каза, че всичко ще бъде наред.",
      "Љубав и пријатељство су најважније ствари у животу.",
  };
  for (const char* const& text : texts) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(AsItStands(text).Readable());
    EXPECT_TRUE(AsItStands(InCodePage(text, kWindows)).Readable());
    // The Windows-1251 bytes read as KOI-8, Dos and ISO 8859-5, saved as
    // UTF-8: what a text in a wrong code page looks like.
    for (int wrong : {kDos, kKoi8, kIso}) {
      std::string shown;
      for (const char c : InCodePage(text, kWindows)) AppendUtf8(shown, CodePageToUnicode(wrong, static_cast<Byte>(c)));
      const Reading reading = AsItStands(shown);
      EXPECT_FALSE(reading.Readable()) << wrong << ": " << shown;
      // Russian in a wrong code page reads worse still: bad enough for any
      // way of conversions to replace it.
      if (&text - texts < 5) {
        EXPECT_LE(reading.Percent(), kMostGoodOfWrongText) << wrong << ": " << shown;
      }
    }
  }
}

TEST(Reading, OnlyAClearGainReplacesAText) {
  // Words, good words, good words of three letters or more, words with
  // letters beyond ASCII.
  const Reading wrong{10, 1, 1, 10}, half{10, 5, 5, 10}, readable{10, 8, 8, 10}, perfect{10, 10, 10, 10},
      tiny{2, 2, 2, 2};
  EXPECT_TRUE(ReplacesTextAsItStands(wrong, readable, 1));
  EXPECT_TRUE(ReplacesTextAsItStands(wrong, perfect, 5));
  EXPECT_TRUE(ReplacesTextAsItStands(half, perfect, 2));
  EXPECT_FALSE(ReplacesTextAsItStands(half, Reading{5, 5, 5, 5}, 1));                 // good words lost on the way
  EXPECT_TRUE(ReplacesTextAsItStands(half, perfect, 3));                              // a long way that reads it all
  EXPECT_FALSE(ReplacesTextAsItStands(half, Reading{10, 9, 9, 10}, 3));               // a long way, not almost perfect
  EXPECT_FALSE(ReplacesTextAsItStands(Reading{6, 3, 3, 6}, Reading{6, 6, 6, 6}, 3));  // a long way, few words
  EXPECT_FALSE(ReplacesTextAsItStands(half, Reading{10, 7}, 1));                      // not a clear gain
  EXPECT_FALSE(ReplacesTextAsItStands(readable, perfect, 1));                         // already readable
  EXPECT_FALSE(ReplacesTextAsItStands(Reading{2, 0, 0, 2}, tiny, 4));                 // two words explain no long way
  EXPECT_FALSE(ReplacesTextAsItStands(wrong, Reading{10, 5, 5, 10}, 1));              // converted, still unreadable
  EXPECT_FALSE(ReplacesTextAsItStands(wrong, Reading{10, 10, 0, 10}, 1));             // single letters only
  EXPECT_FALSE(ReplacesTextAsItStands(Reading{1, 0, 0, 1}, Reading{3, 3, 3, 3}, 1));  // signs made letters
}

}  // namespace
}  // namespace kamvo
