#include "decoders/html.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "codepages/ascii.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"

namespace kamvo {

const std::array<HtmlRow, kHtmlRowCount> HtmlTable = {{
    {"<BR>", "\r\n", false},      {"<P>", "\r\n", false},       {"<LI>", "\r\n", false},
    {"<TR>", "\r\n", false},      {"</TR>", "\r\n", false},     {"&NBSP;", " ", false},
    {"&QUOT;", "\"", false},      {"&ACUTE;", "'", false},      {"&SHY;", "-", false},
    {"&SUP1;", "\xB9", false},    {"&GT;", ">", false},         {"&LT;", "<", false},
    {"&UML;", "\xA8", false},     {"&CEDIL;", "\xB8", false},   {"&TIMES;", "\xD7", false},
    {"&DIVIDE;", "\xF7", false},  {"&SZLIG;", "\xDF", false},   {"&YUML;", "\xFF", false},
    {"&AGRAVE;", "\xE0", true},   {"&AACUTE;", "\xE1", true},   {"&ACIRC;", "\xE2", true},
    {"&ATILDE;", "\xE3", true},   {"&AUML;", "\xE4", true},     {"&ARING;", "\xE5", true},
    {"&AELIG;", "\xE6", true},    {"&CCEDIL;", "\xE7", true},   {"&EGRAVE;", "\xE8", true},
    {"&EACUTE;", "\xE9", true},   {"&ECIRC;", "\xEA", true},    {"&EUML;", "\xEB", true},
    {"&IGRAVE;", "\xEC", true},   {"&IACUTE;", "\xED", true},   {"&ICIRC;", "\xEE", true},
    {"&IUML;", "\xEF", true},     {"&ETH;", "\xF0", true},      {"&NTILDE;", "\xF1", true},
    {"&OGRAVE;", "\xF2", true},   {"&OACUTE;", "\xF3", true},   {"&OCIRC;", "\xF4", true},
    {"&OTILDE;", "\xF5", true},   {"&OUML;", "\xF6", true},     {"&OSLASH;", "\xF8", true},
    {"&UGRAVE;", "\xF9", true},   {"&UACUTE;", "\xFA", true},   {"&UCIRC;", "\xFB", true},
    {"&UUML;", "\xFC", true},     {"&YACUTE;", "\xFD", true},   {"&THORN;", "\xFE", true},
}};

namespace {

// Events run and the user break is tested once per block of this many bytes.
constexpr std::size_t kBlock = 64 * 1024;

// Why single passes give the results of replacing "the first occurrence,
// again and again, row by row": every pattern starts with its opening
// character ("&" or "<"), ends with its closing one (";" or ">") and holds
// neither inside, so two occurrences never overlap; and no replacement
// holds a character of any pattern, so a replacement never joins its
// neighbours into a new occurrence. The result is therefore every
// occurrence of the original text replaced, whatever the order.

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

}  // namespace

HtmlEntityPass ReplaceHtmlEntities(std::string_view text, StageProgress& progress) {
  const PatternIndex& index = EntityIndex();
  HtmlEntityPass result;
  result.Text.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  std::size_t nextPoll = 0;
  while (i < n) {
    if (i >= nextPoll) {
      progress.Progress(1, kHtmlRowCount,
                        kHtmlTagRows + 1 +
                            static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(i) / n));
      if (!KeepGoing(progress)) {
        result.Broken = true;
        break;
      }
      nextPoll = i + kBlock;
    }
    const std::size_t limit = std::min(n, nextPoll);
    const void* amp = std::memchr(text.data() + i, '&', limit - i);
    if (amp == nullptr) {
      result.Text.append(text.substr(i, limit - i));
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<const char*>(amp) - text.data();
    result.Text.append(text.substr(i, at - i));
    const int row = index.Find(text, at, ';');
    if (row < 0) {
      result.Text += '&';
      i = at + 1;
      continue;
    }
    const HtmlRow& entry = HtmlTable[row];
    const std::size_t position = result.Text.size() + 1;
    const bool capital = text[at + 1] >= 'A' && text[at + 1] <= 'Z';
    if (entry.Replacement == "<" || entry.Replacement == ">") result.Literals.push_back(position - 1);
    result.Text += entry.FollowsCase && capital ? UpperCaseRus(entry.Replacement) : std::string(entry.Replacement);
    if (result.First == 0) result.First = position;
    result.Last = position;
    i = at + entry.Pattern.size();
  }
  if (result.Broken) {
    result.Text.append(text.substr(i));
  } else {
    progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  }
  return result;
}

std::string JoinHtmlSpan(std::string_view text, std::size_t first, std::size_t last, HtmlLiterals* literals) {
  if (first == 0 || last < first || last > text.size()) return std::string(text);
  std::string result(text.substr(0, first - 1));
  result.reserve(text.size());
  const std::size_t spanStart = result.size();
  const HtmlLiterals none;
  LiteralMover mover(literals ? *literals : none);
  mover.Copied(0, spanStart, 0);
  // Deleting CR LF again and again until none is left is cancelling each LF
  // against the nearest CR before it that nothing but cancelled pairs
  // separates from it: a stack. Only a CR is ever taken back, so a literal
  // "<" or ">" keeps the place it is given.
  for (std::size_t i = spanStart; i < last; ++i) {
    const char c = text[i];
    if (c == '\n' && result.size() > spanStart && result.back() == '\r') {
      result.pop_back();
    } else {
      if (c == '<' || c == '>') mover.Copied(i, i + 1, result.size());
      result += c;
    }
  }
  mover.Copied(last, text.size(), result.size());
  result.append(text.substr(last));
  if (literals) *literals = mover.Take();
  return result;
}

std::string ReplaceHtmlTagRows(std::string_view text, HtmlLiterals& literals, StageProgress& progress,
                               bool& broken) {
  const PatternIndex& index = TagRowIndex();
  LiteralMover mover(literals);
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
        result.append(text.substr(i));
        break;
      }
      nextPoll = i + kBlock;
    }
    const std::size_t limit = std::min(n, nextPoll);
    const void* open = std::memchr(text.data() + i, '<', limit - i);
    if (open == nullptr) {
      mover.Copied(i, limit, result.size());
      result.append(text.substr(i, limit - i));
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<const char*>(open) - text.data();
    mover.Copied(i, at, result.size());
    result.append(text.substr(i, at - i));
    // A tag row's name holds no "<" or ">": its only characters that can be
    // literal ones are the two ends.
    const int row = mover.IsLiteral(at) ? -1 : index.Find(text, at, '>');
    const std::size_t end = row < 0 ? 0 : at + HtmlTable[row].Pattern.size();
    if (row < 0 || mover.IsLiteral(end - 1)) {
      mover.Copied(at, at + 1, result.size());
      result += '<';
      i = at + 1;
    } else {
      mover.Dropped(end);
      result.append(HtmlTable[row].Replacement);
      i = end;
    }
  }
  literals = mover.Take();
  return result;
}

