#include "driver/file_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codepages/unicode.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/russian_text.h"
#include "support/stage_tables.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

// The short greeting in Windows-1251 and KOI-8.
const std::string kWin = testing::ShortGreeting();
const std::string kKoi = ConvertByPair(kWin, 2);

class FileConversionTest : public ::testing::Test {
 protected:
  FileConversionTest() : converter(window, cfg) {
    converter.Options.Source = 0;
    converter.Options.Target = kWindows;
  }

  FileReport Run(const std::string& in, const std::string& out) { return ConvertFile(converter, in, out); }
  FileReport Run(const std::string& name) { return Run(name, name); }

  TempDir dir;
  TCfg cfg;
  HeadlessWindow window;
  Converter converter;
};

TEST_F(FileConversionTest, ConvertsInPlaceKeepingLineBreaksAndABackup) {
  const std::string file = dir / "letter.txt";
  const std::string original = kKoi + "\n" + kKoi + "\n\n" + kKoi;  // LF, no final break
  WriteFile(file, original);
  const FileReport report = Run(file);
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n");
  EXPECT_FALSE(report.Failed);
  EXPECT_EQ(ReadFile(file), kWin + "\n" + kWin + "\n\n" + kWin);
  EXPECT_EQ(ReadFile(file + ".bak"), original);
  EXPECT_TRUE(converter.TextBuffer.empty());
  EXPECT_EQ(window.screen.size(), 4u);

  // A second run finds nothing to convert: file and backup stay as they are.
  const FileReport again = Run(file);
  EXPECT_EQ(again.Text, "File not converted " + file + "\r\n");
  EXPECT_EQ(ReadFile(file + ".bak"), original);

  for (const std::string& style : {std::string("\r\n"), std::string("\r")}) {
    WriteFile(file, kKoi + style + kKoi + style);
    Run(file);
    EXPECT_EQ(ReadFile(file), kWin + style + kWin + style);
  }
}

// No backup is ever replaced: each run takes the next free name and says
// which, unless it is the plain NAME.bak.
TEST_F(FileConversionTest, ConvertingAgainKeepsEveryBackup) {
  const std::string file = dir / "a.txt";
  WriteFile(file, kKoi);
  EXPECT_EQ(Run(file).Text, "File converted " + file + "\r\n");
  converter.Options.Source = kWindows;
  converter.Options.Target = kDos;
  EXPECT_EQ(Run(file).Text, "File converted " + file + "\r\n Old content kept in " + file + ".1.bak\r\n");
  converter.Options.Target = kIso;
  converter.Options.Source = kDos;
  Run(file);
  EXPECT_EQ(ReadFile(file + ".bak"), kKoi);
  EXPECT_EQ(ReadFile(file + ".1.bak"), kWin);
  EXPECT_EQ(ReadFile(file + ".2.bak"), ConvertByPair(kWin, 1));
  EXPECT_EQ(ReadFile(file), ConvertByTable(kWin, BuildCodeTable(kWindows, kIso)));
}

TEST_F(FileConversionTest, EmptyAndUnchangedFilesAreNotRewritten) {
  const std::string empty = dir / "empty.txt";
  WriteFile(empty, "");
  EXPECT_EQ(Run(empty).Text, "File not converted " + empty + "\r\n");
  EXPECT_FALSE(fs::exists(empty + ".bak"));

  const std::string plain = dir / "plain.txt";
  WriteFile(plain, kWin + "\r\n");
  WriteFile(plain + ".bak", "older backup");
  converter.Attachments.AddFile("never.bin");
  EXPECT_EQ(Run(plain).Text, "File not converted " + plain + "\r\n");
  EXPECT_EQ(ReadFile(plain + ".bak"), "older backup");
  EXPECT_FALSE(fs::exists(dir / "never.bin"));
}

TEST_F(FileConversionTest, SecondFileIsWrittenEvenWhenNothingChanged) {
  const std::string in = dir / "in.txt", out = dir / "out.txt";
  WriteFile(in, kWin);
  WriteFile(out, "to be replaced");
  const FileReport report = Run(in, out);
  EXPECT_EQ(report.Text,
            "File not converted " + in + "\r\nFile converted " + in + "\r\n Old content kept in " + out + ".bak\r\n");
  EXPECT_EQ(ReadFile(out), kWin);
  EXPECT_FALSE(fs::exists(in + ".bak"));
  EXPECT_EQ(ReadFile(out + ".bak"), "to be replaced");
  // Once more: the output holds the result already and stays as it is.
  EXPECT_EQ(Run(in, out).Text, "File not converted " + in + "\r\nFile converted " + in + "\r\n");
  EXPECT_FALSE(fs::exists(out + ".1.bak"));
}

