#include "decoders/html.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>

#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/literal_html.h"
#include "support/mixed_breaks.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::LiteralHtml;
using testing::LiteralHtmlTable;

std::string W(std::string_view utf8) { return WinFromUtf8(utf8); }

// The stage on a text of these lines, each ended by CR LF: the lines it
// leaves.
Lines Html(const Lines& lines, bool* changed = nullptr) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  const bool decoded = DecodeHtml(text, NoProgress());
  if (changed) *changed = decoded;
  return ToLines(text);
}

// Windows-1251 text written as Latin-1 entity names, the way a page saved
// with the wrong character set writes Cyrillic letters.
std::string AsEntities(std::string_view win) {
  static const char* const kSmall[] = {"agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig", "ccedil",
                                       "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc", "iuml",
                                       "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",  "divide",
                                       "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn", "yuml"};
  std::string out;
  for (char ch : win) {
    const Byte b = static_cast<Byte>(ch);
    std::string name;
    if (b == 0xD7)
      name = "times";
    else if (b == 0xDF)
      name = "szlig";
    else if (b == 0xA8)
      name = "uml";
    else if (b == 0xB8)
      name = "cedil";
    else if (b >= 0xE0)
      name = kSmall[b - 0xE0];
    else if (b >= 0xC0) {
      name = kSmall[b - 0xC0];
      name[0] = static_cast<char>(name[0] - 'a' + 'A');
    }
    out += name.empty() ? std::string(1, ch) : "&" + name + ";";
  }
  return out;
}

void ExpectSameAsLiteral(const Lines& input) {
  bool changed = false;
  const Lines lines = Html(input, &changed);
  const auto literal = LiteralHtml(input);
  ASSERT_EQ(lines, literal.Text) << "input: " << JoinLines(input, "|");
  ASSERT_EQ(changed, literal.Changed) << "input: " << JoinLines(input, "|");
  // The same lines with breaks of every kind: the same lines come out, each
  // with the break of the input line it stands in.
  Text mixed = testing::MixedBreaks(input);
  const std::vector<LineEnd> ends = testing::EndsOf(mixed);
  DecodeHtml(mixed, NoProgress());
  const auto literalMixed = LiteralHtml(input, &ends);
  ASSERT_EQ(ToLines(mixed), literal.Text) << "input: " << JoinLines(input, "|");
  ASSERT_EQ(testing::EndsOf(mixed), literalMixed.Ends) << "input: " << JoinLines(input, "|");
  ASSERT_EQ(mixed.Bytes(), testing::JoinedWith(literal.Text, literalMixed.Ends));
}

TEST(HtmlEntities, LetterRowsFollowTheCaseOfTheNameOthersReplaceAsStored) {
  std::string small, capital;
  for (std::size_t row = 18; row < 48; ++row) {
    std::string name = LiteralHtmlTable()[row].Pattern;
    std::string lower = LowerCaseRus(name);
    small += lower;
    capital += lower.substr(0, 1) + name[1] + lower.substr(2);
  }
  EXPECT_EQ(Html({small}), Lines{W("абвгдежзийклмнопрстуфхцшщъыьэю")});
  EXPECT_EQ(Html({capital}), Lines{W("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦШЩЪЫЬЭЮ")});
  EXPECT_EQ(Html({"&AGRAVE;&aGRAVE;&Agrave;&agrave;&ETH;&eTH;"}), Lines{W("АаАаРр")});
  // Rows without the case rule give their one letter whatever the case.
  EXPECT_EQ(Html({"&szlig;&SZLIG;&yuml;&YUML;&times;&Times;&divide;&DIVIDE;&uml;&Uml;&cedil;&CEDIL;"}),
            Lines{W("ЯЯяяЧЧччЁЁёё")});
  // The rows for ASCII characters in a page (in plain text they stay).
  EXPECT_EQ(Html({"<b>x&nbsp;&QUOT;&acute;&shy;&sup1;&NbSp;y</b>"}), Lines{W("x \"'-№ y")});
}

