// Mails and files with encoded blocks converted on disk the way the command
// line does it: the text comes out readable and the attachments land beside
// the file under their own names, and nowhere else.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "cli/command_line.h"
#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::Base64;
using testing::Base64Lines;
using testing::LengthPrefixedLines;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

std::string Win(std::string_view utf8) { return WinFromUtf8(utf8); }
std::string Koi(std::string_view utf8) { return ConvertByTable(Win(utf8), BuildCodeTable(kWindows, kKoi8)); }

const std::string kLetter1 = "Здравствуйте, дорогой друг! Вчера вечером пришло письмо из Москвы.";
const std::string kLetter2 = "Сегодня хорошая погода, мы идём гулять в парк. Как твои дела, как работа и семья?";

std::string Pdf() {
  std::string pdf = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  for (int i = 0; i < 768; ++i) pdf += static_cast<char>(i & 0xFF);
  return pdf + "%%EOF\n";
}

std::string Join(const Lines& lines) { return JoinLines(lines, "\r\n"); }

Lines Part(Lines headers, const Lines& body) {
  headers.insert(headers.end(), body.begin(), body.end());
  return headers;
}

// A saved mail: a KOI8-R text body in Base64, then attachments in Base64.
std::string Mail(const std::vector<std::pair<std::string, std::string>>& attachments) {
  Lines mail = {"From: sender@example.com",
                "Subject: test",
                "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=\"XYZ\"",
                "",
                "--XYZ",
                "Content-Type: text/plain; charset=\"koi8-r\"",
                "Content-Transfer-Encoding: base64",
                ""};
  mail = Part(mail, Base64Lines(Koi(kLetter1 + "\n" + kLetter2 + "\n")));
  for (const auto& [headerName, data] : attachments) {
    mail = Part(mail, {"", "--XYZ", "Content-Type: application/octet-stream", "Content-Transfer-Encoding: base64",
                       "Content-Disposition: attachment; filename=\"" + headerName + "\"", ""});
    mail = Part(mail, Base64Lines(data));
  }
  mail = Part(mail, {"", "--XYZ--"});
  return Join(mail);
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(BinaryFiles, KoiMailWithANamedPdfFromTheCommandLine) {
  TempDir dir;
  const std::string file = dir / "mail.eml";
  const std::string pdfName = "=?koi8-r?B?" + Base64(Koi("Отчёт за май.pdf")) + "?=";
  const std::string original = Mail({{pdfName, Pdf()}});
  WriteFile(file, original);

  TCfg cfg;
  std::ostringstream out, err;
  EXPECT_EQ(ConvFileCommandLine({file, "/WIN"}, cfg, out, err, 0), kExitOk) << err.str();
  EXPECT_NE(out.str().find("Base64 converted."), std::string::npos) << out.str();

  // The body is readable Windows-1251 text; the PDF's lines have left the text.
  const std::string converted = ReadFile(file);
  EXPECT_NE(converted.find(Win(kLetter1) + "\r\n" + Win(kLetter2) + "\r\n"), std::string::npos);
  EXPECT_EQ(converted.find(Base64(Pdf().substr(0, 57))), std::string::npos);
  EXPECT_NE(converted.find("filename=\"" + pdfName + "\""), std::string::npos);
  EXPECT_EQ(ReadFile(file + ".bak"), original);

  // The attachment is saved beside the mail under its Russian name in UTF-8.
  EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"mail.eml", "mail.eml.bak", "Отчёт за май.pdf"}));
  EXPECT_EQ(ReadFile(dir / "Отчёт за май.pdf"), Pdf());
}

