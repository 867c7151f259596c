#include "decoders/html.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/headless_window.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/literal_html.h"
#include "support/mixed_breaks.h"
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
  static const char* const kSmall[] = {"agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
                                       "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
                                       "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
                                       "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
  std::string out;
  for (char ch : win) {
    const Byte b = static_cast<Byte>(ch);
    std::string name;
    if (b == 0xD7) name = "times";
    else if (b == 0xDF) name = "szlig";
    else if (b == 0xA8) name = "uml";
    else if (b == 0xB8) name = "cedil";
    else if (b >= 0xE0) name = kSmall[b - 0xE0];
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
  EXPECT_EQ(Html({"x&nbsp;&QUOT;&acute;&shy;&sup1;&NbSp;y"}), Lines{W("x \"'-№ y")});
}

TEST(HtmlEntities, UnknownUnterminatedAndAmpersandEntitiesStay) {
  bool changed = true;
  const Lines kept = {"&amp; &nbsp &agrav; &agravee; &sup; &sup2; & ; &#1072; &&; &AMP;lt;"};
  EXPECT_EQ(Html(kept, &changed), kept);
  EXPECT_FALSE(changed);
  // A name whose prefix or tail is another name is only the whole name.
  EXPECT_EQ(Html({"&a&agrave; &e&eth;; &&uml;; &auml &ouml;"}), Lines{W("&aа &eр; &Ё; &auml ц")});
}

// Only markup goes: a tag opens where "<" is followed by an ASCII letter,
// "/", "!" or "?", and the "<" and ">" written as &lt; and &gt; are text.
TEST(HtmlTags, OnlyMarkupIsRemoved) {
  struct Case {
    Lines input;  // UTF-8
    Lines expected;
  };
  const Case cases[] = {
      // Comparisons and quotation marks are not markup.
      {{"if (a < b && b > 0)"}, {"if (a < b && b > 0)"}},
      {{"Цена < 100 и > 50"}, {"Цена < 100 и > 50"}},
      {{"<<кавычки>>"}, {"<<кавычки>>"}},
      {{"x <= y >= z, a <- b, <3 >"}, {"x <= y >= z, a <- b, <3 >"}},
      {{"a <", "b> c"}, {"a <", "b> c"}},  // a line break is no letter
      // Angle brackets written as entities stay as text.
      {{"&lt;тег&gt;"}, {"<тег>"}},
      {{"x&lt;b&gt;y 1 &lt; 2"}, {"x<b>y 1 < 2"}},
      {{"&lt;b>bold"}, {"<b>bold"}},           // an escaped "<" opens nothing
      {{"<b&gt;x</b> y"}, {" y"}},             // an escaped ">" closes nothing
      {{"a&nbsp;&lt;br&gt;b&lt;/tr&gt;c"}, {"a <br>b</tr>c"}},  // nor makes a line break
      {{"a&nbsp;&lt;br>b<br&gt;c"}, {"a <br>b<br>c"}},
      {{"<i title=\"&lt;&gt;\">x</i>"}, {"x"}},  // inside a tag it goes with the tag
      // Tags of every kind go.
      {{"<b>bold</b> <a href=\"x\">link</a> 2 > 1"}, {"bold link 2 > 1"}},
      {{"a <b and c> d"}, {"a  d"}},
      {{"<!-- note -->text<!DOCTYPE html>"}, {"text"}},
      {{"<?xml version=\"1.0\"?>x"}, {"x"}},
      // A "<" inside an open tag belongs to it; a ">" with no tag open stays.
      {{"<<b>> x <a<b>"}, {"<> x "}},
      // A tag spanning one line break goes with it; with two the "<" stays
      // and the scan goes on right after it.
      {{"a<font", "color=red>b"}, {"ab"}},
      {{"<!--", "comment -->x"}, {"x"}},
      {{"x <a", "b", "c> y <i>z"}, {"x <a", "b", "c> y z"}},
      {{"<a", "<b", "<c", "<d>"}, {"<a", "<b", ""}},
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

TEST(HtmlLines, WithoutEntitiesTagsAreDeletedAndTheLinesStay) {
  EXPECT_EQ(Html({"<p>One", "two<br>three</p>", "<LI>four"}), (Lines{"One", "twothree", "four"}));
}

TEST(HtmlLines, BetweenTheFirstAndLastEntityTheTagRowsMakeTheLines) {
  const Lines page = {"<html>",       "a&nbsp;b",           "<BR>c",       "d<br/>e<P class=x>f",
                      "<Li>g</tR>h",  "i&nbsp;j<tr>k<p>",   "l<br>",       "</html>"};
  EXPECT_EQ(Html(page), (Lines{"", "a b", "cdef", "g", "hi j", "k", "", "l", "", ""}));
  // One entity: no span to join, but the tag rows still break the lines.
  EXPECT_EQ(Html({"a<br>b&quot;", "c"}), (Lines{"a", "b\"", "c"}));
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
    switch (random_() % 14) {
      case 0:
      case 1:
      case 2: return MixedCase(table[5 + random_() % (table.size() - 5)].Pattern);
      case 3: return MixedCase(table[random_() % 5].Pattern);
      case 4: {  // a cut or stretched name
        std::string p = table[random_() % table.size()].Pattern;
        if (random_() % 2) return MixedCase(p.substr(0, 1 + random_() % (p.size() - 1)));
        return MixedCase(p.insert(1 + random_() % (p.size() - 1), 1, "aX;&<>1"[random_() % 7]));
      }
      case 5: return std::string(1, "&;<>/!?"[random_() % 7]);
      case 6: return std::string(1 + random_() % 3, '<');
      case 7: return std::string(1 + random_() % 2, '>');
      case 8: return "&amp;";
      case 9: return "<p class=x>";
      case 10: return "\r";
      case 11: return std::string(1, static_cast<char>(0xC0 + random_() % 64));
      default: return std::string(1 + random_() % 3, "abzAZ 1"[random_() % 7]);
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
  const std::vector<std::string> pieces = {"&",     "&a",       "&agrave;", "&AGRAVE", ";",      "&&uml;",
                                           "&auml;", "&sup1;",  "&sup",     "&lt;",    "&gt;",   "&e&eth;",
                                           "<",     ">",        "<br",      "<BR>",    "</tr>",  "&nbsp;&nbsp;",
                                           "br>",   "/tr>",     "<!",       "?"};
  for (int round = 0; round < 1500; ++round) {
    Lines lines(1 + random() % 4);
    for (auto& line : lines)
      for (int i = random() % 20; i > 0; --i) line += generate.MixedCase(pieces[random() % pieces.size()]);
    ExpectSameAsLiteral(lines);
  }
  // Unterminated tags of every length.
  for (int round = 0; round < 300; ++round) {
    Lines lines(1 + random() % 6);
    for (auto& line : lines) line = std::string(random() % 4, 'a') + (random() % 2 ? "<" : "") + "&Ouml;" +
                                    std::string(random() % 3, '>');
    ExpectSameAsLiteral(lines);
  }
}

// Texts without entities, where the tag phase works on the lines near each
// tag alone: long runs of plain lines between tags that open and close on
// one line, across one break or two, unclosed "<", stray ">", and lines
// that hold a CR of their own.
TEST(HtmlDifferential, TextsWithoutEntitiesMatchTheLiteralAlgorithm) {
  std::mt19937 random(99);
  const std::vector<std::string> pieces = {"word", " ", "<b>", "</i>", "<p>", "<BR>", "<", ">",  "<a",
                                           "href>", "<!--", "-->", "a < b", "&amp;", "&", "\r", "x"};
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
  EXPECT_TRUE(ConvHTML(converter));
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
  EXPECT_FALSE(ConvHTML(converter));
  EXPECT_EQ(ToLines(converter.TextBuffer), plain);
  EXPECT_EQ(converter.Counters.HtmlCount, 1);
}

TEST_F(HtmlStageTest, UserBreakKeepsWholeLinesAndCountsWhatWasDone) {
  // 20000 lines of "&agrave;&aacute;": several blocks of work.
  converter.TextBuffer = Text::FromLines(Lines(20000, "&agrave;&aacute;"));
  int events = 0;
  window.onEvents = [&] {
    if (++events == 3) converter.UserBreak = true;
  };
  EXPECT_TRUE(ConvHTML(converter));
  EXPECT_EQ(converter.Counters.HtmlCount, 1);
  // The decoded part lies between the first and the last entity and became
  // one line; after it come the untouched lines. No letter is lost.
  ASSERT_GE(converter.TextBuffer.size(), 2u);
  const std::string joined(converter.TextBuffer[0]);
  const auto decoded = static_cast<std::size_t>(std::count_if(
      joined.begin(), joined.end(), [](char c) { return c == '\xE0' || c == '\xE1'; }));
  EXPECT_GT(decoded, 1000u);
  EXPECT_EQ(joined.substr(0, 4), W("абаб"));
  std::size_t entities = 0;
  for (const auto& line : converter.TextBuffer) entities += std::count(line.begin(), line.end(), '&');
  EXPECT_EQ(decoded + entities, 40000u);
  for (std::size_t i = 1; i < converter.TextBuffer.size(); ++i)
    ASSERT_EQ(converter.TextBuffer[i], "&agrave;&aacute;") << i;
}

TEST(HtmlPage, ALatin1EntityPageComesBackReadable) {
  testing::TempDir dir;
  const std::string title = W("Письмо из Москвы");
  const std::string first = W("Дорогой друг, сегодня хорошая погода, и мы идём гулять в парк.");
  const std::string second = W("Вчера вечером пришло твоё письмо, спасибо за новости.");
  const std::string third = W("Как твои дела? Пиши чаще, жду ответа. Ёлка уже стоит.");
  const std::string page = "<html>\n<head><title>" + AsEntities(title) + "</title></head>\n<body bgcolor=\"white\">\n<p>" +
                           AsEntities(first) + "</p>\n<p>" + AsEntities(second) + "<br>\n" + AsEntities(third) +
                           "</p>\n</body>\n</html>\n";
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
                              "' LANG=C.UTF-8 LC_ALL= " + KAMVO_EXECUTABLE + " page.html >'" + (dir / "out") +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << testing::ReadFile(dir / "out");
  EXPECT_EQ(testing::ReadFile(file), "\n" + title + "\n" + first + "\n" + second + "\n" + third + "\n\n\n");
  EXPECT_NE(testing::ReadFile(dir / "out").find("HTML converted."), std::string::npos);
}

}  // namespace
}  // namespace kamvo
