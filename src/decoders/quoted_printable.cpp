#include "decoders/quoted_printable.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codepages/ascii.h"
#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/mime.h"
#include "decoders/text_lines.h"

namespace kamvo {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Asked before each unit of work (a group, a line or a run of lines passed
// through) with the index of the
// last source line consumed so far (-1 at the start): moves the bar at most
// about a thousand times (each move lets pending events run, so Stop is
// seen between groups) and gives false when the work is to stop.
class EscapeTicker {
 public:
  EscapeTicker(StageProgress& progress, std::size_t lineCount)
      : progress_(progress),
        lineCount_(static_cast<int>(std::min<std::size_t>(lineCount, INT_MAX))),
        step_(std::max(1, lineCount_ / 1000)) {}

  bool KeepGoing(long lastConsumed) {
    if (!anyShown_ || lastConsumed - shown_ >= step_) {
      anyShown_ = true;
      shown_ = lastConsumed;
      progress_.Progress(1, lineCount_, static_cast<int>(std::min<long>(lastConsumed, INT_MAX)));
    }
    return !progress_.StopRequested();
  }

 private:
  StageProgress& progress_;
  const int lineCount_;
  const long step_;
  long shown_ = 0;
  bool anyShown_ = false;
};

char Lead(HexEscape kind) {
  switch (kind) {
    case HexEscape::QuotedPrintable: return '=';
    case HexEscape::Percent: return '%';
    case HexEscape::Rtf: return '\\';
  }
  return '=';
}

std::size_t EscapeLength(HexEscape kind) { return kind == HexEscape::Rtf ? 4 : 3; }

bool IsHigh(char c) { return static_cast<Byte>(c) >= 0x80; }

constexpr HexEscape kHexKinds[] = {HexEscape::QuotedPrintable, HexEscape::Percent, HexEscape::Rtf};

bool Enabled(HexEscape kind, const EscapeSwitches& switches) {
  return kind == HexEscape::Rtf ? switches.Rtf : switches.QP;
}

// What the passes would find in a string, position by position, while none
// of them has changed it. Escapes of one kind never overlap: an escape's
// later characters are "'" or hex digits, never the character that starts
// one, so every escape start is seen whichever escapes precede it, and every
// byte 0x80 and above is a literal. The same holds for numeric references,
// which hold no "&" after their first character. So each pass's figures are
// plain sums over the positions of the string.
struct Tally {
  std::int64_t escapes[3] = {0, 0, 0};
  std::int64_t highEscapes[3] = {0, 0, 0};
  std::int64_t highLiterals = 0;
  std::int64_t references = 0;

  // Adds what the position at the start of rest contributes; rest runs to
  // the end of the string.
  void Add(std::string_view rest, const EscapeSwitches& switches) {
    const char c = rest[0];
    if (IsHigh(c)) {
      ++highLiterals;
      return;
    }
    for (int k = 0; k < 3; ++k) {
      if (c != Lead(kHexKinds[k]) || !Enabled(kHexKinds[k], switches)) continue;
      const int value = MatchHexEscape(rest, kHexKinds[k]);
      if (value < 0) continue;
      ++escapes[k];
      if (value >= 0x80) ++highEscapes[k];
    }
    std::size_t length = 0;
    if (c == '&' && switches.Html && MatchNumericReference(rest, length) >= 0) ++references;
  }

  // Whether a group with these figures would be accepted.
  bool Accepts(const EscapeSwitches& switches) const {
    for (int k = 0; k < 3; ++k)
      if (Enabled(kHexKinds[k], switches) && (highEscapes[k] > highLiterals || escapes[k] > 10)) return true;
    return references > 0;
  }
};

struct ChainSearch {
  std::size_t last = 0;       // last line of the group that starts at `first`
  std::size_t accepted = kNone;  // first start line whose group is accepted
  bool stopped = false;
};

// Before the first accepted group, a rejected group gives out only its first
// line, and the next group starts at the line after it, so the groups that
// start at first, first + 1, ... are tried one after the other and overlap.
// Trying each of them afresh takes time quadratic in a run of soft breaks.
//
// Instead the group that starts at `first` is built once, and every group
// that starts inside it is followed along: while both last, the later
// group's joined string is the tail of the earlier one's from where the
// later group began (the earlier one is longer, so it breaks wherever the
// later one does, removing the same "="). A later group can end sooner:
// when its own string is under four characters, it keeps the final "=" that
// the longer ones remove, and it ends. So the open groups form a stack of
// start offsets into the one string; at each line the newest ones, under
// four characters, end, and the rest end together when the chain ends,
// where one backward sweep over the string sums the figures of each.
ChainSearch SearchChain(const Text& source, std::size_t first, const EscapeSwitches& switches,
                        EscapeTicker& ticker) {
  struct Open {
    std::size_t line;
    std::size_t start;
  };
  ChainSearch result;
  std::string joined;
  std::vector<Open> open;
  const std::size_t count = source.size();

  auto sweep = [&] {
    Tally tally;
    std::size_t p = joined.size();
    const std::string_view view(joined);
    while (!open.empty()) {
      const Open group = open.back();
      open.pop_back();
      while (p > group.start) {
        --p;
        tally.Add(view.substr(p), switches);
      }
      if (tally.Accepts(switches)) result.accepted = std::min(result.accepted, group.line);
    }
  };

  for (std::size_t k = first;; ++k) {
    if (!ticker.KeepGoing(static_cast<long>(k) - 1)) {
      result.stopped = true;
      return result;
    }
    result.last = k;
    open.push_back({k, joined.size()});
    joined += TrimTrailingControls(source[k]);
    if (joined.empty() || joined.back() != '=') {
      sweep();
      return result;
    }
    // Groups of fewer than four characters keep their "=" and end here.
    // None of them can be accepted: an escape of three characters or more
    // would have to end in the "=", which is no hex digit, and a reference
    // needs six.
    while (!open.empty() && joined.size() - open.back().start < 4) open.pop_back();
    if (open.empty()) return result;
    joined.pop_back();  // the soft line break
    if (k + 1 == count) {
      sweep();
      return result;
    }
  }
}

}  // namespace

int MatchHexEscape(std::string_view rest, HexEscape kind) {
  const std::size_t length = EscapeLength(kind);
  if (rest.size() < length || rest[0] != Lead(kind)) return -1;
  if (kind == HexEscape::Rtf && rest[1] != '\'') return -1;
  const int high = HexDigitValue(rest[length - 2]);
  const int low = HexDigitValue(rest[length - 1]);
  if (high < 0 || low < 0) return -1;
  return high * 16 + low;
}

int MatchNumericReference(std::string_view rest, std::size_t& length) {
  if (rest.size() < 6 || rest[0] != '&' || rest[1] != '#') return -1;
  // The first ";" must follow within the next five characters, so the number
  // has at most four digits; the search never looks further.
  std::size_t semicolon = 2;
  while (semicolon <= 6 && rest[semicolon] != ';') ++semicolon;
  if (semicolon > 6 || semicolon == 2) return -1;
  std::uint32_t value = 0;
  for (std::size_t i = 2; i < semicolon; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return -1;
    value = value * 10 + static_cast<std::uint32_t>(rest[i] - '0');
  }
  Byte byte = 0;
  if (!UnicodeToWin(value, byte)) return -1;
  length = semicolon + 1;
  return byte;
}

bool DecodeHexPass(std::string& text, HexEscape kind) {
  std::string scratch;
  return DecodeHexPass(text, kind, scratch);
}

bool DecodeHexPass(std::string& text, HexEscape kind, std::string& scratch) {
  const char lead = Lead(kind);
  // Without a single escape start the pass cannot be accepted.
  if (text.find(lead) == std::string::npos) return false;
  const std::string_view view(text);
  const std::size_t length = EscapeLength(kind);
  std::string& decoded = scratch;
  decoded.clear();
  decoded.reserve(text.size());
  std::int64_t escapes = 0, highEscapes = 0, highLiterals = 0;
  for (std::size_t p = 0; p < view.size();) {
    const char c = view[p];
    if (c == lead) {
      const int value = MatchHexEscape(view.substr(p), kind);
      if (value >= 0) {
        decoded += static_cast<char>(value);
        ++escapes;
        if (value >= 0x80) ++highEscapes;
        p += length;
        continue;
      }
    }
    if (IsHigh(c)) ++highLiterals;
    decoded += c;
    ++p;
  }
  if (highEscapes <= highLiterals && escapes <= 10) return false;
  text.swap(decoded);
  return true;
}

int DecodeNumericReferences(std::string& text) {
  std::string scratch;
  return DecodeNumericReferences(text, scratch);
}

int DecodeNumericReferences(std::string& text, std::string& scratch) {
  if (text.find("&#") == std::string::npos) return 0;
  const std::string_view view(text);
  std::string& decoded = scratch;
  decoded.clear();
  decoded.reserve(text.size());
  int count = 0;
  for (std::size_t p = 0; p < view.size();) {
    std::size_t length = 0;
    const int value = view[p] == '&' ? MatchNumericReference(view.substr(p), length) : -1;
    if (value >= 0) {
      decoded += static_cast<char>(value);
      ++count;
      p += length;
    } else {
      decoded += view[p];
      ++p;
    }
  }
  text.swap(decoded);
  return count;
}

std::size_t JoinLineGroup(const Text& source, std::size_t first, std::string& joined) {
  joined.clear();
  for (std::size_t k = first;; ++k) {
    joined += TrimTrailingControls(source[k]);
    if (joined.size() < 4 || joined.back() != '=') return k;
    joined.pop_back();  // soft line break
    if (k + 1 == source.size()) return k;
  }
}

bool DecodeLineGroup(std::string& joined, const EscapeSwitches& switches, EscapeCounters& counters) {
  std::string scratch;
  return DecodeLineGroup(joined, switches, counters, scratch);
}

bool DecodeLineGroup(std::string& joined, const EscapeSwitches& switches, EscapeCounters& counters,
                     std::string& scratch) {
  bool accepted = false;
  if (switches.QP) {
    if (DecodeHexPass(joined, HexEscape::QuotedPrintable, scratch)) {
      ++counters.QPCount;
      accepted = true;
    }
    if (DecodeHexPass(joined, HexEscape::Percent, scratch)) {
      ++counters.SevenBitCount;
      accepted = true;
    }
  }
  if (switches.Rtf && DecodeHexPass(joined, HexEscape::Rtf, scratch)) {
    ++counters.RtfCount;
    accepted = true;
  }
  if (switches.Html) counters.HtmlCount += DecodeNumericReferences(joined, scratch);
  return accepted;
}

namespace {

// Finds the lines a group can start at and change. A line the stage's own
// per-line rule calls inert starts a group of that line alone (it does not
// end in a soft break) in which nothing decodes; such a group is written
// trimmed, so once groups are written it changes the line only when the
// line ends in a blank or control byte. The finder looks at a line's bytes
// only where one search through the whole block finds an escape lead in
// it; before any group is written it jumps straight to that line.
class TouchFinder {
 public:
  TouchFinder(const Text& text, const EscapeSwitches& switches)
      : text_(text), bytes_(text.Bytes()), switches_(switches) {}

