#include "decoders/translit.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/literal_translit.h"
#include "support/mixed_breaks.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::LiteralDecodeTranslit;
using testing::LiteralEncodeTranslit;

std::string W(std::string_view utf8) { return WinFromUtf8(utf8); }

// The decoder and encoder over lines each ended by CR LF, the way the
// literal versions see a text.
TranslitOutcome DecodeLines(Lines& lines, std::string_view table, StageProgress& progress = NoProgress(),
                            std::size_t pollEvery = kTranslitPollBytes) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  const TranslitOutcome outcome = DecodeTranslitLines(text, table, progress, pollEvery);
  lines = ToLines(text);
  return outcome;
}

TranslitOutcome EncodeLines(Lines& lines, std::string_view table, StageProgress& progress = NoProgress(),
                            std::size_t pollEvery = kTranslitPollBytes) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  const TranslitOutcome outcome = EncodeTranslitLines(text, table, progress, pollEvery);
  lines = ToLines(text);
  return outcome;
}

// Decodes a text given as one string (CR LF after every line) with the
// default table, the way a conversion run sees it.
std::string Decode(std::string_view text, const std::string& table = DefaultTranslitTable()) {
  Lines lines = SplitLines(text);
  DecodeLines(lines, table);
  return JoinLines(lines, "\n");
}

std::string Encode(std::string_view text, const std::string& table = DefaultTranslitTable()) {
  Lines lines = SplitLines(text);
  EncodeLines(lines, table);
  return JoinLines(lines, "\n");
}

// The default table with the spelling of the k-th letter (0-based) replaced.
std::string TableWith(int k, const std::string& spelling) {
  Lines lines = SplitLines(DefaultTranslitTable());
  lines[k] = spelling;
  std::string table = JoinLines(lines, "\r\n");
  table.resize(table.size() - 2);
  return table;
}

constexpr int kA = 0, kZh = 7, kJa = 32;

TEST(TranslitDecode, DefaultTableSpellingsAndCase) {
  EXPECT_EQ(Decode("Privet"), W("Привет\n"));
  EXPECT_EQ(Decode("PRIVET"), W("ПРИВЕТ\n"));
  EXPECT_EQ(Decode("privet"), W("привет\n"));
  // ZH before Z; the case of the occurrence's first letter decides.
  EXPECT_EQ(Decode("Zhuk zHuk"), W("Жук жук\n"));
  // No row SHCH: SH and CH apply. SHH goes before SH and H.
  EXPECT_EQ(Decode("shchi shhuka SHHUKA"), W("шчи щука ЩУКА\n"));
  // Letters without a row stay Latin.
  EXPECT_EQ(Decode("Hello, World"), W("Hелло, Wорлд\n"));
  EXPECT_EQ(Decode("Jozh EHto JAbloko jula"), W("Ёж Это Яблоко юла\n"));
}

TEST(TranslitDecode, ApostropheAndQuoteFollowTheCharacterBefore) {
  EXPECT_EQ(Decode("mat' MAT' Mat'"), W("мать МАТЬ Мать\n"));
  EXPECT_EQ(Decode("ob\"em OB\"EM"), W("объем ОБЪЕМ\n"));
  // At the very start of the text a capital; at the start of a later line
  // the character before is the line break, so a small letter.
  EXPECT_EQ(Decode("'a\n'a\n\"\n"), W("Ьа\nьа\nъ\n"));
  // An empty first line: the second line does not start the text.
  EXPECT_EQ(Decode("\n'"), W("\nь\n"));
  // After a space or a digit: small; after a Latin capital without a row: capital.
  EXPECT_EQ(Decode("x ' 1' H' h'"), W("x ь 1ь HЬ hь\n"));
}