// What the stage makes of a text: markup goes only from HTML, and only
// markup; references are decoded in full in HTML and, in plain text, only
// those that stand for a character beyond ASCII. Every case is compared
// with the plain algorithm too, with breaks of every kind.
TEST(HtmlStage, TextsComeOutAsExpected) {
  struct Case {
    Lines input;  // UTF-8
    Lines expected;
  };
  const Case cases[] = {
      // Plain text, code, mail and licences: nothing in angle brackets goes.
      {{"#include <stdio.h>", "/* Привет */ int main() { return a<b ? 1 : 0; }"},
       {"#include <stdio.h>", "/* Привет */ int main() { return a<b ? 1 : 0; }"}},
      {{"From: Иван Петров <ivan@example.ru>"}, {"From: Иван Петров <ivan@example.ru>"}},
      {{"  <https://fsf.org/>", "    <one line to give the program's name>",
        "    Copyright (C) <year>  <name of author>"},
       {"  <https://fsf.org/>", "    <one line to give the program's name>",
        "    Copyright (C) <year>  <name of author>"}},
      {{"Веб-мастер: <BR>, как холодно"}, {"Веб-мастер: <BR>, как холодно"}},
      {{"grep -i -v Microsoft <XXCENTURY>XXIcentury"}, {"grep -i -v Microsoft <XXCENTURY>XXIcentury"}},
      {{"usage: kamvo <input> <output>", "if (a < b && b > 0) <<кавычки>>"},
       {"usage: kamvo <input> <output>", "if (a < b && b > 0) <<кавычки>>"}},
      {{"Use <b>, <i> and <p> for this."}, {"Use <b>, <i> and <p> for this."}},
      {{"out << \"<p>\" << text << \"</p>\";  // абзац"}, {"out << \"<p>\" << text << \"</p>\";  // абзац"}},
      {{"a <b and c> d <!-- x -->"}, {"a <b and c> d <!-- x -->"}},
      // Plain text: only complete references to characters beyond ASCII.
      {{"AT&T, a=1&copy=2&b, &amp; &lt;b&gt; &quot; &nbsp; &#60; &copy"},
       {"AT&T, a=1&copy=2&b, &amp; &lt;b&gt; &quot; &nbsp; &#60; &copy"}},
      // Plain text: only references beyond ASCII that touch a letter or
      // another such reference, as the letters of a word written out so.
      {{"&laquo;ёлка&raquo; &mdash; &copy; &#x451;&#X401; &#1105; вс&#x451; &Iuml;&eth;&egrave;&acirc;&aring;&ograve;"},
       {"«ёлка» &mdash; &copy; ёЁ &#1105; всё Привет"}},
      {{"    return escape(text).replace(\" \", \"&#160;\")  # &copy; 2024"},
       {"    return escape(text).replace(\" \", \"&#160;\")  # &copy; 2024"}},
      {{"&alpha; &ne; &foo; &#0; &#10; &#x110000; &#xD800; &#12345678; &laquo"},
       {"&alpha; &ne; &foo; &#0; &#10; &#x110000; &#xD800; &#12345678; &laquo"}},
      {{"<b>&#150; &#x97; &#153; &#129;</b>"}, {"– — ™ &#129;"}},  // as Windows-1252, as browsers read them
      // HTML: a pair of tags, a quoted attribute, a doctype, two <br>.
      {{"<p>Привет, <b>мир</b>!</p>"}, {"Привет, мир!"}},
      {{"<p>Тег \"<b>\" и '</b>' пишут так.</p>"}, {"Тег \"<b>\" и '</b>' пишут так."}},
      {{"Subject: ссылка", "", "<a href=\"https://x.ru/?a=1&amp;b=2\">ссылку</a>"}, {"Subject: ссылка", "", "ссылку"}},
      {{"См. ниже.", "", "<a href=\"https://x.ru/\">ссылку</a>"},
       {"См. ниже.", "", "<a href=\"https://x.ru/\">ссылку</a>"}},
      {{"Content-Type: text/html; charset=utf-8", "", "<div dir=\"ltr\">Привет, <b>мир</b></div>"},
       {"Content-Type: text/html; charset=utf-8", "", "Привет, мир"}},
      // Code and its comments that hold HTML are no HTML: no tag opens the
      // text or a paragraph.
      {{"   *  @return the first element <em>not less", "   *           than</em> @p val"},
       {"   *  @return the first element <em>not less", "   *           than</em> @p val"}},
      {{"def link(url, text):", "    return f'<a href=\"{url}\">{text}</a>'  # ссылка"},
       {"def link(url, text):", "    return f'<a href=\"{url}\">{text}</a>'  # ссылка"}},
      {{"PAGE = \"\"\"<!DOCTYPE html>", "", "<html><body><p>Привет</p></body></html>", "\"\"\""},
       {"PAGE = \"\"\"<!DOCTYPE html>", "", "<html><body><p>Привет</p></body></html>", "\"\"\""}},
      {{"--b1", "Content-Type: text/html;", " charset=utf-8", "", "<p>Привет</p>"},
       {"--b1", "Content-Type: text/html;", " charset=utf-8", "", "Привет"}},
      {{"<!DOCTYPE html>", "текст"}, {"", "текст"}},
      {{"<b>Один</b><br>", "два <BR/> ", "три"}, {"Один", "два  ", "три"}},
      {{"один<br>", "два<br>"}, {"один<br>", "два<br>"}},
      {{"Веб-мастер: <BR>, как холодно", "Веб-мастер: <BR>, как холодно"},
       {"Веб-мастер: <BR>, как холодно", "Веб-мастер: <BR>, как холодно"}},
      // In HTML too, what is no markup stays.
      {{"<p>#include <stdio.h> <ivan@example.ru> <https://fsf.org/> <year> <XXCENTURY></p>"},
       {"#include <stdio.h> <ivan@example.ru> <https://fsf.org/> <year> <XXCENTURY>"}},
      {{"<pre>return a<b ? \"да\" : \"нет\";</pre>", "<p>a<b>c</b> x<y>z</p>"},
       {"return a<b ? \"да\" : \"нет\";", "ac x<y>z"}},
      {{"<p>", "<a title=\"a > b\" href='x'", "   class=big>да</a> <b", "and c> d</p>"}, {"", "да  d"}},
      {{"<b>x</b> <!-- скрыто", "<p>и это --> видно <!-- не закрыт"}, {"x  видно <!-- не закрыт"}},
      {{"<b>x</b><script type=\"text/javascript\">if (a<b && c>d) s = \"<p>\";", "</SCRIPT >y"}, {"xy"}},
      {{"<style>p > b { color: red }</style>z<script>без конца"}, {"zбез конца"}},
      {{"<b>Цена < 100 и > 50, x <= y >= z, a <- b, <3 ></b>", "<i>a <", "b> c</i>"},
       {"Цена < 100 и > 50, x <= y >= z, a <- b, <3 >", "a <", "b> c"}},
      {{"<?xml version=\"1.0\"?>", "<html>x</html>"}, {"", "x"}},
      // HTML: every reference, and what references write is text.
      {{"<b&gt;x</b> &lt;b>y</b>"}, {"<b&gt;x</b> &lt;b>y</b>"}},  // no start tag: no HTML
      {{"<div><b&gt;x</b> &lt;b>y</b></div>"}, {"<b>x <b>y"}},
      {{"<b>a</b>&nbsp;&lt;br&gt;b&lt;/tr&gt;c<br>", "d<br>"}, {"a <br>b</tr>c", "", "d", ""}},
      {{"<div>AT&T &amp; &lt;b&gt; &quot;да&quot; &#60;i&#x3E; &copy; &mdash;</div>"}, {"AT&T & <b> \"да\" <i> © —"}},
      {{"<div><a title=\"&quot;>&quot;\">x</a> &lt;!-- y --&gt;</div>"}, {"x <!-- y -->"}},
  };
  for (const Case& c : cases) {
    Lines input, expected;
    for (const auto& line : c.input) input.push_back(W(line));
    for (const auto& line : c.expected) expected.push_back(W(line));
    bool changed = false;
    EXPECT_EQ(Html(input, &changed), expected) << c.input[0];
    EXPECT_EQ(changed, input != expected) << c.input[0];
    ExpectSameAsLiteral(input);
  }
}

