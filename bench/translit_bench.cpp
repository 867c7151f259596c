// Speed of translit decoding and encoding on 50 MB texts: ordinary translit
// in lines, the same text as one line without breaks, a table whose
// replacements keep completing new occurrences, and encoding a Russian
// text. Searching again from the start of the text after every replacement
// would take hours on any of them.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"

namespace {

using namespace kamvo;

constexpr std::size_t kSize = 50'000'000;

std::size_t SizeOf(const Lines& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  return total;
}

// Lines of words, each line about 70 bytes, kSize bytes in all.
Lines MakeText(const std::vector<std::string>& words, std::mt19937& rng) {
  Lines lines;
  std::size_t total = 0;
  while (total < kSize) {
    std::string line;
    while (line.size() < 70) {
      if (!line.empty()) line += ' ';
      line += words[rng() % words.size()];
    }
    total += line.size() + 2;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string TableWith(int k, const std::string& spelling) {
  Lines lines = SplitLines(DefaultTranslitTable());
  lines[k] = spelling;
  std::string table = JoinLines(lines, "\r\n");
  table.resize(table.size() - 2);
  return table;
}

void Decode(const char* what, const Lines& lines, const std::string& table) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  const double bytes = static_cast<double>(text.Bytes().size());
  TranslitOutcome outcome;
  const double seconds = bench::Seconds([&] { outcome = DecodeTranslitLines(text, table); });
  bench::Report(what, seconds, bytes, "seconds, not hours");
  std::printf("  %zu replacements\n", outcome.Replacements);
}

}  // namespace

int main() {
  std::mt19937 rng(1);
  const std::vector<std::string> translitWords = {
      "Privet",   "kak",    "dela",   "segodnja", "khoroshaja", "pogoda", "my",     "pojdjom", "guljat'", "v",
      "park",     "Ja",     "ochen'", "rad",      "tebja",      "videt'", "SHHuka", "zhuk",    "ob\"jom", "EHto",
      "chelovek", "vremja", "zhizn'", "jula",     "MOSKVA",     "shhi",   "s\"ezd", "pis'mo"};
  const std::string table = DefaultTranslitTable();

  const Lines text = MakeText(translitWords, rng);
  Decode("decode 50 MB translit in lines", text, table);
  Decode("decode 50 MB translit as one line", {JoinLines(text, " ")}, table);

  // Ж spelled "XЖ": every replacement completes the next occurrence, back
  // through the whole run of X before the Ж.
  const std::string cascade = TableWith(7, WinFromUtf8("XЖ"));
  Lines runs;
  for (std::size_t total = 0; total < kSize; total += 1002) runs.push_back(std::string(999, 'X') + "\xC6");
  Decode("decode 50 MB folding runs of 1000 (cascade)", runs, cascade);

  // Encoding, and both as the window runs them.
  std::vector<std::string> russianWords;
  for (const char* w :
       {"Привет", "как", "дела", "сегодня", "хорошая", "погода", "мы",    "пойдём", "гулять",  "в",     "парк", "Я",
        "очень",  "рад", "тебя", "видеть",  "ЩУКА",    "жук",    "объём", "Это",    "человек", "время", "жизнь"})
    russianWords.push_back(WinFromUtf8(w));
  const Lines russian = MakeText(russianWords, rng);
  {
    Text text = Text::FromLines(russian, LineEnd::CrLf);
    const double seconds = bench::Seconds([&] { EncodeTranslitLines(text, table); });
    bench::Report("encode 50 MB Russian text", seconds, static_cast<double>(SizeOf(russian)), "seconds, not hours");
  }

  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg);
  converter.TextBuffer = Text::FromLines(text);
  double seconds = bench::Seconds([&] { converter.RunStage(StandardStage("translit")); });
  bench::Report("ConvTranslit stage, 50 MB", seconds, static_cast<double>(SizeOf(text)), "seconds, not hours");
  converter.TextBuffer = Text::FromLines(russian);
  seconds = bench::Seconds([&] { EncodeTranslit(converter); });
  bench::Report("EncodeTranslit command, 50 MB", seconds, static_cast<double>(SizeOf(russian)), "seconds, not hours");
}
