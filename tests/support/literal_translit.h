// Plain transcriptions of translit decoding and encoding over the whole
// text, kept as the oracles the line-by-line code is compared with.
// Decoding here searches for the first occurrence from the beginning of the
// text after every replacement, exactly as the user-visible rule says; it is
// quadratic and meant for small texts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"

namespace kamvo::testing {

// The table's lines, split at CR LF, a lone CR and a lone LF, upper-cased.
inline std::vector<std::string> LiteralTableLines(std::string_view table) {
  std::vector<std::string> lines;
  std::string current;
  bool open = false;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const char c = table[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < table.size() && table[i + 1] == '\n') ++i;
    } else {
      current += static_cast<char>(UpperRus(static_cast<Byte>(c)));
      open = true;
    }
  }
  if (open) lines.push_back(current);
  return lines;
}

struct LiteralDecoded {
  std::string Text;
  bool Changed = false;
  std::size_t Replacements = 0;
};

// Decodes `text` (lines each followed by CR LF) with at most
// maxReplacements replacements, the state a user break leaves behind.
inline LiteralDecoded LiteralDecodeTranslit(std::string text, std::string_view table,
                                            std::size_t maxReplacements = std::numeric_limits<std::size_t>::max()) {
  struct Row {
    char Letter;
    std::string Spelling;
  };
  const std::vector<std::string> lines = LiteralTableLines(table);
  std::vector<Row> rows;
  for (std::size_t k = 0; k < 33; ++k) {
    Row row{RussianAlphabet[k], k < lines.size() ? lines[k] : std::string()};
    if (row.Spelling.size() > 10) row.Spelling.resize(10);
    rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.Spelling.size() > b.Spelling.size(); });

  LiteralDecoded result;
  std::string upper = UpperCaseRus(text);
  for (const Row& row : rows) {
    if (row.Spelling.empty()) continue;
    for (;;) {
      if (result.Replacements == maxReplacements) break;
      const std::size_t p = upper.find(row.Spelling);
      if (p == std::string::npos) break;
      result.Changed = true;
      ++result.Replacements;
      Byte letter = static_cast<Byte>(row.Letter);
      const Byte first = static_cast<Byte>(text[p]);
      if (first > 0x5A) {
        letter = LowerRus(letter);
      } else if (first < 0x41 && p > 0) {
        const Byte before = static_cast<Byte>(text[p - 1]);
        if (LowerRus(before) == before) letter = LowerRus(letter);
      }
      text.replace(p, row.Spelling.size(), 1, static_cast<char>(letter));
      upper.replace(p, row.Spelling.size(), 1, static_cast<char>(letter));
    }
  }
  result.Text = text;
  return result;
}

struct LiteralEncoded {
  std::string Text;
  bool Changed = false;
};

// Encodes `text` character by character. A letter without a table line is
// kept as it is.
inline LiteralEncoded LiteralEncodeTranslit(std::string_view text, std::string_view table) {
  std::vector<std::string> lines = LiteralTableLines(table);
  LiteralEncoded result;
  for (const char c : text) {
    const Byte capital = UpperRus(static_cast<Byte>(c));
    const std::size_t k = RussianAlphabet.find(static_cast<char>(capital));
    if (k == std::string_view::npos || k >= lines.size()) {
      result.Text += c;
      continue;
    }
    const bool small = capital != static_cast<Byte>(c);
    result.Text += small ? LowerCaseRus(lines[k]) : lines[k];
    result.Changed = true;
  }
  return result;
}

}  // namespace kamvo::testing
