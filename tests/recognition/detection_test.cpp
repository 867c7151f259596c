#include "recognition/detection.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <system_error>
#include <thread>

#include "support/literal_detection.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

using testing::LiteralSearch;
using testing::Recode;
using testing::RussianText;

class RecordingObserver : public SearchObserver {
 public:
  std::vector<Chain> improvements;
  std::vector<Chain> progress;
  int chainsVisited = 0;
  int breakAfter = -1;

  void Improved(const Chain& chain, int, int, bool) override { improvements.push_back(chain); }
  bool StopRequested() override { return ++chainsVisited == breakAfter; }
  void UpdateProgress(const Chain& chain) override { progress.push_back(chain); }
  void Pump() override {}
};

Sample SampleOf(const Lines& text) {
  const Text readText = Text::FromLines(text);
  WordReader reader(readText);
  return TakeSample(reader);
}

Lines AsUtf8(const Lines& text) {
  Lines result;
  for (const auto& line : text) result.push_back(Utf8FromWin(line));
  return result;
}

Lines Garbage(std::mt19937& random, int words) {
  Lines lines(1);
  for (int w = 0; w < words; ++w) {
    std::string word;
    const int length = 2 + static_cast<int>(random() % 8);
    for (int i = 0; i < length; ++i) word.push_back(static_cast<char>(0x80 + random() % 128));
    lines[0] += word + " ";
  }
  return lines;
}

// Words of random letters of both cases and Latin look-alikes, and
// one-letter words: samples where the quick test decides words by their
// case shape, vowels and consonants, and one-byte words exactly.
Lines RandomLetters(std::mt19937& random, int words) {
  std::string alphabet =
      "\xA8\xB8"
      "ABCHKMOPTXEacopxye";
  for (int b = 0xC0; b <= 0xFF; ++b) alphabet.push_back(static_cast<char>(b));
  Lines lines(1);
  for (int w = 0; w < words; ++w) {
    const int length = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < length; ++i) lines[0].push_back(alphabet[random() % alphabet.size()]);
    lines[0] += ' ';
  }
  return lines;
}

Lines OneLetterWords() {
  Lines lines(1);
  for (int b = 0xC0; b <= 0xFF; ++b) lines[0] += std::string(1, static_cast<char>(b)) + " ";
  return lines;
}

// The fast search, on one thread and on several, against the literal one:
// the same result and the same improvements in the same order.
void ExpectSameAsLiteral(const Sample& sample, bool utf8Step, int limit, int levels, const char* what) {
  SCOPED_TRACE(what);
  const auto literal = LiteralSearch(sample, utf8Step, limit, levels);
  for (int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    RecordingObserver observer;
    SearchOptions options;
    options.Utf8Step = utf8Step;
    options.DetectionLimit = limit;
    options.MaxLevels = levels;
    options.Threads = threads;
    const SearchResult fast = SearchChains(sample, options, observer);
    EXPECT_EQ(fast.Best, literal.Best);
    EXPECT_EQ(fast.BestScore, literal.BestScore);
    EXPECT_EQ(fast.Utf8, literal.Utf8);
    EXPECT_EQ(observer.improvements, literal.Improvements);
  }
}

Sample FirstWords(const Sample& sample, int count) {
  Sample fewer;
  for (int i = 0; i < count && i < sample.Count; ++i) fewer.Words[fewer.Count++] = sample.Words[i];
  return fewer;
}

TEST(ChainSearch, AgreesWithTheLiteralSearchOnGeneratedTexts) {
  std::mt19937 random(2024);
  for (int round = 0; round < 3; ++round) {
    const Lines text = RussianText(random, 6, 8);
    for (int limit : {80, 100}) {
      ExpectSameAsLiteral(SampleOf(text), true, limit, 3, "plain Windows text");
      ExpectSameAsLiteral(SampleOf(Recode(text, {2})), true, limit, 3, "read as KOI-8");
      ExpectSameAsLiteral(SampleOf(Recode(text, {1})), true, limit, 2, "read as Dos");
      ExpectSameAsLiteral(SampleOf(Recode(text, {4})), true, limit, 2, "read as ISO");
      ExpectSameAsLiteral(SampleOf(Recode(text, {2, 9})), true, limit, 3, "KOI-8 then Dos");
      ExpectSameAsLiteral(SampleOf(Recode(text, {1, 7, 12})), true, limit, 3, "three wrong steps");
      ExpectSameAsLiteral(SampleOf(AsUtf8(text)), true, limit, 2, "UTF-8");
      ExpectSameAsLiteral(SampleOf(AsUtf8(text)), false, limit, 2, "UTF-8, step off");
      ExpectSameAsLiteral(SampleOf(Recode(AsUtf8(text), {2})), true, limit, 2, "UTF-8 read as KOI-8");
      ExpectSameAsLiteral(SampleOf(Garbage(random, 40)), true, limit, 3, "garbage");
      ExpectSameAsLiteral(SampleOf(RandomLetters(random, 40)), true, limit, 3, "random letters");
      ExpectSameAsLiteral(SampleOf(OneLetterWords()), true, limit, 3, "one-letter words");
    }
  }
}

