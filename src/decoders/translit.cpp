#include "decoders/translit.h"

#include <algorithm>
#include <cstring>

namespace kamvo {

namespace {

// The table's lines, upper-cased; lines after the 33rd are dropped.
Lines TableLines(std::string_view table) {
  Lines lines = SplitLines(UpperCaseRus(table));
  if (lines.size() > static_cast<std::size_t>(kTranslitLetters)) lines.resize(kTranslitLetters);
  return lines;
}

// The work a text gives: its lines' bytes and two for each line's break,
// whatever the break is, so that the bar moves alike for every text.
std::size_t TextSize(const Text& text) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < text.size(); ++i) total += text.ContentEnd(i) - text.Begin(i) + 2;
  return total;
}

// Copies the lines from `first` on, as they are, to the end of out.
void CopyLines(const Text& text, std::size_t first, Text& out) {
  for (std::size_t i = first; i < text.size(); ++i) out.AddLine(text[i], text.End(i));
}

// Counts work and, whenever a budget of bytes is used up, moves the bar by
// percent (or, when the percentage is the same, lets pending events run)
// and asks whether to stop.
class Poller {
 public:
  Poller(StageProgress& progress, std::size_t every, std::size_t total)
      : progress_(progress), every_(std::max<std::size_t>(every, 1)), budget_(every_), total_(total) {}

  // True when the run must stop before it begins.
  bool Start() { return Poll(0); }
  // How many bytes may be worked on before the next poll; at least one.
  std::size_t Budget() const { return budget_; }
  // Records work; true when the poll asks to stop.
  bool Spend(std::size_t bytes, std::size_t done) {
    if (bytes < budget_) {
      budget_ -= bytes;
      return false;
    }
    budget_ = every_;
    return Poll(std::min(done, total_));
  }

 private:
  bool Poll(std::size_t done) {
    const int percent = total_ == 0 ? 0 : static_cast<int>(done * 100 / total_);
    if (percent != lastPercent_) {
      lastPercent_ = percent;
      progress_.Progress(0, 100, percent);
    } else {
      progress_.Pump();
    }
    return progress_.StopRequested();
  }

  StageProgress& progress_;
  int lastPercent_ = -1;
  std::size_t every_;
  std::size_t budget_;
  std::size_t total_;
};

// The letter put in for an occurrence that starts at `p` of the line `t`.
// The occurrence's first character decides: above 'Z' the letter is small,
// 'A'..'Z' leave it a capital, below 'A' it follows the character before
// the occurrence: small unless that is a capital, a capital at the start
// of the text. Before the first character of any line but the first stands
// the LF of the line break.
Byte CasedLetter(Byte capital, const char* t, std::size_t p, bool startsText) {
  const Byte first = static_cast<Byte>(t[p]);
  if (first > 'Z') return LowerRus(capital);
  if (first >= 'A') return capital;
  if (startsText && p == 0) return capital;
  const Byte before = p > 0 ? static_cast<Byte>(t[p - 1]) : Byte{'\n'};
  return LowerRus(before) == before ? LowerRus(capital) : capital;
}

// Where a long run stands, for the progress report: a line is worked on row
// by row, so the part of it done is counted by rows and position.
struct LinePlace {
  std::size_t LineStart = 0;  // bytes of the text before the line
  std::size_t LineSize = 0;   // the line's size when its work began
  std::size_t Row = 0;        // rows done on this line
  std::size_t RowCount = 1;

  std::size_t Done(std::size_t position) const {
    const std::size_t inRow = std::min(position, LineSize);
    return LineStart + (Row * LineSize + inRow) / RowCount;
  }
};

