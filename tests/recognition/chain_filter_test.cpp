#include "recognition/chain_filter.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "recognition/chain_scoring.h"
#include "recognition/russian_word.h"
#include "support/literal_chain_filter.h"
#include "support/russian_text.h"

namespace kamvo {
namespace {

using testing::MayRecognise;
using testing::RussianVocabulary;
using testing::WordChances;

// Pieces of converted words that stress the word test and the UTF-8 step:
// blanks, "№", overlong and Latin-1 sequences, stray bytes, look-alikes.
const std::vector<std::string>& Pieces() {
  static const std::vector<std::string> pieces = {
      "\xA0",     "\xB9",     "\xD0\x9F", "\xD1\x80", "\xE2\x80\x94", "\xE2\x84\x96",
      "\xC3\xA0", "\xC2\xA0", "\xC2\xA8", "\xC1\x81", "\xC0\xA0",     "\xE0\x83\x80",
      "\xD2\x90", "\xE0",     "\xC0",     "\xA8",     "\xB8",         "a",
      "TOP",      "\x80",     "\xBF",     "\xF0",     "\xEE\xEA",     "\xD0\xB0\xD0\xB1"};
  return pieces;
}

Chain RandomChain(std::mt19937& random, int maxLength) {
  Chain chain{};
  const int length = static_cast<int>(random() % (maxLength + 1));
  for (int level = 0; level < length; ++level) chain[level] = static_cast<std::uint8_t>(1 + random() % 12);
  return chain;
}

// The bytes that the chain turns into `converted`.
std::string Unconvert(const std::string& converted, const Chain& chain) {
  CodeTable inverse{};
  const CodeTable table = MakeCodeTable(chain, true, kWindows);
  for (int b = 0; b < 256; ++b) inverse[table[b]] = static_cast<Byte>(b);
  return ConvertByTable(converted, inverse);
}

// What the chain's table makes of the word: recognised directly, and
// through the UTF-8 step.
WordChances Truth(const std::string& word, const CodeTable& table) {
  const std::string converted = ConvertByTable(word, table);
  std::string decoded;
  return {IsRussianWord(converted), Utf8ToWin(converted, decoded) && IsRussianWord(decoded)};
}

// Words that some chain turns into Russian words, UTF-8 Russian words or
// strings of awkward pieces: the test must never rule such a word out.
TEST(ChainFilter, NeverRulesOutAWordTheWordTestAccepts) {
  std::mt19937 random(11);
  const auto& vocabulary = RussianVocabulary();
  int direct = 0, utf8 = 0, oneByte = 0;
  for (int round = 0; round < 30000; ++round) {
    std::string target;
    switch (round % 4) {
      case 0: {
        // Vocabulary words with their first few letters upper case (none,
        // some or all), the shapes the word test takes.
        target = vocabulary[random() % vocabulary.size()];
        const std::size_t upper = random() % (target.size() + 1);
        target = UpperCaseRus(target.substr(0, upper)) + target.substr(upper);
        break;
      }
      case 1:
        target = Utf8FromWin(vocabulary[random() % vocabulary.size()]);
        break;
      default:
        while (target.size() < 1 + random() % 14) target += Pieces()[random() % Pieces().size()];
        target.resize(std::min<std::size_t>(target.size(), 15));
    }
    const Chain chain = RandomChain(random, 8);
    const CodeTable table = MakeCodeTable(chain, true, kWindows);
    // The word itself, and the word that becomes the target.
    for (const std::string& word : {target, Unconvert(target, chain)}) {
      const WordChances truth = Truth(word, table);
      const WordChances test = MayRecognise(word, table);
      direct += truth.Direct;
      utf8 += truth.Utf8;
      if (truth.Direct) {
        EXPECT_TRUE(test.Direct) << "direct: " << word;
      }
      if (truth.Utf8) {
        EXPECT_TRUE(test.Utf8) << "UTF-8: " << word;
      }
      // The search counts one-byte words by the test alone.
      if (word.size() == 1 && static_cast<Byte>(word[0]) >= 0x80) {
        EXPECT_EQ(test.Direct, truth.Direct) << "one byte: " << word;
        oneByte += truth.Direct;
      }
    }
  }
  // The generator reaches both kinds of recognition often.
  EXPECT_GT(direct, 10000);
  EXPECT_GT(utf8, 5000);
  EXPECT_GT(oneByte, 100);
}

TEST(ChainFilter, RulesOutMostWordsUnderUnrelatedChains) {
  std::mt19937 random(5);
  const auto& vocabulary = RussianVocabulary();
  int open = 0, total = 0;
  for (int round = 0; round < 5000; ++round) {
    const std::string word = ConvertByPair(vocabulary[random() % vocabulary.size()], 2);
    const WordChances test = MayRecognise(word, MakeCodeTable(RandomChain(random, 8), true, kWindows));
    open += test.Direct || test.Utf8;
    ++total;
  }
  EXPECT_LT(open, total / 2);
}

struct BlockCase {
  Sample Words;
  Chain Outer{};  // levels 5 and up
  int Length = 8;
};

CodeTable TableOf(const Chain& chain) { return MakeCodeTable(chain, true, kWindows); }

// What the single-table test leaves open for every chain of one block:
// [inner][lane][word].
struct BlockChances {
  std::vector<std::vector<std::vector<WordChances>>> Chances;
  std::vector<std::vector<bool>> Irreducible;
};

BlockChances ChainByChain(const BlockCase& c) {
  const bool withLevel4 = c.Length >= 4;
  const int level5 = c.Length >= 5 ? c.Outer[4] : 0;
  const auto& lanes = BlockLanes(withLevel4);
  const auto& inner = InnerLevels();
  BlockChances result;
  for (std::size_t i = 0; i < inner.size(); ++i) {
    auto& chances = result.Chances.emplace_back(lanes.size());
    auto& irreducible = result.Irreducible.emplace_back(lanes.size());
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
      irreducible[lane] = !Merges(lanes[lane].Upper, level5) && !Merges(inner[i].Upper, lanes[lane].Lower);
      Chain chain = c.Outer;
      chain[3] = lanes[lane].Upper;
      chain[2] = lanes[lane].Lower;
      chain[1] = inner[i].Upper;
      chain[0] = inner[i].Lower;
      const CodeTable table = TableOf(chain);
      for (int w = 0; w < c.Words.Count; ++w) chances[lane].push_back(MayRecognise(c.Words.Words[w], table));
    }
  }
  return result;
}

// The block test must give, for every chain, exactly what the single-table
// test gives word by word.
void ExpectSameAsChainByChain(const std::vector<SampleFilter::Open>& open, const BlockChances& expected, bool utf8Step,
                              int needed) {
  ASSERT_EQ(open.size(), expected.Chances.size());
  for (std::size_t i = 0; i < open.size(); ++i) {
    for (std::size_t lane = 0; lane < expected.Chances[i].size(); ++lane) {
      const auto& words = expected.Chances[i][lane];
      int direct = 0, utf = 0;
      for (const WordChances& w : words) {
        direct += w.Direct;
        utf += w.Utf8;
      }
      const bool irreducible = expected.Irreducible[i][lane];
      const int l = static_cast<int>(lane);
      ASSERT_EQ(open[i].Direct.Has(l), irreducible && direct >= needed) << "inner " << i << " lane " << lane;
      ASSERT_EQ(open[i].Utf8.Has(l), irreducible && utf8Step && utf >= needed) << "inner " << i << " lane " << lane;
      for (std::size_t w = 0; w < words.size(); ++w) {
        if (open[i].Direct.Has(l)) {
          ASSERT_EQ(open[i].DirectWords[w].Has(l), words[w].Direct) << "word " << w;
        }
        if (open[i].Utf8.Has(l)) {
          ASSERT_EQ(open[i].Utf8Words[w].Has(l), words[w].Utf8) << "word " << w;
        }
      }
    }
  }
}

// Samples that some chain of the block recognises in full, in Windows or in
// UTF-8, with a few odd words among them.
BlockCase PlantedBlock(std::mt19937& random, int length, bool asUtf8) {
  BlockCase c;
  c.Length = length;
  Chain planted{};
  for (int level = 0; level < length; ++level) {
    do {
      planted[level] = static_cast<std::uint8_t>(1 + random() % 12);
    } while (level > 0 && Merges(planted[level - 1], planted[level]));
  }
  for (int level = 4; level < length; ++level) c.Outer[level] = planted[level];
  const auto& vocabulary = RussianVocabulary();
  for (int w = 0; w < kSampleSize; ++w) {
    std::string word = vocabulary[random() % vocabulary.size()];
    if (asUtf8) word = Utf8FromWin(word).substr(0, 15);
    if (w % 7 == 6) word = Pieces()[random() % Pieces().size()] + word.substr(0, 6);
    c.Words.Words[w] = Unconvert(word, planted);
  }
  c.Words.Count = kSampleSize;
  return c;
}

TEST(ChainFilter, BlockTestAgreesWithTheSingleTableTest) {
  std::mt19937 random(17);
  for (int round = 0; round < 8; ++round) {
    const int length = 3 + round % 6;
    const bool asUtf8 = round % 3 == 1;
    const BlockCase c = PlantedBlock(random, length, asUtf8);
    // The outer levels are undone from the last applied to the first.
    CodeTable outerInverse = IdentityCodeTable();
    for (int level = length - 1; level >= 4; --level)
      outerInverse = Compose(outerInverse, InversePairTable(c.Outer[level]));
    const BlockChances expected = ChainByChain(c);
    for (bool utf8Step : {true, false}) {
      const SampleFilter filter(c.Words, utf8Step);
      SampleFilter::Scratch scratch;
      for (int needed : {1, 5, 12, 20, 22, 25}) {
        SCOPED_TRACE(::testing::Message()
                     << "length " << length << " utf8 " << asUtf8 << " step " << utf8Step << " needed " << needed);
        std::vector<SampleFilter::Open> open;
        filter.Candidates(length >= 4, length >= 5 ? c.Outer[4] : 0, outerInverse, needed, scratch, open);
        ExpectSameAsChainByChain(open, expected, utf8Step, needed);
        // The planted chain, which recognises all but the three odd words,
        // is always among them.
        int found = 0;
        for (const auto& o : open) found += !o.Direct.Empty() || !o.Utf8.Empty();
        if (needed <= 22 && (utf8Step || !asUtf8)) {
          EXPECT_GT(found, 0);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kamvo
