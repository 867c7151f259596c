#include "decoders/quoted_printable.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <random>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/literal_quoted_printable.h"
#include "support/mixed_breaks.h"
#include "support/recording_progress.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::LiteralDecodeEscapes;

struct Decoded {
  Lines text;
  EscapeCounters counters;
  bool converted = false;
};

Decoded Decode(const Lines& source, EscapeSwitches switches = {}, EscapeCounters counters = {}) {
  Decoded result;
  result.counters = counters;
  Text decoded;
  const EscapeResult r = DecodeEscapedLines(Text::FromLines(source, LineEnd::CrLf), decoded, switches, result.counters);
  result.text = ToLines(decoded);
  EXPECT_FALSE(r.Stopped);
  result.converted = r.Converted;
  return result;
}

std::string DecodeLine(const std::string& line, EscapeSwitches switches = {}) {
  const Decoded d = Decode({line}, switches);
  return d.text.size() == 1 ? d.text[0] : "<" + std::to_string(d.text.size()) + " lines>";
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

void ExpectSameAsLiteral(const Lines& source, const EscapeSwitches& switches, EscapeCounters initial = {}) {
  const testing::LiteralEscapeResult expected = LiteralDecodeEscapes(source, switches, initial);
  const Decoded actual = Decode(source, switches, initial);
  ASSERT_EQ(actual.text, expected.text) << "source of " << source.size()
                                        << " lines, first: " << (source.empty() ? "" : source[0].substr(0, 80));
  EXPECT_EQ(actual.converted, expected.converted);
  EXPECT_EQ(actual.counters.QPCount, expected.counters.QPCount);
  EXPECT_EQ(actual.counters.SevenBitCount, expected.counters.SevenBitCount);
  EXPECT_EQ(actual.counters.RtfCount, expected.counters.RtfCount);
  EXPECT_EQ(actual.counters.HtmlCount, expected.counters.HtmlCount);
}

// --- The passes and their acceptance rule ---------------------------------

// Outside a mail, =XX is decoded only where its escapes form letters.
TEST(QuotedPrintable, QuotedPrintableNeedsEscapesFormingLetters) {
  EXPECT_EQ(DecodeLine("=C0=E1=E2"), "\xC0\xE1\xE2");
  EXPECT_EQ(DecodeLine("=c0=e1 =Ff"), "\xC0\xE1 \xFF");         // either case
  EXPECT_EQ(DecodeLine("a=3Db"), "a=3Db");                      // one low escape
  EXPECT_EQ(DecodeLine(Repeat("=41", 11)), Repeat("=41", 11));  // no letters however many
  EXPECT_EQ(DecodeLine("=C0 =E1"), "=C0 =E1");                  // no two side by side
  EXPECT_EQ(DecodeLine("=C0=E1=01"), "=C0=E1=01");              // an escaped control byte
  EXPECT_EQ(DecodeLine("=C0=E1=09=0D"), "\xC0\xE1\t\r");
  // The RTF rule of the hex pass: high escapes outnumber high literals, or
  // more than ten escapes.
  std::string rtf = Repeat("\\'41", 11);
  EXPECT_TRUE(DecodeHexPass(rtf, HexEscape::Rtf));
  EXPECT_EQ(rtf, Repeat("A", 11));
  rtf = Repeat("\\'41", 10);
  EXPECT_FALSE(DecodeHexPass(rtf, HexEscape::Rtf));
  // As many high escapes as literal high bytes: not accepted.
  EXPECT_EQ(DecodeLine("\xCF\xF0=C0=C1\xE8"), "\xCF\xF0=C0=C1\xE8");
  EXPECT_EQ(DecodeLine("\xCF=C0=C1"), "\xCF\xC0\xC1");
  // Malformed escapes stay, even inside an accepted group.
  EXPECT_EQ(DecodeLine("=G1=C0=E0 =4 =x"), "=G1\xC0\xE0 =4 =x");
  EXPECT_EQ(DecodeLine("=C"), "=C");
}

TEST(QuotedPrintable, PercentAndRtfPassesAndTheirCounters) {
  Decoded d = Decode({"%D0%F0 and", "\\'e0\\'e1"});
  EXPECT_EQ(d.text, (Lines{"\xD0\xF0 and", "\xE0\xE1"}));
  EXPECT_EQ(d.counters.QPCount, 0);
  EXPECT_EQ(d.counters.SevenBitCount, 1);
  EXPECT_EQ(d.counters.RtfCount, 1);
  EXPECT_TRUE(d.converted);
  EXPECT_EQ(DecodeLine("\\'e0\\e1\\'g0\\'"), "\xE0\\e1\\'g0\\'");

  // Counters count groups, not escapes.
  d = Decode({"=C0=C1=C2", "=C3", "%C0%C1"});
  EXPECT_EQ(d.counters.QPCount, 2);
  EXPECT_EQ(d.counters.SevenBitCount, 1);
}

TEST(QuotedPrintable, PassesRunInOrderEachOnThePreviousResult) {
  // =25 gives "%", so the =XX pass leaves three %XX for the %XX pass.
  Decoded d = Decode({"=25C0=25C1=25C2 =C0=C1"});
  EXPECT_EQ(d.text, Lines{"\xC0\xC1\xC2 \xC0\xC1"});
  EXPECT_EQ(d.counters.QPCount, 1);
  EXPECT_EQ(d.counters.SevenBitCount, 1);
  // "=5C'e0" gives "\'e0", which the RTF pass decodes in turn.
  d = Decode({"=5C'e0=5C'e1=5C'e2 =E0=E1"});
  EXPECT_EQ(d.text, Lines{"\xE0\xE1\xE2 \xE0\xE1"});
  EXPECT_EQ(d.counters.RtfCount, 1);
  // Only one round: what the %XX pass produces is not looked at again.
  EXPECT_EQ(DecodeLine("%253D%C0%C1"), "%3D\xC0\xC1");
}

TEST(QuotedPrintable, SwitchesChooseThePasses) {
  const Lines text = {"=C0=C1 %C2%C3 \\'c4\\'c5 &#1046;"};
  // The %XX pass runs on the =XX pass's result, which now holds two
  // literal high bytes: its two high escapes no longer outnumber them.
  EXPECT_EQ(Decode(text, {true, false, false}).text, Lines{"\xC0\xC1 %C2%C3 \\'c4\\'c5 &#1046;"});
  EXPECT_EQ(Decode(text, {false, true, false}).text, Lines{"=C0=C1 %C2%C3 \xC4\xC5 &#1046;"});
  EXPECT_EQ(Decode(text, {false, false, true}).text, Lines{"=C0=C1 %C2%C3 \\'c4\\'c5 \xC6"});
  const Decoded none = Decode(text, {false, false, false});
  EXPECT_EQ(none.text, text);
  EXPECT_FALSE(none.converted);
}

TEST(QuotedPrintable, NumericReferences) {
  Decoded d = Decode({"&#1040;x &#1041;&#1042;yz"});
  EXPECT_EQ(d.text, Lines{"\xC0x \xC1\xC2yz"});
  EXPECT_EQ(d.counters.HtmlCount, 3);  // one per reference
  EXPECT_TRUE(d.converted);
  EXPECT_EQ(DecodeLine("&#233;abc"),
            "\xE9"
            "abc");                               // 0..255 give the same byte
  EXPECT_EQ(DecodeLine("&#8470;  "), "\xB9  ");   // numero sign; the line is not trimmed
  EXPECT_EQ(DecodeLine("ab &#65;"), "ab &#65;");  // five characters left: not tried
  EXPECT_EQ(DecodeLine("&#65;x"), "Ax");
  EXPECT_EQ(DecodeLine("&#12345;xx"), "&#12345;xx");  // ";" too far
  EXPECT_EQ(DecodeLine("&#01040;xx"), "&#01040;xx");
  EXPECT_EQ(DecodeLine("&#0065;x"), "Ax");
  EXPECT_EQ(DecodeLine("&#;xxxxx"), "&#;xxxxx");  // no number
  EXPECT_EQ(DecodeLine("&#1a4;xx"), "&#1a4;xx");
  EXPECT_EQ(DecodeLine("&#9999;xx"), "&#9999;xx");  // no Windows-1251 byte
  EXPECT_EQ(DecodeLine("&#&#1040;x"), "&#\xC0x");
  EXPECT_EQ(DecodeLine("&#x410;xx"), "&#x410;xx");
}

// --- Line groups ---------------------------------------------------------

// Each group is judged by its own escapes: a decoded group elsewhere in the
// text joins no soft breaks and trims no lines.
TEST(QuotedPrintable, SoftBreaksJoinOnlyGroupsThatShowQuotedPrintable) {
  // Nothing accepted: the lines stay exactly as they were, blanks included.
  const Lines plain = {"  abc=  ", "def", "\tx = y ", ""};
  Decoded d = Decode(plain);
  EXPECT_EQ(d.text, plain);
  EXPECT_FALSE(d.converted);

  d = Decode(
      {"  abc=", "def", "=C0=C1", "  abc= ", " def ", "  ghi  ", "", "NAME=", "VALUE=1", "=C2=C3=", "=C4 x= ", "y"});
  EXPECT_EQ(d.text, (Lines{"  abc=", "def", "\xC0\xC1", "  abc= ", " def ", "  ghi  ", "", "NAME=", "VALUE=1",
                           "\xC2\xC3\xC4 xy"}));
  EXPECT_EQ(d.counters.QPCount, 2);
  // Right after a decoded group, one escape of a high byte is enough.
  EXPECT_EQ(Decode({"=C0=C1=", "x", "=C2 and", "=C3 not"}).text, (Lines{"\xC0\xC1x", "\xC2 and", "\xC3 not"}));
  EXPECT_EQ(Decode({"=C0=C1", "", "=C2 and"}).text, (Lines{"\xC0\xC1", "", "=C2 and"}));
}

// The blanks and control characters at the end of a line are transport
// padding and go; those at its start belong to the text and stay.
TEST(QuotedPrintable, OnlyTrailingBlanksAreTrimmed) {
  struct Case {
    Lines input;  // Windows-1251
    Lines expected;
  };
  const Case cases[] = {
      // A soft break joins the halves exactly; the next line keeps its indent.
      {{"=CF=F0=E8=E2=E5=F2,=", " =EC=E8=F0!", "    \xC2\xF2\xEE\xF0\xE0\xFF \xF1\xF2\xF0\xEE\xEA\xE0"},
       {"\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!", "    \xC2\xF2\xEE\xF0\xE0\xFF \xF1\xF2\xF0\xEE\xEA\xE0"}},
      // Padding after the soft break's "=" and at line ends goes.
      {{"\t=C0=C1 =  \t", "\t=C2 \r"}, {"\t\xC0\xC1 \t\xC2"}},
      // Lines not joined are not trimmed.
      {{"%C0%C1  ", "  %C2 x  ", "\t\x01y"}, {"\xC0\xC1  ", "  %C2 x  ", "\t\x01y"}},
      // Leading blanks count toward the four characters of a soft break.
      {{"  =C0=C1=", "b"},
       {"  \xC0\xC1"
        "b"}},
      {{"=C0=C1", " a=", "b"}, {"\xC0\xC1", " a=", "b"}},
      // A blank line after a soft break ends the group.
      {{"=C0=C1=", "   ", "  x"}, {"\xC0\xC1", "  x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.input).text, c.expected) << c.input[0];
    ExpectSameAsLiteral(c.input, {});
  }
}

TEST(QuotedPrintable, AGroupIsAcceptedAsAWholeAndEarlierLinesAreReexamined) {
  // The group "abc=" + "=C0=C1" is accepted from its first line.
  EXPECT_EQ(Decode({"x", "abc=", "=C0=C1", "y"}).text, (Lines{"x", "abc\xC0\xC1", "y"}));
  // A group that is rejected as a whole gives out its first line only; the
  // group starting at its next line can still be accepted.
  EXPECT_EQ(Decode({"\xE0\xE1\xE2\xE3=", "=C0=C1", "z"}).text, (Lines{"\xE0\xE1\xE2\xE3=", "\xC0\xC1", "z"}));
  // A later start can end sooner: "ab=" is a soft break after four
  // characters but not on its own.
  EXPECT_EQ(Decode({"\xE0\xE1\xE2\xE3=", "ab=", "=C0=C1"}).text, (Lines{"\xE0\xE1\xE2\xE3=", "ab=", "\xC0\xC1"}));
  EXPECT_EQ(Decode({"\xE0\xE1\xE2\xE3=", "=C0=C1=", "ab=", "cd"}).text, (Lines{"\xE0\xE1\xE2\xE3=",
                                                                               "\xC0\xC1"
                                                                               "abcd"}));
}

TEST(QuotedPrintable, SoftBreakCornerCases) {
  const std::string q = "=C0=C1";
  EXPECT_EQ(Decode({q, "ab=", "cd"}).text, (Lines{"\xC0\xC1", "ab=", "cd"}));  // three characters: no soft break
  EXPECT_EQ(Decode({q + "abcd="}).text, Lines{"\xC0\xC1"
                                              "abcd"});  // the last line's "=" goes too
  // A double "=": a blank line after it ends in the remaining "=" and
  // breaks softly again.
  EXPECT_EQ(Decode({q + "abcd==", "", "x"}).text, Lines{"\xC0\xC1"
                                                        "abcdx"});
  EXPECT_EQ(Decode({q + "abcd==", "", " ", "x"}).text, (Lines{"\xC0\xC1"
                                                              "abcd",
                                                              "x"}));
  EXPECT_EQ(Decode({q + "=", "=", "b"}).text, (Lines{"\xC0\xC1"
                                                     "b"}));
  EXPECT_EQ(Decode({q, "a=", "=", "b"}).text, (Lines{"\xC0\xC1", "a=", "=", "b"}));
}

// A reference decoded before the stage turns nothing else on.
TEST(QuotedPrintable, AReferenceDecodedBeforeJoinsNoLines) {
  EscapeCounters counters;
  counters.HtmlCount = 1;
  const Decoded d = Decode({" abc= ", "d "}, {}, counters);
  EXPECT_EQ(d.text, (Lines{" abc= ", "d "}));
  EXPECT_FALSE(d.converted);
}

TEST(QuotedPrintable, StopsWhenAsked) {
  Lines text(50, "=C0=C1=");
  text.push_back("x");
  Text out;
  EscapeCounters counters;
  testing::RecordingProgress progress(5);
  const EscapeResult r = DecodeEscapedLines(Text::FromLines(text), out, {}, counters, progress);
  EXPECT_TRUE(r.Stopped);
  EXPECT_EQ(progress.Asked, 5);
}

// --- Against the literal algorithm ----------------------------------------

// Pieces that make escapes, near-escapes and soft breaks likely.
const std::vector<std::string>& Pieces() {
  static const std::vector<std::string> pieces = {
      "=",      "=",    "==",     "%",      "\\",    "'",       "\\'",      "&",       "&#",      "#",        ";",
      " ",      "\t",   "\x01",   "a",      "x",     "G",       "0",        "4",       "9",       "C",        "e",
      "\xC0",   "\xE0", "\xFF",   "\x98",   "=C0",   "=e1",     "=3D",      "=41",     "=4",      "=G1",      "%C0",
      "%41",    "%2",   "\\'e0",  "\\'41",  "\\'x0", "&#1040;", "&#65;",    "&#0;",    "&#;",     "&#12345;", "&#9999;",
      "&#233;", "=25",  "=5C",    "%5C",    "=26#",  "&#10",    "&#01040;", "&#0065;", "&#8470;", "&#1a;",    "http://",
      "www.",   "://",  "%D0%BF", "=D0=BF", "\"",    "<",
  };
  return pieces;
}

std::string RandomLine(std::mt19937& random, int maxPieces) {
  const auto& pieces = Pieces();
  std::string line;
  const int count = static_cast<int>(random() % (maxPieces + 1));
  for (int i = 0; i < count; ++i) line += pieces[random() % pieces.size()];
  switch (random() % 5) {  // lines ending in soft breaks of every sort
    case 0:
      line += "=";
      break;
    case 1:
      line += (random() % 2) ? "= " : "==";
      break;
    default:
      break;
  }
  return line;
}

EscapeSwitches RandomSwitches(std::mt19937& random) {
  if (random() % 2) return {};
  return {random() % 2 == 0, random() % 2 == 0, random() % 2 == 0};
}

TEST(QuotedPrintableDifferential, RandomShortTexts) {
  std::mt19937 random(2024);
  for (int round = 0; round < 6000; ++round) {
    Lines source(random() % 10);
    const int maxPieces = 1 + static_cast<int>(random() % 6);
    for (auto& line : source) line = RandomLine(random, maxPieces);
    EscapeCounters initial;
    if (random() % 20 == 0) initial.HtmlCount = 1;
    ExpectSameAsLiteral(source, RandomSwitches(random), initial);
    if (HasFailure()) return;
  }
}

TEST(QuotedPrintableDifferential, EveryLineKeepsTheBreakOfItsLastSourceLine) {
  // A line passed through keeps its break, a joined group takes the break
  // of the last line it joins; the lines are those of the literal version.
  std::mt19937 random(31);
  for (int round = 0; round < 2000; ++round) {
    Lines source(1 + random() % 8);
    for (auto& line : source) line = RandomLine(random, 4);
    const EscapeSwitches switches = RandomSwitches(random);
    const testing::LiteralEscapeResult expected = LiteralDecodeEscapes(source, switches);
    const Text mixed = testing::MixedBreaks(source);
    Text out;
    EscapeCounters counters;
    DecodeEscapedLines(mixed, out, switches, counters);
    ASSERT_EQ(ToLines(out), expected.text);
    std::vector<LineEnd> ends;
    for (std::size_t last : expected.lastSource) ends.push_back(mixed.End(last));
    ASSERT_EQ(out.Bytes(), testing::JoinedWith(expected.text, ends));
    ASSERT_EQ(testing::EndsOf(out), ends);
  }
}

TEST(QuotedPrintableDifferential, LongChainsOfSoftBreaks) {
  std::mt19937 random(7);
  const std::vector<std::string> chainLines = {
      "abc=", "=", "ab=", "", "a==", "=C0=", "\xE0\xE1=", "x=", "%=", "&#65=", ";=", " = ", "=41=", "abcd=="};
  for (int round = 0; round < 40; ++round) {
    Lines source;
    const int length = 200 + static_cast<int>(random() % 400);
    for (int i = 0; i < length; ++i) {
      source.push_back(random() % 8 ? chainLines[random() % chainLines.size()] : RandomLine(random, 3));
    }
    ExpectSameAsLiteral(source, RandomSwitches(random));
    if (HasFailure()) return;
  }
}

// Long runs of lines the stage cannot change (plain words, lone leads, some
// with trailing blanks that a written group trims) around a few lines with
// escapes and soft breaks: the runs are copied whole, and the result is the
// literal one, with each line's own break.
TEST(QuotedPrintableDifferential, RunsOfPlainLinesAroundEscapes) {
  std::mt19937 random(41);
  const std::vector<std::string> plain = {"word", "", "%", "50 % off", "a & b", "x = y", "\\", "tail ", "\t\x01"};
  for (int round = 0; round < 150; ++round) {
    Lines source(1 + random() % 300);
    for (auto& line : source) line = random() % 40 ? plain[random() % plain.size()] : RandomLine(random, 4);
    const EscapeSwitches switches = RandomSwitches(random);
    EscapeCounters initial;
    if (random() % 5 == 0) initial.HtmlCount = 1;
    ExpectSameAsLiteral(source, switches, initial);
    if (HasFailure()) return;
    const testing::LiteralEscapeResult expected = LiteralDecodeEscapes(source, switches, initial);
    const Text mixed = testing::MixedBreaks(source);
    Text out;
    EscapeCounters counters = initial;
    DecodeEscapedLines(mixed, out, switches, counters);
    std::vector<LineEnd> ends;
    for (std::size_t last : expected.lastSource) ends.push_back(mixed.End(last));
    ASSERT_EQ(out.Bytes(), testing::JoinedWith(expected.text, ends));
  }
}

// A text in which no group is accepted is its own result: the stage keeps
// its block of bytes instead of writing a copy.
TEST(QuotedPrintable, ATextLeftAloneKeepsItsBytesWhereTheyAre) {
  Text text = testing::MixedBreaks({"50 % off", "a=", "b", "=41 ", "x & y"});
  const std::string before(text.Bytes());
  const char* block = text.Bytes().data();
  EscapeCounters counters;
  EXPECT_FALSE(DecodeEscapes(text, {}, counters, NoProgress()));
  EXPECT_EQ(text.Bytes(), before);
  EXPECT_EQ(text.Bytes().data(), block);
}

TEST(QuotedPrintableDifferential, AdversarialPatterns) {
  const std::string highs = "\xCF\xF0\xE8\xE2\xE5\xF2";  // six literal high bytes
  std::vector<Lines> cases;
  // Thousands of soft breaks with nothing accepted, then with one group at
  // the very end that is accepted only when started late.
  cases.push_back(Lines(1200, "abc="));
  cases.back().push_back("end");
  cases.push_back(Lines(1000, "=C0="));
  cases.back().insert(cases.back().begin(), Repeat(highs, 300) + "=");
  cases.back().push_back("=C1");
  cases.push_back(Lines(3000, "="));  // each under four characters
  cases.push_back(Lines(2000, "a="));
  cases.push_back(Lines(1000, "ab=="));
  {
    Lines mixed;
    for (int i = 0; i < 1000; ++i) mixed.push_back(i % 3 ? "ab=" : "");
    mixed.push_back("=C0=C1");
    cases.push_back(mixed);
  }
  // Runs of "&#", "%", "=" and "\" on long lines, with and without a
  // decodable escape at the end.
  for (const std::string& run : {std::string("&#"), std::string("%"), std::string("="), std::string("\\'"),
                                 std::string("&#1"), std::string("%4"), std::string("=C")}) {
    cases.push_back({Repeat(run, 1500)});
    cases.push_back({Repeat(run, 1500) + "&#1040;x", Repeat(run, 100) + "=C0=C1"});
    cases.push_back(Lines(300, Repeat(run, 5) + "="));
  }
  // Very long lines of mixed escapes.
  std::mt19937 random(99);
  for (int i = 0; i < 6; ++i) cases.push_back({RandomLine(random, 1500), RandomLine(random, 1500)});
  for (const Lines& source : cases) {
    ExpectSameAsLiteral(source, {});
    ExpectSameAsLiteral(source, {true, false, false});
    ExpectSameAsLiteral(source, {false, true, true});
    if (HasFailure()) return;
  }
}

// --- The stage in a conversion run ------------------------------------------

class QuotedPrintableStageTest : public ::testing::Test {
 protected:
  QuotedPrintableStageTest() : converter(window, cfg, StageTable{StandardStage("escapes"), StandardStage("html")}) {
    converter.Options.Source = kWindows;  // no detection: the decoded text is the result
    converter.Options.Target = kWindows;
    converter.Options.Switches.Base64 = converter.Options.Switches.Utf8 = false;
  }

  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(QuotedPrintableStageTest, DecodesTheBufferReportsAndClearsTheStatus) {
  std::vector<std::string> statuses;
  window.onEvents = [&] {  // the status line while the stage runs
    const std::string& info = converter.Info();
    statuses.push_back(info.substr(0, info.find('\n')));
  };
  converter.TextBuffer = {"Subject: x", "=C0=C1 %41", "&#1046;"};
  converter.Counters.QPCount = 3;  // the stage adds to what it finds
  EXPECT_TRUE(converter.RunStage(StandardStage("escapes")));
  // Numeric references are left to the HTML stage.
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"Subject: x", "\xC0\xC1 %41", "&#1046;"}));
  EXPECT_EQ(converter.Counters.QPCount, 4);
  EXPECT_EQ(converter.Counters.HtmlCount, 0);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Checking quoted printable...");
  EXPECT_EQ(converter.LastStatus(), "");
  EXPECT_EQ(window.progressMin, 0);
  EXPECT_EQ(window.progressMax, 1);

  converter.Options.English = false;
  converter.Counters = DecoderCounters{};  // a count above 0 would accept every group
  converter.TextBuffer = {"plain"};
  statuses.clear();
  EXPECT_FALSE(converter.RunStage(StandardStage("escapes")));
  EXPECT_EQ(statuses.front(), WinFromUtf8("Проверка quoted printable..."));
  EXPECT_EQ(ToLines(converter.TextBuffer), Lines{"plain"});
}

TEST_F(QuotedPrintableStageTest, ConvertReportsEachKindAndFollowsTheCheckBoxes) {
  converter.TextBuffer = {"=C0=C1", "%C2%C3", "\\'c4\\'c5", "\xC4&#1046;x"};
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"\xC0\xC1", "\xC2\xC3", "\xC4\xC5", "\xC4\xC6x"}));
  EXPECT_EQ(SplitLines(converter.Info()),
            (Lines{"Quoted-printable converted.", "7-bit converted.", "RTF converted.", "HTML converted."}));

  converter.Options.Switches.QP = false;
  converter.Options.Switches.Html = false;
  converter.TextBuffer = {"=C0=C1", "\\'c4\\'c5 &#1046;x"};
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"=C0=C1", "\xC4\xC5 &#1046;x"}));
  EXPECT_EQ(converter.Counters.QPCount, 0);
  EXPECT_EQ(converter.Counters.RtfCount, 1);
}