// Applies one row to one line in a single left-to-right pass.
//
// `t` is the line, `u` its matching copy: the upper-case line, except that
// a letter put in stands in both exactly as it is put into the line. The
// front of the line up to `w` holds the text already passed, with no
// occurrence left in it; each byte taken from the rest is appended to it,
// and an occurrence can then only end at that byte. Such an occurrence is
// the first in the whole line (nothing before it matches, and any other
// ends later, so starts later), which is the one a search from the start
// would find. After it is replaced, the letter put in may complete another
// occurrence ending at it, which is again the first; so the check repeats.
// Only a byte equal to the spelling's last one can end an occurrence, and
// the runs of other bytes are moved in one piece.
//
// Returns false when the poll stopped the pass; the line then holds the
// part passed followed by the rest as it was.
bool ApplyRow(std::string& t, std::string& u, const TranslitRow& row, bool startsText, Poller& poller,
              const LinePlace& place, TranslitOutcome& outcome) {
  const std::string& spelling = row.Spelling;
  const std::size_t length = spelling.size();
  const char last = spelling.back();
  char* tp = t.data();
  char* up = u.data();
  const std::size_t n = t.size();
  std::size_t r = 0, w = 0;
  bool stopped = false;
  while (r < n) {
    const std::size_t limit = r + std::min(n - r, poller.Budget());
    const void* hit = std::memchr(up + r, last, limit - r);
    const std::size_t end = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - up) : limit;
    if (w != r) {
      std::memmove(tp + w, tp + r, end - r);
      std::memmove(up + w, up + r, end - r);
    }
    std::size_t scanned = end - r;
    w += scanned;
    r = end;
    if (hit) {
      tp[w] = tp[r];
      up[w] = up[r];
      ++w;
      ++r;
      ++scanned;
      while (w >= length && std::memcmp(up + w - length, spelling.data(), length) == 0) {
        const std::size_t p = w - length;
        const Byte letter = CasedLetter(row.Letter, tp, p, startsText);
        tp[p] = up[p] = static_cast<char>(letter);
        w = p + 1;
        ++outcome.Replacements;
        // A one-character spelling cannot match the letter that replaced
        // it (a small letter is never in an upper-cased spelling, and a
        // capital is put in only for a character up to 'Z'); stopping here
        // keeps that certain.
        if (length == 1) break;
      }
    }
    if (poller.Spend(scanned, place.Done(r))) {
      stopped = true;
      break;
    }
  }
  if (w != r) {
    std::memmove(tp + w, tp + r, n - r);
    std::memmove(up + w, up + r, n - r);
  }
  t.resize(w + (n - r));
  u.resize(w + (n - r));
  return !stopped;
}

}  // namespace

std::array<std::string, kTranslitLetters> TranslitSpellings(std::string_view table) {
  std::array<std::string, kTranslitLetters> spellings;
  Lines lines = TableLines(table);
  for (std::size_t k = 0; k < lines.size(); ++k) spellings[k] = std::move(lines[k]);
  return spellings;
}

std::vector<TranslitRow> TranslitRows(std::string_view table) {
  std::array<std::string, kTranslitLetters> spellings = TranslitSpellings(table);
  std::vector<TranslitRow> rows(kTranslitLetters);
  for (int k = 0; k < kTranslitLetters; ++k) {
    rows[k].Letter = static_cast<Byte>(RussianAlphabet[k]);
    rows[k].Spelling = std::move(spellings[k]);
    if (rows[k].Spelling.size() > kTranslitMaxSpelling) rows[k].Spelling.resize(kTranslitMaxSpelling);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const TranslitRow& a, const TranslitRow& b) { return a.Spelling.size() > b.Spelling.size(); });
  return rows;
}

TranslitOutcome DecodeTranslitLines(Text& text, std::string_view table, StageProgress& progress,
                                    std::size_t pollEvery) {
  TranslitOutcome outcome;
  std::vector<TranslitRow> rows = TranslitRows(table);
  std::erase_if(rows, [](const TranslitRow& row) { return row.Spelling.empty(); });

  Poller poller(progress, pollEvery, TextSize(text));
  if (poller.Start()) {
    outcome.Stopped = true;
    return outcome;
  }
  if (rows.empty()) return outcome;

  // Decoding only shortens lines: the decoded text fits in the size of the
  // text. Each line is worked on in one pair of buffers, used again for
  // every line, and then appended with its break.
  Text decoded;
  decoded.Reserve(text.Bytes().size(), text.size());
  std::string line, upper;
  LinePlace place;
  place.RowCount = rows.size();
  std::size_t i = 0;
  for (; i < text.size() && !outcome.Stopped; ++i) {
    line.assign(text[i]);
    upper.resize(line.size());
    for (std::size_t k = 0; k < line.size(); ++k) upper[k] = static_cast<char>(UpperRus(static_cast<Byte>(line[k])));
    place.LineSize = line.size();
    for (place.Row = 0; place.Row < rows.size(); ++place.Row) {
      if (!ApplyRow(line, upper, rows[place.Row], i == 0, poller, place, outcome)) {
        outcome.Stopped = true;
        break;
      }
    }
    decoded.AddLine(line, text.End(i));
    place.LineStart += place.LineSize + 2;
    // The line break counts as work, so that a text of many empty lines
    // still lets the window run.
    if (!outcome.Stopped && poller.Spend(2, place.LineStart)) outcome.Stopped = true;
  }
  outcome.Changed = outcome.Replacements > 0;
  if (!outcome.Changed) return outcome;  // the text is as it was
  CopyLines(text, i, decoded);
  text.swap(decoded);
  return outcome;
}