TEST(TranslitDecode, EmptyTableLinesAndTheTenCharacterCut) {
  // Twelve characters: only the first ten take part in decoding, the whole
  // spelling in encoding.
  const std::string table = TableWith(kJa, "qwertyuiopxx");
  EXPECT_EQ(Decode("QWERTYUIOP qwertyuiopxx", table), W("Я я") + "xx\n");
  EXPECT_EQ(Encode(W("Я я"), table), "QWERTYUIOPXX qwertyuiopxx\n");
  // Spellings are used in upper case whatever case they are stored in.
  EXPECT_EQ(Decode("ABC abc", TableWith(kA, "bc")), W("AА aа\n"));

  // An empty line: decoding never gives the letter, encoding drops it.
  const std::string noA = TableWith(kA, "");
  EXPECT_EQ(Decode("Mama", noA), W("Мaмa\n"));
  EXPECT_EQ(Encode(W("Мама"), noA), "Mm\n");

  // A short table: missing lines give no spelling; lines after the 33rd
  // are ignored.
  EXPECT_EQ(Decode("abvgd", "A\r\nB\nV"), W("абвgd\n"));
  EXPECT_EQ(Decode("q", DefaultTranslitTable() + "\r\nQ"), "q\n");
  EXPECT_EQ(Decode("abc", ""), "abc\n");
}

TEST(TranslitDecode, RowOrderLongestFirstThenAlphabet) {
  const std::vector<TranslitRow> rows = TranslitRows(DefaultTranslitTable());
  ASSERT_EQ(rows.size(), 33u);
  std::string order;
  for (const auto& row : rows) order += static_cast<char>(row.Letter);
  EXPECT_EQ(order, W("ЩЁЖХЧШЭЮЯАБВГДЕЗИЙКЛМНОПРСТУФЦЪЫЬ"));

  // Two spellings of one length that overlap: the earlier letter wins.
  Lines lines = SplitLines(DefaultTranslitTable());
  lines[0] = "QW";  // А
  lines[1] = "WX";  // Б
  const std::string table = JoinLines(lines, "\r\n");
  EXPECT_EQ(Decode("QWX qwx", table), W("А") + "X " + W("а") + "x\n");
}

TEST(TranslitDecode, LettersPutInTakePartInLaterOccurrences) {
  // Ж spelled "XЖ": each replacement completes the next occurrence, so a
  // run of X before Ж folds completely, as repeated searches from the start
  // of the text would.
  const std::string table = TableWith(kZh, W("XЖ"));
  EXPECT_EQ(Decode(W("XXXЖ xЖ"), table), W("Ж ж\n"));
  // A later (shorter) row sees the letters an earlier one put in, as they
  // were put in: the capital Ж matches the spelling Ж, the small ones do
  // not (a small letter in the text itself would, through the upper case).
  EXPECT_EQ(Decode(W("zhzh ZH ж"), TableWith(kA, W("Ж"))), W("жж а а\n"));
}

TEST(TranslitDecode, ReportsChangeEvenWhenTheBytesComeOutTheSame) {
  // Spelling А for А: the small а matches and is replaced by itself.
  Lines lines = {W("а")};
  const TranslitOutcome outcome = DecodeLines(lines, TableWith(kA, W("А")));
  EXPECT_TRUE(outcome.Changed);
  EXPECT_EQ(lines, Lines{W("а")});
  Lines none = {"123"};
  EXPECT_FALSE(DecodeLines(none, DefaultTranslitTable()).Changed);
  EXPECT_EQ(none, Lines{"123"});
}

TEST(TranslitEncode, LettersBecomeTheirSpellingsInTheirCase) {
  EXPECT_EQ(Encode(W("Щука щука Жёлтый")), "SHHuka shhuka ZHjoltyj\n");
  EXPECT_EQ(Encode(W("объём ОБЪЁМ")), "ob\"jom OB\"JOM\n");
  EXPECT_EQ(Encode(W("мать")), "mat'\n");
  // Latin letters, digits and other Cyrillic letters of the code page stay.
  const std::string other = "abc 123 \xAA\xB2\xAF\xA5\xBA\xB3\xBF\xB4";  // Є І Ї Ґ є і ї ґ
  EXPECT_EQ(Encode(other), other + "\n");
  // A letter without a table line at all stays as it is.
  EXPECT_EQ(Encode(W("абвг"), "A\r\nB"), W("abвг\n"));
  Lines latin = {"Hello"};
  EXPECT_FALSE(EncodeLines(latin, DefaultTranslitTable()).Changed);
  EXPECT_EQ(latin, Lines{"Hello"});
}

// ---------------------------------------------------------------------------
// The line-by-line decoder against the literal one on generated tables and
// texts.

