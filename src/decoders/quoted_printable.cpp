#include "decoders/quoted_printable.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codepages/ascii.h"
#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/binary.h"
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
    case HexEscape::QuotedPrintable:
      return '=';
    case HexEscape::Percent:
      return '%';
    case HexEscape::Rtf:
      return '\\';
  }
  return '=';
}

std::size_t EscapeLength(HexEscape kind) { return kind == HexEscape::Rtf ? 4 : 3; }

bool IsHigh(char c) { return static_cast<Byte>(c) >= 0x80; }

bool IsControlEscape(int value) { return value < 0x20 && value != '\t' && value != '\n' && value != '\r'; }

// What the =XX pass finds in a string, position by position. Escapes never
// overlap (an escape's later characters are hex digits, never "="), so
// every escape start is seen whichever escapes precede it, every byte 0x80
// and above is a literal, and the figures of a tail of the string are sums
// over its positions: a backward sweep gives those of every tail.
struct Tally {
  std::int64_t highEscapes = 0;
  std::int64_t highLiterals = 0;
  std::int64_t controls = 0;  // escapes of control bytes other than TAB, LF and CR
  bool run = false;           // two escapes of high bytes side by side
  // Where the nearest escape of a high byte after the positions swept so
  // far starts (none at first).
  std::size_t highEscapeAt = kNone;

  // Adds position p of the string (sweeping backward).
  void Add(std::string_view text, std::size_t p) {
    const char c = text[p];
    if (IsHigh(c)) {
      ++highLiterals;
      return;
    }
    if (c != '=') return;
    const int value = MatchHexEscape(text.substr(p), HexEscape::QuotedPrintable);
    if (value < 0) return;
    if (value >= 0x80) {
      ++highEscapes;
      if (highEscapeAt == p + 3) run = true;
      highEscapeAt = p;
    } else if (IsControlEscape(value)) {
      ++controls;
    }
  }

  bool Accepts(bool weak) const {
    const EscapeEvidence evidence{highEscapes, highLiterals, controls, run};
    return QuotedPrintableAccepted(evidence, weak);
  }
};

struct ChainSearch {
  std::size_t last = 0;          // last line of the group that starts at `first`
  std::size_t accepted = kNone;  // first start line whose group is accepted
  bool stopped = false;
  std::string joined;             // the chain's joined string
  std::size_t acceptedStart = 0;  // where the accepted group's string begins in it
  std::string decoded;            // the accepted group decoded, when `decodedReady`
  bool decodedReady = false;
};

// The =XX escapes of text decoded into out, and what they show, in one
// forward pass.
EscapeEvidence DecodeCounting(std::string_view text, std::string& out) {
  EscapeEvidence e;
  out.clear();
  out.reserve(text.size());
  std::size_t highEnd = kNone;  // where the last escape of a high byte ended
  for (std::size_t p = 0; p < text.size();) {
    const char c = text[p];
    const int value = c == '=' ? MatchHexEscape(text.substr(p), HexEscape::QuotedPrintable) : -1;
    if (value < 0) {
      if (IsHigh(c)) ++e.HighLiterals;
      out += c;
      ++p;
      continue;
    }
    out += static_cast<char>(value);
    if (value >= 0x80) {
      ++e.HighEscapes;
      if (highEnd == p) e.Run = true;
      highEnd = p + 3;
    } else if (IsControlEscape(value)) {
      ++e.Controls;
    }
    p += 3;
  }
  return e;
}

