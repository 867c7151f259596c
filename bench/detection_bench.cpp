// Automatic detection: the full eight-level search on a sample that no chain
// recognises completely, and ordinary texts in one wrong code page.
#include <algorithm>
#include <cstdio>
#include <random>

#include "bench_util.h"
#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "recognition/detection.h"
#include "settings/settings.h"
#include "support/headless_window.h"

using namespace kamvo;

namespace {

class QuietObserver : public SearchObserver {
 public:
  int improvements = 0;
  void Improved(const Chain&, int, int, bool) override { ++improvements; }
  bool StopRequested() override { return false; }
  void UpdateProgress(const Chain&) override {}
  void Pump() override {}
};

Sample SampleOf(const std::string& text) {
  const Text lines{text};
  WordReader reader(lines);
  return TakeSample(reader);
}

std::string RussianWords() {
  return WinFromUtf8(
      "Привет дорогой друг как твои дела сегодня хорошая погода мы идём гулять в парк вчера вечером "
      "пришло письмо из Москвы большой красивый город новости работа семья книга время человек жизнь");
}

// Automatic detection of a whole text as a run does it, the searches
// through outer UTF-8 layers included; the seconds it took.
double DetectWhole(const std::string& text, int limit) {
  TCfg cfg;
  cfg.DetectionLimit = limit;
  HeadlessWindow window;
  window.hasDisplay = false;
  Converter converter(window, cfg);
  converter.Options.Switches.Utf8 = true;
  converter.TextBuffer = {text};
  converter.CopyTextToScreen();
  return bench::Seconds([&] { converter.AutoCodeDetect(); });
}

std::string ReadAsSavedUtf8(const std::string& bytes, int readAs) {
  std::string utf8;
  for (char c : bytes) AppendUtf8(utf8, CodePageToUnicode(readAs, static_cast<Byte>(c)));
  return utf8;
}

}  // namespace

