// The HTML stage written plainly, step by step as it is described: the
// evidence that the text is HTML looked for at every "<", the references
// replaced one after the other (each one decoded as MatchHtmlReference
// decodes it), CR LF deleted from the span between the first and the last
// of them until none is left, each tag row searched from the start of the
// text again after every replacement, and the markup recognised by reading
// on from its "<" character by character, without remembering anything
// between one "<" and the next. Every character carries a flag that marks
// the "<", ">" and quotes that references wrote: they are text, and no tag
// row, tag or quoted value starts or ends at them. Quadratic; the tests
// compare the single-pass stage against it.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "decoders/html.h"

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
        {"<BR>", "\r\n"}, {"<P>", "\r\n"},  {"<LI>", "\r\n"}, {"<TR>", "\r\n"},  {"</TR>", "\r\n"}, {"&NBSP;", " "},
        {"&QUOT;", "\""}, {"&ACUTE;", "'"}, {"&SHY;", "-"},   {"&SUP1;", "№"},   {"&GT;", ">"},     {"&LT;", "<"},
        {"&UML;", "Ё"},   {"&CEDIL;", "ё"}, {"&TIMES;", "Ч"}, {"&DIVIDE;", "ч"}, {"&SZLIG;", "Я"},  {"&YUML;", "я"},
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

// What starts at a "<" of the text: markup up to End, or none, and then
// End is where the search for markup goes on.
struct LiteralMarkup {
  bool Found = false;
  std::size_t End = 0;
  std::string Kind;  // "start", "end", "comment", "declaration", "raw"
  std::string Name;  // of a tag, in small letters
  bool QuotedValue = false;
  bool HtmlDoctype = false;
};

inline std::string LiteralLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

inline LiteralMarkup LiteralMatchMarkup(const std::string& text, const std::vector<bool>& literal, std::size_t at) {
  const std::size_t n = text.size();
  auto is = [&](std::size_t p, char c) { return p < n && text[p] == c && !literal[p]; };
  auto space = [&](std::size_t p) { return p < n && std::string(" \t\r\n\f").find(text[p]) != std::string::npos; };
  auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto lowerAt = [&](std::size_t p, std::size_t length) { return LiteralLower(text.substr(std::min(p, n), length)); };
  LiteralMarkup none;
  none.End = at + 1;
  if (at + 1 >= n) return none;
  // A declaration: to the first ">", no "<" before it.
  auto declaration = [&](std::size_t from) {
    for (std::size_t p = from; p < n; ++p) {
      if (is(p, '>')) return LiteralMarkup{true, p + 1, "declaration", "", false, false};
      if (is(p, '<')) return LiteralMarkup{false, p, "", "", false, false};
    }
    return LiteralMarkup{false, n, "", "", false, false};
  };
  if (text[at + 1] == '!') {
    if (text.compare(at, 4, "<!--") == 0) {
      for (std::size_t p = at + 4; p + 2 < n; ++p)
        if (text.compare(p, 3, "-->") == 0 && !literal[p + 2]) return {true, p + 3, "comment", "", false, false};
      return none;
    }
    if (lowerAt(at + 2, 7) != "doctype") return none;
    LiteralMarkup m = declaration(at + 9);
    std::size_t p = at + 9;
    while (space(p)) ++p;
    m.HtmlDoctype = m.Found && p > at + 9 && lowerAt(p, 4) == "html";
    return m;
  }
  if (text[at + 1] == '?') return lowerAt(at + 2, 3) == "xml" ? declaration(at + 5) : none;
  const bool closing = text[at + 1] == '/';
  std::size_t p = at + (closing ? 2 : 1);
  const std::size_t nameBegin = p;
  while (p < n && alnum(text[p]) && p - nameBegin <= 10) ++p;
  none.End = std::max(p, at + 1);
  const std::string name = LiteralLower(text.substr(nameBegin, p - nameBegin));
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || !IsHtmlElementName(name) || p >= n) return none;
  if (closing) {
    while (space(p)) ++p;
    none.End = p;
    return is(p, '>') ? LiteralMarkup{true, p + 1, "end", name, false, false} : none;
  }
  if (!space(p) && text[p] != '>' && text[p] != '/') return none;
  LiteralMarkup tag{true, 0, "start", name, false, false};
  auto attributeChar = [&](std::size_t q) {
    return q < n && (alnum(text[q]) || std::string("-_:.@").find(text[q]) != std::string::npos);
  };
  bool separated = true;
  for (;;) {
    const std::size_t before = p;
    while (space(p)) ++p;
    separated = separated || p > before;
    none.End = p;
    if (p >= n) return none;
    if (is(p, '>')) break;
    if (is(p, '/') && is(p + 1, '>')) {
      ++p;
      break;
    }
    if (!separated || !attributeChar(p)) return none;
    while (attributeChar(p)) ++p;
    std::size_t q = p;
    while (space(q)) ++q;
    if (!is(q, '=')) {
      separated = false;
      continue;
    }
    p = q + 1;
    while (space(p)) ++p;
    none.End = p;
    if (p >= n) return none;
    if (is(p, '"') || is(p, '\'')) {
      const char quote = text[p];
      std::size_t close = p + 1;
      while (close < n && !is(close, quote)) ++close;
      if (close >= n) return none;
      p = close + 1;
      tag.QuotedValue = true;
      separated = true;
      continue;
    }
    const std::size_t value = p;
    while (p < n && (literal[p] || (!space(p) && std::string("\"'=<>`").find(text[p]) == std::string::npos))) ++p;
    none.End = p;
    if (p == value) return none;
    separated = false;
  }
  tag.End = p + 1;
  if (name == "script" || name == "style") {
    for (std::size_t q = tag.End; q < n; ++q) {
      if (!is(q, '<') || text.compare(q + 1, 1, "/") != 0 || lowerAt(q + 2, name.size()) != name) continue;
      std::size_t e = q + 2 + name.size();
      while (space(e)) ++e;
      if (is(e, '>')) {
        tag.Kind = "raw";
        tag.End = e + 1;
        break;
      }
    }
  }
  return tag;
}

