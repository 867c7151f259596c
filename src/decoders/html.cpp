#include "decoders/html.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "codepages/ascii.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "decoders/html_entities.h"
#include "decoders/text_lines.h"

namespace kamvo {

const std::array<HtmlRow, kHtmlRowCount> HtmlTable = {{
    {"<BR>", "\r\n", false},    {"<P>", "\r\n", false},     {"<LI>", "\r\n", false},    {"<TR>", "\r\n", false},
    {"</TR>", "\r\n", false},   {"&NBSP;", " ", false},     {"&QUOT;", "\"", false},    {"&ACUTE;", "'", false},
    {"&SHY;", "-", false},      {"&SUP1;", "\xB9", false},  {"&GT;", ">", false},       {"&LT;", "<", false},
    {"&UML;", "\xA8", false},   {"&CEDIL;", "\xB8", false}, {"&TIMES;", "\xD7", false}, {"&DIVIDE;", "\xF7", false},
    {"&SZLIG;", "\xDF", false}, {"&YUML;", "\xFF", false},  {"&AGRAVE;", "\xE0", true}, {"&AACUTE;", "\xE1", true},
    {"&ACIRC;", "\xE2", true},  {"&ATILDE;", "\xE3", true}, {"&AUML;", "\xE4", true},   {"&ARING;", "\xE5", true},
    {"&AELIG;", "\xE6", true},  {"&CCEDIL;", "\xE7", true}, {"&EGRAVE;", "\xE8", true}, {"&EACUTE;", "\xE9", true},
    {"&ECIRC;", "\xEA", true},  {"&EUML;", "\xEB", true},   {"&IGRAVE;", "\xEC", true}, {"&IACUTE;", "\xED", true},
    {"&ICIRC;", "\xEE", true},  {"&IUML;", "\xEF", true},   {"&ETH;", "\xF0", true},    {"&NTILDE;", "\xF1", true},
    {"&OGRAVE;", "\xF2", true}, {"&OACUTE;", "\xF3", true}, {"&OCIRC;", "\xF4", true},  {"&OTILDE;", "\xF5", true},
    {"&OUML;", "\xF6", true},   {"&OSLASH;", "\xF8", true}, {"&UGRAVE;", "\xF9", true}, {"&UACUTE;", "\xFA", true},
    {"&UCIRC;", "\xFB", true},  {"&UUML;", "\xFC", true},   {"&YACUTE;", "\xFD", true}, {"&THORN;", "\xFE", true},
}};

namespace {

// Events run and the user break is tested once per block of this many bytes.
constexpr std::size_t kBlock = 64 * 1024;

// References are decoded in one pass from left to right, and what one
// stands for is never read again: "&amp;lt;" gives "&lt;", as in a browser.
//
// Why a single pass gives the result of replacing "the first occurrence,
// again and again, row by row" for the tag rows: every row starts with "<",
// ends with ">" and holds neither inside, so two occurrences never overlap;
// and the replacement (CR LF) holds no character of any row, so it never
// joins its neighbours into a new occurrence.

// A pattern's inner name ("NBSP" of "&NBSP;") packed into an integer: the
// names are at most six characters, none of them a zero byte.
std::uint64_t PackName(std::string_view name) {
  std::uint64_t key = 0;
  for (char c : name) key = (key << 8) | static_cast<Byte>(c);
  return key;
}

struct NameKey {
  std::uint64_t Key;
  int Row;  // index into HtmlTable
  bool operator<(const NameKey& other) const { return Key < other.Key; }
};

struct PatternIndex {
  std::vector<NameKey> Keys;  // sorted
  std::size_t MaxLength = 0;  // longest pattern, opening and closing characters included

  PatternIndex(int firstRow, int endRow) {
    for (int row = firstRow; row < endRow; ++row) {
      const std::string_view pattern = HtmlTable[row].Pattern;
      Keys.push_back({PackName(pattern.substr(1, pattern.size() - 2)), row});
      MaxLength = std::max(MaxLength, pattern.size());
    }
    std::sort(Keys.begin(), Keys.end());
  }