TEST_F(QuotedPrintableStageTest, UserBreakLeavesTheTextAsItWas) {
  Lines text;
  for (int i = 0; i < 40; ++i) {
    text.push_back("  =C0=C1=");
    text.push_back(" line ");
  }
  for (int pressAfter : {1, 5, 30}) {
    converter.TextBuffer = Text::FromLines(text);
    converter.UserBreak = false;
    int events = 0;
    window.onEvents = [&] {
      if (++events == pressAfter) converter.UserBreak = true;
    };
    converter.RunStage(StandardStage("escapes"));
    EXPECT_EQ(ToLines(converter.TextBuffer), text) << pressAfter;
    EXPECT_EQ(converter.LastStatus(), "");
  }
  // Through Convert: the driver reports the break; Back gives the original.
  converter.TextBuffer = Text::FromLines(text);
  int events = 0;
  window.onEvents = [&] {
    if (++events == 10) converter.UserBreak = true;
  };
  converter.Convert();
  EXPECT_EQ(SplitLines(converter.Info())[0], "User break.");
  EXPECT_EQ(ToLines(window.screen), text);
}

// --- A new user's first try: a quoted-printable KOI8-R mail ------------------

// Encodes text (one line per entry) as quoted-printable, breaking lines
// softly after a space once they pass 60 characters.
Lines QuotedPrintableBody(const Lines& text) {
  Lines out;
  for (const std::string& line : text) {
    std::string current;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const Byte c = static_cast<Byte>(line[i]);
      char escape[4];
      if (c >= 0x80 || c == '=' || (c == ' ' && i + 1 == line.size())) {
        std::snprintf(escape, sizeof escape, "=%02X", c);
        current += escape;
      } else {
        current += static_cast<char>(c);
      }
      if (c == ' ' && current.size() > 60 && i + 1 < line.size()) {
        out.push_back(current + "=");
        current.clear();
      }
    }
    out.push_back(current);
  }
  return out;
}

