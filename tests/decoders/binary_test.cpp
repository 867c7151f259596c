#include "decoders/binary.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/mixed_breaks.h"
#include "support/recording_progress.h"

namespace kamvo {
namespace {

using testing::Base64;
using testing::Base64Lines;
using testing::LengthPrefixedLine;
using testing::LengthPrefixedLines;
using testing::UULine;
using testing::XXLine;

std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Bytes that count as text: letters, Cyrillic, spaces and every kind of
// line break, so that putting them back into the text has work to do.
std::string RandomText(std::mt19937& random, std::size_t size) {
  static const std::string pieces[] = {"a", "Z", " ", "\t", "\r\n", "\r", "\n", "\xE0", "\xFF", "."};
  std::string text;
  while (text.size() < size) text += pieces[random() % std::size(pieces)];
  return text;
}

// ---------------------------------------------------------------- line decoders

TEST(Base64Line, DecodesWhatAStandardEncoderWritesAtEveryLength) {
  std::mt19937 random(1);
  std::string stream;
  for (std::size_t size = 1; size <= 57; ++size) {
    const std::string bytes = RandomBytes(random, size);
    const std::string line = Base64(bytes);
    ASSERT_TRUE(DecodeBase64Line(line, stream)) << line;
    EXPECT_EQ(stream, bytes);
    // A final CR LF, LF or CR is not part of the line.
    for (const char* end : {"\r\n", "\n", "\r"}) {
      ASSERT_TRUE(DecodeBase64Line(line + end, stream));
      EXPECT_EQ(stream, bytes);
    }
  }
  ASSERT_TRUE(DecodeBase64Line("QQ==", stream));
  EXPECT_EQ(stream, "A");
  ASSERT_TRUE(DecodeBase64Line("QUI=", stream));
  EXPECT_EQ(stream, "AB");
  ASSERT_TRUE(DecodeBase64Line("QUJD", stream));
  EXPECT_EQ(stream, "ABC");
}

TEST(Base64Line, RefusesWrongLengthsAndForeignCharactersLeavingNothing) {
  std::string stream = "left over";
  const std::string good76(76, 'A');
  EXPECT_TRUE(DecodeBase64Line(good76, stream));
  EXPECT_EQ(stream.size(), 57u);
  for (const std::string& line :
       {std::string(), std::string(80, 'A'), std::string(77, 'A'), std::string("QUJ"), std::string("QUJDQ"),
        std::string("QQ==QUJD"),  // padding only in the last group
        std::string("Q=JD"), std::string("QU=D"), std::string("QUJD QUJD"), std::string("--boundary12"),
        std::string("QUJ\xC4"), std::string("\r\n")}) {
    stream = "left over";
    EXPECT_FALSE(DecodeBase64Line(line, stream)) << line;
    EXPECT_EQ(stream, "") << line;
  }
}

TEST(Base64Line, AlphabetValues) {
  int inside = 0;
  for (int c = 0; c < 256; ++c) {
    const std::size_t at = testing::kBase64Letters.find(static_cast<char>(c));
    const Byte expected = at == std::string_view::npos ? 255 : static_cast<Byte>(at);
    EXPECT_EQ(Base64Value(static_cast<Byte>(c)), expected) << c;
    const std::size_t xx = testing::kXXLetters.find(static_cast<char>(c));
    EXPECT_EQ(XXValue(static_cast<Byte>(c)), xx == std::string_view::npos ? 255 : xx) << c;
    inside += Base64Value(static_cast<Byte>(c)) != 255;
  }
  EXPECT_EQ(inside, 64);
  EXPECT_EQ(XXValue('+'), 0);
  EXPECT_EQ(XXValue('z'), 63);
}

TEST(UULine, DecodesEveryLengthWithSpaceOrGraveForZero) {
  std::mt19937 random(2);
  std::string stream;
  for (std::size_t size = 1; size <= 45; ++size) {
    const std::string bytes = RandomBytes(random, size);
    for (bool grave : {true, false}) {
      const std::string line = LengthPrefixedLine(bytes, false, grave);
      ASSERT_TRUE(DecodeUULine(line, stream)) << line;
      EXPECT_EQ(stream, bytes);
      ASSERT_TRUE(DecodeUULine(line + "\r\n", stream));
      EXPECT_EQ(stream, bytes);
    }
  }
  // A full line: "M" (45 bytes) and 60 characters.
  const std::string full = UULine(std::string(45, 'x'));
  EXPECT_EQ(full.size(), 61u);
  EXPECT_EQ(full[0], 'M');
}

TEST(UULine, RefusesTheLinesAroundABlockAndMalformedLines) {
  std::string stream = "left over";
  const std::string full = UULine("The quick brown fox jumps over the lazy dog..");
  for (const std::string& line : {std::string(), std::string("`"), std::string("end"), std::string("begin 644 a.txt"),
                                  full + "A",                                  // 62 characters
                                  std::string("M") + full.substr(1, 30),       // announces 45, holds 21
                                  full.substr(0, 20) + "a" + full.substr(21),  // small letter
                                  full.substr(0, 20) + "\x01" + full.substr(21)}) {
    stream = "left over";
    EXPECT_FALSE(DecodeUULine(line, stream)) << line;
    EXPECT_EQ(stream, "");
  }
  // The announced count decides how many bytes the groups give.
  ASSERT_TRUE(DecodeUULine("#86)C", stream));
  EXPECT_EQ(stream, "abc");
  ASSERT_TRUE(DecodeUULine("\"86)C", stream));
  EXPECT_EQ(stream, "ab");
}

TEST(XXLine, DecodesEveryLengthAndRefusesForeignCharacters) {
  std::mt19937 random(3);
  std::string stream;
  for (std::size_t size = 1; size <= 45; ++size) {
    const std::string bytes = RandomBytes(random, size);
    const std::string line = XXLine(bytes);
    ASSERT_TRUE(DecodeXXLine(line, stream)) << line;
    EXPECT_EQ(stream, bytes);
  }
  const std::string full = XXLine(std::string(45, '\x80'));
  EXPECT_EQ(full[0], 'h');
  for (const std::string& line :
       {full.substr(0, 10) + " " + full.substr(11), full.substr(0, 10) + "=" + full.substr(11), std::string("end"),
        full + "+", std::string("\xC0") + full.substr(1)}) {
    stream = "left over";
    EXPECT_FALSE(DecodeXXLine(line, stream)) << line;
    EXPECT_EQ(stream, "");
  }
}

// ---------------------------------------------------------------- names in the text

TEST(FileNameDetection, QuotedFileNameParameter) {
  EXPECT_EQ(FindQuotedFileName("Content-Disposition: attachment; filename=\"report.doc\""), "report.doc");
  EXPECT_EQ(FindQuotedFileName("  FileName  =\"My File.txt\"; size=3"), "My File.txt");
  EXPECT_EQ(FindQuotedFileName("filename= junk \"a b\" \"c\""), "a b");
  EXPECT_EQ(FindQuotedFileName("filename=\"\""), "");
  // Taken from the line as it is, with Cyrillic around it.
  EXPECT_EQ(FindQuotedFileName("\xE8\xEC\xFF filename=\"\xEE\xF2\xF7\xE5\xF2.doc\""), "\xEE\xF2\xF7\xE5\xF2.doc");
  for (const char* line : {"filename=report.doc", "filename=\"report.doc", "filename=\"", "filename", "filename   ",
                           "filename: \"a\"", "file name=\"a\"", "filename*=utf-8''a.txt", "Content-Type: text/plain"})
    EXPECT_EQ(FindQuotedFileName(line), std::nullopt) << line;
}

TEST(FileNameDetection, BeginLines) {
  EXPECT_EQ(FindBeginName("begin 644 photo.jpg"), "photo.jpg");
  EXPECT_EQ(FindBeginName("BEGIN 600   two words.txt \t "), "two words.txt");
  EXPECT_EQ(FindBeginName("begin 644 "), "");
  EXPECT_EQ(FindBeginName("BEGIN"), "");
  EXPECT_EQ(FindBeginName("Beginning"), "ning");
  // The skip stops at the last character, so a lone mode becomes a name.
  EXPECT_EQ(FindBeginName("begin 644"), "4");
  EXPECT_EQ(FindBeginName("begi"), std::nullopt);
  EXPECT_EQ(FindBeginName(" begin 644 a"), std::nullopt);

  std::string pending = "kept";
  DetectFileName("nothing here", pending);
  EXPECT_EQ(pending, "kept");
  DetectFileName("begin 644 b.bin", pending);
  EXPECT_EQ(pending, "b.bin");
  DetectFileName("begin filename=\"quoted.txt\"", pending);
  EXPECT_EQ(pending, "quoted.txt");
  DetectFileName("begin", pending);
  EXPECT_EQ(pending, "");
}

// ---------------------------------------------------------------- text of a block

// The text put back the plain way: the whole text joined and split again.
void AppendByRejoining(Lines& text, std::string_view stream) {
  if (stream.empty()) return;
  text = SplitLines(JoinLines(text, "\r\n") + std::string(stream));
}

TEST(StreamText, SplitsAtEveryBreakAndRepairsEarlierLinesLikeAFullRejoin) {
  Text text = {"head"};
  std::size_t settled = 0;
  AppendStreamText(text, settled, "one\r\ntwo\rthree\nfour", LineEnd::Cr, LineEnd::None);
  EXPECT_EQ(text.Bytes(), "head\none\rtwo\rthree\rfour");
  EXPECT_EQ(settled, 5u);
  AppendStreamText(text, settled, "");
  EXPECT_EQ(text.size(), 5u);
  AppendStreamText(text, settled, "\n\nx\r\n", LineEnd::CrLf, LineEnd::Lf);
  EXPECT_EQ(ToLines(text), (Lines{"head", "one", "two", "three", "four", "", "", "x"}));
  EXPECT_EQ(text.Bytes(), "head\none\rtwo\rthree\rfour\n\r\n\r\nx\n");

  std::mt19937 random(4);
  static const std::string pieces[] = {"a", "\r", "\n", "\r\n", "", "b c"};
  auto piece = [&] {
    std::string s;
    for (int n = random() % 4; n > 0; --n) s += pieces[random() % std::size(pieces)];
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    Text fast;
    Lines plain;
    std::size_t fastSettled = 0;
    for (int step = 0; step < 12; ++step) {
      if (random() % 3 == 0) {
        const std::string stream = piece();
        AppendStreamText(fast, fastSettled, stream);
        AppendByRejoining(plain, stream);
      } else {
        const std::string line = piece();
        fast.AddLine(line, LineEnd::CrLf);
        plain.push_back(line);
      }
    }
    // What is still pending is repaired by the next append.
    AppendStreamText(fast, fastSettled, "end");
    AppendByRejoining(plain, "end");
    ASSERT_EQ(ToLines(fast), plain) << "round " << round;
  }
}

// ---------------------------------------------------------------- blocks

struct Entry {
  std::string Name;
  std::string Data;
  bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& entry, std::ostream* out) {
  *out << "{\"" << entry.Name << "\", " << entry.Data.size() << " bytes}";
}

std::vector<Entry> Entries(const TFileList& files) {
  std::vector<Entry> entries;
  for (const auto& file : files) entries.push_back({file.Name, file.Stream});
  return entries;
}

struct Decoded {
  Lines Text;
  std::vector<Entry> Files;
  BinaryScan Seen;
  std::vector<LineEnd> Ends;  // the break of each line, when asked for
};

Decoded Decode(const Lines& lines) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  TFileList files;
  const BinaryScan seen = DecodeBinaryBlocks(text, files);
  return {ToLines(text), Entries(files), seen, {}};
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(BinaryBlocks, Base64BlockWithAShortLastLineDecodesWhole) {
  const std::string data = std::string(114, 'x') + "ABC";  // two full lines and QUJD
  const Lines lines = Base64Lines(data);
  ASSERT_EQ(lines.back(), "QUJD");
  const Decoded d = Decode(Concat({{"Content-Type: image/png"}, lines, {"", "--b--"}}));
  // The bytes are text, so they are in the text and, unnamed, also in the list.
  EXPECT_EQ(d.Text, (Lines{"Content-Type: image/png", std::string(114, 'x') + "ABC", "", "--b--"}));
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"", data}}));
  EXPECT_TRUE(d.Seen.Base64);
  EXPECT_FALSE(d.Seen.UUE || d.Seen.XXE);
}