// Bytes that make spellings overlap, nest and cascade: a few Latin letters
// in both cases, the apostrophe and quote, a space, and Cyrillic letters
// (capital and small) that replacements put in.
const std::string kPool = std::string("ABSHZabshz'\" ") + "\xC6\xE6\xDF\xFF\xC0\xE0\xA8\xB8";

std::string RandomString(std::mt19937& random, const std::string& pool, std::size_t length) {
  std::string s;
  for (std::size_t i = 0; i < length; ++i) s += pool[random() % pool.size()];
  return s;
}

std::string RandomTable(std::mt19937& random) {
  const int kind = random() % 4;
  if (kind == 0) return DefaultTranslitTable();
  Lines lines = SplitLines(DefaultTranslitTable());
  const int count = kind == 1 ? 33 : static_cast<int>(random() % 40);
  lines.resize(count);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const int r = random() % 10;
    if (kind == 1 && r < 7) continue;  // an edited default table
    const std::size_t length = r == 0 ? 0 : r < 6 ? 1 + random() % 3 : random() % 13;
    lines[k] = RandomString(random, kPool, length);
    // A spelling that holds its own letter lets a replacement complete the
    // next occurrence of the same row.
    if (k < 33 && random() % 4 == 0) lines[k].insert(random() % (lines[k].size() + 1), 1, RussianAlphabet[k]);
  }
  std::string table;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) table += (random() % 5 == 0) ? "\n" : "\r\n";
    table += lines[i];
  }
  return table;
}

// Random lines; with a table, about half of the pieces are its spellings in
// random case, so that long spellings and their prefixes occur as well.
Lines RandomLines(std::mt19937& random, std::size_t count, std::size_t maxLength, const std::string& table = "") {
  const Lines spellings = SplitLines(table);
  Lines lines(count);
  for (auto& line : lines) {
    const std::size_t length = random() % (maxLength + 1);
    while (line.size() < length) {
      if (spellings.empty() || random() % 2 == 0) {
        line += kPool[random() % kPool.size()];
        continue;
      }
      std::string piece = spellings[random() % spellings.size()];
      for (auto& c : piece)
        if (random() % 2 == 0) c = static_cast<char>(LowerRus(static_cast<Byte>(c)));
      line += piece;
    }
    if (random() % 50 == 0 && !line.empty()) line[random() % line.size()] = "\r\n"[random() % 2];
  }
  return lines;
}

void ExpectSameAsLiteral(const Lines& text, const std::string& table) {
  Lines lines = text;
  const TranslitOutcome outcome = DecodeLines(lines, table);
  const auto literal = LiteralDecodeTranslit(JoinLines(text), table);
  ASSERT_EQ(JoinLines(lines), literal.Text)
      << "table " << ::testing::PrintToString(table) << "\ntext " << ::testing::PrintToString(JoinLines(text));
  ASSERT_EQ(outcome.Changed, literal.Changed);
  ASSERT_EQ(outcome.Replacements, literal.Replacements);
  ASSERT_FALSE(outcome.Stopped);
}

TEST(TranslitDifferential, GeneratedTablesAndTexts) {
  std::mt19937 random(20240531);
  for (int round = 0; round < 3000; ++round) {
    const std::string table = RandomTable(random);
    ASSERT_NO_FATAL_FAILURE(ExpectSameAsLiteral(RandomLines(random, 1 + random() % 4, 30, table), table));
  }
}

TEST(TranslitDifferential, LongTexts) {
  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    const std::string table = RandomTable(random);
    ASSERT_NO_FATAL_FAILURE(ExpectSameAsLiteral(RandomLines(random, 1, 12000, table), table));
    ASSERT_NO_FATAL_FAILURE(ExpectSameAsLiteral(RandomLines(random, 300, 60, table), table));
  }
}