struct MailFixture {
  Lines headers = {"From: ivan@example.ru", "Subject: letter", "Content-Type: text/plain; charset=koi8-r",
                   "Content-Transfer-Encoding: quoted-printable", ""};
  Lines body;
  std::string file;

  MailFixture() {
    std::mt19937 random(5);
    body = testing::RussianText(random, 12, 14);
    body.insert(body.begin() + 6, "");
    Lines koi;
    for (const auto& line : body) koi.push_back(ConvertByPair(line, 2));  // Windows -> KOI-8
    Lines lines = headers;
    for (const auto& line : QuotedPrintableBody(koi)) lines.push_back(line);
    file = JoinLines(lines, "\n");
  }
  std::string Expected() const {
    Lines lines = headers;
    lines.insert(lines.end(), body.begin(), body.end());
    return JoinLines(lines, "\n");
  }
};

TEST(QuotedPrintableMail, ConvertFileMakesAKoi8MailReadable) {
  testing::TempDir dir;
  const MailFixture mail;
  ASSERT_NE(mail.file.find("=\n"), std::string::npos);  // there are soft breaks
  testing::WriteFile(dir / "mail.txt", mail.file);
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Source = 0;  // Auto
  converter.Options.Target = kWindows;
  const FileReport report = ConvertFile(converter, dir / "mail.txt", dir / "mail.txt");
  EXPECT_FALSE(report.Failed) << report.Text;
  EXPECT_EQ(testing::ReadFile(dir / "mail.txt"), mail.Expected());
  EXPECT_EQ(testing::ReadFile(dir / "mail.txt.bak"), mail.file);
  EXPECT_GT(converter.Counters.QPCount, 0);
}

TEST(QuotedPrintableMail, TheProgramMakesAKoi8MailReadable) {
  testing::TempDir dir;
  const MailFixture mail;
  testing::WriteFile(dir / "mail.txt", mail.file);
  const std::string out = dir / "stdout";
  const std::string command = "cd '" + dir.path().string() + "' && XDG_CONFIG_HOME='" + (dir / "config") +
                              "' LANG=C.UTF-8 LC_ALL= LC_CTYPE= " + KAMVO_EXECUTABLE + " mail.txt /WIN >'" + out +
                              "' 2>&1";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  const std::string printed = testing::ReadFile(out);
  EXPECT_NE(printed.find("Quoted-printable converted."), std::string::npos) << printed;
  EXPECT_NE(printed.find("KOI8-R -> Windows-1251"), std::string::npos) << printed;
  EXPECT_EQ(testing::ReadFile(dir / "mail.txt"), mail.Expected());
}

}  // namespace
}  // namespace kamvo