class BinaryFileTest : public ::testing::Test {
 protected:
  BinaryFileTest() : converter(window, cfg, StandardStages()) {
    converter.Options.Source = 0;
    converter.Options.Target = kWindows;
  }
  TempDir dir;
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(BinaryFileTest, UUEAndXXEBlocksAreSavedUnderTheirBeginNames) {
  const std::string file = dir / "news.txt";
  const std::string photo = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + std::string(300, '\x01');
  const std::string notes = "first note\r\nsecond note\r\n";
  const std::string xx = std::string(90, '\x1B');
  Lines text = {Win(kLetter1), "begin 644 photo.jpg"};
  text = Part(text, LengthPrefixedLines(photo, false));
  text = Part(text, {"`", "end", "begin 600 " + Win("заметки.txt")});
  text = Part(text, LengthPrefixedLines(notes, false));
  text = Part(text, {"`", "end", "begin 644 data.xx"});
  text = Part(text, LengthPrefixedLines(xx, true));
  text = Part(text, {"+", "end", Win(kLetter2)});
  WriteFile(file, Join(text));

  const FileReport report = ConvertFile(converter, file, file);
  const std::string folder = dir.path().string() + "/";
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n" +                                //
                             " Attachment saved " + folder + "photo.jpg\r\n" +              //
                             " Attachment saved " + folder + Win("заметки.txt") + "\r\n" +  //
                             " Attachment saved " + folder + "data.xx\r\n");
  EXPECT_EQ(ReadFile(dir / "photo.jpg"), photo);
  EXPECT_EQ(ReadFile(dir / "заметки.txt"), notes);
  EXPECT_EQ(ReadFile(dir / "data.xx"), xx);
  // The text block is in the text as well, between its begin and grave lines.
  EXPECT_EQ(ReadFile(file),
            Join({Win(kLetter1), "begin 644 photo.jpg", "`", "end", "begin 600 " + Win("заметки.txt"), "first note",
                  "second note", "`", "end", "begin 644 data.xx", "+", "end", Win(kLetter2)}));
  EXPECT_EQ(converter.Counters.UUECount, 1);
  EXPECT_EQ(converter.Counters.XXECount, 1);
}

TEST_F(BinaryFileTest, NamesFromTheMailStayInsideTheFolder) {
  const fs::path inner = dir.path() / "inner";
  fs::create_directory(inner);
  const std::string file = (inner / "mail.eml").string();
  const std::string outside = dir / "precious.txt";
  WriteFile(outside, "precious");
  fs::create_symlink(outside, inner / "link.bin");

  const std::string bin(40, '\0');
  WriteFile(file, Mail({{"../escape.bin", bin + "1"},
                        {"..", bin + "2"},
                        {"=?utf-8?B?" + Base64("..") + "?=", bin + "3"},
                        {"/tmp/abs.bin", bin + "4"},
                        {"tab\there.bin", bin + "5"},
                        {"link.bin", bin + "6"}}));
  const FileReport report = ConvertFile(converter, file, file);
  EXPECT_FALSE(report.Failed) << report.Text;

  EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"inner", "precious.txt"}));
  EXPECT_EQ(ReadFile(outside), "precious");
  EXPECT_EQ(Listing(inner), (std::set<std::string>{"mail.eml", "mail.eml.bak", ".._escape.bin", "file1", "file2",
                                                   "_tmp_abs.bin", "tab_here.bin", "link.bin", "link (1).bin"}));
  EXPECT_EQ(ReadFile((inner / ".._escape.bin").string()), bin + "1");
  EXPECT_EQ(ReadFile((inner / "file1").string()), bin + "2");
  EXPECT_EQ(ReadFile((inner / "file2").string()), bin + "3");
  // The link is neither written through nor replaced: the attachment takes
  // a free name.
  EXPECT_TRUE(fs::is_symlink(inner / "link.bin"));
  EXPECT_EQ(ReadFile((inner / "link (1).bin").string()), bin + "6");
}

TEST_F(BinaryFileTest, AttachmentsNeverCostTheUserAFile) {
  const std::string file = dir / "mail.eml";
  WriteFile(dir / "same.bin", "the user's own file");
  const std::string bin(40, '\0');
  const std::string original = Mail({{"mail.eml", bin + "1"}, {"same.bin", bin + "2"}, {"same.bin", bin + "3"}});
  WriteFile(file, original);
  const FileReport report = ConvertFile(converter, file, file);
  const std::string folder = dir.path().string() + "/";
  EXPECT_FALSE(report.Failed) << report.Text;
  EXPECT_EQ(report.SavedAttachments,
            (Lines{" Attachment saved " + folder + "mail (1).eml", " Attachment saved " + folder + "same (1).bin",
                   " Attachment saved " + folder + "same (2).bin"}));
  // The original mail stays in its backup, the converted mail in its place.
  EXPECT_EQ(ReadFile(file + ".bak"), original);
  EXPECT_NE(ReadFile(file).find(Win(kLetter1)), std::string::npos);
  // The user's file of that name stays as it was; both attachments of that
  // name are saved beside it.
  EXPECT_EQ(ReadFile(dir / "same.bin"), "the user's own file");
  EXPECT_EQ(ReadFile(dir / "mail (1).eml"), bin + "1");
  EXPECT_EQ(ReadFile(dir / "same (1).bin"), bin + "2");
  EXPECT_EQ(ReadFile(dir / "same (2).bin"), bin + "3");
  EXPECT_FALSE(fs::exists(dir / "same.bin.bak"));
}

}  // namespace
}  // namespace kamvo