  // The row whose pattern (in any case) starts at text[at], or -1; at holds
  // the opening character.
  int Find(std::string_view text, std::size_t at, char closing) const {
    const std::size_t end = std::min(text.size(), at + MaxLength);
    std::uint64_t key = 0;
    for (std::size_t i = at + 1; i < end; ++i) {
      const char c = AsciiUpper(text[i]);
      if (c == closing) {
        if (i == at + 1) return -1;
        const auto found = std::lower_bound(Keys.begin(), Keys.end(), NameKey{key, 0});
        return found != Keys.end() && found->Key == key ? found->Row : -1;
      }
      const bool nameChar = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
      if (!nameChar) return -1;
      key = (key << 8) | static_cast<Byte>(c);
    }
    return -1;
  }
};

const PatternIndex& EntityIndex() {
  static const PatternIndex index(kHtmlTagRows, kHtmlRowCount);
  return index;
}

const PatternIndex& TagRowIndex() {
  static const PatternIndex index(0, kHtmlTagRows);
  return index;
}

// Lets pending events run between blocks of text; false when the work is to
// stop.
bool KeepGoing(StageProgress& progress) {
  progress.Pump();
  return !progress.StopRequested();
}

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ---- Character references ----

// The longest HTML5 reference name.
constexpr std::size_t kLongestReferenceName = 32;

// A code point as a Windows-1251 byte, refusing the control characters
// other than the tab: a reference to one is left as written.
bool ReferenceByte(std::uint32_t codePoint, char& out) {
  if ((codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint < 0xA0)) return false;
  Byte byte = 0;
  if (!UnicodeToWin(codePoint, byte)) return false;
  out = static_cast<char>(byte);
  return true;
}

// What browsers read the numbers 128-159 of a numeric reference as: the
// characters of Windows-1252 there (0 where it has none).
constexpr std::uint16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsAsciiDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "&#N;" or "&#xH;" at text[at].
HtmlReference MatchNumeric(std::string_view text, std::size_t at) {
  HtmlReference ref;
  const std::size_t n = text.size();
  std::size_t i = at + 2;
  const bool hex = i < n && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  const std::size_t digits = i;
  std::uint32_t value = 0;
  for (; i < n && i - digits < (hex ? 6u : 7u); ++i) {
    const int digit = hex ? HexDigitValue(text[i]) : (IsAsciiDigit(text[i]) ? text[i] - '0' : -1);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
  }
  if (i == digits || i >= n || text[i] != ';') return ref;
  if (value >= 0x80 && value < 0xA0) value = kWindows1252High[value - 0x80];
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return ref;
  if (!ReferenceByte(value, ref.Bytes[0])) return ref;
  ref.Size = 1;
  ref.Length = i - at + 1;
  return ref;
}

// "&name;" at text[at]: a name of the table first (any case), then an
// HTML5 name.
HtmlReference MatchNamed(std::string_view text, std::size_t at) {
  HtmlReference ref;
  const int row = EntityIndex().Find(text, at, ';');
  if (row >= 0) {
    const HtmlRow& entry = HtmlTable[row];
    const bool capital = text[at + 1] >= 'A' && text[at + 1] <= 'Z';
    ref.Bytes[0] = entry.FollowsCase && capital ? static_cast<char>(UpperRus(static_cast<Byte>(entry.Replacement[0])))
                                                : entry.Replacement[0];
    ref.Size = 1;
    ref.Length = entry.Pattern.size();
    return ref;
  }
  const std::size_t n = text.size();
  std::size_t i = at + 1;
  while (i < n && i - at <= kLongestReferenceName && IsAsciiAlnum(text[i])) ++i;
  if (i == at + 1 || i >= n || text[i] != ';') return ref;
  const std::string_view name = text.substr(at + 1, i - at - 1);
  const auto found = std::lower_bound(HtmlNamedReferences.begin(), HtmlNamedReferences.end(), name,
                                      [](const HtmlNamedReference& r, std::string_view key) { return r.Name < key; });
  if (found == HtmlNamedReferences.end() || found->Name != name) return ref;
  if (!ReferenceByte(found->First, ref.Bytes[0])) return ref;
  ref.Size = 1;
  if (found->Second != 0) {
    if (!ReferenceByte(found->Second, ref.Bytes[1])) return {};
    ref.Size = 2;
  }
  ref.Length = i - at + 1;
  return ref;
}

// Whether a decoded character is one that markup is made of.
bool IsMarkupCharacter(char c) { return c == '<' || c == '>' || c == '"' || c == '\''; }

// ---- Markup ----

// The HTML element names, in ascending order.
constexpr std::string_view kElements[] = {
    "a",       "abbr",     "acronym",  "address", "applet",   "area",       "article",  "aside",      "audio",
    "b",       "base",     "basefont", "bdi",     "bdo",      "big",        "blink",    "blockquote", "body",
    "br",      "button",   "canvas",   "caption", "center",   "cite",       "code",     "col",        "colgroup",
    "data",    "datalist", "dd",       "del",     "details",  "dfn",        "dialog",   "dir",        "div",
    "dl",      "dt",       "em",       "embed",   "fieldset", "figcaption", "figure",   "font",       "footer",
    "form",    "frame",    "frameset", "h1",      "h2",       "h3",         "h4",       "h5",         "h6",
    "head",    "header",   "hgroup",   "hr",      "html",     "i",          "iframe",   "img",        "input",
    "ins",     "kbd",      "label",    "legend",  "li",       "link",       "main",     "map",        "mark",
    "marquee", "menu",     "meta",     "meter",   "nav",      "nobr",       "noframes", "noscript",   "object",
    "ol",      "optgroup", "option",   "output",  "p",        "param",      "picture",  "pre",        "progress",
    "q",       "rp",       "rt",       "ruby",    "s",        "samp",       "script",   "search",     "section",
    "select",  "small",    "source",   "span",    "strike",   "strong",     "style",    "sub",        "summary",
    "sup",     "table",    "tbody",    "td",      "template", "textarea",   "tfoot",    "th",         "thead",
    "time",    "title",    "tr",       "track",   "tt",       "u",          "ul",       "var",        "video",
    "wbr",
};
constexpr std::size_t kElementCount = std::size(kElements);
static_assert(std::is_sorted(std::begin(kElements), std::end(kElements)));
constexpr std::size_t kLongestElement = 10;

// The index of an element name (any case) in kElements, or -1.
int ElementIndex(std::string_view name) {
  if (name.size() > kLongestElement) return -1;
  char lower[kLongestElement];
  for (std::size_t i = 0; i < name.size(); ++i) lower[i] = AsciiLower(name[i]);
  const std::string_view key(lower, name.size());
  const auto* found = std::lower_bound(std::begin(kElements), std::end(kElements), key);
  return found != std::end(kElements) && *found == key ? static_cast<int>(found - std::begin(kElements)) : -1;
}

const int kScript = ElementIndex("script");
const int kStyle = ElementIndex("style");
const int kBr = ElementIndex("br");

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAttributeNameChar(char c) { return IsAsciiAlnum(c) || c == '-' || c == '_' || c == ':' || c == '.' || c == '@'; }

bool EqualsIgnoringCase(std::string_view text, std::size_t at, std::string_view lower) {
  if (at + lower.size() > text.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i)
    if (AsciiLower(text[at + i]) != lower[i]) return false;
  return true;
}

enum class MarkupKind { None, StartTag, EndTag, Comment, Declaration, Raw };

struct Markup {
  MarkupKind Kind = MarkupKind::None;
  // One past its end; for None where to look for markup again (after the
  // "<" at least: only "<" inside a quoted value lie before it).
  std::size_t End = 0;
  int Element = -1;
  bool QuotedValue = false;  // a start tag with a quoted attribute value
  bool HtmlDoctype = false;  // "<!DOCTYPE html"
};

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Recognises the markup that starts at a "<". Every search that looks far
// ahead (a closing quote, "-->", the end tag of a script or a style)
// remembers where it found nothing, so that no later search from there on
// looks again: the scan over a text stays linear however its "<", quotes
// and dashes lie.
class MarkupScanner {
 public:
  MarkupScanner(std::string_view text, const HtmlLiterals& literals) : text_(text), literals_(literals) {}

  // A character that stands for itself (a reference wrote it).
  bool Literal(std::size_t at) const {
    return !literals_.empty() && std::binary_search(literals_.begin(), literals_.end(), at);
  }
  // A tag written alone between quotes ("<p>", '</b>'), as code and text
  // about HTML quote one: it is quoted, not used.
  bool Quoted(std::size_t at, const Markup& m) const {
    if (m.Kind != MarkupKind::StartTag && m.Kind != MarkupKind::EndTag) return false;
    if (at == 0 || m.End >= text_.size()) return false;
    const char quote = text_[at - 1];
    return (quote == '"' || quote == '\'') && !Literal(at - 1) && Syntax(m.End, quote);
  }
  // The character c at `at`, not a literal one.
  bool Syntax(std::size_t at, char c) const { return at < text_.size() && text_[at] == c && !Literal(at); }

