// The real program reads and writes every code page of the list by its
// published table, against iconv.
#include <gtest/gtest.h>

#include <set>

#include "codepages/code_page_list.h"
#include "support/iconv.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::Iconv;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The UTF-8 characters of a UTF-8 text, one string each.
std::vector<std::string> Characters(const std::string& utf8) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    while (i + length < utf8.size() && (static_cast<unsigned char>(utf8[i + length]) & 0xC0) == 0x80) ++length;
    chars.push_back(utf8.substr(i, length));
    i += length;
  }
  return chars;
}

// For each code page: its every character after a Russian sentence comes
// to UTF-8 and back as iconv converts it (box drawing and signs included);
// and a line of signs, box drawing, letters of other languages and an emoji
// written in it keeps every character it holds, spells out the others
// (never another character of the code page) and counts them.
TEST(CodePagesProgram, EveryCodePageByItsPublishedTable) {
  const std::string sentence = "Мы встретились у старой школы, где когда-то учились вместе.\n";
  const std::string signs = "«Цена» — 5 € ± 2 … “ёлка” № 7 ┌─┐ ║ ° · © Її ґ µ ≤ 😀\n";
  TempDir dir;
  int pages = 0;
  for (const CodePageInfo& page : CodePageList()) {
    if (!IsSingleByteCode(page.Code)) continue;
    ++pages;
    const std::string code(page.Iconv), from = "--from=" + code, to = "--to=" + code;
    SCOPED_TRACE(code);
    std::string all, allUtf8;
    for (int b = 0xA0; b < 0x100; ++b) all.push_back(static_cast<char>(b));
    std::string bytes, utf8;
    ASSERT_TRUE(Iconv(sentence, "UTF-8", code.c_str(), bytes));
    bytes += all + "\n";
    ASSERT_TRUE(Iconv(all, code.c_str(), "UTF-8", allUtf8) || page.Code == kMacCyrillic);
    if (page.Code == kMacCyrillic) {
      ASSERT_TRUE(Iconv(all.substr(0, all.size() - 1), code.c_str(), "UTF-8", allUtf8));
    }
    utf8 = sentence + allUtf8 + (page.Code == kMacCyrillic ? "€\n" : "\n");  // iconv's 0xFF is older
    WriteFile(dir / "in.txt", bytes);
    EXPECT_EQ(testing::RunKamvo(dir, {"--stdout", from, "--to=utf-8", dir / "in.txt"}).Out, utf8);
    WriteFile(dir / "in.txt", utf8);
    EXPECT_EQ(testing::RunKamvo(dir, {"--stdout", "--from=utf-8", to, dir / "in.txt"}).Out, bytes);

    WriteFile(dir / "in.txt", sentence + signs);
    const testing::ProgramRun run = testing::RunKamvo(dir, {"--stdout", "--from=utf-8", to, dir / "in.txt"});
    std::string written;
    ASSERT_TRUE(Iconv(run.Out, code.c_str(), "UTF-8", written)) << run.Out;
    std::set<std::string> given;
    for (const std::string& c : Characters(sentence)) given.insert(c);
    if (page.Code == kMacCyrillic) given.insert("¤");  // iconv's reading of the euro sign
    int lacking = 0;
    for (const std::string& c : Characters(signs)) {
      given.insert(c);
      std::string held;
      lacking += c.size() > 1 && !Iconv(c, "UTF-8", code.c_str(), held) && !(c == "€" && page.Code == kMacCyrillic);
    }
    for (const std::string& c : Characters(written))
      EXPECT_TRUE(c.size() == 1 || given.count(c)) << c << " in " << written;
    EXPECT_NE(run.Err.find(std::to_string(lacking) + " character(s) that " + std::string(page.Name) + " cannot hold"),
              std::string::npos)
        << run.Err;
  }
  EXPECT_EQ(pages, kLastCode - 1);
}

// Detection finds every code page of the list by itself: Russian and
// Ukrainian text written in it (where it holds the text) comes to UTF-8
// exactly, and the same text in UTF-8 stays as it is.
TEST(CodePagesProgram, DetectionFindsEveryCodePage) {
  const std::string texts[] = {
      "Мы встретились у старой школы, где когда-то учились вместе. Поезд отправляется в семь "
      "часов утра с первого пути. Я прочитал эту книгу за один вечер и не пожалел.\n",
      "Ми зустрілися біля річки, і вона сказала, що все буде добре. Її брат навіть не знав, що "
      "сьогодні в місті свято. Він п'ять років працював у бібліотеці й читав усе підряд.\n",
      // One capital only: one mark of MacCyrillic.
      "Работа требует больше времени, чем думает программист, даже если он учел это заранее.\n",
      // Ukrainian і the only letter Russian lacks: CP866 shows it as ў.
      "Програмне забезпечення надійшло з ненадійного джерела, тому його не встановили на цьому комп'ютері.\n",
  };
  TempDir dir;
  for (const CodePageInfo& page : CodePageList()) {
    for (const std::string& text : texts) {
      std::string bytes;
      if (!Iconv(text, "UTF-8", std::string(page.Iconv).c_str(), bytes)) continue;  // lacks a letter
      SCOPED_TRACE(std::string(page.Iconv) + ": " + text.substr(0, 20));
      WriteFile(dir / "in.txt", bytes);
      EXPECT_EQ(testing::RunKamvo(dir, {"--stdout", "--to=utf-8", dir / "in.txt"}).Out.substr(0, text.size()), text);
    }
  }
}

}  // namespace
}  // namespace kamvo
