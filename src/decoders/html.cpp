#include "decoders/html.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "codepages/ascii.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "decoders/text_lines.h"

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

namespace {

// Appends the replacement of the entity of table row `row` that text holds
// at `at`, and notes where it stands.
void AppendEntity(HtmlEntityPass& result, std::string_view text, std::size_t at, int row) {
  const HtmlRow& entry = HtmlTable[row];
  const std::size_t position = result.Text.size() + 1;
  const bool capital = text[at + 1] >= 'A' && text[at + 1] <= 'Z';
  if (entry.Replacement == "<" || entry.Replacement == ">") result.Literals.push_back(position - 1);
  result.Text += entry.FollowsCase && capital ? UpperCaseRus(entry.Replacement) : std::string(entry.Replacement);
  if (result.First == 0) result.First = position;
  result.Last = position;
}

// The entity phase over a text's lines, writing them each followed by CR
// LF as the passes after it read them (an entity never spans a break), so
// that a text with other breaks needs no copy in that form first. starts
// receives where each line's successor begins in the result.
HtmlEntityPass ReplaceEntitiesOfLines(const Text& text, StageProgress& progress, HtmlPlaces& starts) {
  const PatternIndex& index = EntityIndex();
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
      progress.Progress(1, kHtmlRowCount,
                        kHtmlTagRows + 1 +
                            static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(begin) / total));
      if (KeepGoing(progress))
        nextPoll = begin + kBlock;
      else
        result.Broken = true;  // the rest is written as it is
    }
    for (std::size_t k = 0; k < line.size();) {
      const void* amp = result.Broken ? nullptr : std::memchr(line.data() + k, '&', line.size() - k);
      if (amp == nullptr) {
        out.append(line.substr(k));
        break;
      }
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(amp) - line.data());
      out.append(line.substr(k, at - k));
      const int row = index.Find(line, at, ';');
      if (row < 0) {
        out += '&';
        k = at + 1;
        continue;
      }
      AppendEntity(result, line, at, row);
      k = at + HtmlTable[row].Pattern.size();
    }
    out.append("\r\n");
    starts.push_back(out.size());
  }
  if (!result.Broken) progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  return result;
}

}  // namespace