  Markup Match(std::size_t at) {
    const std::size_t n = text_.size();
    Markup none;
    none.End = at + 1;
    if (at + 1 >= n) return none;
    const char next = text_[at + 1];
    if (next == '!') {
      if (text_.compare(at, 4, "<!--") == 0) {
        const std::size_t end = FindCommentEnd(at + 4);
        if (end == kNotFound) return none;
        return {MarkupKind::Comment, end, -1, false, false};
      }
      if (!EqualsIgnoringCase(text_, at + 2, "doctype")) return none;
      Markup m = Declaration(at, at + 9);
      if (m.Kind != MarkupKind::None) {
        std::size_t p = at + 9;
        while (p < n && IsHtmlSpace(text_[p])) ++p;
        m.HtmlDoctype = p > at + 9 && EqualsIgnoringCase(text_, p, "html");
      }
      return m;
    }
    if (next == '?') return EqualsIgnoringCase(text_, at + 2, "xml") ? Declaration(at, at + 5) : none;
    const bool closing = next == '/';
    const std::size_t nameBegin = at + 1 + (closing ? 1 : 0);
    std::size_t p = nameBegin;
    while (p < n && p - nameBegin <= kLongestElement && IsAsciiAlnum(text_[p])) ++p;
    none.End = std::max(p, at + 1);
    if (p == nameBegin || IsAsciiDigit(text_[nameBegin])) return none;
    const int element = ElementIndex(text_.substr(nameBegin, p - nameBegin));
    if (element < 0 || p >= n) return none;
    if (closing) {
      while (p < n && IsHtmlSpace(text_[p])) ++p;
      none.End = p;
      if (!Syntax(p, '>')) return none;
      return {MarkupKind::EndTag, p + 1, element, false, false};
    }
    Markup tag{MarkupKind::StartTag, 0, element, false, false};
    if (!IsHtmlSpace(text_[p]) && text_[p] != '>' && text_[p] != '/') return none;
    bool separated = true;  // an attribute may begin here
    for (;;) {
      const std::size_t before = p;
      while (p < n && IsHtmlSpace(text_[p])) ++p;
      separated = separated || p > before;
      none.End = p;
      if (p >= n) return none;
      if (Syntax(p, '>')) break;
      if (Syntax(p, '/') && Syntax(p + 1, '>')) {
        ++p;
        break;
      }
      if (!separated || !IsAttributeNameChar(text_[p])) return none;
      while (p < n && IsAttributeNameChar(text_[p])) ++p;
      std::size_t q = p;
      while (q < n && IsHtmlSpace(text_[q])) ++q;
      if (!Syntax(q, '=')) {
        separated = false;
        continue;
      }
      p = q + 1;
      while (p < n && IsHtmlSpace(text_[p])) ++p;
      none.End = p;
      if (p >= n) return none;
      const char c = text_[p];
      if ((c == '"' || c == '\'') && !Literal(p)) {
        const std::size_t close = FindQuote(p + 1, c);
        if (close == kNotFound) return none;
        p = close + 1;
        tag.QuotedValue = true;
        separated = true;  // browsers take an attribute right after a quoted value
        continue;
      }
      const std::size_t value = p;
      while (p < n && (IsUnquotedValueChar(text_[p]) || (IsMarkupCharacter(text_[p]) && Literal(p)))) ++p;
      none.End = p;
      if (p == value) return none;
      separated = false;
    }
    tag.End = p + 1;
    if (element == kScript || element == kStyle) {
      const std::size_t end = FindRawEnd(tag.End, element == kScript ? 0 : 1);
      if (end != kNotFound) {
        tag.Kind = MarkupKind::Raw;
        tag.End = end;
      }
    }
    return tag;
  }

 private:
  static bool IsUnquotedValueChar(char c) {
    return !IsHtmlSpace(c) && c != '"' && c != '\'' && c != '=' && c != '<' && c != '>' && c != '`';
  }

  // "<!DOCTYPE ...>" or "<?xml ...>": to the first ">", with no "<" before it.
  Markup Declaration(std::size_t at, std::size_t from) const {
    Markup none;
    none.End = at + 1;
    for (std::size_t p = from; p < text_.size(); ++p) {
      if (Syntax(p, '>')) return {MarkupKind::Declaration, p + 1, -1, false, false};
      if (Syntax(p, '<')) {
        none.End = p;
        return none;
      }
    }
    none.End = text_.size();
    return none;
  }

  // The first quote c (not a literal one) at or after from.
  std::size_t FindQuote(std::size_t from, char c) {
    std::size_t& none = noQuote_[c == '"' ? 0 : 1];
    for (std::size_t p = from; p < none && p < text_.size(); ++p) {
      const void* found = std::memchr(text_.data() + p, c, text_.size() - p);
      if (found == nullptr) break;
      p = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
      if (!Literal(p)) return p;
    }
    none = std::min(none, from);
    return kNotFound;
  }

  // One past the first "-->" (its ">" not a literal one) at or after from.
  std::size_t FindCommentEnd(std::size_t from) {
    for (std::size_t p = from; p < noCommentEnd_;) {
      const std::size_t found = text_.find("-->", p);
      if (found == std::string_view::npos) break;
      if (!Literal(found + 2)) return found + 3;
      p = found + 1;
    }
    noCommentEnd_ = std::min(noCommentEnd_, from);
    return kNotFound;
  }

  // One past the end tag of a script (kind 0) or a style (1) at or after
  // from: "</script" or "</style" in any case, spaces, ">".
  std::size_t FindRawEnd(std::size_t from, int kind) {
    const std::string_view name = kind == 0 ? "script" : "style";
    std::size_t& none = noRawEnd_[kind];
    for (std::size_t p = from; p < none && p < text_.size(); ++p) {
      const void* found = std::memchr(text_.data() + p, '<', text_.size() - p);
      if (found == nullptr) break;
      p = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
      if (text_.compare(p, 2, "</") != 0 || Literal(p) || !EqualsIgnoringCase(text_, p + 2, name)) continue;
      std::size_t q = p + 2 + name.size();
      while (q < text_.size() && IsHtmlSpace(text_[q])) ++q;
      if (Syntax(q, '>')) return q + 1;
    }
    none = std::min(none, from);
    return kNotFound;
  }

  std::string_view text_;
  const HtmlLiterals& literals_;
  std::size_t noQuote_[2] = {kNotFound, kNotFound};
  std::size_t noCommentEnd_ = kNotFound;
  std::size_t noRawEnd_[2] = {kNotFound, kNotFound};
};

// Goes over the markup of a text in order, calling found(begin, markup)
// for each; found returns false to end the scan. Lets events run between
// blocks of text; returns where it stopped when asked to (kNotFound when
// it went through).
template <typename Found>
std::size_t ScanMarkup(std::string_view text, const HtmlLiterals& literals, StageProgress& progress, Found found) {
  MarkupScanner scanner(text, literals);
  const std::size_t n = text.size();
  std::size_t nextPoll = 0;
  for (std::size_t i = 0; i < n;) {
    if (i >= nextPoll) {
      if (!KeepGoing(progress)) return i;
      nextPoll = i + kBlock;
    }
    const std::size_t limit = std::min(n, nextPoll);
    const void* open = std::memchr(text.data() + i, '<', limit - i);
    if (open == nullptr) {
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(open) - text.data());
    if (at + 1 >= n || !OpensHtmlTag(text[at + 1]) || scanner.Literal(at)) {
      i = at + 1;
      continue;
    }
    const Markup markup = scanner.Match(at);
    if (markup.Kind == MarkupKind::None) {
      i = std::max(markup.End, at + 1);
      continue;
    }
    if (scanner.Quoted(at, markup)) {
      i = markup.End;
      continue;
    }
    if (!found(at, markup)) return kNotFound;
    i = markup.End;
  }
  return kNotFound;
}

// Carries the literal positions of a text through a pass that reads the text
// from left to right and writes a new one: the pass reports each run of
// characters it copies and each run it drops, in order.
class LiteralMover {
 public:
  explicit LiteralMover(const HtmlLiterals& literals) : in_(literals) {}