TEST(TranslitDifferential, TranslitWordsWithTheDefaultTable) {
  // Pieces of real translit in both cases glued at random, so that the
  // two-letter spellings meet each other and the single letters.
  const std::vector<std::string> pieces = {"shh", "sh", "ch", "zh", "kh", "eh", "ju", "ja", "jo", "h", "s", "c", "z",
                                           "j",   "'",  "\"", "e",  "y",  "a",  " ",  ",",  "1",  "q", "w", "x", "ee"};
  std::mt19937 random(3);
  for (int round = 0; round < 400; ++round) {
    Lines text(1 + random() % 3);
    for (auto& line : text) {
      const int count = random() % 20;
      for (int i = 0; i < count; ++i) {
        std::string piece = pieces[random() % pieces.size()];
        for (auto& c : piece)
          if (random() % 3 == 0) c = static_cast<char>(UpperRus(static_cast<Byte>(c)));
        line += piece;
      }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSameAsLiteral(text, DefaultTranslitTable()));
  }
}

TEST(TranslitDifferential, EncodingMatchesTheLiteralEncoder) {
  std::mt19937 random(5);
  const std::string pool = kPool + "\xC9\xE9\xD9\xF9\xDA\xFA\xDC\xFC\xB3\xAA" + "xyz0";
  for (int round = 0; round < 500; ++round) {
    const std::string table = RandomTable(random);
    Lines text = RandomLines(random, 1 + random() % 4, 40);
    for (auto& line : text) line += RandomString(random, pool, random() % 10);
    Lines lines = text;
    const TranslitOutcome outcome = EncodeLines(lines, table);
    const auto literal = LiteralEncodeTranslit(JoinLines(text), table);
    ASSERT_EQ(JoinLines(lines), literal.Text) << ::testing::PrintToString(table);
    ASSERT_EQ(outcome.Changed, literal.Changed);
  }
}

TEST(TranslitDifferential, EveryLineKeepsItsOwnBreak) {
  // Lines ended by CR LF, LF, CR and none come out with the same breaks and
  // the bytes the lines give when every break is CR LF.
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    const std::string table = RandomTable(random);
    Lines lines = RandomLines(random, 1 + random() % 7, 30, table);
    for (auto& line : lines) std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
    Text mixed = testing::MixedBreaks(lines);
    const std::vector<LineEnd> ends = testing::EndsOf(mixed);
    Lines alike = lines;
    if (round % 2) {
      ASSERT_EQ(EncodeTranslitLines(mixed, table).Replacements, EncodeLines(alike, table).Replacements);
    } else {
      ASSERT_EQ(DecodeTranslitLines(mixed, table).Replacements, DecodeLines(alike, table).Replacements);
    }
    ASSERT_EQ(testing::EndsOf(mixed), ends);
    ASSERT_EQ(mixed.Bytes(), testing::JoinedWith(alike, ends));
  }
}

// ---------------------------------------------------------------------------
// Stopping a run.

using testing::RecordingProgress;

TEST(TranslitStop, StoppedLineIsTheLiteralTextAfterAsManyReplacements) {
  // Within one line the rows apply one after another, left to right, so a
  // stop leaves exactly what the literal decoder leaves after as many
  // replacements: nothing lost, nothing replaced out of turn.
  std::mt19937 random(17);
  for (int round = 0; round < 40; ++round) {
    const std::string table = RandomTable(random);
    const Lines text = RandomLines(random, 1, 400, table);
    const auto full = LiteralDecodeTranslit(JoinLines(text), table);
    for (int stopAt : {1, 2, 5, 30, 200}) {
      Lines lines = text;
      RecordingProgress stop(stopAt);
      const TranslitOutcome outcome = DecodeLines(lines, table, stop, 7);
      const auto literal = LiteralDecodeTranslit(JoinLines(text), table, outcome.Replacements);
      ASSERT_EQ(JoinLines(lines), literal.Text);
      if (!outcome.Stopped) {
        EXPECT_EQ(JoinLines(lines), full.Text);
      }
      if (stopAt == 1) {
        EXPECT_EQ(lines, text);
      }
    }
  }
}