TranslitOutcome EncodeTranslitLines(Text& text, std::string_view table, StageProgress& progress,
                                    std::size_t pollEvery) {
  TranslitOutcome outcome;
  // The spelling each byte becomes; null for a byte that stays.
  const Lines spellings = TableLines(table);
  std::array<std::string, 2 * kTranslitLetters> forms;
  std::array<const std::string*, 256> spellingOf{};
  for (std::size_t k = 0; k < spellings.size(); ++k) {
    const Byte capital = static_cast<Byte>(RussianAlphabet[k]);
    forms[2 * k] = spellings[k];
    forms[2 * k + 1] = LowerCaseRus(spellings[k]);
    spellingOf[capital] = &forms[2 * k];
    spellingOf[LowerRus(capital)] = &forms[2 * k + 1];
  }

  Poller poller(progress, pollEvery, TextSize(text));
  if (poller.Start()) {
    outcome.Stopped = true;
    return outcome;
  }
  // The encoded text is reserved in full at once: the bytes it gains (or,
  // with empty spellings, loses) are counted first. Breaks hold no letter.
  std::array<std::ptrdiff_t, 256> gain{};
  for (int b = 0; b < 256; ++b)
    if (spellingOf[b]) gain[b] = static_cast<std::ptrdiff_t>(spellingOf[b]->size()) - 1;
  std::ptrdiff_t gained = 0;
  for (const char c : text.Bytes()) gained += gain[static_cast<Byte>(c)];
  Text encoded;
  encoded.Reserve(text.Bytes().size() + static_cast<std::size_t>(std::max<std::ptrdiff_t>(gained, 0)), text.size());

  std::size_t lineStart = 0;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const std::string_view line = text[i];
    const std::size_t n = line.size();
    std::size_t pos = 0;
    while (pos < n) {
      const std::size_t limit = pos + std::min(n - pos, poller.Budget());
      std::size_t run = pos;  // bytes from run on stay as they are
      for (std::size_t j = pos; j < limit; ++j) {
        const std::string* spelling = spellingOf[static_cast<Byte>(line[j])];
        if (spelling) {
          if (j > run) encoded.Append(line.substr(run, j - run));
          encoded.Append(*spelling);
          run = j + 1;
          ++outcome.Replacements;
        }
      }
      encoded.Append(line.substr(run, limit - run));
      const std::size_t scanned = limit - pos;
      pos = limit;
      if (poller.Spend(scanned, lineStart + pos)) {
        outcome.Stopped = true;
        break;
      }
    }
    encoded.Append(line.substr(pos));
    encoded.EndLine(text.End(i));
    if (outcome.Stopped) break;
    lineStart += n + 2;
    if (poller.Spend(2, lineStart)) {
      outcome.Stopped = true;
      break;
    }
  }
  outcome.Changed = outcome.Replacements > 0;
  if (!outcome.Changed) return outcome;  // the text is as it was
  CopyLines(text, i + 1, encoded);
  text.swap(encoded);
  return outcome;
}

bool DecodeTranslit(Text& text, std::string_view table, StageProgress& progress) {
  progress.Status(progress.Tr("Checking translit...", "Проверка транслита..."));
  const TranslitOutcome outcome = DecodeTranslitLines(text, table, progress);
  progress.Progress(0, 1, 0);
  progress.Status("");
  if (outcome.Changed) text = Resplit(std::move(text));
  return outcome.Changed;
}

}  // namespace kamvo