  // The input characters before `end` not yet reported were copied; the
  // first of them, at input position `from`, now stands at `to`.
  void Copied(std::size_t from, std::size_t end, std::size_t to) {
    for (; next_ < in_.size() && in_[next_] < end; ++next_) out_.push_back(in_[next_] - from + to);
  }
  // The input characters before `end` not yet reported were dropped.
  void Dropped(std::size_t end) {
    while (next_ < in_.size() && in_[next_] < end) ++next_;
  }
  // Whether the input character at `at` (not yet reported) is a literal one.
  bool IsLiteral(std::size_t at) {
    while (next_ < in_.size() && in_[next_] < at) ++next_;
    return next_ < in_.size() && in_[next_] == at;
  }
  HtmlLiterals Take() { return std::move(out_); }

 private:
  const HtmlLiterals& in_;
  std::size_t next_ = 0;
  HtmlLiterals out_;
};

// Carries places (boundaries between characters) through a pass that reads
// its input from left to right and writes a new text: the pass reports the
// runs it copies, the input it drops, and every time it takes back part of
// what it wrote. Without places to carry it does nothing. While the output
// is the input so far, the places stay where they are without being
// touched: a pass that changes nothing costs nothing here.
class PlaceMover {
 public:
  explicit PlaceMover(HtmlPlaces* places) : in_(places) {}

  // Input characters from..end were copied to the output from `to` on.
  void Copied(std::size_t from, std::size_t end, std::size_t to) {
    if (!in_ || (same_ && from == to)) return;
    Differ(from);
    for (; next_ < in_->size() && (*in_)[next_] < end; ++next_) {
      const std::size_t place = (*in_)[next_];
      out_.push_back(place < from ? to : place - from + to);
    }
  }
  // Input characters from..end were passed over with the output `to` long:
  // the places among them lie at `to`.
  void Dropped(std::size_t from, std::size_t end, std::size_t to) {
    if (!in_ || (same_ && from == to && end <= to + 1)) return;
    Differ(from);
    for (; next_ < in_->size() && (*in_)[next_] < end; ++next_) out_.push_back(to);
  }
  // The output was cut back to `size` once the input before `reached` was
  // done: the places moved so far lie at most there. Applied once at the
  // end, from the last cut back, so that places are never walked over again
  // for every cut.
  void CutTo(std::size_t size, std::size_t reached) {
    if (!in_) return;
    Differ(reached);
    if (!cuts_.empty() && cuts_.back().Placed == out_.size()) {
      cuts_.back().Size = std::min(cuts_.back().Size, size);
    } else {
      cuts_.push_back({out_.size(), size});
    }
  }
  // The pass ended at input position n with the output `to` long; the
  // places are replaced by their new positions.
  void Finish(std::size_t n, std::size_t to) {
    if (!in_ || (same_ && n == to)) return;
    Differ(std::min(n, to));
    for (; next_ < in_->size() && (*in_)[next_] <= n; ++next_) out_.push_back(to);
    std::size_t limit = static_cast<std::size_t>(-1);
    std::size_t cut = cuts_.size();
    for (std::size_t k = out_.size(); k-- > 0;) {
      while (cut > 0 && cuts_[cut - 1].Placed > k) limit = std::min(limit, cuts_[--cut].Size);
      out_[k] = std::min(out_[k], limit);
    }
    in_->swap(out_);
  }

 private:
  // The output is about to differ from the input from input position
  // `from` on: the places before it keep their positions.
  void Differ(std::size_t from) {
    if (!same_) return;
    same_ = false;
    out_.reserve(in_->size());
    next_ = static_cast<std::size_t>(std::lower_bound(in_->begin(), in_->end(), from) - in_->begin());
    out_.assign(in_->begin(), in_->begin() + static_cast<std::ptrdiff_t>(next_));
  }

  struct Cut {
    std::size_t Placed;  // places moved before the cut
    std::size_t Size;
  };
  HtmlPlaces* in_;
  bool same_ = true;  // the output so far is the input so far
  std::size_t next_ = 0;
  HtmlPlaces out_;
  std::vector<Cut> cuts_;
};

}  // namespace

HtmlReference MatchHtmlReference(std::string_view text, std::size_t at, bool html, bool utf8) {
  if (at + 3 >= text.size() || text[at] != '&') return {};
  HtmlReference ref = text[at + 1] == '#' ? MatchNumeric(text, at) : MatchNamed(text, at);
  if (ref.Length == 0) return ref;
  // Outside HTML only the characters beyond ASCII: "&amp;", "&lt;" and
  // the like are what plain text and code mean to write.
  if (!html)
    for (std::size_t i = 0; i < ref.Size; ++i)
      if (static_cast<Byte>(ref.Bytes[i]) < 0x80) return {};
  if (utf8) {
    std::string encoded;
    for (std::size_t i = 0; i < ref.Size; ++i) AppendUtf8(encoded, WinToUnicode(static_cast<Byte>(ref.Bytes[i])));
    if (encoded.size() > sizeof(ref.Bytes)) return {};
    std::memcpy(ref.Bytes, encoded.data(), encoded.size());
    ref.Size = encoded.size();
  }
  // Every reference is longer than what it stands for, which the in-place
  // rewriting relies on; one that were not stays.
  if (ref.Size >= ref.Length) return {};
  return ref;
}

bool IsUtf8Text(std::string_view text) {
  bool beyondAscii = false;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    // ASCII eight bytes at a time.
    std::uint64_t word = 0;
    if (i + 8 <= n && (std::memcpy(&word, text.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
      continue;
    }
    const Byte b = static_cast<Byte>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > n) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<Byte>(text[i + k]) & 0xC0) != 0x80) return false;
    const Byte second = static_cast<Byte>(text[i + 1]);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second >= 0xA0) || (b == 0xF0 && second < 0x90) ||
        (b == 0xF4 && second >= 0x90))
      return false;  // overlong forms, surrogates, beyond U+10FFFF
    beyondAscii = true;
    i += length;
  }
  return beyondAscii;
}

