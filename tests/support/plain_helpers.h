// Small helpers that only the tests use: a Dos rendering of a text, a
// 1-based match at a position, and words counted and picked one by one.
#pragma once

#include <string>
#include <string_view>

#include "codepages/code_tables.h"

namespace kamvo::testing {

// Windows-1251 to Dos.
inline std::string WinToDos(std::string_view s) {
  std::string result(s);
  for (auto& c : result) c = static_cast<char>(ConvChar(static_cast<Byte>(c), kWindows, kDos));
  return result;
}

// True when s holds at least position + count - 1 bytes and the count bytes
// from the 1-based position equal the first count bytes of pattern.
inline bool MatchAt(std::string_view pattern, std::string_view s, long position, long count) {
  if (position < 1) return false;
  if (static_cast<long>(s.size()) < position + count - 1) return false;
  if (count <= 0) return true;
  if (static_cast<long>(pattern.size()) < count) return false;
  return s.substr(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(count)) ==
         pattern.substr(0, static_cast<std::size_t>(count));
}

inline bool IsDelimiterOf(std::string_view delimiters, char c) { return delimiters.find(c) != std::string_view::npos; }

// The number of words, a word being a longest run of non-delimiters.
inline int CountWords(std::string_view s, std::string_view delimiters) {
  int count = 0;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (!IsDelimiterOf(delimiters, s[i]) && (i == 0 || IsDelimiterOf(delimiters, s[i - 1]))) ++count;
  return count;
}

// The n-th word (from 1), or empty when there are fewer than n words.
inline std::string NthWord(int n, std::string_view s, std::string_view delimiters) {
  int word = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsDelimiterOf(delimiters, s[i]) || (i > 0 && !IsDelimiterOf(delimiters, s[i - 1]))) continue;
    if (++word < n) continue;
    std::size_t end = i;
    while (end < s.size() && !IsDelimiterOf(delimiters, s[end])) ++end;
    return std::string(s.substr(i, end - i));
  }
  return {};
}

}  // namespace kamvo::testing