TEST(BinaryBlocks, OnlyLongLinesStartABlock) {
  // 16 characters with no encoded line before: stays.
  Decoded d = Decode({"Hello", "QUJDQUJDQUJDQUJD", "bye"});
  EXPECT_EQ(d.Text, (Lines{"Hello", "QUJDQUJDQUJDQUJD", "bye"}));
  EXPECT_TRUE(d.Files.empty());
  EXPECT_FALSE(d.Seen.Any());
  // 24 letters and digits without spaces look like Base64 and are decoded;
  // with a space they are not.
  d = Decode({"abcdefghijklmnopqrstuvwx", "abcdefghijk mnopqrstuvwx"});
  ASSERT_EQ(d.Files.size(), 1u);
  EXPECT_EQ(d.Text.back(), "abcdefghijk mnopqrstuvwx");
  EXPECT_EQ(d.Text.size(), 1u);  // binary bytes: the line leaves the text
  // 80 characters, or a length that is no multiple of 4, stay.
  d = Decode({std::string(80, 'A'), std::string(74, 'A')});
  EXPECT_EQ(d.Text.size(), 2u);
  EXPECT_TRUE(d.Files.empty());
}

TEST(BinaryBlocks, AnEmptyLineEndsTheBlockButShortLinesAreStillTried) {
  const Lines body = Base64Lines(std::string(57, '\x01'));
  const Decoded d = Decode(Concat({body, {"", "QUJD", "", "--boundary"}}));
  // QUJD is tried (Base64 took the last line it saw) and is a block of its own.
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"", std::string(57, '\x01')}, {"", "ABC"}}));
  EXPECT_EQ(d.Text, (Lines{"", "ABC", "", "--boundary"}));
}