namespace {

// The reference at `at` as the stage decodes it. In a text that is not
// HTML a reference to a character beyond ASCII (a candidate) is decoded
// only where it touches a character beyond ASCII or another candidate, as
// the letters of a word written out as references do ("&#1087;&#1088;",
// "&laquo;ёлка&raquo;"): code that writes HTML keeps its "&#160;" and
// "&copy; 2024". candidateEnd is where the last candidate before `at`
// ended; a candidate found here moves it.
HtmlReference ReferenceAt(std::string_view text, std::size_t at, bool html, bool utf8, std::size_t& candidateEnd) {
  HtmlReference ref = MatchHtmlReference(text, at, html, utf8);
  if (html || ref.Length == 0) return ref;
  const std::size_t end = at + ref.Length;
  const bool before = at > 0 && (static_cast<Byte>(text[at - 1]) >= 0x80 || candidateEnd == at);
  const bool after =
      end < text.size() && (static_cast<Byte>(text[end]) >= 0x80 ||
                            (text[end] == '&' && MatchHtmlReference(text, end, false, utf8).Length != 0));
  candidateEnd = end;
  return before || after ? ref : HtmlReference{};
}

// Appends a decoded reference and notes where it stands.
void AppendReference(HtmlEntityPass& result, const HtmlReference& ref) {
  const std::size_t position = result.Text.size() + 1;
  for (std::size_t i = 0; i < ref.Size; ++i)
    if (IsMarkupCharacter(ref.Bytes[i])) result.Literals.push_back(position - 1 + i);
  result.Text.append(ref.Replacement());
  if (result.First == 0) result.First = position;
  result.Last = position;
}

// The entity phase over a text's lines, writing them each followed by CR
// LF as the passes after it read them (a reference never spans a break), so
// that a text with other breaks needs no copy in that form first. starts
// receives where each line's successor begins in the result.
HtmlEntityPass ReplaceEntitiesOfLines(const Text& text, bool html, bool utf8, StageProgress& progress,
                                      HtmlPlaces& starts) {
  HtmlEntityPass result;
  std::string& out = result.Text;
  out.reserve(text.Bytes().size() + text.size());
  starts.clear();
  starts.reserve(text.size());
  const std::size_t total = text.Bytes().size();
  std::size_t nextPoll = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view line = text[i];
    const std::size_t begin = text.Begin(i);
    if (!result.Broken && begin >= nextPoll) {
      progress.Progress(
          1, kHtmlRowCount,
          kHtmlTagRows + 1 + static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(begin) / total));
      if (KeepGoing(progress))
        nextPoll = begin + kBlock;
      else
        result.Broken = true;  // the rest is written as it is
    }
    std::size_t candidateEnd = kNotFound;
    for (std::size_t k = 0; k < line.size();) {
      const void* amp = result.Broken ? nullptr : std::memchr(line.data() + k, '&', line.size() - k);
      if (amp == nullptr) {
        out.append(line.substr(k));
        break;
      }
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(amp) - line.data());
      out.append(line.substr(k, at - k));
      const HtmlReference ref = ReferenceAt(line, at, html, utf8, candidateEnd);
      if (ref.Length == 0) {
        out += '&';
        k = at + 1;
        continue;
      }
      AppendReference(result, ref);
      k = at + ref.Length;
    }
    out.append("\r\n");
    starts.push_back(out.size());
  }
  if (!result.Broken) progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  return result;
}

}  // namespace

HtmlEntityPass ReplaceHtmlEntities(std::string_view text, bool html, bool utf8, StageProgress& progress,
                                   HtmlPlaces* places) {
  PlaceMover mover(places);
  HtmlEntityPass result;
  result.Text.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  std::size_t nextPoll = 0;
  std::size_t candidateEnd = kNotFound;
  while (i < n) {
    if (i >= nextPoll) {
      progress.Progress(
          1, kHtmlRowCount,
          kHtmlTagRows + 1 + static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(i) / n));
      if (!KeepGoing(progress)) {
        result.Broken = true;
        break;
      }
      nextPoll = i + kBlock;
    }
    const std::size_t limit = std::min(n, nextPoll);
    const void* amp = std::memchr(text.data() + i, '&', limit - i);
    if (amp == nullptr) {
      mover.Copied(i, limit, result.Text.size());
      result.Text.append(text.substr(i, limit - i));
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<const char*>(amp) - text.data();
    mover.Copied(i, at, result.Text.size());
    result.Text.append(text.substr(i, at - i));
    const HtmlReference ref = ReferenceAt(text, at, html, utf8, candidateEnd);
    if (ref.Length == 0) {
      mover.Copied(at, at + 1, result.Text.size());
      result.Text += '&';
      i = at + 1;
      continue;
    }
    mover.Dropped(at, at + ref.Length, result.Text.size());
    AppendReference(result, ref);
    i = at + ref.Length;
  }
  if (result.Broken) {
    mover.Copied(i, n, result.Text.size());
    result.Text.append(text.substr(i));
  } else {
    progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  }
  mover.Finish(n, result.Text.size());
  return result;
}

std::string JoinHtmlSpan(std::string_view text, std::size_t first, std::size_t last, HtmlLiterals* literals,
                         HtmlPlaces* places) {
  if (first == 0 || last < first || last > text.size()) return std::string(text);
  std::string result(text.substr(0, first - 1));
  result.reserve(text.size());
  const std::size_t spanStart = result.size();
  const HtmlLiterals none;
  LiteralMover mover(literals ? *literals : none);
  mover.Copied(0, spanStart, 0);
  PlaceMover placeMover(places);
  placeMover.Copied(0, spanStart, 0);
  // Deleting CR LF again and again until none is left is cancelling each LF
  // against the nearest CR before it that nothing but cancelled pairs
  // separates from it: a stack. Only a CR is ever taken back, so a literal
  // character keeps the place it is given.
  for (std::size_t i = spanStart; i < last; ++i) {
    const char c = text[i];
    placeMover.Dropped(i, i + 1, result.size());
    if (c == '\n' && result.size() > spanStart && result.back() == '\r') {
      result.pop_back();
      placeMover.CutTo(result.size(), i + 1);
    } else {
      if (IsMarkupCharacter(c)) mover.Copied(i, i + 1, result.size());
      result += c;
    }
  }
  mover.Copied(last, text.size(), result.size());
  placeMover.Copied(last, text.size(), result.size());
  result.append(text.substr(last));
  placeMover.Finish(text.size(), result.size());
  if (literals) *literals = mover.Take();
  return result;
}

std::string ReplaceHtmlTagRows(std::string_view text, HtmlLiterals& literals, StageProgress& progress, bool& broken,
                               HtmlPlaces* places) {
  const PatternIndex& index = TagRowIndex();
  LiteralMover mover(literals);
  PlaceMover placeMover(places);
  std::string result;
  result.reserve(text.size() + text.size() / 2);
  const std::size_t n = text.size();
  std::size_t i = 0;
  std::size_t nextPoll = 0;
  while (i < n) {
    if (i >= nextPoll) {
      if (!KeepGoing(progress)) {
        broken = true;
        mover.Copied(i, n, result.size());
        placeMover.Copied(i, n, result.size());
        result.append(text.substr(i));
        break;
      }
      nextPoll = i + kBlock;
    }
    const std::size_t limit = std::min(n, nextPoll);
    const void* open = std::memchr(text.data() + i, '<', limit - i);
    if (open == nullptr) {
      mover.Copied(i, limit, result.size());
      placeMover.Copied(i, limit, result.size());
      result.append(text.substr(i, limit - i));
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<const char*>(open) - text.data();
    mover.Copied(i, at, result.size());
    placeMover.Copied(i, at, result.size());
    result.append(text.substr(i, at - i));
    // A tag row's name holds no "<" or ">": its only characters that can be
    // literal ones are the two ends.
    const int row = mover.IsLiteral(at) ? -1 : index.Find(text, at, '>');
    const std::size_t end = row < 0 ? 0 : at + HtmlTable[row].Pattern.size();
    if (row < 0 || mover.IsLiteral(end - 1)) {
      mover.Copied(at, at + 1, result.size());
      placeMover.Copied(at, at + 1, result.size());
      result += '<';
      i = at + 1;
    } else {
      mover.Dropped(end);
      // The row's break stands where its "<" stood: a place inside the row
      // (a line joined to the one the "<" is on) comes after it.
      placeMover.Dropped(at, at + 1, result.size());
      result.append(HtmlTable[row].Replacement);
      placeMover.Dropped(at + 1, end, result.size());
      i = end;
    }
  }
  literals = mover.Take();
  placeMover.Finish(n, result.size());
  return result;
}

bool HasHtmlTagStart(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1))
    if (at + 1 < text.size() && OpensHtmlTag(text[at + 1])) return true;
  return false;
}