// A start or end tag written alone between quotes is quoted, not used.
inline bool LiteralQuoted(const std::string& text, const std::vector<bool>& literal, std::size_t at,
                          const LiteralMarkup& m) {
  if (m.Kind != "start" && m.Kind != "end") return false;
  if (at == 0 || m.End >= text.size()) return false;
  const char quote = text[at - 1];
  return (quote == '"' || quote == '\'') && !literal[at - 1] && text[m.End] == quote && !literal[m.End];
}

inline bool LiteralOpens(const std::string& text, std::size_t i) {
  if (i + 1 >= text.size()) return false;
  const char next = text[i + 1];
  return (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '/' || next == '!' || next == '?';
}

// Whether the text is HTML: looked for at every "<" that may open markup,
// going on after what each "<" gave. It is when markup only HTML has
// stands in it and markup opens the text or a paragraph whose lines before
// are a mail's header block.
inline bool LiteralHtmlEvidence(const std::string& text) {
  const std::vector<bool> literal(text.size(), false);
  // The lines: where each begins and ends, its break left out.
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  for (std::size_t begin = 0, i = 0;; ++i) {
    if (i == text.size()) {
      lines.push_back({begin, i});
      break;
    }
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back({begin, i});
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  auto lineText = [&](std::size_t k) { return text.substr(lines[k].first, lines[k].second - lines[k].first); };
  auto blank = [&](std::size_t k) { return lineText(k).find_first_not_of(" \t") == std::string::npos; };
  auto header = [&](std::size_t k) {
    const std::string line = lineText(k);
    if (line.empty()) return false;
    if (line[0] == ' ' || line[0] == '\t') return true;
    if (line.size() > 2 && line.compare(0, 2, "--") == 0 && line[2] != ' ') return true;
    std::size_t i = 0;
    while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || (i > 0 && line[i] == '-'))) ++i;
    return i > 0 && i < line.size() && line[i] == ':' && !std::isdigit(static_cast<unsigned char>(line[0]));
  };
  auto opensParagraph = [&](std::size_t at) {
    std::size_t k = 0;
    while (k < lines.size() && lines[k].first != at) ++k;
    if (k == lines.size() || k == 0 || !blank(k - 1)) return false;
    --k;
    while (k > 0 && blank(k)) --k;  // the blank lines
    for (;; --k) {                  // the paragraph before them
      if (blank(k)) return true;
      if (!header(k)) return false;
      if (k == 0) return true;
    }
  };
  std::size_t first = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (first < text.size() && std::string(" \t\r\n\f").find(text[first]) != std::string::npos) ++first;
  std::vector<std::string> opened;
  int breaks = 0;
  bool evidence = false, opens = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '<' || !LiteralOpens(text, i)) {
      ++i;
      continue;
    }
    const LiteralMarkup m = LiteralMatchMarkup(text, literal, i);
    const bool quoted = m.Found && LiteralQuoted(text, literal, i, m);
    const std::size_t at = i;
    i = std::max(m.End, i + 1);
    if (!m.Found || quoted) continue;
    if (m.Kind == "declaration" && m.HtmlDoctype) evidence = true;
    if (m.Kind == "raw") evidence = true;
    if (m.Kind == "end" && std::find(opened.begin(), opened.end(), m.Name) != opened.end()) evidence = true;
    if (m.Kind == "start") {
      if (m.Name == "html" || m.Name == "head" || m.Name == "body" || m.Name == "meta" || m.QuotedValue)
        evidence = true;
      std::size_t after = m.End;
      while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
      const bool endsLine = after == text.size() || text[after] == '\r' || text[after] == '\n';
      if (m.Name == "br" && endsLine && ++breaks >= 2) evidence = true;
      opened.push_back(m.Name);
    }
    if (at == first || opensParagraph(at)) opens = true;
    if (evidence && opens) return true;
  }
  return false;
}