TEST(BinaryBlocks, StandardUUEBlockIsNamedByItsBeginLine) {
  const std::string text = "First line\r\nSecond line\r\n" + std::string(80, '=') + "\r\n";
  const Lines body = LengthPrefixedLines(text, false);
  ASSERT_EQ(body.front().size(), 61u);
  const Decoded d = Decode(Concat({{"Here it comes:", "begin 644 a.txt"}, body, {"`", "end", "Bye"}}));
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"a.txt", text}}));
  EXPECT_EQ(d.Text, (Lines{"Here it comes:", "begin 644 a.txt", "First line", "Second line", std::string(80, '='), "`",
                           "end", "Bye"}));
  EXPECT_TRUE(d.Seen.UUE);
  EXPECT_FALSE(d.Seen.Base64 || d.Seen.XXE);

  // Binary bytes leave the text and live only in the list.
  std::mt19937 random(5);
  const std::string bytes = RandomBytes(random, 200) + '\0';
  const Decoded b = Decode(Concat({{"begin 600 photo.jpg"}, LengthPrefixedLines(bytes, false), {"`", "end"}}));
  EXPECT_EQ(b.Files, (std::vector<Entry>{{"photo.jpg", bytes}}));
  EXPECT_EQ(b.Text, (Lines{"begin 600 photo.jpg", "`", "end"}));
}

