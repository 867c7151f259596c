// Speed of the escape stage (quoted-printable, 7-bit, RTF escapes, numeric
// references) on a large mail body and on inputs built to defeat it: long
// runs of soft line breaks, which the plain algorithm rescans from every
// line, and runs of "&#", "%" and "=" that start an escape at every byte.
#include <cstdio>
#include <random>
#include <string>

#include "../tests/support/literal_quoted_printable.h"
#include "bench_util.h"
#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "decoders/quoted_printable.h"

namespace {

using namespace kamvo;

double Bytes(const Lines& lines) {
  double total = 0;
  for (const auto& line : lines) total += static_cast<double>(line.size()) + 1;
  return total;
}

// Runs the stage on the text as a Text, every line ended by LF.
void RunStage(const std::string& what, Lines lines, const std::string& target) {
  Text text = Text::FromLines(lines, LineEnd::Lf);
  Lines().swap(lines);
  const double bytes = static_cast<double>(text.Bytes().size());
  EscapeCounters c;
  bool converted = false;
  const double seconds = bench::Seconds([&] { converted = DecodeEscapes(text, EscapeSwitches{}, c, NoProgress()); });
  bench::Report(what, seconds, bytes, target);
  std::printf("  %.1f MB in, %zu lines out, converted %d, QP %d, 7-bit %d, RTF %d, HTML %d\n", bytes / 1e6, text.size(),
              converted, c.QPCount, c.SevenBitCount, c.RtfCount, c.HtmlCount);
}

// A KOI8-R mail body of about `size` bytes, quoted-printable with soft line
// breaks after 73 characters and a paragraph break every ten lines.
Lines MailBody(std::size_t size) {
  std::mt19937 random(1);
  Lines lines;
  std::string line;
  double total = 0;
  int count = 0;
  while (total < static_cast<double>(size)) {
    const int word = 2 + static_cast<int>(random() % 9);
    for (int i = 0; i < word; ++i) {
      const Byte koi = static_cast<Byte>(0xC0 + random() % 64);  // KOI8-R letters
      char escape[4];
      std::snprintf(escape, sizeof escape, "=%02X", koi);
      line += escape;
    }
    line += random() % 8 ? " " : ", ";
    if (line.size() >= 73) {
      line += '=';
      total += static_cast<double>(line.size()) + 1;
      lines.push_back(std::move(line));
      line.clear();
      if (++count % 10 == 0) {
        lines.push_back(".");
        lines.push_back("");
      }
    }
  }
  lines.push_back(line);
  return lines;
}

Lines Filled(std::size_t size, const std::string& line) { return Lines(size / (line.size() + 1), line); }

std::string Run(std::size_t size, const std::string& piece) {
  std::string s;
  s.reserve(size);
  while (s.size() + piece.size() <= size) s += piece;
  return s;
}

}  // namespace

int main() {
  constexpr std::size_t MB = 1'000'000;
  const std::string target = "seconds, not hours";

  RunStage("quoted-printable KOI8-R mail, 50 MB", MailBody(50 * MB), target);

  // Soft breaks that never lead to an accepted group: the plain algorithm
  // rebuilds the rest of the run from every one of its lines.
  RunStage("10 MB of \"abc=\" soft breaks", Filled(10 * MB, "abc="), target);
  {
    Lines text = Filled(10 * MB, "abc=");
    text.push_back("=C0=C1");  // accepted only when started at the last line
    RunStage("10 MB of soft breaks, escapes at the end", std::move(text), target);
  }
  {
    Lines text = Filled(10 * MB, "\xE0\xE1\xE2\xE3=");
    text.push_back("=C0=C1");
    RunStage("10 MB of high-byte soft breaks, escapes at end", std::move(text), target);
  }
  RunStage("10 MB of \"=\" lines", Filled(10 * MB, "="), target);
  RunStage("10 MB of \"==\" soft breaks", Filled(10 * MB, "ab=="), target);

  RunStage("10 MB of \"&#\" on one line", {Run(10 * MB, "&#")}, target);
  RunStage("10 MB of \"&#\" lines with soft breaks", Filled(10 * MB, "&#&#="), target);
  RunStage("10 MB of \"&#1040;\" on one line", {Run(10 * MB, "&#1040;")}, target);
  RunStage("10 MB of \"%\" on one line", {Run(10 * MB, "%")}, target);
  RunStage("10 MB of \"=\" on one line", {Run(10 * MB, "=")}, target);
  RunStage("10 MB of mixed escapes on one line", {Run(10 * MB, "=C0%C1\\'c2&#1043;=4%G\\'&#;")}, target);

  // The plain algorithm on the soft-break run, for comparison: time grows
  // with the square of the run's length.
  for (std::size_t lines : {2'000u, 4'000u, 8'000u}) {
    const Lines text(lines, "abc=");
    const double seconds = bench::Seconds([&] { testing::LiteralDecodeEscapes(text, {}); });
    bench::Report("plain algorithm, " + std::to_string(lines) + " \"abc=\" lines", seconds, Bytes(text),
                  "(comparison)");
  }
}