// Four and five levels take the literal search long, so the samples are
// short; they still run through every part of the fast search: blocks with
// and without level 4, chunks with one and two fixed levels.
TEST(ChainSearch, AgreesWithTheLiteralSearchOnLongerChains) {
  std::mt19937 random(31);
  const Lines text = RussianText(random, 3, 8);
  const Lines ukrainian = {WinFromUtf8("Привіт, як справи? Сьогодні гарна погода, ми йдемо до парку.")};
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(text, {2, 9, 4})), 5), true, 100, 4, "three steps, limit 100");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(text, {1, 7, 12, 5})), 4), true, 80, 4, "four steps");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(AsUtf8(text), {3})), 4), true, 100, 4, "UTF-8 read as Dos");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(ukrainian, {2, 9})), 5), true, 100, 4, "Ukrainian");
  ExpectSameAsLiteral(FirstWords(SampleOf(Garbage(random, 10)), 4), true, 100, 4, "garbage");
  ExpectSameAsLiteral(FirstWords(SampleOf(RandomLetters(random, 10)), 5), true, 100, 4, "random letters");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(OneLetterWords(), {3})), 5), true, 100, 4, "one-letter words");
  // Latin look-alike letters inside Cyrillic words (as typed on a Latin
  // keyboard), then read as KOI-8.
  const Lines lookAlikes = {WinFromUtf8("Mосква, TOPговый дoм, cтарый HOMEP, Pоссия и ХКТ")};
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(lookAlikes, {2})), 5), true, 100, 4, "look-alikes");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(text, {2, 9, 4, 11})), 3), true, 100, 5, "five levels");
}

// Six and seven levels, against the literal search: minutes, so left out of the
// normal run; scripts/run-deep-detection-tests runs it.
TEST(DeepChainSearch, DISABLED_AgreesWithTheLiteralSearchOnSixLevels) {
  std::mt19937 random(66);
  const Lines text = RussianText(random, 3, 8);
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(text, {2, 9, 4, 11, 6})), 3), true, 100, 6, "five steps");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(AsUtf8(text), {1, 7})), 3), true, 100, 6, "UTF-8, two steps");
  ExpectSameAsLiteral(FirstWords(SampleOf(Garbage(random, 10)), 3), true, 100, 6, "garbage");
  ExpectSameAsLiteral(FirstWords(SampleOf(Recode(text, {3, 8, 2, 10, 5, 12})), 3), true, 100, 7,
                      "six steps, seven levels");
}

// Deeper than the literal search can go in a test: a text recoded through
// six wrong steps. Every reported improvement must be what scoring that
// chain gives, strictly rising, and the search must recognise the whole
// sample no later than at the planted chain.
TEST(ChainSearch, UndoesSixWrongConversions) {
  std::mt19937 random(8);
  const Lines text = RussianText(random, 4, 8);
  const std::vector<int> steps = {2, 5, 10, 6, 7, 8};
  const Sample sample = SampleOf(Recode(text, steps));
  for (int threads : {1, 2}) {
    RecordingObserver observer;
    SearchOptions options;
    options.DetectionLimit = 100;
    options.Threads = threads;
    const SearchResult result = SearchChains(sample, options, observer);
    EXPECT_EQ(result.BestScore, sample.Count);
    int previous = 0;
    for (const Chain& chain : observer.improvements) {
      const int score = ScoreChain(sample, chain, true).Score;
      EXPECT_GT(score, previous);
      previous = score;
    }
    EXPECT_EQ(observer.improvements.back(), result.Best);
    EXPECT_EQ(ConvertByTable(Recode(text, steps)[0], MakeCodeTable(result.Best, true, kWindows)), text[0]);
    EXPECT_LE(ChainLength(result.Best), 6);
  }
}