HtmlEntityPass ReplaceHtmlEntities(std::string_view text, StageProgress& progress, HtmlPlaces* places) {
  const PatternIndex& index = EntityIndex();
  PlaceMover mover(places);
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
      mover.Copied(i, limit, result.Text.size());
      result.Text.append(text.substr(i, limit - i));
      i = limit;
      continue;
    }
    const std::size_t at = static_cast<const char*>(amp) - text.data();
    mover.Copied(i, at, result.Text.size());
    result.Text.append(text.substr(i, at - i));
    const int row = index.Find(text, at, ';');
    if (row < 0) {
      mover.Copied(at, at + 1, result.Text.size());
      result.Text += '&';
      i = at + 1;
      continue;
    }
    mover.Dropped(at, at + HtmlTable[row].Pattern.size(), result.Text.size());
    AppendEntity(result, text, at, row);
    i = at + HtmlTable[row].Pattern.size();
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
  // "<" or ">" keeps the place it is given.
  for (std::size_t i = spanStart; i < last; ++i) {
    const char c = text[i];
    placeMover.Dropped(i, i + 1, result.size());
    if (c == '\n' && result.size() > spanStart && result.back() == '\r') {
      result.pop_back();
      placeMover.CutTo(result.size(), i + 1);
    } else {
      if (c == '<' || c == '>') mover.Copied(i, i + 1, result.size());
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

std::string ReplaceHtmlTagRows(std::string_view text, HtmlLiterals& literals, StageProgress& progress,
                               bool& broken, HtmlPlaces* places) {
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

HtmlTagPass RemoveHtmlTags(std::string_view text, const HtmlLiterals& literals, StageProgress& progress,
                           HtmlPlaces* places) {
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
  PlaceMover placeMover(places);
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
        placeMover.Copied(i, n, result.size());
        result.append(text.substr(i));
        break;
      }
      nextPoll = i + kBlock;
    }
    placeMover.Dropped(i, i + 1, result.size());
    const char c = text[i];
    if (c == '<' && i + 1 < n && OpensHtmlTag(text[i + 1]) && !mover.IsLiteral(i)) {
      candidates.push_back({result.size(), lineFeeds});
      result += c;
    } else if (c == '>' && !candidates.empty() && !mover.IsLiteral(i)) {
      result.resize(candidates.front().Position);
      placeMover.CutTo(result.size(), i + 1);
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
  placeMover.Finish(n, result.size());
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
  return AfterEntities(ReplaceHtmlEntities(text, progress, places), progress, places);
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
                  next == n && ends[last] == LineEnd::None ? LineEnd::None : BreakOfPieces(ends[line], line > 0 ? ends[line - 1] : LineEnd::None));
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
// go through the passes as one string. `entities` says whether the text
// holds an entity of the table; without one the entity pass, which would
// write the text again unchanged, is left out.
bool WholeTextHtml(Text& text, StageProgress& progress, bool entities) {
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
    if (entities) replaced = ReplaceHtmlEntities(text.Bytes(), progress, &starts);
  } else if (entities) {
    // The entity phase writes the lines followed by CR LF itself; when it
    // replaced nothing, what it wrote is that copy.
    replaced = ReplaceEntitiesOfLines(text, progress, starts);
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
    if (!result.Broken) {
      HtmlTagPass tags = RemoveHtmlTags(input, {}, progress, &starts);
      result.Text = std::move(tags.Text);
      result.Changed = tags.Changed;
      result.Broken = tags.Broken;
    }
  } else {
    text.clear();
    std::string().swap(joined);
    result = AfterEntities(std::move(replaced), progress, &starts);
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

// A text part the tag phase works on alone: lines First..Last. The text is
// rewritten in place while later segments are still to be read, so what
// they need of the lines before them is taken when they are found.
struct TagSegment {
  std::size_t First;
  std::size_t Last;
  std::size_t Begin;     // where line First begins
  LineEnd EndBefore;     // the break of the line before it (LF for none)
};

// Without entities the tag phase is the only one that changes the text,
// and its changes are local: a tag opens at a "<" followed by what opens
// one and closes at a ">" fewer than two line breaks on, so a tag that
// opens on line k lies within lines k and k + 1, and a line that neither
// it nor the line before it opens a tag on comes through whole, with no
// tag pending at its start. The lines that may change are gathered into
// segments of such windows; a segment runs through the passes on its own,
// as its lines each followed by CR LF, exactly as the whole text would.
// Segments larger than this send the text through the whole-text passes,
// so that the stage never holds a third copy of a large part of it.
constexpr std::size_t kMaxSegmentBytes = 4 * 1024 * 1024;

// The segments of a text without entities, in order; false when one is
// too large, or when asked to stop (then `stopped`).
bool FindTagSegments(const Text& text, std::vector<TagSegment>& segments, StageProgress& progress,
                     bool& stopped) {
  const std::string_view bytes = text.Bytes();
  const std::size_t n = bytes.size();
  const std::size_t count = text.size();
  std::size_t line = 0;
  std::size_t nextPoll = 0;
  for (std::size_t at = 0; at < n; ++at) {
    if (at >= nextPoll) {
      if (!KeepGoing(progress)) {
        stopped = true;
        return false;
      }
      nextPoll = at + kBlock;
    }
    const void* open = std::memchr(bytes.data() + at, '<', std::min(n, nextPoll) - at);
    if (open == nullptr) {
      at = std::min(n, nextPoll) - 1;
      continue;
    }
    at = static_cast<std::size_t>(static_cast<const char*>(open) - bytes.data());
    // A "<" at a line's end is followed by a break byte, or by nothing.
    if (at + 1 >= n || !OpensHtmlTag(bytes[at + 1])) continue;
    line = LineAt(text, at, line);
    const std::size_t last = std::min(line + 1, count - 1);
    if (!segments.empty() && line <= segments.back().Last)
      segments.back().Last = std::max(segments.back().Last, last);
    else
      segments.push_back({line, last, text.Begin(line), line > 0 ? text.End(line - 1) : LineEnd::Lf});
    const TagSegment& segment = segments.back();
    if (text.ContentEnd(segment.Last) - text.Begin(segment.First) > kMaxSegmentBytes) return false;
  }
  return true;
}

// Runs the tag phase over lines segment.First..segment.Last and, when it
// changed them, appends the lines of its result to out, each taking the
// break of the source line it stands in (as the whole-text passes give
// them). Returns whether they changed.
bool SegmentTags(const Text& text, const TagSegment& segment, Text& out, std::string& joined) {
  joined.clear();
  HtmlPlaces starts;
  starts.reserve(segment.Last - segment.First + 1);
  const std::string_view source = text.Bytes();
  for (std::size_t i = segment.First, begin = segment.Begin; i <= segment.Last; ++i) {
    joined.append(source.substr(begin, text.ContentEnd(i) - begin));
    joined.append("\r\n");
    starts.push_back(joined.size());
    begin = text.ContentEnd(i) + BreakBytes(text.End(i)).size();
  }
  // The break of the lines made out of line k (as BreakOfPieces gives it).
  const auto pieceBreak = [&](std::size_t k) {
    if (text.End(k) != LineEnd::None) return text.End(k);
    const LineEnd before = k > segment.First ? text.End(k - 1) : segment.EndBefore;
    return before != LineEnd::None ? before : LineEnd::Lf;
  };
  const HtmlTagPass tags = RemoveHtmlTags(joined, {}, NoProgress(), &starts);
  if (!tags.Changed) return false;
  const std::string_view bytes = tags.Text;
  const std::size_t n = bytes.size();
  const std::size_t lastOfText = text.size() - 1;
  const std::size_t lines = segment.Last - segment.First;
  std::size_t line = 0;
  for (std::size_t start = 0; start < n;) {
    const std::size_t at = FindLineBreak(bytes, start);
    if (at == n) {
      out.AddLine(bytes.substr(start), text.End(segment.Last));
      break;
    }
    while (line < lines && starts[line] <= at) ++line;
    const std::size_t next = at + (bytes[at] == '\r' && at + 1 < n && bytes[at + 1] == '\n' ? 2 : 1);
    const bool endOfText = next == n && segment.Last == lastOfText && text.End(lastOfText) == LineEnd::None;
    out.AddLine(bytes.substr(start, at - start), endOfText ? LineEnd::None : pieceBreak(segment.First + line));
    start = next;
  }
  return true;
}

// True when the text holds an entity of the table; false too when asked to
// stop (then `stopped`).
bool HasHtmlEntity(std::string_view bytes, StageProgress& progress, bool& stopped) {
  const PatternIndex& index = EntityIndex();
  const std::size_t n = bytes.size();
  for (std::size_t block = 0; block < n; block += kBlock) {
    // Between blocks (an entity found in the first costs no event): the
    // entity pass that follows moves the bar and polls from its start.
    if (block > 0) {
      progress.Progress(1, kHtmlRowCount,
                        kHtmlTagRows + 1 +
                            static_cast<int>((kHtmlRowCount - kHtmlTagRows - 1) * static_cast<double>(block) / n));
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
      if (index.Find(bytes, at, ';') >= 0) return true;
    }
  }
  progress.Progress(1, kHtmlRowCount, kHtmlRowCount);
  return false;
}

// The stage for a text without entities, segment by segment, in place: the
// tag phase only deletes, and without lines that hold a break of their own
// every break of its result is a source line's own, so the result is never
// longer than the source. The lines between segments stay where they are
// until the first segment that changed; from there on they are moved down
// in runs. False in `handled` when the whole-text passes are to run instead
// (a segment too large, or a line that holds a break of its own, which the
// whole-text passes split once anything changed).
bool LocalHtml(Text& text, StageProgress& progress, bool& handled) {
  handled = true;
  bool stopped = false;
  std::vector<TagSegment> segments;
  if (!FindTagSegments(text, segments, progress, stopped)) {
    handled = stopped;
    return false;
  }
  Text::Rewriter rewriter(text);
  bool changed = false;
  std::size_t copied = 0;  // the lines before it are done
  std::size_t done = 0;    // bytes of segments worked on since the last poll
  std::string joined;
  Text lines;
  for (const TagSegment& segment : segments) {
    done += text.ContentEnd(segment.Last) - segment.Begin;
    if (done >= kBlock) {
      done = 0;
      // On a stop the lines not yet worked on stay as they were.
      if (!KeepGoing(progress)) break;
    }
    lines.clear();
    if (!SegmentTags(text, segment, lines, joined)) continue;
    if (!changed && HasBreakInside(text)) {
      handled = false;
      return false;
    }
    changed = true;
    rewriter.Keep(segment.First - copied);
    rewriter.Drop(segment.Last + 1 - segment.First);
    for (std::size_t i = 0; i < lines.size(); ++i) rewriter.Add(lines[i], lines.End(i));
    copied = segment.Last + 1;
  }
  if (changed) rewriter.Finish();
  return changed;
}

}  // namespace

bool DecodeHtml(Text& text, StageProgress& progress) {
  progress.Status(progress.Tr("Checking HTML...", "Проверка HTML..."));
  bool stopped = false;
  const bool entities = HasHtmlEntity(text.Bytes(), progress, stopped);
  bool changed = false;
  if (!stopped) {
    bool handled = false;
    if (!entities) changed = LocalHtml(text, progress, handled);
    if (!handled) changed = WholeTextHtml(text, progress, entities);
  }
  progress.Progress(0, 1, 0);
  progress.Status("");
  return changed;
}

}  // namespace kamvo