TEST(TranslitStop, LinesBeforeTheStopAreDoneAndLinesAfterUntouched) {
  std::mt19937 random(23);
  const Lines text = RandomLines(random, 200, 20);
  const std::string table = RandomTable(random);
  Lines done = text;
  DecodeLines(done, table);
  RecordingProgress stop(40);
  Lines lines = text;
  const TranslitOutcome outcome = DecodeLines(lines, table, stop, 64);
  ASSERT_TRUE(outcome.Stopped);
  ASSERT_EQ(lines.size(), text.size());
  std::size_t k = 0;
  while (k < lines.size() && lines[k] == done[k]) ++k;
  ASSERT_GT(k, 0u);
  ASSERT_LT(k, lines.size());
  for (std::size_t i = k + 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], text[i]) << i;

  // Encoding: the encoded part followed by the rest as it was.
  const std::string russian = W("Съешь же ещё этих мягких французских булок, да выпей чаю. ");
  Lines encodeText(50, russian);
  Lines encoded = encodeText;
  RecordingProgress stopEncoding(30);
  const TranslitOutcome stopped = EncodeLines(encoded, DefaultTranslitTable(), stopEncoding, 33);
  ASSERT_TRUE(stopped.Stopped);
  const std::string result = JoinLines(encoded), original = JoinLines(encodeText);
  bool found = false;
  for (std::size_t cut = 0; cut <= original.size() && !found; ++cut)
    found =
        result == LiteralEncodeTranslit(original.substr(0, cut), DefaultTranslitTable()).Text + original.substr(cut);
  EXPECT_TRUE(found);
  EXPECT_NE(result, original);
}

// ---------------------------------------------------------------------------
// In a conversion run and as the editor's command.

const std::string kParagraph =
    "Privet! Kak dela? Segodnja khoroshaja pogoda, i my pojdjom guljat' v park.\n"
    "Ja ochen' rad tebja videt'. SHHuka i ZHuk zhivut v ozere.\n";
const std::string kParagraphRussian =
    "Привет! Как дела? Сегодня хорошая погода, и мы пойдём гулять в парк.\n"
    "Я очень рад тебя видеть. Щука и Жук живут в озере.\n";

class TranslitConverterTest : public ::testing::Test {
 protected:
  TranslitConverterTest() : converter(window, cfg, StandardStages()) {
    converter.Options.Source = kWindows;
    converter.Options.Target = kWindows;
    converter.Options.Switches.Translit = true;
  }
  void Load(const Lines& text) {
    converter.TextBuffer = Text::FromLines(text);
    converter.CopyTextToScreen();
  }

  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(TranslitConverterTest, ConvertDecodesWhenTheSwitchIsOnAndReports) {
  Load(SplitLines(kParagraph));
  converter.Convert();
  EXPECT_EQ(JoinLines(converter.TextBuffer, "\n"), W(kParagraphRussian));
  EXPECT_EQ(converter.Counters.TranslitCount, 1);
  EXPECT_EQ(window.info, "Translit converted.");
  EXPECT_TRUE(converter.BackAvailable);
  converter.Back();
  EXPECT_EQ(JoinLines(converter.TextBuffer, "\n"), kParagraph);

  converter.Options.Switches.Translit = false;
  converter.Convert();
  EXPECT_EQ(JoinLines(converter.TextBuffer, "\n"), kParagraph);
  EXPECT_EQ(converter.Counters.TranslitCount, 0);
}

TEST_F(TranslitConverterTest, StageUsesTheSettingsTableOrTheDefault) {
  converter.Options.TranslitTable = DefaultTranslitTable();
  Load({"Mama"});
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), Lines{W("Мама")});

  converter.Options.TranslitTable = TableWith(kA, "Q");
  Load({"Qq"});
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), Lines{W("Аа")});

  // Nothing to replace: not counted, the text stays.
  Load({"123 ?"});
  converter.Convert();
  EXPECT_EQ(converter.Counters.TranslitCount, 0);
  EXPECT_EQ(ToLines(converter.TextBuffer), Lines{"123 ?"});
}

TEST_F(TranslitConverterTest, StageShowsItsStatusAndSplitsLinesItMade) {
  std::vector<std::string> statuses;
  window.onEvents = [&] { statuses.push_back(converter.LastStatus()); };
  converter.Options.English = false;
  // A line holding a CR of its own comes back as two lines.
  converter.TextBuffer = {"a\rb"};
  converter.RunStage(StandardStage("translit"));
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{W("а"), W("б")}));
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), W("Проверка транслита..."));
  EXPECT_EQ(converter.LastStatus(), "");
  EXPECT_EQ(window.progressMax, 1);
}