TEST(ChainSearch, UserBreakEndsTheSearchOfLongChains) {
  std::mt19937 random(4);
  const Sample sample = SampleOf(Garbage(random, 30));
  for (int threads : {1, 2}) {
    RecordingObserver observer;
    observer.breakAfter = 13 + 144 + 40;  // within the chains of three or more levels
    SearchOptions options;
    options.DetectionLimit = 100;
    options.Threads = threads;
    const SearchResult result = SearchChains(sample, options, observer);
    EXPECT_TRUE(result.Broken);
    EXPECT_EQ(observer.chainsVisited, observer.breakAfter);
  }
}

// Where the system gives no more threads, the search runs on the calling
// thread and finds the same. Tried in a child process limited to one task
// (as an ordinary user when run as root, since the limit does not bind root).
TEST(ChainSearch, WorksWhenNoThreadCanBeStarted) {
  std::mt19937 random(12);
  // Garbage, so that no chain ends the search early.
  const Sample sample = FirstWords(SampleOf(Garbage(random, 10)), 4);
  const auto literal = LiteralSearch(sample, true, 100, 4);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const rlimit one{1, 1};
    if (setrlimit(RLIMIT_NPROC, &one) != 0) _exit(2);
    try {
      std::thread([] {}).join();
      _exit(2);  // the limit does not hold here
    } catch (const std::system_error&) {
    }
    RecordingObserver observer;
    SearchOptions options;
    options.DetectionLimit = 100;
    options.MaxLevels = 4;
    options.Threads = 2;
    const SearchResult fast = SearchChains(sample, options, observer);
    _exit(fast.Best == literal.Best && observer.improvements == literal.Improvements ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot limit the number of threads here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ChainSearch, FindsTheChainThatUndoesWrongConversions) {
  std::mt19937 random(7);
  const Lines text = RussianText(random, 10, 8);
  SearchOptions options;
  options.MaxLevels = 3;
  RecordingObserver observer;
  // Windows text read as KOI-8 and written as Dos.
  const Sample twice = SampleOf(Recode(text, {2, 9}));
  const SearchResult undone = SearchChains(twice, options, observer);
  EXPECT_GT(PercentOf(undone.BestScore, twice.Count), 80);
  const CodeTable table = MakeCodeTable(undone.Best, true, kWindows);
  EXPECT_EQ(ConvertByTable(Recode(text, {2, 9})[0], table), text[0]);
}

TEST(ChainSearch, VisitsChainsInOrderAndReportsProgress) {
  std::mt19937 random(3);
  const Sample sample = SampleOf(Garbage(random, 30));
  RecordingObserver observer;
  SearchOptions options;
  options.MaxLevels = 2;
  SearchChains(sample, options, observer);
  // Length 0 and 1 report every chain, then every completed innermost loop.
  ASSERT_EQ(observer.progress.size(), 13u + 1u + 12u);
  EXPECT_EQ(observer.progress[0], Chain{});
  EXPECT_EQ(observer.progress[12], (Chain{12}));
  EXPECT_EQ(observer.progress[13], (Chain{12}));
  EXPECT_EQ(observer.progress[14], (Chain{12, 1}));
  EXPECT_EQ(observer.progress.back(), (Chain{12, 12}));
  EXPECT_EQ(observer.chainsVisited, 1 + 12 + 144);

  RecordingObserver breaking;
  breaking.breakAfter = 20;
  EXPECT_TRUE(SearchChains(sample, options, breaking).Broken);
  EXPECT_EQ(breaking.chainsVisited, 20);
}

// Words that put the cheap pre-scan of the search to the test: no-break
// spaces and "№" that split or stand alone, UTF-8 sequences, look-alikes.
TEST(ChainSearch, ScoringAgreesWithTheWordTestForEveryChain) {
  std::mt19937 random(99);
  const std::string pieces[] = {"\xA0", "\xB9", "\xD0\x9F", "\xD1\x80", "\xE2\x80\x94", "\xC3\xA0", "\xE0", "\xC0",
                                "\xA8", "\xB8", "a",        "TOP",      "\x80",         "\xBF",     "\xF0", "\xEE\xEA"};
  for (int round = 0; round < 300; ++round) {
    Sample sample;
    for (int w = 0; w < kSampleSize; ++w) {
      std::string word;
      while (word.size() < 2 + random() % 12) word += pieces[random() % std::size(pieces)];
      sample.Words[w] = word.substr(0, 15);
    }
    sample.Count = kSampleSize;
    Chain chain{};
    for (std::size_t level = 0, length = random() % 4; level < length; ++level)
      chain[level] = static_cast<std::uint8_t>(1 + random() % 12);
    for (bool utf8 : {false, true}) {
      int score = 0, utfScore = 0;
      for (int w = 0; w < sample.Count; ++w) {
        std::string converted = sample.Words[w], decoded;
        for (int pair : chain) converted = ConvertByPair(converted, pair);
        score += IsRussianWord(converted);
        utfScore += utf8 && Utf8ToWin(converted, decoded) && IsRussianWord(decoded);
      }
      const ChainScore fast = ScoreChain(sample, chain, utf8);
      EXPECT_EQ(fast.Score, std::max(score, utfScore));
      EXPECT_EQ(fast.Utf8, utfScore > score);
    }
  }
}

TEST(ChainSearch, PercentRoundsHalfUp) {
  EXPECT_EQ(PercentOf(2, 3), 67);
  EXPECT_EQ(PercentOf(20, 25), 80);
  EXPECT_EQ(PercentOf(1, 3), 33);
  EXPECT_EQ(PercentOf(25, 25), 100);
}

Lines WordsOnLines(const std::vector<std::string>& words) {
  Lines lines(1);
  for (const auto& w : words) lines[0] += w + " ";
  return lines;
}

TEST(Sampling, SkipsAsciiAndLongWordsAndKeepsTwentyFiveDifferentOnes) {
  std::vector<std::string> words = {"hello", "123", std::string(16, '\xE0'),
                                    "\xE0\xE1\xE2"
                                    "5",
                                    "\xD2\xCE\xD0\xD2"};
  for (int i = 0; i < 40; ++i)
    words.push_back(std::string("\xE0\xE1") + std::string(1, static_cast<char>(0xC0 + i % 32)) +
                    std::string(1, static_cast<char>(0xC0 + i / 32)));
  const Sample sample = SampleOf(WordsOnLines(words));
  ASSERT_EQ(sample.Count, 25);
  EXPECT_EQ(sample.Words[0], "\xD2\xCE\xD0\xD2");
  EXPECT_EQ(FindDuplicateWord(sample), 0);
}

TEST(Sampling, LaterWordsReplaceDuplicatesBeforeOneLetterWords) {
  std::vector<std::string> words;
  for (int i = 0; i < 25; ++i) words.push_back("\xF1\xEB\xEE\xE2\xEE");  // the same word
  const Sample repeated = SampleOf(WordsOnLines(words));
  EXPECT_EQ(repeated.Count, 25);
  EXPECT_EQ(FindDuplicateWord(repeated), 1);

  words.push_back("\xE4\xEE\xEC");  // a new word replaces the first of a duplicate pair
  const Sample replaced = SampleOf(WordsOnLines(words));
  EXPECT_EQ(replaced.Words[0], "\xE4\xEE\xEC");
  EXPECT_EQ(replaced.Words[1], "\xF1\xEB\xEE\xE2\xEE");

  // Many one-letter words: the sample never ends early and later long
  // words push them out.
  std::vector<std::string> letters;
  for (int i = 0; i < 25; ++i) letters.push_back(std::string(1, static_cast<char>(0xE0 + i)));
  const Sample oneLetter = SampleOf(WordsOnLines(letters));
  EXPECT_FALSE(FewOneLetterWords(oneLetter));
  EXPECT_EQ(FirstOneLetterWord(oneLetter), 1);
  letters.push_back("\xE4\xEE\xEC");
  EXPECT_EQ(SampleOf(WordsOnLines(letters)).Words[0], "\xE4\xEE\xEC");
  letters.push_back("\xFF");  // one-letter words never replace anything
  EXPECT_EQ(SampleOf(WordsOnLines(letters)).Words[1], "\xE1");
}

}  // namespace
}  // namespace kamvo