// A UTF-8 text gets the characters of its references in UTF-8, so that it
// stays UTF-8 for the step that reads it.
TEST(HtmlStage, AUtf8TextGetsItsReferencesInUtf8) {
  EXPECT_EQ(Html({"Ёлка &laquo;да&raquo; вс&#x451;"}), Lines{"Ёлка «да» всё"});
  EXPECT_EQ(Html({"<b>Ёлка&nbsp;&amp; &agrave;</b>"}), Lines{"Ёлка & а"});
  EXPECT_EQ(Html({"<b>&laquo;</b>"}), Lines{W("«")});  // ASCII only: not UTF-8
}

// A small saved page as a browser shows it.
TEST(HtmlStage, APageComesOutAsABrowserShowsIt) {
  const Lines page = {
      "<!DOCTYPE html>",
      "<html lang=\"ru\">",
      "<head>",
      "<meta charset=\"windows-1251\">",
      "<title>Пример &mdash; страница</title>",
      "<style>",
      "  body > p { margin: 0 }",
      "</style>",
      "<script>",
      "  function less(a, b) { return a<b ? \"да\" : \"нет\"; }",
      "</script>",
      "</head>",
      "<body>",
      "<h1>Заголовок</h1>",
      "<p>Первая строка<br>",
      "вторая &laquo;строка&raquo;<br>",
      "третья &copy; 2024</p>",
      "<pre>return a<b ? x : y;</pre>",
      "<!-- конец -->",
      "</body>",
      "</html>",
  };
  Lines input;
  for (const auto& line : page) input.push_back(W(line));
  // Between the first and the last reference the page's own line breaks
  // go and "<p>" and "<br>" make the lines; the style and the script go
  // with their content, the "a<b" of the code stays.
  const Lines expected = {"",
                          "",
                          "",
                          "",
                          W("Пример — страницаЗаголовок"),
                          W("Первая строка"),
                          W("вторая «строка»"),
                          W("третья © 2024"),
                          W("return a<b ? x : y;"),
                          "",
                          "",
                          ""};
  EXPECT_EQ(Html(input), expected);
  ExpectSameAsLiteral(input);
}

