// The Russian word test and the word reader. The three forms of the word test
// must agree (string, raw bytes, and judged through a code table without
// converting), and the reader must give only varied words of 1..255 bytes
// without delimiters, reading every byte at most once.
//
// Input: eight chain bytes, then the text (its first line also serves as the
// word for the word test).
#include <algorithm>

#include "codepages/code_tables.h"
#include "fuzz_common.h"
#include "recognition/detection.h"
#include "recognition/russian_word.h"
#include "recognition/word_reader.h"

using namespace kamvo;
using namespace kamvo::fuzz;

namespace {

void CheckWordTest(std::string_view word, const Chain& chain) {
  const bool plain = IsRussianWord(word);
  FUZZ_CHECK(plain == IsRussianWord(reinterpret_cast<const Byte*>(word.data()), word.size()));
  for (int pair = 0; pair < kPairCount; ++pair)
    FUZZ_CHECK(IsRussianWord(word, PairTable(pair)) == IsRussianWord(ConvertByPair(word, pair)));
  const CodeTable table = MakeCodeTable(chain, false, kKoi8);
  FUZZ_CHECK(IsRussianWord(word, table) == IsRussianWord(ConvertByTable(word, table)));
  // A word of Cyrillic bytes alone is judged the same in capitals and in
  // small letters (Latin look-alikes differ between the cases).
  if (std::all_of(word.begin(), word.end(), [](char c) { return static_cast<Byte>(c) >= 0x80; }))
    FUZZ_CHECK(IsRussianWord(UpperCaseRus(word)) == IsRussianWord(LowerCaseRus(word)));
  IsCandidateWord(word);
  IsVariedWord(word);
  if (IsAsciiWord(word)) FUZZ_CHECK(ConvertByPair(word, 5) == word);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Chain chain{};
  const std::size_t chainBytes = std::min<std::size_t>(size, kChainLevels);
  for (std::size_t i = 0; i < chainBytes; ++i) chain[i] = data[i] % kPairCount;
  const std::string_view text = AsText(data + chainBytes, size - chainBytes);
  const Lines lines = InputLines(text, false);

  CheckWordTest(lines.empty() ? std::string_view() : std::string_view(lines.front()), chain);

  const Text readText = Text::FromLines(lines);
  WordReader reader(readText);
  std::size_t wordBytes = 0;
  for (std::string word = reader.NextWord(); !word.empty(); word = reader.NextWord()) {
    FUZZ_CHECK(word.size() <= kMaxWordBytes);
    FUZZ_CHECK(IsVariedWord(word));
    for (char c : word) FUZZ_CHECK(!IsWordDelimiter(static_cast<Byte>(c)));
    wordBytes += word.size();
    FUZZ_CHECK(wordBytes <= text.size());
    CheckWordTest(word, chain);
  }
  reader.Reset();
  std::size_t chars = 0;
  Byte ch = 0;
  while (reader.NextTextChar(ch)) FUZZ_CHECK(++chars <= text.size() + lines.size());

  reader.Reset();
  const Sample sample = TakeSample(reader);
  FUZZ_CHECK(sample.Count >= 0 && sample.Count <= kSampleSize);
  for (int i = 0; i < sample.Count; ++i) {
    FUZZ_CHECK(!sample.Words[i].empty());
    FUZZ_CHECK(!IsAsciiWord(sample.Words[i]) && IsCandidateWord(sample.Words[i]));
  }
  return 0;
}
