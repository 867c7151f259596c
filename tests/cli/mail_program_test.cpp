// Mails as mail programs send them (built by tools/make_mail_fixtures.py
// with Python's email package), converted by the real program: the text
// must hold the decoded lines and every boundary line as it was, and the
// attachments must come out byte for byte as they were put in, under their
// own names.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::ReadFile;
using testing::RunKamvo;
using testing::TempDir;
using testing::WriteFile;

const std::string kMailDir = std::string(KAMVO_SOURCE_DIR) + "/tests/data/mail/";

struct ExpectedMail {
  std::string Name;
  std::vector<std::string> Lines;
  std::vector<std::pair<std::string, std::string>> Files;  // saved name, stored bytes
};

std::vector<ExpectedMail> ReadManifest() {
  std::vector<ExpectedMail> mails;
  std::istringstream in(ReadFile(kMailDir + "expected.txt"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("mail ")) {
      mails.push_back({line.substr(5), {}, {}});
    } else if (line.starts_with("line ")) {
      mails.back().Lines.push_back(line.substr(5));
    } else if (line.starts_with("file ")) {
      const std::size_t last = line.rfind(' ');
      mails.back().Files.emplace_back(line.substr(5, last - 5), ReadFile(kMailDir + line.substr(last + 1)));
    }
  }
  return mails;
}

std::set<std::string> LinesOf(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.insert(line);
  }
  return lines;
}

TEST(MailProgram, MailsComeOutDecodedWithTheirAttachmentsByteForByte) {
  const std::vector<ExpectedMail> mails = ReadManifest();
  ASSERT_GE(mails.size(), 4u);
  for (const ExpectedMail& mail : mails) {
    SCOPED_TRACE(mail.Name);
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "in");
    const std::string input = dir / ("in/" + mail.Name);
    WriteFile(input, ReadFile(kMailDir + mail.Name));
    const testing::ProgramRun run = RunKamvo(dir, {"--to=utf-8", "-o", dir / "in/out.txt", input});
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;

    const std::set<std::string> lines = LinesOf(ReadFile(dir / "in/out.txt"));
    for (const std::string& line : mail.Lines) EXPECT_TRUE(lines.count(line)) << "missing line: " << line;

    std::set<std::string> saved;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "in"))
      if (entry.path().filename() != mail.Name && entry.path().filename() != "out.txt")
        saved.insert(entry.path().filename().string());
    std::set<std::string> expectedNames;
    for (const auto& [name, bytes] : mail.Files) {
      expectedNames.insert(name);
      EXPECT_EQ(ReadFile(dir / ("in/" + name)), bytes) << name;
    }
    EXPECT_EQ(saved, expectedNames);
  }
}

// Texts that are no mail: escapes decode only where the text shows them
// (Windows-1251 in, UTF-8 out, no detection).
TEST(MailProgram, TextsThatAreNoMailDecodeOnlyTheirEvidence) {
  struct Case {
    std::string input, expected;
  };
  const Case cases[] = {
      // An address with a Russian name decodes its letters, not its signs;
      // C formats stay.
      {"See https://ru.wikipedia.org/wiki/%D0%9C%D0%BE%D1%81%D0%BA%D0%B2%D0%B0 or www.example.ru/a%20b%2F\n"
       "printf(\"%02x %5d\\n\", a, b);\n",
       "See https://ru.wikipedia.org/wiki/Москва or www.example.ru/a%20b%2F\n"
       "printf(\"%02x %5d\\n\", a, b);\n"},
      // A quoted-printable line turns nothing on for the configuration after it.
      {"=CF=F0=E8=E2=E5=F2, =EC=E8=F0!\n[server]\nNAME=\nVALUE=1\nlimit=10%\n",
       "Привет, мир!\n[server]\nNAME=\nVALUE=1\nlimit=10%\n"},
      {"=CF=F0=E8=E2=E5=F2, =EC=E8=F0! =\n=C4=EE =F1=E2=E8=E4=E0=ED=E8=FF.\n", "Привет, мир! До свидания.\n"},
      {"%CF%F0%E8%E2%E5%F2%2C%20%EC%E8%F0%21\n", "Привет, мир!\n"},
      // A Base64 line ending in "=" is no soft break.
      {"=CF=F0=E8=E2=E5=F2!\n\nQUJDREVGR0hJSktMTU5PUFFSU1RVVldY\nWVo=\nend\n",
       "Привет!\n\nABCDEFGHIJKLMNOPQRSTUVWXYZ\nend\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "in.txt", c.input);
    const testing::ProgramRun run =
        RunKamvo(dir, {"--from=cp1251", "--to=utf-8", "-o", dir / "out.txt", dir / "in.txt"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadFile(dir / "out.txt"), c.expected) << c.input;
  }
}

}  // namespace
}  // namespace kamvo