int main() {
  // Russian words with every third one garbled beyond repair: no chain
  // recognises the whole sample, so with the limit at 100 the search runs
  // through every chain of up to eight conversions.
  std::string mixed;
  std::mt19937 random(5);
  const std::string words = RussianWords();
  std::size_t start = 0;
  int index = 0;
  while (start < words.size()) {
    std::size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    std::string word = words.substr(start, end - start);
    if (index++ % 3 == 2) word = std::string(4, static_cast<char>(0x80 + random() % 64)) + word;
    mixed += ConvertByPair(word, 2) + " ";
    start = end + 1;
  }
  const Sample sample = SampleOf(mixed);
  SearchOptions options;
  options.DetectionLimit = 100;
  QuietObserver observer;
  SearchResult result;
  // The best of three runs: the machine is shared.
  double full = 1e9, single = 1e9;
  for (int run = 0; run < 3; ++run) {
    options.Threads = 0;
    full = std::min(full, bench::Seconds([&] { result = SearchChains(sample, options, observer); }));
    options.Threads = 1;
    single = std::min(single, bench::Seconds([&] { SearchChains(sample, options, observer); }));
  }
  std::printf(
      "full 8-level search, %d words, best %d%%: %.3f s on every processor, %.3f s on one "
      "(target 0.5 s)\n",
      sample.Count, PercentOf(result.BestScore, sample.Count), full, single);
  options.Threads = 0;

  // Random bytes: no chain gets far, so the quick test can rule out little.
  std::string garbage;
  for (int w = 0; w < 40; ++w) {
    for (int i = 0, n = 2 + static_cast<int>(random() % 8); i < n; ++i)
      garbage.push_back(static_cast<char>(0x80 + random() % 128));
    garbage += ' ';
  }
  const Sample noise = SampleOf(garbage);
  double noisy = 1e9;
  for (int run = 0; run < 3; ++run)
    noisy = std::min(noisy, bench::Seconds([&] { result = SearchChains(noise, options, observer); }));
  std::printf("full 8-level search on random bytes, best %d%%: %.3f s (target 0.3 s)\n",
              PercentOf(result.BestScore, noise.Count), noisy);

  const Sample koi = SampleOf(ConvertByPair(words, 2));
  options.DetectionLimit = 80;
  const double ordinary = bench::Seconds([&] {
    for (int i = 0; i < 1000; ++i) SearchChains(koi, options, observer);
  });
  std::printf("ordinary KOI-8 text: %.3f ms per detection (target 1 ms)\n", ordinary);

  // The samples the quick test can say little about, each through the full
  // search (limit 100, UTF-8 step on, every processor; the best of three
  // runs, the machine being shared); the worst of these and the random
  // bytes above is what counts.
  auto randomWords = [&](const std::string& alphabet, int minLength, int maxLength) {
    std::string text;
    for (int w = 0; w < 25; ++w) {
      const int n = minLength + static_cast<int>(random() % (maxLength - minLength + 1));
      for (int i = 0; i < n; ++i) text.push_back(alphabet[random() % alphabet.size()]);
      text += ' ';
    }
    return text;
  };
  std::string lowerCase, allHigh, mixedLatin, letters;
  for (int b = 0xE0; b <= 0xFF; ++b) lowerCase.push_back(static_cast<char>(b));
  for (int b = 0x80; b <= 0xFF; ++b) allHigh.push_back(static_cast<char>(b));
  mixedLatin = allHigh.substr(0x40) + "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int b = 0xC0; b <= 0xFF; ++b) letters += std::string(1, static_cast<char>(b)) + " ";
  const std::pair<const char*, std::string> hard[] = {
      {"25 random lower-case Cyrillic words", randomWords(lowerCase, 2, 8)},
      {"25 random words of high bytes", randomWords(allHigh, 2, 8)},
      {"25 random words mixing cases and Latin", randomWords(mixedLatin, 2, 8)},
      {"one-letter words", letters},
      {"25 single-byte words", randomWords(allHigh, 1, 1)},
      {"Ukrainian", WinFromUtf8("Привіт, як справи? Сьогодні гарна погода, ми йдемо до парку. Їжак їсть яблука, "
                                "а ґава сидить на гілці. Україна, Київ, Львів, Одеса, Харків, Дніпро, Житомир.")},
      {"abbreviations", WinFromUtf8("ООО ЗАО ОАО ГИБДД МВД РФ СНГ ТАСС ФСБ МЧС ЖКХ ВУЗ ЦБ НДС ИНН КПП ОГРН БИК "
                                    "ГОСТ СССР КГБ ЦК КПСС ВЛКСМ ДОСААФ")},
  };
  double worstHard = noisy;
  const char* worstName = "random bytes";
  options.DetectionLimit = 100;
  for (const auto& [name, text] : hard) {
    const Sample sample = SampleOf(text);
    double seconds = 1e9;
    for (int run = 0; run < 3; ++run)
      seconds = std::min(seconds, bench::Seconds([&] { result = SearchChains(sample, options, observer); }));
    std::printf("full search, %s (%d words, best %d%%): %.3f s\n", name, sample.Count,
                PercentOf(result.BestScore, sample.Count), seconds);
    if (seconds > worstHard) {
      worstHard = seconds;
      worstName = name;
    }
  }
  std::printf("worst full search: %.3f s (%s) (target 0.3 s)\n", worstHard, worstName);

  // UTF-8 texts: the written search, then the searches through the outer
  // layers the text allows.
  std::string lower;
  for (int w = 0; w < 25; ++w) {
    for (int i = 0, n = 2 + static_cast<int>(random() % 7); i < n; ++i)
      lower.push_back(static_cast<char>(0xE0 + random() % 32));
    lower += ' ';
  }
  double worst = 0;
  for (int run = 0; run < 3; ++run) worst = std::max(worst, DetectWhole(Utf8FromWin(lower), 100));
  std::printf(
      "25 random lower-case Cyrillic words as UTF-8, limit 100, with the outer layers: %.3f s "
      "(worst of three; no target)\n",
      worst);
  const double plain = bench::Seconds([&] {
    for (int i = 0; i < 1000; ++i) DetectWhole(Utf8FromWin(words), 80);
  });
  std::printf("ordinary UTF-8 text: %.3f ms per detection (target 1 ms)\n", plain);
  const double misread = bench::Seconds([&] {
    for (int i = 0; i < 100; ++i) DetectWhole(ReadAsSavedUtf8(words, kKoi8), 80);
  });
  std::printf("Windows text read as KOI8-R and saved as UTF-8: %.3f ms per detection (no target)\n", misread * 10);
  const double twice = bench::Seconds([&] {
    for (int i = 0; i < 100; ++i) DetectWhole(Utf8FromWin(Utf8FromWin(words)), 80);
  });
  std::printf("UTF-8 read as Windows-1251 and saved as UTF-8: %.3f ms per detection (no target)\n", twice * 10);
  return 0;
}