TEST_F(FileConversionTest, RefusesWhatIsNotText) {
  for (const std::string& bytes : {std::string("abc\0def", 7), std::string("abc\x1A")}) {
    const std::string file = dir / "binary.dat";
    WriteFile(file, bytes);
    const FileReport report = Run(file);
    EXPECT_EQ(report.Text, file + " is not text file\r\n");
    EXPECT_TRUE(report.NotText);
    EXPECT_FALSE(report.Failed);
    EXPECT_EQ(ReadFile(file), bytes);
  }
  const std::string text = dir / "text.txt";
  WriteFile(text, "abc\x7F\xFF\t\r\n");
  EXPECT_FALSE(Run(text).Failed);

  EXPECT_EQ(Run(dir / "missing.txt").Text,
            "Error opening file " + (dir / "missing.txt") + ": No such file or directory\r\n");
  fs::create_directory(dir / "folder.txt");
  EXPECT_EQ(Run(dir / "folder.txt").Text, "Error opening file " + (dir / "folder.txt") + ": Is a directory\r\n");
}

TEST_F(FileConversionTest, BackupNameHeldByAFolderIsPassedBy) {
  const std::string file = dir / "a.txt";
  WriteFile(file, kKoi);
  fs::create_directories(dir / "a.txt.bak/inside");
  const FileReport report = Run(file);
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n Old content kept in " + file + ".1.bak\r\n");
  EXPECT_FALSE(report.Failed);
  EXPECT_EQ(ReadFile(file), kWin);
  EXPECT_EQ(ReadFile(file + ".1.bak"), kKoi);
  EXPECT_TRUE(fs::is_directory(dir / "a.txt.bak/inside"));
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".kamvo-"), std::string::npos);
}

TEST_F(FileConversionTest, ReportsInRussian) {
  converter.Options.English = false;
  const std::string file = dir / "a.txt";
  WriteFile(file, kKoi);
  EXPECT_EQ(Run(file).Text, WinFromUtf8("Перекодирован файл ") + file + "\r\n");
  EXPECT_EQ(Run(file).Text, WinFromUtf8("В файле нечего перекодировать ") + file + "\r\n");
  WriteFile(file, std::string("\0", 1));
  EXPECT_EQ(Run(file).Text, WinFromUtf8("Файл ") + file + WinFromUtf8(" не текстовый") + "\r\n");
  // The system's reason stays in English whatever the interface language.
  EXPECT_EQ(Run(dir / "missing.txt").Text,
            WinFromUtf8("Ошибка открытия файла ") + (dir / "missing.txt") + ": No such file or directory\r\n");
}

TEST_F(FileConversionTest, FileNamesAreShownInWindows1251) {
  const std::string file = dir / "письмо.txt";
  WriteFile(file, kKoi);
  EXPECT_EQ(Run(file).Text, "File converted " + WinFromUtf8(file) + "\r\n");
  EXPECT_TRUE(fs::exists(file + ".bak"));
}

// A converter whose binary stage hands out fixed attachments.
class AttachmentTest : public FileConversionTest {
 protected:
  AttachmentTest() {
    stageConverter =
        std::make_unique<Converter>(window, cfg, testing::StagesDoing({{"binary", [this](StageContext& c) {
                                                                          for (const auto& [name, data] : attachments) {
                                                                            c.Attachments.AddFile(name);
                                                                            c.Attachments.AddData(data);
                                                                          }
                                                                        }}}));
  }
  std::vector<std::pair<std::string, std::string>> attachments;
  std::unique_ptr<Converter> stageConverter;
};

TEST_F(AttachmentTest, SavesAttachmentsBesideTheFileUnderFreeNames) {
  const std::string file = dir / "mail.txt";
  WriteFile(file, kKoi);
  WriteFile(dir / "report.pdf", "old pdf");
  attachments = {{"report.pdf", "new pdf"}, {"\xEE\xF2\xF7\xE5\xF2.doc", "doc"}};
  const FileReport report = ConvertFile(*stageConverter, file, file);
  const std::string folder = dir.path().string() + "/";
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n Attachment saved " + folder + "report (1).pdf\r\n" +
                             " Attachment saved " + folder + "\xEE\xF2\xF7\xE5\xF2.doc\r\n");
  EXPECT_EQ(ReadFile(dir / "report.pdf"), "old pdf");
  EXPECT_EQ(ReadFile(dir / "report (1).pdf"), "new pdf");
  EXPECT_FALSE(fs::exists(dir / "report.pdf.bak"));
  EXPECT_EQ(ReadFile(dir / "отчет.doc"), "doc");  // the name reaches the disk in UTF-8
}