TEST(HtmlLines, WithoutEntitiesTagsAreDeletedAndTheLinesStay) {
  EXPECT_EQ(Html({"<p>One", "two<br>three</p>", "<LI>four"}), (Lines{"One", "twothree", "four"}));
}

TEST(HtmlLines, BetweenTheFirstAndLastEntityTheTagRowsMakeTheLines) {
  const Lines page = {"<html>",      "a&nbsp;b",         "<BR>c", "d<br/>e<P class=x>f",
                      "<Li>g</tR>h", "i&nbsp;j<tr>k<p>", "l<br>", "</html>"};
  EXPECT_EQ(Html(page), (Lines{"", "a b", "cdef", "g", "hi j", "k", "", "l", "", ""}));
  // One entity: no span to join, but the tag rows still break the lines.
  EXPECT_EQ(Html({"<p>a<br>b&quot;", "c</p>"}), (Lines{"", "a", "b\"", "c"}));
}

TEST(HtmlLines, CrLfPairsThatDeletionsBringTogetherGoToo) {
  EXPECT_EQ(JoinHtmlSpan("x\r\r\n\ny", 1, 6), "xy");
  EXPECT_EQ(JoinHtmlSpan("x\r\r\r\n\n\ny", 1, 8), "xy");
  EXPECT_EQ(JoinHtmlSpan("x\n\r y\r\n", 1, 5), "x\n\r y\r\n");
  EXPECT_EQ(JoinHtmlSpan("\r\nx\r\ny\r\n", 3, 6), "\r\nxy\r\n");
  EXPECT_EQ(JoinHtmlSpan("\r\nx\r\ny\r\n", 0, 0), "\r\nx\r\ny\r\n");
}

// Random text built from the pieces that trouble the stage.
class HtmlGenerator {
 public:
  explicit HtmlGenerator(unsigned seed) : random_(seed) {}

