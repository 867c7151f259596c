// Russian test texts in Windows-1251.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "codepages/code_page_unicode.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"

namespace kamvo::testing {

inline const std::vector<std::string>& RussianVocabulary() {
  static const std::vector<std::string> words = [] {
    const char* utf8[] = {"привет", "мир",     "сегодня",  "хорошая",      "погода",  "мы",         "идём",    "гулять",
                          "в",      "парк",    "Москва",   "город",        "большой", "красивый",   "письмо",  "пришло",
                          "вчера",  "вечером", "дорогой",  "друг",         "как",     "твои",       "дела",    "работа",
                          "дом",    "семья",   "книга",    "читать",       "новости", "время",      "человек", "жизнь",
                          "глаза",  "слово",   "место",    "лицо",         "рука",    "вопрос",     "ответ",   "взгляд",
                          "страна", "дверь",   "земля",    "деньги",       "утро",    "окно",       "голова",  "ночь",
                          "машина", "школа",   "улица",    "стол",         "быстро",  "медленно",   "зелёный", "ёлка",
                          "ЙОГУРТ", "Иванов",  "ВНИМАНИЕ", "здравствуйте", "спасибо", "пожалуйста", "объём",   "съезд"};
    std::vector<std::string> result;
    for (const char* w : utf8) result.push_back(WinFromUtf8(w));
    return result;
  }();
  return words;
}

// "Привет, дорогой друг! Как твои дела?" in Windows-1251 (no line break):
// the sentence the file and program tests convert.
inline const std::string& Greeting() {
  static const std::string text = WinFromUtf8("Привет, дорогой друг! Как твои дела?");
  return text;
}

// "Привет мир, как дела" in Windows-1251.
inline const std::string& ShortGreeting() {
  static const std::string text = WinFromUtf8("Привет мир, как дела");
  return text;
}

// The text's bytes read in the code page and saved as UTF-8: mojibake as a
// UTF-8 editor makes it.
inline Lines SavedAsUtf8(const Lines& text, int readAs) {
  Lines result;
  for (const auto& line : text) {
    std::string utf8;
    for (char c : line) AppendUtf8(utf8, CodePageToUnicode(readAs, static_cast<Byte>(c)));
    result.push_back(utf8);
  }
  return result;
}

// Lines of random vocabulary words with punctuation.
inline Lines RussianText(std::mt19937& random, int lineCount, int wordsPerLine) {
  const auto& words = RussianVocabulary();
  std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
  Lines lines;
  for (int l = 0; l < lineCount; ++l) {
    std::string line;
    for (int w = 0; w < wordsPerLine; ++w) {
      if (w) line += (random() % 7 == 0) ? ", " : " ";
      line += words[pick(random)];
    }
    line += '.';
    lines.push_back(line);
  }
  return lines;
}

// The pair that converts code page `from` into `to` (0 when none does).
inline std::uint8_t PairOf(int from, int to) {
  for (int pair = 1; pair < kAllPairCount; ++pair)
    if (PairFrom(pair) == from && PairTo(pair) == to) return static_cast<std::uint8_t>(pair);
  return 0;
}

// The text as wrongly converted through the pairs, one after another.
inline Lines Recode(const Lines& text, const std::vector<int>& pairs) {
  Lines result;
  for (std::string line : text) {
    for (int pair : pairs) line = ConvertByPair(line, pair);
    result.push_back(line);
  }
  return result;
}

}  // namespace kamvo::testing
