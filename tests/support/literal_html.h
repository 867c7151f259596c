// The HTML stage written plainly, step by step as it is described: each
// table row searched from the start of the text again after every
// replacement, the first and last entity positions tracked through the
// shifts, CR LF deleted from the span until none is left, and the tag scan
// going back to the character after a "<" whose tag holds too many LF.
// Every character carries a flag that marks the "<" and ">" written as &lt;
// and &gt;: they are text, and no tag row or tag starts or ends at them.
// Quadratic; the tests compare the single-pass stage against it.
#pragma once

#include <string>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"

namespace kamvo::testing {

struct LiteralHtmlRow {
  std::string Pattern;
  std::string Replacement;  // Windows-1251
  bool FollowsCase;
};

// The table, its replacements written as readable characters.
inline const std::vector<LiteralHtmlRow>& LiteralHtmlTable() {
  static const std::vector<LiteralHtmlRow> table = [] {
    const std::vector<std::pair<std::string, std::string>> plain = {
        {"<BR>", "\r\n"},   {"<P>", "\r\n"},      {"<LI>", "\r\n"},    {"<TR>", "\r\n"},  {"</TR>", "\r\n"},
        {"&NBSP;", " "},    {"&QUOT;", "\""},     {"&ACUTE;", "'"},    {"&SHY;", "-"},    {"&SUP1;", "№"},
        {"&GT;", ">"},      {"&LT;", "<"},        {"&UML;", "Ё"},      {"&CEDIL;", "ё"},  {"&TIMES;", "Ч"},
        {"&DIVIDE;", "ч"},  {"&SZLIG;", "Я"},     {"&YUML;", "я"},
    };
    const std::vector<std::pair<std::string, std::string>> letters = {
        {"&AGRAVE;", "а"}, {"&AACUTE;", "б"}, {"&ACIRC;", "в"},  {"&ATILDE;", "г"}, {"&AUML;", "д"},
        {"&ARING;", "е"},  {"&AELIG;", "ж"},  {"&CCEDIL;", "з"}, {"&EGRAVE;", "и"}, {"&EACUTE;", "й"},
        {"&ECIRC;", "к"},  {"&EUML;", "л"},   {"&IGRAVE;", "м"}, {"&IACUTE;", "н"}, {"&ICIRC;", "о"},
        {"&IUML;", "п"},   {"&ETH;", "р"},    {"&NTILDE;", "с"}, {"&OGRAVE;", "т"}, {"&OACUTE;", "у"},
        {"&OCIRC;", "ф"},  {"&OTILDE;", "х"}, {"&OUML;", "ц"},   {"&OSLASH;", "ш"}, {"&UGRAVE;", "щ"},
        {"&UACUTE;", "ъ"}, {"&UCIRC;", "ы"},  {"&UUML;", "ь"},   {"&YACUTE;", "э"}, {"&THORN;", "ю"},
    };
    std::vector<LiteralHtmlRow> rows;
    for (const auto& [pattern, replacement] : plain) rows.push_back({pattern, WinFromUtf8(replacement), false});
    for (const auto& [pattern, replacement] : letters) rows.push_back({pattern, WinFromUtf8(replacement), true});
    return rows;
  }();
  return table;
}

struct LiteralHtmlResult {
  Lines Text;  // the lines the buffer gets (the input lines when unchanged)
  bool Changed = false;
  // With the breaks of the input lines given: the break of each line of
  // Text. A line takes the break of the input line its own break character
  // comes from (a tag row's from the line of its "<"); a line that is not
  // the last taking the missing break of the last input line takes the
  // break of the input line before that (LF when there is none); the last
  // line takes the last input line's break when that is missing or when no
  // break character follows the line.
  std::vector<LineEnd> Ends;
};

inline LiteralHtmlResult LiteralHtml(const Lines& lines, const std::vector<LineEnd>* ends = nullptr) {
  const auto& table = LiteralHtmlTable();
  std::string text = JoinLines(lines, "\r\n");
  std::string upper = UpperCaseRus(text);
  std::vector<bool> literal(text.size(), false);  // per character of text
  std::vector<std::size_t> origin;                // the input line of each character of text
  for (std::size_t i = 0; i < lines.size(); ++i) origin.insert(origin.end(), lines[i].size() + 2, i);
  bool changed = false;
  std::size_t first = 0, last = 0;  // 1-based, 0 while none

  // Entity rows 6..48.
  for (std::size_t row = 5; row < table.size(); ++row) {
    const LiteralHtmlRow& entry = table[row];
    for (;;) {
      const std::size_t found = upper.find(entry.Pattern);
      if (found == std::string::npos) break;
      changed = true;
      std::string replacement = entry.Replacement;
      if (entry.FollowsCase && text[found + 1] >= 'A' && text[found + 1] <= 'Z')
        replacement = UpperCaseRus(replacement);
      text.erase(found, entry.Pattern.size());
      text.insert(found, replacement);
      upper.erase(found, entry.Pattern.size());
      upper.insert(found, entry.Replacement);
      literal.erase(literal.begin() + found, literal.begin() + found + entry.Pattern.size());
      literal.insert(literal.begin() + found, replacement.size(), replacement == "<" || replacement == ">");
      const std::size_t from = origin[found];
      origin.erase(origin.begin() + found, origin.begin() + found + entry.Pattern.size());
      origin.insert(origin.begin() + found, replacement.size(), from);
      const std::size_t position = found + 1;
      if (first == 0 || position < first) first = position;
      if (last == 0 || position > last) {
        last = position;
      } else if (position < last) {
        last -= entry.Pattern.size() - replacement.size();
        if (last < position) last = position;
      }
    }
  }

  // Line phase.
  if (first != 0) {
    std::string span = text.substr(first - 1, last - first + 1);
    std::vector<bool> spanLiteral(literal.begin() + (first - 1), literal.begin() + last);
    std::vector<std::size_t> spanOrigin(origin.begin() + (first - 1), origin.begin() + last);
    for (std::size_t pair; (pair = span.find("\r\n")) != std::string::npos;) {
      span.erase(pair, 2);
      spanLiteral.erase(spanLiteral.begin() + pair, spanLiteral.begin() + pair + 2);
      spanOrigin.erase(spanOrigin.begin() + pair, spanOrigin.begin() + pair + 2);
    }
    text = text.substr(0, first - 1) + span + text.substr(last);
    std::vector<bool> joined(literal.begin(), literal.begin() + (first - 1));
    joined.insert(joined.end(), spanLiteral.begin(), spanLiteral.end());
    joined.insert(joined.end(), literal.begin() + last, literal.end());
    literal = joined;
    std::vector<std::size_t> joinedOrigin(origin.begin(), origin.begin() + (first - 1));
    joinedOrigin.insert(joinedOrigin.end(), spanOrigin.begin(), spanOrigin.end());
    joinedOrigin.insert(joinedOrigin.end(), origin.begin() + last, origin.end());
    origin = joinedOrigin;
    upper = UpperCaseRus(text);
    for (std::size_t row = 0; row < 5; ++row) {
      const LiteralHtmlRow& entry = table[row];
      for (;;) {
        // The first occurrence whose "<" and ">" are both markup.
        std::size_t found = upper.find(entry.Pattern);
        while (found != std::string::npos && (literal[found] || literal[found + entry.Pattern.size() - 1]))
          found = upper.find(entry.Pattern, found + 1);
        if (found == std::string::npos) break;
        text.erase(found, entry.Pattern.size());
        text.insert(found, entry.Replacement);
        upper.erase(found, entry.Pattern.size());
        upper.insert(found, entry.Replacement);
        literal.erase(literal.begin() + found, literal.begin() + found + entry.Pattern.size());
        literal.insert(literal.begin() + found, entry.Replacement.size(), false);
        const std::size_t from = origin[found];
        origin.erase(origin.begin() + found, origin.begin() + found + entry.Pattern.size());
        origin.insert(origin.begin() + found, entry.Replacement.size(), from);
      }
    }
  }

  // Tag phase. A tag opens at a "<" followed by an ASCII letter, "/", "!"
  // or "?".
  auto opens = [&](std::size_t i) {
    if (i + 1 >= text.size()) return false;
    const char next = text[i + 1];
    return (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '/' || next == '!' ||
           next == '?';
  };
  bool open = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '<' && !open && !literal[i] && opens(i)) {
      open = true;
      start = i;
      ++i;
    } else if (text[i] == '>' && open && !literal[i]) {
      int lineFeeds = 0;
      for (std::size_t k = start; k <= i; ++k) lineFeeds += text[k] == '\n';
      open = false;
      if (lineFeeds < 2) {
        text.erase(start, i - start + 1);
        literal.erase(literal.begin() + start, literal.begin() + i + 1);
        origin.erase(origin.begin() + start, origin.begin() + i + 1);
        changed = true;
        i = start;
      } else {
        i = start + 1;
      }
    } else {
      ++i;
    }
  }

  if (!changed) return {lines, false, ends ? *ends : std::vector<LineEnd>()};
  LiteralHtmlResult result{SplitLines(text), true, {}};
  if (!ends) return result;
  const auto breakOf = [&](std::size_t line) {
    if ((*ends)[line] != LineEnd::None) return (*ends)[line];
    return line > 0 && (*ends)[line - 1] != LineEnd::None ? (*ends)[line - 1] : LineEnd::Lf;
  };
  std::size_t at = 0;  // where the next line of the result starts in text
  for (std::size_t k = 0; k < result.Text.size(); ++k) {
    at += result.Text[k].size();
    const bool last = k + 1 == result.Text.size();
    if (last && (at == text.size() || ends->back() == LineEnd::None)) {
      result.Ends.push_back(ends->back());
    } else {
      result.Ends.push_back(breakOf(origin[at]));
    }
    at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;
  }
  return result;
}

}  // namespace kamvo::testing