TEST(BinaryBlocks, XXEBlock) {
  const std::string bytes = std::string(100, '\x1B');
  const Decoded d = Decode(Concat({{"begin 644 x.bin"}, LengthPrefixedLines(bytes, true), {"+", "end"}}));
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"x.bin", bytes}}));
  EXPECT_TRUE(d.Seen.XXE);
  EXPECT_FALSE(d.Seen.UUE);
}

TEST(BinaryBlocks, HeaderNamesTheNextBlockAndBlocksSplitAtPlainLines) {
  const std::string pdf = std::string("%PDF\0\x01", 6) + std::string(100, 'p');
  const Decoded d = Decode(Concat({{"Content-Disposition: attachment; filename=\"report.doc\"", ""},
                                   Base64Lines(pdf),
                                   {"between"},
                                   Base64Lines(pdf),
                                   {"next line"}}));
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"report.doc", pdf}, {"", pdf}}));
  EXPECT_EQ(d.Text, (Lines{"Content-Disposition: attachment; filename=\"report.doc\"", "", "between", "next line"}));
}

TEST(BinaryBlocks, AdjacentLinesOfDifferentEncodingsFormOneBlock) {
  const std::string a(57, '\x02'), b(45, '\x03'), c(45, '\x04');
  const Decoded d = Decode({Base64(a), UULine(b), XXLine(c), "plain"});
  EXPECT_EQ(d.Files, (std::vector<Entry>{{"", a + b + c}}));
  EXPECT_TRUE(d.Seen.Base64 && d.Seen.UUE && d.Seen.XXE);
}

