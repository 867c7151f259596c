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
      if (entry.path().filename() != mail.Name && entry.path().filename() != "out.txt") saved.insert(entry.path().filename().string());
    std::set<std::string> expectedNames;
    for (const auto& [name, bytes] : mail.Files) {
      expectedNames.insert(name);
      EXPECT_EQ(ReadFile(dir / ("in/" + name)), bytes) << name;
    }
    EXPECT_EQ(saved, expectedNames);
  }
}

}  // namespace
}  // namespace kamvo
