// The real program rewrites a file with every line break where it was,
// whatever kinds of breaks the file mixes, and decodes what a file carries
// in quoted-printable and Base64 as before.
#include <gtest/gtest.h>

#include <random>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(LineBreaksProgram, MixedBreaksStayWhereTheyWereThroughAConversion) {
  std::mt19937 random(41);
  const Lines russian = testing::RussianText(random, 300, 8);  // Windows-1251
  const CodeTable toKoi = BuildCodeTable(kWindows, kKoi8);
  const std::string breaks[] = {"\r\n", "\n", "\r"};
  std::string koi, windows;
  for (std::size_t i = 0; i < russian.size(); ++i) {
    // CR LF, LF and CR in turn, one empty line, and no break at the end.
    const std::string line = i == 150 ? std::string() : russian[i];
    const std::string lineBreak = i + 1 == russian.size() ? "" : breaks[i % 3];
    koi += ConvertByTable(line, toKoi) + lineBreak;
    windows += line + lineBreak;
  }
  ASSERT_NE(koi, windows);
  TempDir dir;
  const std::string in = dir / "koi.txt";
  WriteFile(in, koi);
  EXPECT_EQ(testing::RunKamvo(dir, {in, "/KOI", dir / "win.txt", "/WIN"}).Status, 0);
  EXPECT_TRUE(ReadFile(dir / "win.txt") == windows);
  // In place, with the original in the backup.
  EXPECT_EQ(testing::RunKamvo(dir, {in, "/KOI", in, "/WIN"}).Status, 0);
  EXPECT_TRUE(ReadFile(in) == windows);
  EXPECT_TRUE(ReadFile(in + ".bak") == koi);
}

TEST(LineBreaksProgram, QuotedPrintableAndBase64AreDecodedInTheirPlaces) {
  const std::string hello = WinFromUtf8("Привет");
  // Blocks whose Base64 needs no "=" padding, which would read as a soft
  // break of quoted-printable.
  const std::string greeting = WinFromUtf8("Здравствуй, дорогой друг!");
  std::string question = WinFromUtf8("Как твои дела? Пиши чаще.");
  while ((greeting.size() + question.size() + 4) % 3 != 0) question += '!';
  const std::string textBlock = greeting + "\r\n" + question + "\r\n";
  const std::string binary = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(121, '\0');
  std::string qp;  // "Привет" in quoted-printable, with a soft break after its third letter
  for (std::size_t i = 0; i < hello.size(); ++i) {
    char escape[4];
    std::snprintf(escape, sizeof escape, "=%02X", static_cast<unsigned char>(hello[i]));
    qp += escape;
    if (i == 2) qp += "=\n";
  }
  for (const std::string lineBreak : {"\r\n", "\n"}) {
    SCOPED_TRACE(lineBreak.size());
    Lines input = {"Plain text before the blocks.", qp.substr(0, qp.find('\n')), qp.substr(qp.find('\n') + 1),
                   "A letter follows:"};
    for (const std::string& line : testing::Base64Lines(textBlock)) input.push_back(line);
    input.push_back("A picture follows:");
    for (const std::string& line : testing::Base64Lines(binary)) input.push_back(line);
    input.push_back("The end.");
    const Lines expected = {"Plain text before the blocks.",
                            hello,
                            "A letter follows:",
                            greeting,
                            question,
                            "A picture follows:",
                            "The end."};
    TempDir dir;
    const std::string in = dir / "mail.txt";
    WriteFile(in, JoinLines(input, lineBreak));
    EXPECT_EQ(testing::RunKamvo(dir, {in, "/WIN", dir / "out.txt", "/WIN"}).Status, 0);
    EXPECT_EQ(ReadFile(dir / "out.txt"), JoinLines(expected, lineBreak));
  }
}

}  // namespace
}  // namespace kamvo