bool IsHtmlElementName(std::string_view name) { return ElementIndex(name) >= 0; }

namespace {

// The line that ends right before the line start `at` (> 0): where its
// characters begin and end, its break left out.
std::pair<std::size_t, std::size_t> LineBefore(std::string_view text, std::size_t at) {
  const std::size_t end = at - (text[at - 1] == '\n' && at >= 2 && text[at - 2] == '\r' ? 2 : 1);
  std::size_t begin = end;
  while (begin > 0 && text[begin - 1] != '\n' && text[begin - 1] != '\r') --begin;
  return {begin, end};
}

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// A line of a mail's header block: "Name: value", a folded line that goes
// on with a blank, or a MIME boundary ("--" and more).
bool IsHeaderLine(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ' ' || line[0] == '\t') return true;
  if (line.size() > 2 && line[0] == '-' && line[1] == '-' && line[2] != ' ') return true;
  std::size_t i = 0;
  while (i < line.size() && (IsAsciiAlnum(line[i]) || (i > 0 && line[i] == '-'))) ++i;
  return i > 0 && i < line.size() && line[i] == ':' && !IsAsciiDigit(line[0]);
}

// True when `at` begins a paragraph as the body of a mail or of one of its
// parts does: a line after a blank one, where the lines before, back to
// the blank lines before them, are a header block (or there are none).
// Source code that holds a page in a string has code before its blank
// line, not headers.
bool OpensParagraph(std::string_view text, std::size_t at) {
  if (at == 0 || (text[at - 1] != '\n' && text[at - 1] != '\r')) return false;
  auto line = LineBefore(text, at);
  if (!IsBlankLine(text.substr(line.first, line.second - line.first))) return false;
  while (line.first > 0) {
    line = LineBefore(text, line.first);
    if (!IsBlankLine(text.substr(line.first, line.second - line.first))) break;
  }
  for (;;) {
    const std::string_view content = text.substr(line.first, line.second - line.first);
    if (IsBlankLine(content)) return true;
    if (!IsHeaderLine(content)) return false;
    if (line.first == 0) return true;
    line = LineBefore(text, line.first);
  }
}

// True when nothing but spaces and tabs follows `at` on its line.
bool EndsLine(std::string_view text, std::size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  return at == text.size() || text[at] == '\r' || text[at] == '\n';
}

}  // namespace

bool HasHtmlEvidence(std::string_view text, StageProgress& progress, bool& stopped) {
  // Start tags seen so far, by element, for the end tags that close them.
  std::vector<bool> opened(kElementCount, false);
  int breaks = 0;
  bool evidence = false;  // markup only HTML has
  bool opens = false;     // markup opens the text or the body of a mail
  std::size_t first = text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 ? kByteOrderMark.size() : 0;
  while (first < text.size() && IsHtmlSpace(text[first])) ++first;
  const HtmlLiterals none;
  const std::size_t stop = ScanMarkup(text, none, progress, [&](std::size_t at, const Markup& m) {
    switch (m.Kind) {
      case MarkupKind::Declaration:
        evidence = evidence || m.HtmlDoctype;
        break;
      case MarkupKind::Raw:
        evidence = true;
        break;  // a script or a style with its end tag
      case MarkupKind::EndTag:
        evidence = evidence || opened[m.Element];
        break;
      case MarkupKind::StartTag: {
        const std::string_view name = kElements[m.Element];
        evidence = evidence || m.QuotedValue || name == "html" || name == "head" || name == "body" || name == "meta" ||
                   (m.Element == kBr && EndsLine(text, m.End) && ++breaks >= 2);
        opened[m.Element] = true;
        break;
      }
      default:
        break;
    }
    opens = opens || at == first || OpensParagraph(text, at);
    return !(evidence && opens);
  });
  stopped = stop != kNotFound;
  return evidence && opens && !stopped;
}

std::vector<HtmlSpan> FindHtmlMarkup(std::string_view text, const HtmlLiterals& literals, StageProgress& progress,
                                     bool& broken) {
  std::vector<HtmlSpan> spans;
  broken = ScanMarkup(text, literals, progress, [&](std::size_t at, const Markup& m) {
             spans.push_back({at, m.End});
             return true;
           }) != kNotFound;
  return spans;
}

HtmlTagPass RemoveHtmlTags(std::string_view text, const HtmlLiterals& literals, StageProgress& progress,
                           HtmlPlaces* places) {
  PlaceMover placeMover(places);
  HtmlTagPass pass;
  std::string& result = pass.Text;
  result.reserve(text.size());
  std::size_t copied = 0;  // the text before it is done
  const std::size_t stop = ScanMarkup(text, literals, progress, [&](std::size_t at, const Markup& m) {
    placeMover.Copied(copied, at, result.size());
    result.append(text.substr(copied, at - copied));
    placeMover.Dropped(at, m.End, result.size());
    copied = m.End;
    pass.Changed = true;
    return true;
  });
  pass.Broken = stop != kNotFound;
  placeMover.Copied(copied, text.size(), result.size());
  result.append(text.substr(copied));
  placeMover.Finish(text.size(), result.size());
  return pass;
}

namespace {

// The phases after the entities, each pass reading the text the one before
// wrote, which then goes: two copies of the text at most.
HtmlResult AfterEntities(HtmlEntityPass entities, StageProgress& progress, HtmlPlaces* places) {
  HtmlResult result;
  result.Broken = entities.Broken;
  result.Changed = entities.First != 0;
  result.Text = std::move(entities.Text);
  if (result.Changed) {
    // The line breaks between the first and the last entity go; the tag
    // rows give the lines instead. The joining is not interrupted.
    result.Text = JoinHtmlSpan(result.Text, entities.First, entities.Last, &entities.Literals, places);
    if (!result.Broken)
      result.Text = ReplaceHtmlTagRows(result.Text, entities.Literals, progress, result.Broken, places);
  }
  if (!result.Broken) {
    HtmlTagPass tags = RemoveHtmlTags(result.Text, entities.Literals, progress, places);
    result.Text = std::move(tags.Text);
    result.Changed = result.Changed || tags.Changed;
    result.Broken = tags.Broken;
  }
  return result;
}

}  // namespace

