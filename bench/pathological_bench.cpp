// Whole conversions (every decoder on, translit included, detection with
// Auto) of texts made to trip up scans that go back or search again: runs of
// "<" on short lines, soft line breaks joining every line into one group,
// "&#" without end, one 50 MB line, a million one-letter words and a million
// letter-spaced lines. Each text is converted at full and at half size; the
// time must roughly double, not quadruple. The settings store, read at every
// start, gets the same treatment with a value continued over 16 MB of lines.
// An argument chooses the cases whose name holds it.
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "support/headless_window.h"

namespace {

using namespace kamvo;

constexpr std::size_t kMB = 1000 * 1000;

// Lines of the pattern repeated until the text holds about `size` bytes
// (counting a CR LF after every line).
Lines RepeatedLines(const std::string& line, std::size_t size) { return Lines(size / (line.size() + 2) + 1, line); }

// "<" runs of one to three on their own lines.
Lines LessThanLines(std::size_t size) {
  std::mt19937 random(9);
  Lines lines;
  for (std::size_t bytes = 0; bytes < size;) {
    lines.emplace_back(1 + random() % 3, '<');
    bytes += lines.back().size() + 2;
  }
  return lines;
}

// The same with a ">" on the last line, and one line of nothing but "<".
Lines LessThanLinesClosed(std::size_t size) {
  Lines lines = LessThanLines(size);
  lines.push_back(">");
  return lines;
}
Lines LessThanLine(std::size_t size) { return {std::string(size, '<')}; }

// Lines that all end in a soft line break, so the whole text is one group.
Lines SoftBreakLines(std::size_t size) { return RepeatedLines("abc=", size); }

// "&#" over and over: a reference that never gets its digits.
Lines AmpersandHash(std::size_t size) {
  std::string line;
  for (std::size_t i = 0; i < size / 2; ++i) line += "&#";
  return {line};
}

// One line of Russian words in KOI-8 with some Latin, markup and escapes.
Lines OneLongLine(std::size_t size) {
  const std::vector<std::string> words = {"\xCF\xF0\xE8\xE2\xE5\xF2",
                                          "\xEC\xE8\xF0",
                                          "\xE4\xEE\xF0\xEE\xE3\xEE\xE9",
                                          "\xE4\xF0\xF3\xE3",
                                          "\xEA\xE0\xEA",
                                          "\xE2",
                                          "text",
                                          "<b>",
                                          "=C0",
                                          "&nbsp;",
                                          "%41",
                                          "shh"};
  std::mt19937 random(3);
  std::string line;
  while (line.size() < size) {
    line += ConvertByPair(words[random() % words.size()], 2);
    line += ' ';
  }
  return {line};
}

// A million Cyrillic one-letter words in KOI-8, fifty to a line, every
// letter of both cases in turn, so that the sample keeps meeting words it
// does not hold yet.
Lines OneLetterWords(std::size_t count) {
  Lines lines;
  std::string line;
  for (std::size_t i = 0; i < count; ++i) {
    line += ConvChar(static_cast<Byte>(0xC0 + i % 64), kWindows, kKoi8);
    line += ' ';
    if (i % 50 == 49) {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Lines whose letters all stand a space apart: "П р и в е т  м и р".
Lines LetterSpacedLines(std::size_t count) {
  const std::string line = "\xCF \xF0 \xE8 \xE2 \xE5 \xF2   \xEC \xE8 \xF0   \xE4 \xF0 \xF3 \xE3";
  return Lines(count, ConvertByPair(line, 2));
}

double Convert(const Lines& text, std::size_t& bytes) {
  TCfg cfg;
  cfg.TranslitOn = true;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Switches = DecoderSwitches{true, true, true, true, true, true};
  converter.TextBuffer = Text::FromLines(text);
  converter.CopyTextToScreen();
  bytes = 0;
  for (const auto& line : text) bytes += line.size() + 2;
  return bench::Seconds([&] { converter.Convert(); });
}

// A store file whose one hex value is continued over `size` bytes of lines.
std::string ContinuedStore(std::size_t size) {
  std::string text = "REGEDIT4\n\n[" + RegKeyPath("Settings") + "]\n\"Blob\"=hex:00,\\\n";
  const std::string line = "  00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n";
  while (text.size() < size) text += line;
  return text + "  ff\n";
}

double ParseStore(const std::string& text) {
  std::size_t values = 0;
  const double seconds = bench::Seconds([&] { values = TRegData::Parse(text).Empty() ? 0 : 1; });
  if (values == 0) std::printf("  (the store did not parse)\n");
  return seconds;
}

struct Case {
  std::string what;
  std::function<Lines(std::size_t)> make;
  std::size_t full;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string filter = argc > 1 ? argv[1] : "";
  const std::vector<Case> cases = {
      {"\"<\" on 10 MB of short lines", LessThanLines, 10 * kMB},
      {"\"<\" on 10 MB of short lines, \">\" at the end", LessThanLinesClosed, 10 * kMB},
      {"\"<\" on one 10 MB line", LessThanLine, 10 * kMB},
      {"soft breaks over 10 MB", SoftBreakLines, 10 * kMB},
      {"\"&#\" over 10 MB", AmpersandHash, 10 * kMB},
      {"one line of 50 MB", OneLongLine, 50 * kMB},
      {"1 million one-letter words", OneLetterWords, 1000 * 1000},
      {"1 million letter-spaced lines", LetterSpacedLines, 1000 * 1000},
  };
  for (const Case& c : cases) {
    if (c.what.find(filter) == std::string::npos) continue;
    std::size_t halfBytes = 0, fullBytes = 0;
    const double half = Convert(c.make(c.full / 2), halfBytes);
    const double full = Convert(c.make(c.full), fullBytes);
    bench::Report(c.what + " (half)", half, static_cast<double>(halfBytes), "linear");
    bench::Report(c.what, full, static_cast<double>(fullBytes), "linear");
    std::printf("  full / half: %.2f (2 is linear)\n", half > 0 ? full / half : 0.0);
    std::fflush(stdout);
  }
  const std::string storeCase = "settings store, one value over 16 MB of lines";
  if (storeCase.find(filter) != std::string::npos) {
    const std::string half = ContinuedStore(8 * kMB), full = ContinuedStore(16 * kMB);
    const double halfSeconds = ParseStore(half), fullSeconds = ParseStore(full);
    bench::Report(storeCase + " (half)", halfSeconds, static_cast<double>(half.size()), "linear");
    bench::Report(storeCase, fullSeconds, static_cast<double>(full.size()), "linear");
    std::printf("  full / half: %.2f (2 is linear)\n", fullSeconds / halfSeconds);
  }
  return 0;
}