inline LiteralHtmlResult LiteralHtml(const Lines& lines, const std::vector<LineEnd>* ends = nullptr) {
  const auto& table = LiteralHtmlTable();
  std::string text = JoinLines(lines, "\r\n");
  const bool html = LiteralHtmlEvidence(text);
  const bool utf8 = IsUtf8Text(text);
  std::vector<bool> literal(text.size(), false);  // per character of text
  std::vector<std::size_t> origin;                // the input line of each character of text
  for (std::size_t i = 0; i < lines.size(); ++i) origin.insert(origin.end(), lines[i].size() + 2, i);
  bool changed = false;
  std::size_t first = 0, last = 0;  // 1-based, 0 while none

  // References, from left to right; what one is replaced by is never read
  // again.
  // Outside HTML a reference is decoded only where the character before it
  // (as the text stands, what references before it became included) or
  // after it (as written) is beyond ASCII or starts another such reference.
  auto beyondAscii = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '&') continue;
    const HtmlReference ref = MatchHtmlReference(text, at, html, utf8);
    if (ref.Length == 0) continue;
    if (!html) {
      const std::size_t end = at + ref.Length;
      const bool before = at > 0 && beyondAscii(text[at - 1]);
      const bool after =
          end < text.size() && (beyondAscii(text[end]) || MatchHtmlReference(text, end, false, utf8).Length != 0);
      if (!before && !after) continue;
    }
    changed = true;
    const std::string replacement(ref.Replacement());
    text.replace(at, ref.Length, replacement);
    literal.erase(literal.begin() + at, literal.begin() + at + ref.Length);
    for (std::size_t k = 0; k < replacement.size(); ++k) {
      const char c = replacement[k];
      literal.insert(literal.begin() + at + k, c == '<' || c == '>' || c == '"' || c == '\'');
    }
    const std::size_t from = origin[at];
    origin.erase(origin.begin() + at, origin.begin() + at + ref.Length);
    origin.insert(origin.begin() + at, replacement.size(), from);
    if (first == 0) first = at + 1;
    last = at + 1;
    at += replacement.size() - 1;
  }

  // Line phase, in HTML only.
  if (html && first != 0) {
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
    std::string upper = UpperCaseRus(text);
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

  // Markup, in HTML only: found reading the text from the start, each piece
  // judged by the characters around it in the text as it stands, the search
  // going on after it; then every piece found deleted.
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  for (std::size_t i = 0; html && i < text.size();) {
    if (text[i] != '<' || literal[i] || !LiteralOpens(text, i)) {
      ++i;
      continue;
    }
    const LiteralMarkup m = LiteralMatchMarkup(text, literal, i);
    if (m.Found && !LiteralQuoted(text, literal, i, m)) pieces.push_back({i, m.End});
    i = std::max(m.End, i + 1);
  }
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
    text.erase(piece->first, piece->second - piece->first);
    literal.erase(literal.begin() + piece->first, literal.begin() + piece->second);
    origin.erase(origin.begin() + piece->first, origin.begin() + piece->second);
    changed = true;
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