  std::string MixedCase(std::string s) {
    for (char& c : s)
      if (random_() % 2) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  std::string Piece() {
    const auto& table = LiteralHtmlTable();
    static const char* const kMarkup[] = {"<html>",
                                          "</p>",
                                          "<p>",
                                          "<b>",
                                          "</b>",
                                          "<br>",
                                          "<a href=\"x>y\">",
                                          "<a href='",
                                          "\"",
                                          "'",
                                          "=",
                                          "<!--",
                                          "-->",
                                          "<script>",
                                          "</script>",
                                          "<style x=1>",
                                          "</style >",
                                          "<!DOCTYPE html>",
                                          "<?xml x?>",
                                          "&lt;",
                                          "&gt;",
                                          "&quot;",
                                          "&#60;",
                                          "&#x3E;",
                                          "&#39;",
                                          "&amp;",
                                          "&laquo;",
                                          "&#x451;",
                                          "&copy",
                                          "a<b ? x : y",
                                          "<stdio.h>",
                                          "<ivan@x.ru>",
                                          "<year>",
                                          "<i",
                                          " title=",
                                          "/>",
                                          "</"};
    if (random_() % 3 == 0) return MixedCase(kMarkup[random_() % std::size(kMarkup)]);
    switch (random_() % 14) {
      case 0:
      case 1:
      case 2:
        return MixedCase(table[5 + random_() % (table.size() - 5)].Pattern);
      case 3:
        return MixedCase(table[random_() % 5].Pattern);
      case 4: {  // a cut or stretched name
        std::string p = table[random_() % table.size()].Pattern;
        if (random_() % 2) return MixedCase(p.substr(0, 1 + random_() % (p.size() - 1)));
        return MixedCase(p.insert(1 + random_() % (p.size() - 1), 1, "aX;&<>1"[random_() % 7]));
      }
      case 5:
        return std::string(1, "&;<>/!?"[random_() % 7]);
      case 6:
        return std::string(1 + random_() % 3, '<');
      case 7:
        return std::string(1 + random_() % 2, '>');
      case 8:
        return "&amp;";
      case 9:
        return "<p class=x>";
      case 10:
        return "\r";
      case 11:
        return std::string(1, static_cast<char>(0xC0 + random_() % 64));
      default:
        return std::string(1 + random_() % 3, "abzAZ 1"[random_() % 7]);
    }
  }

  Lines Text(int maxLines, int maxPieces) {
    Lines lines(1 + random_() % maxLines);
    for (auto& line : lines)
      for (int i = random_() % (maxPieces + 1); i > 0; --i) line += Piece();
    return lines;
  }

  std::mt19937& random() { return random_; }

 private:
  std::mt19937 random_;
};

TEST(HtmlDifferential, GeneratedTextsMatchTheLiteralAlgorithm) {
  HtmlGenerator generate(20240611);
  for (int round = 0; round < 3000; ++round) ExpectSameAsLiteral(generate.Text(8, 12));
}

TEST(HtmlDifferential, AdversarialTextsMatchTheLiteralAlgorithm) {
  HtmlGenerator generate(7);
  auto& random = generate.random();
  // Thousands of "<" on lines of their own or at line ends, with a few ">".
  for (int round = 0; round < 6; ++round) {
    Lines lines;
    for (int i = 0; i < 2000; ++i) {
      std::string line = random() % 3 ? "<" : "x<";
      if (random() % 400 == 0) line += ">";
      if (random() % 300 == 0) line = "&nbsp;" + line;
      lines.push_back(line);
    }
    lines.push_back(random() % 2 ? "end>" : "end");
    ExpectSameAsLiteral(lines);
  }
  // Entities packed against entities, prefixes and overlapping names.
  const std::vector<std::string> pieces = {
      "&",    "&a",      "&agrave;", "&AGRAVE", ";",   "&&uml;", "&auml;",  "&sup1;",       "&sup", "&lt;",
      "&gt;", "&e&eth;", "<",        ">",       "<br", "<BR>",   "</tr>",   "&nbsp;&nbsp;", "br>",  "/tr>",
      "<!",   "?",       "</b>",     "<b>",     "\"",  "&quot;", "<a b=\"", "<!--",         "-->",  "<html>"};
  for (int round = 0; round < 1500; ++round) {
    Lines lines(1 + random() % 4);
    for (auto& line : lines)
      for (int i = random() % 20; i > 0; --i) line += generate.MixedCase(pieces[random() % pieces.size()]);
    ExpectSameAsLiteral(lines);
  }
  // Unterminated tags of every length.
  for (int round = 0; round < 300; ++round) {
    Lines lines(1 + random() % 6);
    for (auto& line : lines)
      line = std::string(random() % 4, 'a') + (random() % 2 ? "<" : "") + "&Ouml;" + std::string(random() % 3, '>');
    ExpectSameAsLiteral(lines);
  }
}

// Texts without entities, where the tag phase works on the lines near each
// tag alone: long runs of plain lines between tags that open and close on
// one line, across one break or two, unclosed "<", stray ">", and lines
// that hold a CR of their own.
TEST(HtmlDifferential, TextsWithoutEntitiesMatchTheLiteralAlgorithm) {
  std::mt19937 random(99);
  const std::vector<std::string> pieces = {
      "word",  " ",     "<b>", "</i>", "<p>", "<BR>", "<",           ">",  "<a",       "href>",     "<!--",  "-->",
      "a < b", "&amp;", "&",   "\r",   "x",   "</b>", "<i title=\"", "\"", "<script>", "</script>", "<html>"};
  for (int round = 0; round < 400; ++round) {
    Lines lines(1 + random() % 80);
    const int density = 1 + static_cast<int>(random() % 12);
    for (auto& line : lines) {
      if (static_cast<int>(random() % 12) >= density) {
        line = random() % 4 ? "plain text" : "";
        continue;
      }
      for (int i = random() % 5; i > 0; --i) line += pieces[random() % pieces.size()];
    }
    ExpectSameAsLiteral(lines);
  }
}

// A text whose tags span too much of it for working near each one goes
// through the passes over the whole text, with the same result.
TEST(HtmlLines, ATextTaggedThroughoutComesOutTheSame) {
  Text text = testing::MixedBreaks(Lines(500000, "<b>word</b>"));
  const std::vector<LineEnd> ends = testing::EndsOf(text);
  EXPECT_TRUE(DecodeHtml(text, NoProgress()));
  EXPECT_EQ(ToLines(text), Lines(500000, "word"));
  EXPECT_EQ(testing::EndsOf(text), ends);
}

// Tags that never close change nothing, and the text keeps its block.
TEST(HtmlLines, ATextLeftAloneKeepsItsBytesWhereTheyAre) {
  Text text = testing::MixedBreaks({"<b", "x", "y>", "a<", "> b"});
  const std::string before(text.Bytes());
  const char* block = text.Bytes().data();
  EXPECT_FALSE(DecodeHtml(text, NoProgress()));
  EXPECT_EQ(text.Bytes(), before);
  EXPECT_EQ(text.Bytes().data(), block);
}

class HtmlStageTest : public ::testing::Test {
 protected:
  HtmlStageTest() : converter(window, cfg) {}
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(HtmlStageTest, CountsAChangeClearsTheStatusAndResetsTheProgress) {
  converter.TextBuffer = {"<p>&Iuml;&eth;&egrave;&acirc;&aring;&ograve;</p>", "x"};
  std::vector<std::string> statuses;
  window.onEvents = [&] { statuses.push_back(converter.LastStatus()); };
  EXPECT_TRUE(converter.RunStage(StandardStage("html")));
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"", W("Привет"), "x"}));
  EXPECT_EQ(converter.Counters.HtmlCount, 1);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Checking HTML...");
  EXPECT_EQ(converter.LastStatus(), "");
  EXPECT_EQ(window.progressMin, 0);
  EXPECT_EQ(window.progressMax, 1);
  EXPECT_EQ(window.progressPosition, 0);

  const Lines plain = {"a > b", "& c; &amp;", ""};
  converter.TextBuffer = Text::FromLines(plain);
  EXPECT_FALSE(converter.RunStage(StandardStage("html")));
  EXPECT_EQ(ToLines(converter.TextBuffer), plain);
  EXPECT_EQ(converter.Counters.HtmlCount, 1);
}