bool HasHtmlTagStart(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1))
    if (at + 1 < text.size() && OpensHtmlTag(text[at + 1])) return true;
  return false;
}

HtmlTagPass RemoveHtmlTags(std::string_view text, const HtmlLiterals& literals, StageProgress& progress) {
  // A "<" that opens a tag is closed by the first ">" after it. When the tag
  // holds two or more LF, the scan goes on right after that "<", so the next
  // opening "<" before the same ">" gets its chance, and so on. Each opening
  // "<" since the last closing ">" is therefore a candidate; at a ">" the
  // first candidate with fewer than two LF up to it wins and everything from
  // it to the ">" goes. A candidate two LF behind can never win any more, so
  // only the candidates of the current and the previous line are kept, and
  // the first of them is the winner. Whether a "<" opens a tag depends on
  // the character after it, which no deletion changes: a deletion starts at
  // a "<" that is scanned after it, and what follows the deleted part has
  // not been scanned yet.
  struct Candidate {
    std::size_t Position;  // in the result
    std::size_t LfBefore;  // LF in the result before it
  };
  std::vector<Candidate> candidates;
  LiteralMover mover(literals);
  HtmlTagPass pass;
  std::string& result = pass.Text;
  result.reserve(text.size());
  std::size_t lineFeeds = 0;
  const std::size_t n = text.size();
  std::size_t nextPoll = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i >= nextPoll) {
      if (!KeepGoing(progress)) {
        pass.Broken = true;
        result.append(text.substr(i));
        break;
      }
      nextPoll = i + kBlock;
    }
    const char c = text[i];
    if (c == '<' && i + 1 < n && OpensHtmlTag(text[i + 1]) && !mover.IsLiteral(i)) {
      candidates.push_back({result.size(), lineFeeds});
      result += c;
    } else if (c == '>' && !candidates.empty() && !mover.IsLiteral(i)) {
      result.resize(candidates.front().Position);
      lineFeeds = candidates.front().LfBefore;
      pass.Changed = true;
      candidates.clear();
    } else {
      result += c;
      if (c == '\n') {
        ++lineFeeds;
        auto live = std::find_if(candidates.begin(), candidates.end(),
                                 [&](const Candidate& k) { return lineFeeds - k.LfBefore < 2; });
        candidates.erase(candidates.begin(), live);
      }
    }
  }
  return pass;
}

HtmlResult HtmlToText(std::string_view text, StageProgress& progress) {
  HtmlResult result;
  HtmlEntityPass entities = ReplaceHtmlEntities(text, progress);
  result.Broken = entities.Broken;
  result.Changed = entities.First != 0;
  result.Text = std::move(entities.Text);
  if (result.Changed) {
    // The line breaks between the first and the last entity go; the tag
    // rows give the lines instead. The joining is not interrupted.
    result.Text = JoinHtmlSpan(result.Text, entities.First, entities.Last, &entities.Literals);
    if (!result.Broken) result.Text = ReplaceHtmlTagRows(result.Text, entities.Literals, progress, result.Broken);
  }
  if (!result.Broken) {
    HtmlTagPass tags = RemoveHtmlTags(result.Text, entities.Literals, progress);
    result.Text = std::move(tags.Text);
    result.Changed = result.Changed || tags.Changed;
    result.Broken = tags.Broken;
  }
  return result;
}

bool HtmlInert(const Lines& text) {
  for (const std::string& line : text)
    if (!HtmlTextInert(line)) return false;
  return true;
}

bool DecodeHtml(Lines& text, StageProgress& progress) {
  progress.Status(progress.Tr("Checking HTML...", "Проверка HTML..."));
  HtmlResult result = HtmlToText(JoinLines(text), progress);
  progress.Progress(0, 1, 0);
  progress.Status("");
  if (result.Changed) text = SplitLines(result.Text);
  return result.Changed;
}

}  // namespace kamvo
