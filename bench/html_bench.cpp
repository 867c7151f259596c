// Speed of the HTML stage on large texts: a 50 MB page of entity-written
// Cyrillic, tags and paragraphs, and 10 MB of "<" and line breaks, the
// input on which a scan that goes back after every "<" would take hours;
// pages whose every tag opens a quote, a comment or a script that never
// closes, where a search ahead from every "<" would too; and plain text
// (code with "<", references in prose), which is no HTML.
#include <cstdio>
#include <random>
#include <string>

#include "bench_util.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "decoders/html.h"

namespace {

using namespace kamvo;

const char* const kNames[] = {"agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig", "ccedil",
                              "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc", "iuml",
                              "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",  "divide",
                              "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn", "yuml"};

// A page of paragraphs whose words are Latin-1 entity names, with tags,
// attributes, &nbsp; and &amp; sprinkled in, about `size` bytes.
Lines EntityPage(std::size_t size) {
  std::mt19937 random(5);
  Lines lines = {"<html>", "<head><title>&Iuml;&eth;&egrave;&acirc;&aring;&ograve;</title></head>", "<body>"};
  std::size_t bytes = 0;
  while (bytes < size) {
    std::string line = random() % 4 ? "<p>" : "<p class=\"text\" align=left>";
    for (int word = 0; word < 12; ++word) {
      if (word) line += random() % 9 ? " " : "&nbsp;";
      for (int letter = 2 + random() % 7; letter > 0; --letter) {
        std::string name = kNames[random() % 32];
        if (letter == 1 && random() % 5 == 0) name[0] = static_cast<char>(name[0] - 'a' + 'A');
        line += "&" + name + ";";
      }
      if (random() % 11 == 0) line += random() % 2 ? " &amp; <b>x</b>" : "<br>";
    }
    line += random() % 3 ? "</p>" : "";
    bytes += line.size() + 2;
    lines.push_back(std::move(line));
  }
  lines.push_back("</body>");
  lines.push_back("</html>");
  return lines;
}

// "<" alone or several on a line, with a ">" only at the very end, so that
// every "<" opens a tag whose ">" lies too many lines away.
Lines LessThanLines(std::size_t size, bool closing) {
  Lines lines;
  std::size_t bytes = 0;
  std::mt19937 random(9);
  while (bytes < size) {
    std::string line(1 + random() % 3, '<');
    bytes += line.size() + 2;
    lines.push_back(std::move(line));
  }
  if (closing) lines.push_back(">");
  return lines;
}

// Runs the stage on the text as a Text, every line ended by CR LF, or by
// LF, which the stage reads through a copy ended by CR LF.
void RunStage(const std::string& what, const Lines& lines, LineEnd end = LineEnd::CrLf) {
  Text text = Text::FromLines(lines, end);
  const double bytes = static_cast<double>(text.Bytes().size());
  bool changed = false;
  const double seconds = bench::Seconds([&] { changed = DecodeHtml(text, NoProgress()); });
  bench::Report(what, seconds, bytes, "seconds, not hours");
  std::printf("  changed: %s, %zu lines in, %zu lines out\n", changed ? "yes" : "no", lines.size(), text.size());
}

// A line repeated to about `size` bytes, after a first line.
Lines Repeated(const std::string& first, const std::string& line, std::size_t size) {
  Lines lines = {first};
  for (std::size_t bytes = 0; bytes < size; bytes += line.size() + 2) lines.push_back(line);
  return lines;
}

}  // namespace

int main() {
  const Lines page = EntityPage(50'000'000);
  RunStage("DecodeHtml, 50 MB entity-written page", page);
  RunStage("DecodeHtml, 50 MB page, LF breaks", page, LineEnd::Lf);
  RunStage("DecodeHtml, 10 MB of \"<\" and line breaks", LessThanLines(10'000'000, false));
  RunStage("DecodeHtml, 10 MB of \"<\" and breaks, \">\" at end", LessThanLines(10'000'000, true));
  RunStage("DecodeHtml, 10 MB page of unclosed quotes", Repeated("<html>", "<a title=\"x <b class='y <i", 10'000'000));
  RunStage("DecodeHtml, 10 MB page of unclosed comments", Repeated("<html>", "<!-- a -- b <!-", 10'000'000));
  RunStage("DecodeHtml, 10 MB page of unclosed scripts", Repeated("<html>", "<script>a<b</scrip <style>", 10'000'000));
  RunStage("DecodeHtml, 10 MB of C with <stdio.h> (no HTML)",
           Repeated("#include <stdio.h>", "  if (a<b && c>d) return x<y ? 1 : 0; /* &copy; */", 10'000'000));
  RunStage("DecodeHtml, 10 MB of prose with &laquo; (no HTML)",
           Repeated("", "AT&T &laquo;text&raquo; &mdash; a=1&copy=2 plain words here", 10'000'000));
}