HtmlResult HtmlToText(std::string_view text, StageProgress& progress, HtmlPlaces* places) {
  bool stopped = false;
  const bool html = HasHtmlEvidence(text, progress, stopped);
  if (stopped) return {std::string(text), false, true};
  const bool utf8 = IsUtf8Text(text);
  if (html) return AfterEntities(ReplaceHtmlEntities(text, true, utf8, progress, places), progress, places);
  HtmlEntityPass references = ReplaceHtmlEntities(text, false, utf8, progress, places);
  return {std::move(references.Text), references.First != 0, references.Broken};
}

namespace {

// The lines of the stage's result: split at CR LF, CR and LF, each taking
// the break of the source line it stands in. starts holds, moved into the
// result, where each source line's successor began; a break of the result
// stands in the first source line whose successor begins after it. ends
// holds the source lines' breaks.
Text LinesOfResult(std::string_view bytes, const HtmlPlaces& starts, const std::vector<LineEnd>& ends) {
  Text lines;
  lines.Reserve(bytes.size() + bytes.size() / 16, ends.size());
  const std::size_t n = bytes.size();
  const std::size_t last = ends.size() - 1;
  std::size_t line = 0;
  for (std::size_t start = 0; start < n;) {
    const std::size_t at = FindLineBreak(bytes, start);
    if (at == n) {
      lines.AddLine(bytes.substr(start), ends[last]);
      break;
    }
    while (line < last && starts[line] <= at) ++line;
    const std::size_t next = at + (bytes[at] == '\r' && at + 1 < n && bytes[at + 1] == '\n' ? 2 : 1);
    lines.AddLine(bytes.substr(start, at - start),
                  next == n && ends[last] == LineEnd::None
                      ? LineEnd::None
                      : BreakOfPieces(ends[line], line > 0 ? ends[line - 1] : LineEnd::None));
    start = next;
  }
  return lines;
}

// The source lines again, out of their bytes each followed by CR LF, where
// starts says each line's successor begins.
Text SourceLines(std::string_view joined, const HtmlPlaces& starts, const std::vector<LineEnd>& ends) {
  Text lines;
  lines.Reserve(joined.size(), ends.size());
  std::size_t begin = 0;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    lines.AddLine(joined.substr(begin, starts[i] - 2 - begin), ends[i]);
    begin = starts[i];
  }
  return lines;
}

// The stage over the whole text at once: the lines each followed by CR LF
// go through the passes as one string; only the references when the text
// is not `html`. `entities` says whether the text holds a reference the
// stage decodes; without one the entity pass, which would write the text
// again unchanged, is left out.
bool WholeTextHtml(Text& text, StageProgress& progress, bool html, bool entities, bool utf8) {
  // The passes read the lines each followed by CR LF: the text's own bytes
  // when every break is one, a copy otherwise (and then the text goes). Only
  // the breaks of the lines and where each line's successor begins are kept
  // beside them, and every copy goes as soon as the next pass has read it,
  // so that the stage holds no more than two copies of the text at a time.
  std::vector<LineEnd> ends;
  ends.reserve(text.size());
  HtmlPlaces starts;
  starts.reserve(text.size());
  bool allCrLf = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    ends.push_back(text.End(i));
    allCrLf = allCrLf && ends.back() == LineEnd::CrLf;
  }
  std::string joined;
  HtmlEntityPass replaced;
  if (allCrLf) {
    for (std::size_t i = 0; i < text.size(); ++i) starts.push_back(text.ContentEnd(i) + 2);
    if (entities) replaced = ReplaceHtmlEntities(text.Bytes(), html, utf8, progress, &starts);
  } else if (entities) {
    // The entity phase writes the lines followed by CR LF itself; when it
    // replaced nothing, what it wrote is that copy.
    replaced = ReplaceEntitiesOfLines(text, html, utf8, progress, starts);
    text.clear();
    if (replaced.First == 0) joined.swap(replaced.Text);
  } else {
    joined.reserve(text.Bytes().size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      joined.append(text[i]);
      joined.append("\r\n");
      starts.push_back(joined.size());
    }
    text.clear();
  }
  const std::string_view input = allCrLf ? text.Bytes() : std::string_view(joined);

  HtmlResult result;
  if (replaced.First == 0) {
    // No entity: the tags are removed from the input itself.
    std::string().swap(replaced.Text);
    result.Broken = replaced.Broken;
    if (!result.Broken && html) {
      HtmlTagPass tags = RemoveHtmlTags(input, {}, progress, &starts);
      result.Text = std::move(tags.Text);
      result.Changed = tags.Changed;
      result.Broken = tags.Broken;
    }
  } else {
    text.clear();
    std::string().swap(joined);
    if (html) {
      result = AfterEntities(std::move(replaced), progress, &starts);
    } else {
      result.Changed = true;
      result.Broken = replaced.Broken;
      result.Text = std::move(replaced.Text);
    }
  }
  if (result.Changed) {
    text.clear();
    Text lines = LinesOfResult(result.Text, starts, ends);
    text.swap(lines);
  } else if (!allCrLf) {
    // Unchanged, the copy holds the source's lines where they were.
    Text lines = SourceLines(joined, starts, ends);
    text.swap(lines);
  }
  return result.Changed;
}

// True when the text's bytes, read as lines again, give its lines: no line
// holds a break of its own, and no line ended by CR is followed by an empty
// one ended by LF (the two would read as one CR LF). Where they do, what
// holds for the bytes holds for the lines each followed by CR LF, which the
// stage reads.
bool BytesShowTheLines(const Text& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text.End(i) == LineEnd::Cr && text.End(i + 1) == LineEnd::Lf && text.ContentEnd(i + 1) == text.Begin(i + 1))
      return false;
  return !HasBreakInside(text);
}

// Lines First..Last of a text and the bytes they span, breaks included,
// taken before the text is rewritten in place (a line's Begin reads the
// line before it, which the rewriting may have moved).
struct LineGroup {
  std::size_t First;
  std::size_t Last;
  std::size_t Begin;
  std::size_t End;
  LineEnd LastEnd;  // the break of line Last
};

// Lets events run once a block of bytes has been worked on; false when the
// work is to stop.
bool Poll(StageProgress& progress, std::size_t& done, std::size_t bytes) {
  done += bytes;
  if (done < kBlock) return true;
  done = 0;
  return KeepGoing(progress);
}