TEST(BinaryBlocks, ControlBytesDecideWhetherABlockIsText) {
  for (const auto& [bytes, binary] : std::vector<std::pair<std::string, bool>>{
           {"Letters\tand\r\nbreaks only\n", false}, {std::string("zero \0 byte", 11), true}, {"escape \x1B", true}}) {
    const Decoded d = Decode({"start", Base64(bytes + std::string(21, 'q')), "stop"});
    const bool inText = d.Text.size() > 2;
    EXPECT_EQ(inText, !binary) << bytes;
  }
}

TEST(BinaryBlocks, ATextBlockAtTheEndOfTheTextGoesIntoTheText) {
  const Decoded d = Decode(Concat({{"x"}, Base64Lines("last line\r\nwords at the very end")}));
  EXPECT_EQ(d.Text, (Lines{"x", "last line", "words at the very end"}));
}

TEST(BinaryBlocks, UserBreakRestoresTheTextAndKeepsTheEntriesSoFar) {
  const Lines text = Concat({{"a"}, Base64Lines(std::string(57, '\x05')), {"b"}, Base64Lines("text block"), {"c"}});
  Text buffer = Text::FromLines(text, LineEnd::CrLf);
  TFileList files;
  testing::RecordingProgress progress(2);  // asked after each plain line: stops at "b"
  const BinaryScan seen = DecodeBinaryBlocks(buffer, files, progress);
  EXPECT_TRUE(seen.Broken);
  EXPECT_TRUE(seen.Base64);
  EXPECT_EQ(buffer, Text::FromLines(text, LineEnd::CrLf));
  EXPECT_EQ(Entries(files), (std::vector<Entry>{{"", std::string(57, '\x05')}}));
  const int count = static_cast<int>(text.size());
  EXPECT_EQ(progress.Moves, (std::vector<testing::BarMove>{{0, count, 0}, {0, count, 1}, {0, count, 2}}));
}

// The stage written out plainly: every block's text is put back by joining
// the whole text and splitting it again. Given the breaks of the source
// lines, it gives the break of every line: a line that stays keeps its own,
// each piece of a line split keeps the line's, and the lines of a block's
// text take the break of the block's last line (the last of them keeping a
// missing one, the others then taking the break of the line before).
Decoded PlainScan(const Lines& source, const std::vector<LineEnd>* ends = nullptr) {
  Decoded out;
  TFileList files;
  std::string pending, work;
  bool lastBase64 = false, lastUU = false, lastXX = false, previous = false;
  bool inBlock = false;  // between a "begin 644 name" line and its "end"
  std::size_t i = 0, blockLast = 0;
  auto blockEnd = [&] {
    if (!previous || files.Count() == 0 || files.IsBinary(static_cast<long>(files.Count()) - 1)) return;
    const std::string& stream = files[files.Count() - 1].Stream;
    if (ends && !stream.empty()) {
      std::vector<LineEnd> split;
      for (std::size_t k = 0; k < out.Text.size(); ++k)
        split.insert(split.end(), SplitLines(out.Text[k] + "\r\n").size(), out.Ends[k]);
      LineEnd pieces = (*ends)[blockLast];
      if (pieces == LineEnd::None) pieces = blockLast > 0 ? (*ends)[blockLast - 1] : LineEnd::Lf;
      const std::size_t count = SplitLines(stream).size();
      for (std::size_t k = 0; k < count; ++k) split.push_back(k + 1 == count ? (*ends)[blockLast] : pieces);
      out.Ends = split;
    }
    AppendByRejoining(out.Text, stream);
  };
  for (; i < source.size(); ++i) {
    const std::string& line = source[i];
    bool decoded = false;
    std::string trimmed = line;
    while (!trimmed.empty() && static_cast<Byte>(trimmed.back()) <= 0x20) trimmed.pop_back();
    std::size_t digits = 0;
    while (6 + digits < trimmed.size() && trimmed[6 + digits] >= '0' && trimmed[6 + digits] <= '7') ++digits;
    if (trimmed.rfind("begin ", 0) == 0 && (digits == 3 || digits == 4) && 7 + digits < trimmed.size() &&
        trimmed[6 + digits] == ' ')
      inBlock = true;
    else if (inBlock && trimmed == "end")
      inBlock = false;
    std::string counted = line;
    if (!counted.empty() && counted.back() == '\n') counted.pop_back();
    if (!counted.empty() && counted.back() == '\r') counted.pop_back();
    // Outside a block, UUE and XXE open only with a full line.
    const bool openUU = inBlock || (counted.size() == 61 && line[0] == 'M');
    const bool openXX = inBlock || (counted.size() == 61 && line[0] == 'h');
    if (!line.empty()) {
      DetectFileName(line, pending);
      const bool isLong = line.size() > 20;
      if (isLong || lastBase64) {
        lastBase64 = false;
        if (DecodeBase64Line(line, work)) decoded = out.Seen.Base64 = lastBase64 = true;
      }
      if (!decoded && ((isLong && openUU) || lastUU)) {
        lastUU = false;
        if (DecodeUULine(line, work)) decoded = out.Seen.UUE = lastUU = true;
      }
      if (!decoded && ((isLong && openXX) || lastXX)) {
        lastXX = false;
        if (DecodeXXLine(line, work)) decoded = out.Seen.XXE = lastXX = true;
      }
      if (decoded) {
        if (!previous || files.Count() == 0) files.AddFile(pending);
        pending.clear();
        files.AddData(work);
        work.clear();
        previous = true;
        blockLast = i;
      }
    }
    if (!decoded) {
      blockEnd();
      previous = false;
      out.Text.push_back(line);
      if (ends) out.Ends.push_back((*ends)[i]);
    }
  }
  blockEnd();
  out.Files = Entries(files);
  return out;
}