// The groups that start at first, first + 1, ... are tried one after the
// other and overlap: when the group at a line is not accepted, that line
// stands alone and the group of the next line is tried. Trying each of
// them afresh takes time quadratic in a run of soft breaks.
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
// Groups end before line `limit`; the group at `first` is judged by the
// weak rule when `weakFirst`.
ChainSearch SearchChain(const Text& source, std::size_t first, std::size_t limit, bool weakFirst,
                        EscapeTicker& ticker) {
  struct Open {
    std::size_t line;
    std::size_t start;
  };
  ChainSearch result;
  std::string& joined = result.joined;
  std::vector<Open> open;

  auto sweep = [&] {
    // Mostly the group of the first line is the one: tried forward, it is
    // decoded on the way.
    if (open.front().line == first && QuotedPrintableAccepted(DecodeCounting(joined, result.decoded), weakFirst)) {
      result.accepted = first;
      result.acceptedStart = 0;
      result.decodedReady = true;
      open.clear();
      return;
    }
    Tally tally;
    std::size_t p = joined.size();
    const std::string_view view(joined);
    while (!open.empty()) {
      const Open group = open.back();
      open.pop_back();
      while (p > group.start) tally.Add(view, --p);
      if (tally.Accepts(weakFirst && group.line == first) && group.line < result.accepted) {
        result.accepted = group.line;
        result.acceptedStart = group.start;
      }
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
    // None of them can be accepted: an escape would have to end in the
    // "=", which is no hex digit.
    while (!open.empty() && joined.size() - open.back().start < 4) open.pop_back();
    if (open.empty()) return result;
    joined.pop_back();  // the soft line break
    if (k + 1 == limit) {
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

std::size_t JoinLineGroup(const Text& source, std::size_t first, std::string& joined, std::size_t limit) {
  if (limit > source.size()) limit = source.size();
  joined.clear();
  for (std::size_t k = first;; ++k) {
    joined += TrimTrailingControls(source[k]);
    if (joined.size() < 4 || joined.back() != '=') return k;
    joined.pop_back();  // soft line break
    if (k + 1 >= limit) return k;
  }
}

bool QuotedPrintableAccepted(const EscapeEvidence& e, bool weak) {
  if (e.Controls > 0 || e.HighEscapes <= e.HighLiterals) return false;
  return weak ? e.HighEscapes > 0 : e.Run;
}

EscapeEvidence QuotedPrintableEvidence(std::string_view text) {
  EscapeEvidence e;
  bool previousHigh = false;  // the last escape was of a high byte and ended here
  std::size_t previousEnd = kNone;
  for (std::size_t p = 0; p < text.size();) {
    const int value = text[p] == '=' ? MatchHexEscape(text.substr(p), HexEscape::QuotedPrintable) : -1;
    if (value < 0) {
      if (IsHigh(text[p])) ++e.HighLiterals;
      ++p;
      continue;
    }
    if (value >= 0x80) {
      ++e.HighEscapes;
      if (previousHigh && previousEnd == p) e.Run = true;
      previousHigh = true;
    } else {
      previousHigh = false;
      if (IsControlEscape(value)) ++e.Controls;
    }
    p += 3;
    previousEnd = p;
  }
  return e;
}

std::string DecodeAllHexEscapes(std::string_view text, HexEscape kind) {
  std::string out;
  out.reserve(text.size());
  const char lead = Lead(kind);
  const std::size_t length = EscapeLength(kind);
  for (std::size_t p = 0; p < text.size();) {
    const int value = text[p] == lead ? MatchHexEscape(text.substr(p), kind) : -1;
    if (value >= 0) {
      out += static_cast<char>(value);
      p += length;
    } else {
      out += text[p++];
    }
  }
  return out;
}

namespace {

// Whether a run of bytes without blanks is an address: it holds "://" or
// begins with "www.".
bool IsUrlToken(std::string_view token) {
  if (token.find("://") != std::string_view::npos) return true;
  return token.size() > 4 && AsciiUpper(token[0]) == 'W' && AsciiUpper(token[1]) == 'W' &&
         AsciiUpper(token[2]) == 'W' && token[3] == '.';
}

bool IsTokenByte(char c) { return !IsBlankOrControl(c) && c != '"' && c != '<' && c != '>'; }

}  // namespace

bool DecodePercentPass(std::string& text, std::string& scratch) {
  if (text.find('%') == std::string::npos) return false;
  const std::string_view view(text);
  // Marks the addresses, and sums the evidence of the rest of the text.
  std::vector<std::pair<std::size_t, std::size_t>> urls;
  EscapeEvidence outside;
  bool previousHigh = false;
  std::size_t previousEnd = kNone;
  for (std::size_t p = 0; p < view.size();) {
    if (IsTokenByte(view[p]) && (p == 0 || !IsTokenByte(view[p - 1]))) {
      std::size_t end = p;
      while (end < view.size() && IsTokenByte(view[end])) ++end;
      if (IsUrlToken(view.substr(p, end - p))) {
        urls.emplace_back(p, end);
        p = end;
        continue;
      }
    }
    const int value = view[p] == '%' ? MatchHexEscape(view.substr(p), HexEscape::Percent) : -1;
    if (value < 0) {
      if (IsHigh(view[p])) ++outside.HighLiterals;
      ++p;
      continue;
    }
    if (value >= 0x80) {
      ++outside.HighEscapes;
      if (previousHigh && previousEnd == p) outside.Run = true;
      previousHigh = true;
    } else {
      previousHigh = false;
      if (IsControlEscape(value)) ++outside.Controls;
    }
    p += 3;
    previousEnd = p;
  }
  const bool decodeOutside = QuotedPrintableAccepted(outside, false);
  if (!decodeOutside && urls.empty()) return false;
  std::string& out = scratch;
  out.clear();
  out.reserve(text.size());
  bool changed = false;
  std::size_t url = 0;
  for (std::size_t p = 0; p < view.size();) {
    if (url < urls.size() && urls[url].first == p) {
      // In an address only runs of two or more escapes of high bytes (the
      // letters of a name) are decoded; the escapes of signs stay.
      const std::size_t end = urls[url++].second;
      while (p < end) {
        std::size_t q = p;
        std::size_t escapes = 0;
        while (q < end) {
          const int value = view[q] == '%' ? MatchHexEscape(view.substr(q, end - q), HexEscape::Percent) : -1;
          if (value < 0x80) break;
          ++escapes;
          q += 3;
        }
        if (escapes >= 2) {
          for (std::size_t k = p; k < q; k += 3)
            out += static_cast<char>(MatchHexEscape(view.substr(k, 3), HexEscape::Percent));
          changed = true;
          p = q;
        } else {
          const std::size_t next = escapes == 1 ? q : p + 1;
          out.append(view.substr(p, next - p));
          p = next;
        }
      }
      continue;
    }
    const int value = decodeOutside && view[p] == '%' ? MatchHexEscape(view.substr(p), HexEscape::Percent) : -1;
    if (value >= 0) {
      out += static_cast<char>(value);
      changed = true;
      p += 3;
    } else {
      out += view[p++];
    }
  }
  if (changed) text.swap(out);
  return changed;
}

bool DecodeLaterPasses(std::string& text, const EscapeSwitches& switches, EscapeCounters& counters,
                       std::string& scratch) {
  bool changed = false;
  if (switches.QP && DecodePercentPass(text, scratch)) {
    ++counters.SevenBitCount;
    changed = true;
  }
  if (switches.Rtf && DecodeHexPass(text, HexEscape::Rtf, scratch)) {
    ++counters.RtfCount;
    changed = true;
  }
  if (switches.Html) {
    const int references = DecodeNumericReferences(text, scratch);
    counters.HtmlCount += references;
    changed = changed || references > 0;
  }
  return changed;
}

namespace {

// Finds the lines that may change: a line whose escapes (or soft break)
// the stage's own per-line rule calls inert changes neither alone nor as
// the start of a group. The finder looks at a line's bytes only where one
// search through the whole block finds an escape lead in it.
class TouchFinder {
 public:
  TouchFinder(const Text& text, const EscapeSwitches& switches)
      : text_(text), bytes_(text.Bytes()), switches_(switches) {}

  // The first line at or after `from` that may change (text.size() when
  // there is none).
  std::size_t Next(std::size_t from) {
    const std::size_t count = text_.size();
    std::size_t i = from;
    while (i < count) {
      const std::size_t begin = text_.Begin(i);
      if (lead_ < begin || lead_ == kUnsearched) lead_ = FindAnyByte(bytes_, kEscapeLeads, begin);
      if (lead_ == std::string_view::npos) return count;
      // A lead is never a break byte: it lies in the bytes of this line.
      i = LineAt(text_, lead_, i);
      if (i == count) return count;
      if (!EscapeLineInert(text_[i], switches_)) return i;
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

// A text that is no mail. The lines of Base64, UUE and XXE blocks pass
// through untouched and end soft-break chains. Elsewhere each line, with
// the lines its soft breaks join to it, is a group: a group whose =XX
// escapes show quoted-printable (see QuotedPrintableAccepted; the weak
// rule for a group right after an accepted one) is joined, trimmed and
// decoded; every other line stays a line of its own and gets the later
// passes alone. `out` is built only from the first change on
// (result.Rewritten); lines no pass changes are copied in runs.
EscapeResult DecodeInto(const Text& source, Text& out, const EscapeSwitches& switches, EscapeCounters& counters,
                        StageProgress& progress) {
  EscapeResult result;
  EscapeTicker ticker(progress, source.size());
  TouchFinder finder(source, switches);
  const std::size_t count = source.size();
  const std::vector<std::uint8_t> blocks = ProtectedBlockLines(source);
  const auto isBlock = [&](std::size_t i) { return !blocks.empty() && blocks[i] != 0; };
  // The first block line at or after i (count when none).
  std::size_t blockSearch = 0;
  const auto nextBlock = [&](std::size_t i) {
    if (blocks.empty()) return count;
    if (blockSearch < i) blockSearch = i;
    while (blockSearch < count && blocks[blockSearch] == 0) ++blockSearch;
    return blockSearch;
  };
  std::size_t copied = 0;  // lines from here up to the current one are written as they are
  const auto emit = [&](std::size_t first, std::size_t last, std::string_view line) {
    if (!result.Rewritten) {
      // Decoding and trimming only shorten lines, and groups have fewer
      // lines than they join: the source's sizes hold the result.
      out.clear();
      out.Reserve(source.Bytes().size(), count);
      result.Rewritten = true;
    }
    out.AppendLines(source, copied, first);
    out.AddLine(line, source.End(last));
    copied = last + 1;
    result.Converted = true;
  };
  std::string joined, scratch;
  // Each line alone, from..to (to excluded): the later passes.
  // Only the lines a search of the whole block finds a lead of a later
  // pass in are looked at; the search goes on from where it stood.
  const std::string_view bytes = source.Bytes();
  std::size_t laterLead = kNone - 1;  // the next such lead found, npos for none; kNone - 1 before any search
  const auto singleLines = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const std::size_t begin = source.Begin(i);
      if (laterLead == kNone - 1 || (laterLead != std::string_view::npos && laterLead < begin))
        laterLead = FindAnyByte(bytes, "%\\&", begin);
      if (laterLead == std::string_view::npos) return;
      i = LineAt(source, laterLead, i);
      if (i >= to) return;
      joined.assign(source[i]);
      if (DecodeLaterPasses(joined, switches, counters, scratch)) emit(i, i, joined);
    }
  };
  std::size_t acceptedEnd = kNone;  // the line after the last accepted group
  std::size_t next = 0;
  while (next < count) {
    const std::size_t touched = finder.Next(next);
    if (touched > next) {
      // A run of lines that pass through as they are: one unit of work.
      if (!ticker.KeepGoing(static_cast<long>(next) - 1)) {
        result.Stopped = true;
        return result;
      }
      next = touched;
      if (next == count) break;
    }
    if (isBlock(next)) {
      ++next;
      continue;
    }
    if (!switches.QP) {
      if (!ticker.KeepGoing(static_cast<long>(next) - 1)) {
        result.Stopped = true;
        return result;
      }
      singleLines(next, next + 1);
      ++next;
      continue;
    }
    const std::size_t limit = nextBlock(next);
    ChainSearch search = SearchChain(source, next, limit, acceptedEnd == next, ticker);
    if (search.stopped) {
      result.Stopped = true;
      return result;
    }
    if (search.accepted == kNone) {
      singleLines(next, search.last + 1);
      next = search.last + 1;
      continue;
    }
    singleLines(next, search.accepted);
    // An accepted group lasts to the end of the chain (only groups under
    // four characters end sooner, and they are never accepted): its string
    // is the tail of the chain's.
    const std::size_t last = search.last;
    std::string decoded = search.decodedReady
                              ? std::move(search.decoded)
                              : DecodeAllHexEscapes(std::string_view(search.joined).substr(search.acceptedStart),
                                                    HexEscape::QuotedPrintable);
    ++counters.QPCount;
    DecodeLaterPasses(decoded, switches, counters, scratch);
    emit(search.accepted, last, decoded);
    next = last + 1;
    acceptedEnd = next;
  }
  if (result.Rewritten) out.AppendLines(source, copied, count);
  return result;
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
  const std::vector<std::uint8_t> blocks = ProtectedBlockLines(source, &mail.Roles);
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
        if (joined.empty() || joined.back() != '=') break;
        joined.pop_back();  // a soft break, also at the end of the part
        if (k + 1 == count || mail.Roles[k + 1] != MimeRole::QuotedPrintable) break;
      }
      std::string decoded = DecodeAllHexEscapes(joined, HexEscape::QuotedPrintable);
      if (RecodeText(decoded, mail.Charsets[i], mail.TextCharset, scratch)) decoded.swap(scratch);
      DecodeLaterPasses(decoded, switches, counters, scratch);
      if (k > i || decoded != source[i]) {
        ++counters.QPCount;
        emit(i, k, decoded);
      }
      i = k + 1;
      continue;
    }
    if (role == MimeRole::Text) {
      // Text outside the mail's structure (a preamble, an epilogue, a part
      // that declares no encoding) is decoded as any text is.
      std::size_t end = i + 1;
      while (end < count && mail.Roles[end] == MimeRole::Text) ++end;
      Text run, decoded;
      run.AppendLines(source, i, end);
      const EscapeResult part = DecodeInto(run, decoded, switches, counters, progress);
      if (part.Stopped) {
        result.Stopped = true;
        return result;
      }
      if (part.Rewritten) {
        result.Rewritten = true;
        out.AppendLines(source, copied, i);
        out.AppendLines(decoded, 0, decoded.size());
        copied = end;
      }
      result.Converted = result.Converted || part.Converted;
      i = end;
      continue;
    }
    if ((role == MimeRole::Plain || role == MimeRole::QuotedPrintable) && (blocks.empty() || blocks[i] == 0)) {
      const std::string_view line = source[i];
      // A part in another charset than the text's is written in the text's.
      const bool recoded = switches.QP && RecodeText(line, mail.Charsets[i], mail.TextCharset, joined);
      if (!recoded) joined.assign(line);
      const bool changed = line.find_first_of(kEscapeLeads) != std::string_view::npos &&
                           DecodeLaterPasses(joined, switches, counters, scratch);
      if ((recoded && joined != line) || changed) emit(i, i, joined);
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

EscapeResult DecodeEscapedLines(const Text& source, Text& out, const EscapeSwitches& switches, EscapeCounters& counters,
                                StageProgress& progress) {
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
  for (std::size_t at = FindAnyByte(line, kEscapeLeads); at != std::string_view::npos; at = NextEscapeLead(line, at)) {
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
                    [](const MimePart& part) { return part.Encoding == MimeRole::QuotedPrintable; }) ||
        std::any_of(mail.Charsets.begin(), mail.Charsets.end(),
                    [&](std::int8_t charset) { return charset != kCharsetUnknown && charset != mail.TextCharset; }))
      return false;
  }
  return EscapeLinesInert(text, switches);
}

bool EscapeLinesInert(const Text& text, const EscapeSwitches& switches) {
  // A line without an escape lead is inert: only the lines the leads are
  // found in are looked at, in one search through the whole block.
  return EveryTextLineHolding(
      text, [](std::string_view bytes, std::size_t from) { return FindAnyByte(bytes, kEscapeLeads, from); },
      [&](std::string_view line) { return EscapeLineInert(line, switches); });
}

std::vector<std::size_t> EscapeLinesNotInert(const Text& text, const EscapeSwitches& switches) {
  std::vector<std::size_t> lines;
  const char* start = text.Bytes().data();
  std::size_t line = 0;
  EveryTextLineHolding(
      text, [](std::string_view bytes, std::size_t from) { return FindAnyByte(bytes, kEscapeLeads, from); },
      [&](std::string_view bytes) {
        if (EscapeLineInert(bytes, switches)) return true;
        line = LineAt(text, static_cast<std::size_t>(bytes.data() - start), line);
        lines.push_back(line);
        return true;
      });
  return lines;
}

bool DecodeEscapes(Text& text, const EscapeSwitches& switches, EscapeCounters& counters, StageProgress& progress) {
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