TEST_F(HtmlStageTest, UserBreakKeepsWholeLinesAndCountsWhatWasDone) {
  // A page of 20000 lines of "&agrave;&aacute;": several blocks of work.
  Lines page(20000, "&agrave;&aacute;");
  page.insert(page.begin(), "<html>");
  converter.TextBuffer = Text::FromLines(page);
  int events = 0;
  window.onEvents = [&] {
    if (++events == 4) converter.UserBreak = true;
  };
  EXPECT_TRUE(converter.RunStage(StandardStage("html")));
  EXPECT_EQ(converter.Counters.HtmlCount, 1);
  // The decoded part lies between the first and the last entity and became
  // one line; after it come the untouched lines. No letter is lost.
  ASSERT_GE(converter.TextBuffer.size(), 3u);
  EXPECT_EQ(converter.TextBuffer[0], "<html>");
  const std::string joined(converter.TextBuffer[1]);
  const auto decoded = static_cast<std::size_t>(
      std::count_if(joined.begin(), joined.end(), [](char c) { return c == '\xE0' || c == '\xE1'; }));
  EXPECT_GT(decoded, 1000u);
  EXPECT_EQ(joined.substr(0, 4), W("абаб"));
  std::size_t entities = 0;
  for (const auto& line : converter.TextBuffer) entities += std::count(line.begin(), line.end(), '&');
  EXPECT_EQ(decoded + entities, 40000u);
  for (std::size_t i = 2; i < converter.TextBuffer.size(); ++i)
    ASSERT_EQ(converter.TextBuffer[i], "&agrave;&aacute;") << i;

  // Plain text is decoded line by line: on a stop the lines done are
  // decoded, the others whole as they were.
  converter.UserBreak = false;
  converter.TextBuffer = Text::FromLines(Lines(20000, "&agrave;&aacute;"));
  events = 0;
  window.onEvents = [&] {
    if (++events == 8) converter.UserBreak = true;
  };
  const bool changed = converter.RunStage(StandardStage("html"));
  ASSERT_EQ(converter.TextBuffer.size(), 20000u);
  std::size_t done = 0;
  while (done < 20000 && converter.TextBuffer[done] == W("аб")) ++done;
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, 20000u);
  EXPECT_EQ(changed, done > 0);
  for (std::size_t i = done; i < 20000; ++i) ASSERT_EQ(converter.TextBuffer[i], "&agrave;&aacute;") << i;
}