  // The first line at or after `from` that a group starting there may
  // change (text.size() when there is none); `trimming` once groups are
  // written trimmed.
  std::size_t Next(std::size_t from, bool trimming) {
    const std::size_t count = text_.size();
    std::size_t i = from;
    while (i < count) {
      const std::size_t begin = text_.Begin(i);
      if (lead_ < begin || lead_ == kUnsearched) lead_ = FindAnyByte(bytes_, kEscapeLeads, begin);
      if (!trimming) {
        if (lead_ == std::string_view::npos) return count;
        // A lead is never a break byte: it lies in the bytes of this line.
        i = LineAt(text_, lead_, i);
        if (i == count) return count;
        if (!EscapeLineInert(text_[i], switches_)) return i;
        ++i;
        continue;
      }
      const std::size_t end = text_.ContentEnd(i);
      if (end > begin && IsBlankOrControl(bytes_[end - 1])) return i;
      if (lead_ < end && !EscapeLineInert(text_[i], switches_)) return i;
      ++i;
    }
    return count;
  }

 private:
  static constexpr std::size_t kUnsearched = static_cast<std::size_t>(-2);
  const Text& text_;
  const std::string_view bytes_;
  const EscapeSwitches& switches_;
  std::size_t lead_ = kUnsearched;  // the next lead at or after the line looked at last, or npos
};

// Decodes like DecodeEscapedLines, but builds `out` only from the first
// accepted group on (or from the start when a reference was decoded
// before): result.Rewritten says whether it did; when not, the text is the
// source as it is. The lines no group can change are copied in runs.
EscapeResult DecodeInto(const Text& source, Text& out, const EscapeSwitches& switches,
                        EscapeCounters& counters, StageProgress& progress) {
  EscapeResult result;
  EscapeTicker ticker(progress, source.size());
  TouchFinder finder(source, switches);
  const std::size_t count = source.size();
  // Once a group has been accepted (or a reference decoded) every group is
  // written decoded.
  bool accepting = false;
  // The lines from `copied` to `next` are written as they are once a
  // group or the end follows them.
  std::size_t copied = 0;
  const auto startOutput = [&](std::size_t upTo) {
    // Decoding and trimming only shorten lines, and groups have fewer lines
    // than they join: the source's sizes hold the result.
    out.clear();
    out.Reserve(source.Bytes().size(), count);
    out.AppendLines(source, 0, upTo);
    copied = upTo;
    accepting = true;
    result.Rewritten = true;
  };
  if (counters.HtmlCount > 0) startOutput(0);
  std::string joined, scratch;
  std::size_t next = 0;
  while (next < count) {
    const std::size_t touched = finder.Next(next, accepting);
    if (touched > next) {
      // A run of lines that pass through as they are: one unit of work.
      if (!ticker.KeepGoing(static_cast<long>(next) - 1)) {
        result.Stopped = true;
        return result;
      }
      // Once groups are written, each of these lines is one, written as it is.
      if (accepting) result.Converted = true;
      next = touched;
      if (next == count) break;
    }
    if (!accepting) {
      const ChainSearch search = SearchChain(source, next, switches, ticker);
      if (search.stopped) {
        result.Stopped = true;
        return result;
      }
      // Lines before the accepted group pass through as they are.
      if (search.accepted == kNone) {
        next = search.last + 1;
        continue;
      }
      next = search.accepted;
      startOutput(next);
    } else if (!ticker.KeepGoing(static_cast<long>(next) - 1)) {
      result.Stopped = true;
      return result;
    }
    out.AppendLines(source, copied, next);
    const std::size_t last = JoinLineGroup(source, next, joined);
    DecodeLineGroup(joined, switches, counters, scratch);
    result.Converted = true;
    out.AddLine(joined, source.End(last));
    next = last + 1;
    copied = next;
  }
  if (result.Rewritten) out.AppendLines(source, copied, count);
  return result;
}

// The passes after =XX (%XX, \'xx, &#N;) over one line or decoded group;
// true when one of them changed it.
bool LaterPasses(std::string& line, const EscapeSwitches& switches, EscapeCounters& counters,
                 std::string& scratch) {
  bool changed = false;
  if (switches.QP && DecodeHexPass(line, HexEscape::Percent, scratch)) {
    ++counters.SevenBitCount;
    changed = true;
  }
  if (switches.Rtf && DecodeHexPass(line, HexEscape::Rtf, scratch)) {
    ++counters.RtfCount;
    changed = true;
  }
  if (switches.Html) {
    const int references = DecodeNumericReferences(line, scratch);
    counters.HtmlCount += references;
    changed = changed || references > 0;
  }
  return changed;
}

// A mail: each line by its role. Header fields that hold encoded words are
// decoded (one line for a folded field); quoted-printable parts are
// decoded as they declare it, their soft breaks joined; boundary lines,
// other header lines and Base64 bodies pass through untouched; the lines
// of other parts get the later passes only.
EscapeResult DecodeMailInto(const Text& source, const MimeLayout& mail, Text& out, const EscapeSwitches& switches,
                            EscapeCounters& counters, StageProgress& progress) {
  EscapeResult result;
  EscapeTicker ticker(progress, source.size());
  const std::size_t count = source.size();
  out.clear();
  out.Reserve(source.Bytes().size() + source.Bytes().size() / 8, count);
  std::size_t copied = 0;  // lines from here up to the current one pass through
  std::size_t field = 0;   // the next field with encoded words
  std::string joined, scratch;
  const auto emit = [&](std::size_t first, std::size_t last, std::string_view line) {
    out.AppendLines(source, copied, first);
    out.AddLine(line, source.End(last));
    copied = last + 1;
    result.Converted = result.Rewritten = true;
  };
  for (std::size_t i = 0; i < count;) {
    if (!ticker.KeepGoing(static_cast<long>(i) - 1)) {
      result.Stopped = true;
      return result;
    }
    const MimeRole role = mail.Roles[i];
    while (field < mail.Fields.size() && mail.Fields[field].Begin < i) ++field;
    if (role == MimeRole::Header && switches.QP && field < mail.Fields.size() && mail.Fields[field].Begin == i) {
      const MimeField& f = mail.Fields[field];
      joined.clear();
      for (std::size_t k = f.Begin; k < f.End; ++k) joined += source[k];
      if (DecodeEncodedWords(joined, mail.TextCharset)) {
        ++counters.QPCount;
        emit(f.Begin, f.End - 1, joined);
      }
      i = f.End;
      continue;
    }
    if (role == MimeRole::QuotedPrintable && switches.QP) {
      // A group: the line and those its soft breaks join to it, within the part.
      joined.clear();
      std::size_t k = i;
      for (;; ++k) {
        joined += TrimTrailingControls(source[k]);
        if (joined.empty() || joined.back() != '=' || k + 1 == count || mail.Roles[k + 1] != MimeRole::QuotedPrintable)
          break;
        joined.pop_back();
      }
      std::string decoded = DecodeQuotedPrintableText(joined);
      LaterPasses(decoded, switches, counters, scratch);
      if (k > i || decoded != source[i]) {
        ++counters.QPCount;
        emit(i, k, decoded);
      }
      i = k + 1;
      continue;
    }
    if (role == MimeRole::Text || role == MimeRole::Plain || role == MimeRole::QuotedPrintable) {
      const std::string_view line = source[i];
      if (line.find_first_of(kEscapeLeads) != std::string_view::npos) {
        joined.assign(line);
        if (LaterPasses(joined, switches, counters, scratch)) emit(i, i, joined);
      }
    }
    ++i;
  }
  if (result.Rewritten) out.AppendLines(source, copied, count);
  return result;
}

EscapeResult DecodeAny(const Text& source, Text& out, const EscapeSwitches& switches, EscapeCounters& counters,
                       StageProgress& progress) {
  if (MayBeMail(source)) {
    const MimeLayout mail = ScanMime(source);
    if (mail.IsMail) return DecodeMailInto(source, mail, out, switches, counters, progress);
  }
  return DecodeInto(source, out, switches, counters, progress);
}

}  // namespace

EscapeResult DecodeEscapedLines(const Text& source, Text& out, const EscapeSwitches& switches,
                                EscapeCounters& counters, StageProgress& progress) {
  EscapeResult result = DecodeAny(source, out, switches, counters, progress);
  if (!result.Stopped && !result.Rewritten) out = source;
  return result;
}

namespace {

constexpr bool IsEscapeLead(char c) { return c == '=' || c == '%' || c == '\\' || c == '&'; }

// The next lead after the one at `at`, or npos: the few bytes after it are
// looked at one by one before the block search takes over, so that a line
// dense with leads costs no search for each of them.
std::size_t NextEscapeLead(std::string_view line, std::size_t at) {
  const std::size_t peekEnd = std::min(line.size(), at + 16);
  for (std::size_t next = at + 1; next < peekEnd; ++next)
    if (IsEscapeLead(line[next])) return next;
  return peekEnd < line.size() ? FindAnyByte(line, kEscapeLeads, peekEnd) : std::string_view::npos;
}

}  // namespace

bool EscapeLineInert(std::string_view line, const EscapeSwitches& switches) {
  for (std::size_t at = FindAnyByte(line, kEscapeLeads); at != std::string_view::npos;
       at = NextEscapeLead(line, at)) {
    const std::string_view rest = line.substr(at);
    switch (line[at]) {
      case '=':
        if (TrimTrailingControls(line).ends_with('=')) return false;
        if (switches.QP && MatchHexEscape(rest, HexEscape::QuotedPrintable) >= 0) return false;
        break;
      case '%':
        if (switches.QP && MatchHexEscape(rest, HexEscape::Percent) >= 0) return false;
        break;
      case '\\':
        if (switches.Rtf && MatchHexEscape(rest, HexEscape::Rtf) >= 0) return false;
        break;
      default: {  // '&'
        std::size_t length = 0;
        if (switches.Html && MatchNumericReference(rest, length) >= 0) return false;
      }
    }
  }
  return true;
}

bool EscapesInert(const Text& text, const EscapeSwitches& switches, const EscapeCounters& counters) {
  if (counters.HtmlCount != 0) return false;
  // A mail's encoded words and quoted-printable parts are decoded whatever
  // their escapes look like.
  if (switches.QP && MayBeMail(text)) {
    const MimeLayout mail = ScanMime(text);
    if (!mail.Fields.empty() ||
        std::any_of(mail.Parts.begin(), mail.Parts.end(),
                    [](const MimePart& part) { return part.Encoding == MimeRole::QuotedPrintable; }))
      return false;
  }
  // A line without an escape lead is inert: only the lines the leads are
  // found in are looked at, in one search through the whole block.
  return EveryTextLineHolding(
      text, [](std::string_view bytes, std::size_t from) { return FindAnyByte(bytes, kEscapeLeads, from); },
      [&](std::string_view line) { return EscapeLineInert(line, switches); });
}

bool DecodeEscapes(Text& text, const EscapeSwitches& switches, EscapeCounters& counters,
                   StageProgress& progress) {
  progress.Status(progress.Tr("Checking quoted printable...", "Проверка quoted printable..."));
  Text decoded;
  const EscapeResult result = DecodeAny(text, decoded, switches, counters, progress);
  // A stop anywhere during the stage leaves the text as it was before it;
  // without an accepted group the text is its own result.
  if (result.Rewritten && !result.Stopped && !progress.StopRequested()) text.swap(decoded);
  progress.Progress(0, 1, 0);
  progress.Status("");
  return result.Converted;
}

}  // namespace kamvo