Lines RandomMail(std::mt19937& random) {
  Lines lines;
  const int parts = 1 + static_cast<int>(random() % 10);
  for (int p = 0; p < parts; ++p) {
    const bool binary = random() % 3 == 0;
    const std::size_t size = 1 + random() % 150;
    const std::string bytes = binary ? RandomBytes(random, size) : RandomText(random, size);
    switch (random() % 10) {
      case 0: {
        Lines block = Base64Lines(bytes);
        lines.insert(lines.end(), block.begin(), block.end());
        break;
      }
      case 1: {
        lines.push_back("begin 644 name" + std::to_string(p) + ".txt");
        Lines block = LengthPrefixedLines(bytes, random() % 2 == 0);
        lines.insert(lines.end(), block.begin(), block.end());
        lines.push_back("`");
        lines.push_back("end");
        break;
      }
      case 2:
        lines.push_back("");
        break;
      case 3:
        lines.push_back("filename=\"f" + std::to_string(p) + "\"");
        break;
      case 4:
        lines.push_back("a\rb\nc\r\nd\r");
        break;  // breaks inside a line
      case 5:
        lines.push_back(Base64(RandomBytes(random, 3 * (1 + random() % 4))) + (random() % 2 ? "\r" : ""));
        break;
      case 6:
        lines.push_back(XXLine(RandomBytes(random, random() % 20)));
        break;
      case 7:
        lines.push_back(UULine(RandomText(random, random() % 20)));
        break;
      default:
        lines.push_back(RandomText(random, random() % 40));
        break;
    }
  }
  return lines;
}

TEST(BinaryBlocks, OnePassGivesWhatThePlainRejoiningScanGives) {
  std::mt19937 random(6);
  for (int round = 0; round < 400; ++round) {
    const Lines mail = RandomMail(random);
    const Decoded fast = Decode(mail);
    const Decoded plain = PlainScan(mail);
    ASSERT_EQ(fast.Text, plain.Text) << "round " << round;
    ASSERT_EQ(fast.Files, plain.Files) << "round " << round;
    ASSERT_EQ(fast.Seen.Base64, plain.Seen.Base64);
    ASSERT_EQ(fast.Seen.UUE, plain.Seen.UUE);
    ASSERT_EQ(fast.Seen.XXE, plain.Seen.XXE);
  }
}