// Without references the markup is the only thing that changes, and its
// changes are local: each piece of markup goes with the breaks inside it,
// so a line that no markup touches comes through whole. The lines that
// markup touches are gathered into groups and rewritten in place: the
// group's bytes without the markup, split again at the breaks left, each
// keeping its own kind (the breaks a piece of markup held go with it, so
// lines it joined take the break of the last of them). False in `handled`
// when the whole-text passes are to run instead (a line that holds a break
// of its own, which the whole-text passes split once anything changed).
bool LocalHtml(Text& text, StageProgress& progress, bool& handled) {
  handled = true;
  const std::string_view bytes = text.Bytes();
  bool broken = false;
  const std::vector<HtmlSpan> spans = FindHtmlMarkup(bytes, {}, progress, broken);
  if (broken || spans.empty()) return false;
  if (!BytesShowTheLines(text)) {
    handled = false;
    return false;
  }
  std::vector<LineGroup> groups;
  std::size_t line = 0;
  for (const HtmlSpan& span : spans) {
    const std::size_t first = LineAt(text, span.Begin, line);
    line = LineAt(text, span.End - 1, first);
    if (!groups.empty() && first <= groups.back().Last) {
      groups.back().Last = line;
    } else {
      groups.push_back({first, line, text.Begin(first), 0, LineEnd::None});
    }
  }
  for (LineGroup& group : groups) {
    group.LastEnd = text.End(group.Last);
    group.End = text.ContentEnd(group.Last) + BreakBytes(group.LastEnd).size();
  }

  Text::Rewriter rewriter(text);
  std::size_t copied = 0;  // the lines before it are done
  std::size_t done = 0;
  std::size_t next = 0;  // the first span not yet cut out
  std::string kept;
  bool changed = false;
  for (const LineGroup& group : groups) {
    if (!Poll(progress, done, group.End - group.Begin)) break;  // the rest stays as it was
    changed = true;
    kept.clear();
    std::size_t from = group.Begin;
    for (; next < spans.size() && spans[next].Begin < group.End; ++next) {
      kept.append(bytes.substr(from, spans[next].Begin - from));
      from = spans[next].End;
    }
    kept.append(bytes.substr(from, group.End - from));
    rewriter.Keep(group.First - copied);
    rewriter.Drop(group.Last + 1 - group.First);
    for (std::size_t start = 0;;) {
      const std::size_t at = FindLineBreak(kept, start);
      if (at >= kept.size()) {
        rewriter.Add(std::string_view(kept).substr(start), group.LastEnd);
        break;
      }
      const bool crlf = kept[at] == '\r' && at + 1 < kept.size() && kept[at + 1] == '\n';
      rewriter.Add(std::string_view(kept).substr(start, at - start),
                   crlf ? LineEnd::CrLf : (kept[at] == '\r' ? LineEnd::Cr : LineEnd::Lf));
      start = at + (crlf ? 2 : 1);
      if (start == kept.size()) break;
    }
    copied = group.Last + 1;
  }
  if (changed) rewriter.Finish();
  return changed;
}

// True when the text holds a reference the stage decodes (as in an HTML
// text when `html`); false too when asked to stop (then `stopped`).
bool HasHtmlReference(std::string_view bytes, bool html, bool utf8, StageProgress& progress, bool& stopped) {
  const std::size_t n = bytes.size();
  std::size_t candidateEnd = kNotFound;
  for (std::size_t block = 0; block < n; block += kBlock) {
    // Between blocks (a reference found in the first costs no event): the
    // entity pass that follows moves the bar and polls from its start.
    if (block > 0) {
      progress.Progress(
          1, kHtmlRowCount,
          kHtmlTagRows + 1 + static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(block) / n));
      if (!KeepGoing(progress)) {
        stopped = true;
        return false;
      }
    }
    const std::size_t limit = std::min(n, block + kBlock);
    for (std::size_t at = block; at < limit; ++at) {
      const void* amp = std::memchr(bytes.data() + at, '&', limit - at);
      if (amp == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const char*>(amp) - bytes.data());
      if (ReferenceAt(bytes, at, html, utf8, candidateEnd).Length != 0) return true;
    }
  }
  progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  return false;
}

// A text that is not HTML: its references decoded line by line, in place
// (a reference is longer than what it stands for, and none stands for a
// line break); the other lines stay where they are.
bool PlainReferences(Text& text, bool utf8, StageProgress& progress) {
  Text::Rewriter rewriter(text);
  bool changed = false;
  std::size_t copied = 0;  // the lines before it are done
  std::size_t done = 0;
  std::size_t begin = 0;  // where line i begins
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Read before the rewriting reaches the line.
    const std::size_t contentEnd = text.ContentEnd(i);
    const LineEnd end = text.End(i);
    const std::string_view line = text.Bytes().substr(begin, contentEnd - begin);
    begin = contentEnd + BreakBytes(end).size();
    if (!Poll(progress, done, line.size() + 1)) break;  // the rest stays as it was
    decoded.clear();
    std::size_t from = 0;
    std::size_t candidateEnd = kNotFound;
    for (std::size_t at = line.find('&'); at != std::string_view::npos; at = line.find('&', at + 1)) {
      const HtmlReference ref = ReferenceAt(line, at, false, utf8, candidateEnd);
      if (ref.Length == 0) continue;
      decoded.append(line.substr(from, at - from));
      decoded.append(ref.Replacement());
      from = at + ref.Length;
      at = from - 1;
    }
    if (from == 0) continue;
    decoded.append(line.substr(from));
    rewriter.Keep(i - copied);
    rewriter.Drop(1);
    rewriter.Add(decoded, end);
    copied = i + 1;
    changed = true;
  }
  if (changed) rewriter.Finish();
  return changed;
}

}  // namespace

bool DecodeHtml(Text& text, StageProgress& progress) {
  progress.Status(progress.Tr("Checking HTML...", "Проверка HTML..."));
  bool stopped = false;
  bool html = false;
  if (BytesShowTheLines(text)) {
    html = HasHtmlEvidence(text.Bytes(), progress, stopped);
  } else {
    // The stage reads the lines each followed by CR LF.
    std::string joined;
    joined.reserve(text.Bytes().size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) joined.append(text[i]).append("\r\n");
    html = HasHtmlEvidence(joined, progress, stopped);
  }
  bool changed = false;
  // Without "&" there is no reference, and no need to know the encoding.
  const bool utf8 = !stopped && text.Bytes().find('&') != std::string_view::npos && IsUtf8Text(text.Bytes());
  if (!stopped && !html) {
    // A line that holds a break of its own is split there once anything
    // changed, as the whole-text passes split it.
    if (HasHtmlReference(text.Bytes(), false, utf8, progress, stopped) && !stopped)
      changed = HasBreakInside(text) ? WholeTextHtml(text, progress, false, true, utf8)
                                     : PlainReferences(text, utf8, progress);
  } else if (!stopped) {
    const bool references = HasHtmlReference(text.Bytes(), true, utf8, progress, stopped);
    if (!stopped) {
      bool handled = false;
      if (!references) changed = LocalHtml(text, progress, handled);
      if (!handled) changed = WholeTextHtml(text, progress, true, references, utf8);
    }
  }
  progress.Progress(0, 1, 0);
  progress.Status("");
  return changed;
}

}  // namespace kamvo