TEST(HtmlPage, ALatin1EntityPageComesBackReadable) {
  testing::TempDir dir;
  const std::string title = W("Письмо из Москвы");
  const std::string first = W("Дорогой друг, сегодня хорошая погода, и мы идём гулять в парк.");
  const std::string second = W("Вчера вечером пришло твоё письмо, спасибо за новости.");
  const std::string third = W("Как твои дела? Пиши чаще, жду ответа. Ёлка уже стоит.");
  const std::string page = "<html>\n<head><title>" + AsEntities(title) +
                           "</title></head>\n<body bgcolor=\"white\">\n<p>" + AsEntities(first) + "</p>\n<p>" +
                           AsEntities(second) + "<br>\n" + AsEntities(third) + "</p>\n</body>\n</html>\n";
  const std::string file = dir / "page.html";
  testing::WriteFile(file, page);

  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  const FileReport report = ConvertFile(converter, file, file);
  EXPECT_FALSE(report.Failed) << report.Text;
  EXPECT_EQ(testing::ReadFile(file), "\n" + title + "\n" + first + "\n" + second + "\n" + third + "\n\n\n");
  EXPECT_EQ(testing::ReadFile(file + ".bak"), page);
  EXPECT_NE(converter.Info().find("HTML converted."), std::string::npos) << converter.Info();

  // The same from the command line, as a user would try it.
  testing::WriteFile(file, page);
  const std::string command = "cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config") +
                              "' LANG=C.UTF-8 LC_ALL= " + KAMVO_EXECUTABLE + " page.html /WIN >'" + (dir / "out") +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << testing::ReadFile(dir / "out");
  EXPECT_EQ(testing::ReadFile(file), "\n" + title + "\n" + first + "\n" + second + "\n" + third + "\n\n\n");
  EXPECT_NE(testing::ReadFile(dir / "out").find("HTML converted."), std::string::npos);
}

// As a user runs it: a C source with a Russian comment, a licence with
// addresses in angle brackets and code that escapes HTML come out byte for
// byte.
TEST(HtmlPage, CodeAndLicencesComeOutOfTheProgramUntouched) {
  testing::TempDir dir;
  const std::string source =
      "#include <stdio.h>\n#include <stdlib.h>\n\n/* Печатает ответ и выходит. */\n"
      "int main(void) {\n  int a = 1, b = 2;\n  printf(\"%s\\n\", a<b ? \"да\" : \"нет\");  // сравнение\n"
      "  return EXIT_SUCCESS;\n}\n";
  const std::string licence =
      "                    GNU GENERAL PUBLIC LICENSE\n                       Version 3, 29 June 2007\n\n"
      " Copyright (C) 2007 Free Software Foundation, Inc. <https://fsf.org/>\n"
      "    <one line to give the program's name and a brief idea of what it does.>\n"
      "    Copyright (C) <year>  <name of author>\n"
      "    along with this program.  If not, see <https://www.gnu.org/licenses/>.\n";
  // Code that writes HTML keeps its references.
  const std::string escaper =
      "# Экранирует HTML.\ndef escape(s):\n"
      "    return s.replace(\"&\", \"&amp;\").replace(\"<\", \"&#60;\").replace(\">\", \"&gt;\")\n";
  for (const std::string& content : {source, licence, escaper}) {
    testing::WriteFile(dir / "in.txt", content);
    const testing::ProgramRun run = testing::RunKamvo(dir, {"--to=utf-8", "--stdout", dir / "in.txt"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, content) << run.Err;
  }
}

}  // namespace
}  // namespace kamvo