TEST_F(TranslitConverterTest, UserBreakDuringDecodingKeepsWholeLinesAndNothingIsLost) {
  // Enough text for the stage to let the window run several times.
  Lines text;
  for (int i = 0; i < 6000; ++i) text.push_back("Privet, kak dela? Vsjo khorosho.");
  const std::string decodedLine = W("Привет, как дела? Всё хорошо.");
  Load(text);
  int events = 0;
  window.onEvents = [&] {
    if (converter.LastStatus() == "Checking translit..." && ++events == 3) converter.UserBreak = true;
  };
  converter.Convert();
  EXPECT_EQ(window.info, "User break.");
  ASSERT_EQ(converter.TextBuffer.size(), text.size());
  std::size_t done = 0;
  while (done < text.size() && converter.TextBuffer[done] == decodedLine) ++done;
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, text.size());
  for (std::size_t i = done + 1; i < text.size(); ++i) ASSERT_EQ(converter.TextBuffer[i], text[i]);
  EXPECT_EQ(converter.Counters.TranslitCount, 1);
  EXPECT_TRUE(window.backAvailable);
  converter.Back();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
}

TEST_F(TranslitConverterTest, EncodeCommandEncodesShowsAndBackUndoes) {
  const Lines text = {W("Щука и Жёлтый"), "", W("объём, abc")};
  Load(text);
  window.screen = {W("Щука и Жёлтый"), "", W("объём, abc!")};  // the user's edit
  converter.ScreenEdited();
  EncodeTranslit(converter);
  const Lines encoded = {"SHHuka i ZHjoltyj", "", "ob\"jom, abc!"};
  EXPECT_EQ(ToLines(converter.TextBuffer), encoded);
  EXPECT_EQ(ToLines(window.screen), encoded);
  EXPECT_EQ(window.info, "Translit encoded");
  EXPECT_TRUE(converter.BackAvailable);
  EXPECT_TRUE(window.backAvailable);
  EXPECT_FALSE(window.running);
  converter.Back();
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{W("Щука и Жёлтый"), "", W("объём, abc!")}));
  EXPECT_FALSE(converter.BackAvailable);
}

TEST_F(TranslitConverterTest, EncodeWithoutRussianLettersChangesNothing) {
  converter.Options.English = false;
  const Lines text = {"Hello, world 42"};
  Load(text);
  converter.BackCopy = {"earlier"};
  EncodeTranslit(converter);
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_EQ(ToLines(converter.BackCopy), Lines{"earlier"});
  EXPECT_FALSE(converter.BackAvailable);
  EXPECT_EQ(window.info, W("Русский текст не найден."));
}

TEST_F(TranslitConverterTest, UserBreakDuringEncodingKeepsTheRest) {
  const std::string line = W("Съешь же ещё этих мягких французских булок, да выпей чаю.");
  const Lines text(8000, line);
  Load(text);
  int events = 0;
  window.onEvents = [&] {
    if (++events == 4) converter.UserBreak = true;
  };
  EncodeTranslit(converter);
  EXPECT_EQ(window.info, "User break");
  ASSERT_EQ(converter.TextBuffer.size(), text.size());
  const std::string encodedLine = LiteralEncodeTranslit(line, DefaultTranslitTable()).Text;
  std::size_t done = 0;
  while (done < text.size() && converter.TextBuffer[done] == encodedLine) ++done;
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, text.size());
  for (std::size_t i = done + 1; i < text.size(); ++i) ASSERT_EQ(converter.TextBuffer[i], line);
  EXPECT_TRUE(converter.BackAvailable);
  converter.Back();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
}

TEST_F(TranslitConverterTest, FileWithTranslitComesBackReadable) {
  // As `kamvo text.txt /TL` runs it: source Auto, target Windows.
  testing::TempDir dir;
  const std::string file = dir / "text.txt";
  testing::WriteFile(file, kParagraph);
  converter.Options.Source = 0;
  const FileReport report = ConvertFile(converter, file, file);
  EXPECT_FALSE(report.Failed) << report.Text;
  EXPECT_EQ(testing::ReadFile(file), W(kParagraphRussian));
  EXPECT_EQ(testing::ReadFile(file + ".bak"), kParagraph);
}

}  // namespace
}  // namespace kamvo