TEST(BinaryBlocks, LinesKeepTheirBreaksAndABlocksTextTakesTheBreakOfItsLastLine) {
  std::mt19937 random(8);
  for (int round = 0; round < 400; ++round) {
    const Lines mail = RandomMail(random);
    Text text = testing::MixedBreaks(mail);
    const std::vector<LineEnd> ends = testing::EndsOf(text);
    TFileList files;
    DecodeBinaryBlocks(text, files);
    const Decoded plain = PlainScan(mail, &ends);
    ASSERT_EQ(ToLines(text), plain.Text) << "round " << round;
    ASSERT_EQ(testing::EndsOf(text), plain.Ends) << "round " << round;
    ASSERT_EQ(text.Bytes(), testing::JoinedWith(plain.Text, plain.Ends)) << "round " << round;
  }
}

// ---------------------------------------------------------------- the stage

class BinaryStageTest : public ::testing::Test {
 protected:
  BinaryStageTest() : converter(window, cfg, StandardStages()) {}
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(BinaryStageTest, WritesItsStatusCountsOnceAndNamesTheEntries) {
  const std::string bin(100, '\0');
  converter.TextBuffer = Text::FromLines(Concat({{"x"},
                                                 Base64Lines(bin),
                                                 {"y"},
                                                 Base64Lines(bin),
                                                 {"z"},
                                                 Base64Lines("plain text of a block"),
                                                 {"begin 644 u.bin"},
                                                 LengthPrefixedLines(bin, false)}));
  std::string firstStatus;
  window.onEvents = [&] {
    if (firstStatus.empty()) firstStatus = window.info;
  };
  EXPECT_TRUE(converter.RunStage(StandardStage("binary")));
  EXPECT_EQ(firstStatus, "Checking binary...");
  EXPECT_EQ(window.info, "");
  EXPECT_EQ(converter.Counters.Base64Count, 1);
  EXPECT_EQ(converter.Counters.UUECount, 1);
  EXPECT_EQ(converter.Counters.XXECount, 0);
  EXPECT_EQ(window.progressMin, 0);
  EXPECT_EQ(window.progressMax, 1);
  EXPECT_EQ(window.progressPosition, 0);
  // The unnamed text block is only in the text.
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"x", "y", "z", "plain text of a block", "begin 644 u.bin"}));
  ASSERT_EQ(converter.Attachments.Count(), 3u);
  EXPECT_EQ(converter.Attachments[0].Name, "file1");
  EXPECT_EQ(converter.Attachments[1].Name, "file2");
  EXPECT_EQ(converter.Attachments[2].Name, "u.bin");
  EXPECT_EQ(converter.Attachments[2].Stream, bin);

  converter.Options.English = false;
  converter.TextBuffer = {"nothing to do"};
  firstStatus.clear();
  EXPECT_FALSE(converter.RunStage(StandardStage("binary")));
  EXPECT_EQ(firstStatus, WinFromUtf8("Проверка бинарных кодировок..."));
}

TEST_F(BinaryStageTest, RunsInConvertOnlyWithItsSwitch) {
  const Lines text = Concat({{"a"}, Base64Lines(std::string(60, '\x07')), {"b"}});
  converter.Options.Source = kWindows;
  converter.Options.Target = kWindows;
  converter.TextBuffer = Text::FromLines(text);
  converter.CopyTextToScreen();
  converter.Options.Switches.Base64 = false;
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_TRUE(converter.Attachments.Empty());

  converter.Options.Switches.Base64 = true;
  converter.Convert();
  EXPECT_EQ(ToLines(converter.TextBuffer), (Lines{"a", "b"}));
  EXPECT_EQ(converter.Attachments.Count(), 1u);
  EXPECT_NE(converter.Info().find("Base64 converted."), std::string::npos);
}

TEST_F(BinaryStageTest, UserBreakLeavesTheTextAsItWas) {
  const Lines text = Concat({{"a"}, Base64Lines(std::string(60, '\x07')), {"b", "c"}});
  converter.TextBuffer = Text::FromLines(text);
  int events = 0;
  window.onEvents = [&] {
    if (++events == 5) converter.UserBreak = true;
  };
  converter.RunStage(StandardStage("binary"));
  EXPECT_EQ(ToLines(converter.TextBuffer), text);
  EXPECT_EQ(converter.Counters.Base64Count, 1);
  ASSERT_EQ(converter.Attachments.Count(), 1u);
  EXPECT_EQ(converter.Attachments[0].Name, "file1");
}

}  // namespace
}  // namespace kamvo
