#include "recognition/word_reader.h"

#include <array>

namespace kamvo {
namespace {

constexpr std::string_view kDelimiters = "\t\n\r !\"#$%&'()*+,-./:;<=>?@[\\]^_{|}~";

constexpr std::array<bool, 256> MakeDelimiterSet() {
  std::array<bool, 256> set{};
  for (char c : kDelimiters) set[static_cast<Byte>(c)] = true;
  return set;
}
constexpr std::array<bool, 256> kIsDelimiter = MakeDelimiterSet();

constexpr Byte kCr = 0x0D;

}  // namespace

constinit const std::string_view WordDelimiters = kDelimiters;

bool IsWordDelimiter(Byte b) { return kIsDelimiter[b]; }

bool LineHasWord(std::string_view line) {
  for (std::size_t i = 1; i < line.size(); ++i)
    if (line[i - 1] != ' ' && line[i] != ' ') return true;
  return false;
}

bool IsVariedWord(std::string_view word) {
  if (word.size() == 1) return true;
  // From four bytes on the first and last byte are left out, so that a run
  // in brackets or quotes counts as a run.
  const std::string_view inner = word.size() <= 3 ? word : word.substr(1, word.size() - 2);
  for (std::size_t i = 1; i < inner.size(); ++i)
    if (inner[i] != inner[i - 1]) return true;
  return false;
}

void WordReader::Reset() {
  line_ = 0;
  position_ = 1;
}

bool WordReader::NextTextChar(Byte& ch) {
  if (line_ >= text_.size()) return false;
  const std::string_view line = text_[line_];
  if (position_ <= line.size()) {
    ch = static_cast<Byte>(line[position_ - 1]);
    ++position_;
    return true;
  }
  // The end of a line reads as CR; lines without a word are passed over.
  ch = kCr;
  for (;;) {
    ++line_;
    position_ = 1;
    if (line_ >= text_.size()) return false;
    if (LineHasWord(text_[line_])) return true;
  }
}

std::string WordReader::NextWord() {
  std::string word;
  for (;;) {
    Byte ch = ' ';
    while (IsWordDelimiter(ch))
      if (!NextTextChar(ch)) return {};
    word.assign(1, static_cast<char>(ch));
    while (NextTextChar(ch) && !IsWordDelimiter(ch)) {
      if (word.size() == kMaxWordBytes) break;  // this byte is dropped
      word.push_back(static_cast<char>(ch));
    }
    if (IsVariedWord(word)) return word;
  }
}

}  // namespace kamvo
