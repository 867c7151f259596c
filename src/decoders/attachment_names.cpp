#include "decoders/attachment_names.h"

#include <array>

#include "codepages/byte_scan.h"
#include "codepages/code_tables.h"
#include "decoders/binary.h"
#include "decoders/mime.h"
#include "recognition/russian_word.h"
#include "recognition/word_reader.h"

namespace kamvo {

namespace {

using DelimiterSet = std::array<bool, 256>;

DelimiterSet MakeDelimiterSet(std::string_view delimiters) {
  DelimiterSet set{};
  for (char c : delimiters) set[static_cast<Byte>(c)] = true;
  return set;
}

bool IsDelimiter(const DelimiterSet& set, char c) { return set[static_cast<Byte>(c)]; }

// A name that can stand for a file inside a folder: not empty, not the
// folder itself and not its parent. (Separators and control characters are
// already gone by SafeFileName.)
bool IsUsableName(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

// The name an entry ends up with before unnamed entries are numbered; empty
// when it has none that can be used.
std::string FinalName(const std::string& found) {
  if (found.empty()) return {};
  std::string name = found;
  if (!DecodeMimeName(name)) name = FixNameCodePage(name);
  name = SafeFileName(name);
  return IsUsableName(name) ? name : std::string();
}

}  // namespace

void FinishNames(TFileList& files) {
  TFileList named;
  int unnamed = 0;
  for (std::size_t i = 0; i < files.Count(); ++i) {
    std::string name = FinalName(files[i].Name);
    if (name.empty()) {
      // An unnamed text block lives on in the text only.
      if (!files.IsBinary(static_cast<long>(i))) continue;
      name = "file" + std::to_string(++unnamed);
    }
    named.AddFile(std::move(name));
    named[named.Count() - 1].Stream = std::move(files[i].Stream);
  }
  files = std::move(named);
}

bool DecodeMimeName(std::string& name) {
  const std::size_t length = name.size();
  if (length < 7 || name.compare(0, 2, "=?") != 0 || name.compare(length - 2, 2, "?=") != 0) return false;
  // Encoded words of a charset the program knows, in either form, become
  // their characters in Windows-1251.
  if (std::string words = DecodeAttachmentName(name, false);
      words != name && words.find("=?") == std::string::npos && !HasControlBytes(words)) {
    name = std::move(words);
    return true;
  }
  name = name.substr(2, length - 4);
  const std::size_t mark = name.find('?');
  if (mark == std::string::npos) return false;

  const std::string charset = UpperCaseRus(std::string_view(name).substr(0, mark));
  std::string text = name.substr(mark + 1);
  if (text.starts_with("B?")) text.erase(0, 2);
  std::string decoded;
  if (DecodeBase64Line(text, decoded)) text = std::move(decoded);

  std::string reduced;
  for (char c : charset)
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) reduced += c;
  if (reduced == "KOI8R")
    for (auto& c : text) c = static_cast<char>(ConvChar(static_cast<Byte>(c), kKoi8, kWindows));
  name = std::move(text);
  return true;
}

std::string FixNameCodePage(std::string_view name) {
  std::vector<std::string_view> candidates;
  for (std::string_view word : SplitWords(name, WordDelimiters))
    if (!IsAsciiWord(word) && IsCandidateWord(word)) candidates.push_back(word);
  if (candidates.empty()) return std::string(name);

  int bestPair = 0, bestCount = -1;
  for (int pair = 0; pair < kPairCount; ++pair) {
    int count = 0;
    for (std::string_view word : candidates) count += IsRussianWord(word, PairTable(pair)) ? 1 : 0;
    if (count > bestCount) {
      bestCount = count;
      bestPair = pair;
    }
  }
  if (bestCount > static_cast<int>(candidates.size()) / 2) return ConvertByPair(name, bestPair);
  return std::string(name);
}

std::string SafeFileName(std::string_view name) {
  static constexpr std::string_view kUnsafe = "\"*/:<>?\\";
  std::string result(name);
  for (auto& c : result) {
    const auto b = static_cast<Byte>(c);
    // 0x98 has no character in Windows-1251 and reaches the file system as
    // the control character U+0098.
    const bool control = b < 0x20 || b == 0x7F || b == 0x98;
    if (control || kUnsafe.find(c) != std::string_view::npos) c = '_';
  }
  return result;
}

std::vector<std::string_view> SplitWords(std::string_view s, std::string_view delimiters) {
  const DelimiterSet set = MakeDelimiterSet(delimiters);
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsDelimiter(set, s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !IsDelimiter(set, s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

}  // namespace kamvo