// Written to another file, the text takes its attachments with it.
TEST_F(AttachmentTest, AttachmentsGoBesideTheOutput) {
  const std::string file = dir / "mail.txt";
  WriteFile(file, kKoi);
  fs::create_directory(dir / "out");
  attachments = {{"report.pdf", "new pdf"}};
  const FileReport report = ConvertFile(*stageConverter, file, dir / "out/mail.txt");
  EXPECT_EQ(report.Text, "File converted " + file + "\r\n Attachment saved " + (dir / "out/report.pdf") + "\r\n");
  EXPECT_EQ(ReadFile(dir / "out/report.pdf"), "new pdf");
  EXPECT_FALSE(fs::exists(dir / "report.pdf"));
}

TEST_F(AttachmentTest, NamesThatLeaveTheFolderOrFollowLinksAreRefused) {
  const std::string file = dir / "mail.txt";
  WriteFile(file, kKoi);
  WriteFile(dir / "target", "precious");
  fs::create_symlink(dir / "target", dir / "link.txt");
  attachments = {{"..", "x"}, {"", "y"}, {"link.txt", "replaced"}, {"ok.txt", "fine"}};
  const FileReport report = ConvertFile(*stageConverter, file, file);
  const std::string folder = dir.path().string() + "/";
  EXPECT_EQ(report.FailureLines, (Lines{"Error saving attachment " + folder + "..: Invalid argument",
                                        "Error saving attachment " + folder + ": Invalid argument"}));
  EXPECT_EQ(ReadFile(dir / "target"), "precious");
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(dir / "link (1).txt"), "replaced");
  EXPECT_EQ(ReadFile(dir / "ok.txt"), "fine");
}

TEST_F(AttachmentTest, UserBreakWritesNothing) {
  const std::string file = dir / "mail.txt";
  WriteFile(file, kKoi);
  Converter breaking(window, cfg, testing::StagesDoing({{"escapes", [](StageContext& c) { c.Stop = true; }}}));
  const FileReport report = ConvertFile(breaking, file, file);
  EXPECT_EQ(report.Text, "");
  EXPECT_EQ(ReadFile(file), kKoi);
  EXPECT_FALSE(fs::exists(file + ".bak"));
}

// The command line's window has no display and the file's own bytes are
// let go once its lines are known to give them back: the files written, the
// backups and the reports are those of a run with a display.
TEST(FileConversionWithoutDisplay, WritesWhatARunWithADisplayWrites) {
  const std::string win2 = kWin + " " + kWin;
  const std::vector<std::string> contents = {kKoi + "\n" + kKoi + "\n",
                                             kKoi + "\r\n" + kKoi,
                                             kKoi + "\r\n" + kKoi + "\n" + kKoi + "\r",  // mixed breaks
                                             kWin + "\n" + win2 + "\n",
                                             kWin + "\n" + win2,
                                             kWin + "\r\n" + win2 + "\n",  // nothing to convert
                                             "",
                                             "\n\n",
                                             kKoi};
  int index = 0;
  for (const std::string& content : contents) {
    for (bool inPlace : {true, false}) {
      std::vector<std::string> results;
      for (bool display : {true, false}) {
        TempDir dir;
        TCfg cfg;
        HeadlessWindow window;
        window.hasDisplay = display;
        Converter converter(window, cfg);
        const std::string in = dir / "in.txt";
        const std::string out = inPlace ? in : std::string(dir / "out.txt");
        WriteFile(in, content);
        const FileReport report = ConvertFile(converter, in, out);
        std::string result = report.Text + "|" + ReadFile(out) + "|" + ReadFile(in);
        if (fs::exists(in + ".bak")) result += "|" + ReadFile(in + ".bak");
        // The report names the folder, which differs between the runs.
        for (std::size_t at; (at = result.find(dir.path().string())) != std::string::npos;)
          result.replace(at, dir.path().string().size(), "DIR");
        results.push_back(result);
      }
      EXPECT_EQ(results[0], results[1]) << "content " << index << (inPlace ? " in place" : "");
    }
    ++index;
  }
}

}  // namespace
}  // namespace kamvo
