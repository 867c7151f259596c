// Speed of the Base64, UUE and XXE stage: a 50 MB mail with a 40 MB Base64
// attachment, the same mail converted on disk, and texts built to make the
// stage put many blocks of text back between lines that hold line breaks.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_util.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/binary.h"
#include "driver/converter.h"
#include "driver/file_conversion.h"
#include "driver/stages.h"
#include "settings/settings.h"
#include "support/headless_window.h"

namespace {

using namespace kamvo;

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 3 * 4 + 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    const unsigned b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    const unsigned triple = (b0 << 16) | (b1 << 8) | b2;
    out += kLetters[(triple >> 18) & 63];
    out += kLetters[(triple >> 12) & 63];
    out += i + 1 < bytes.size() ? kLetters[(triple >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kLetters[triple & 63] : '=';
  }
  return out;
}

double Bytes(const Lines& lines) {
  double total = 0;
  for (const auto& line : lines) total += static_cast<double>(line.size() + 2);
  return total;
}

// 10 MB of KOI8-R text lines, then a 40 MB Base64 attachment.
Lines BigMail() {
  std::mt19937 random(1);
  Lines mail = {"From: sender@example.com",
                "Subject: big",
                "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=\"XYZ\"",
                "",
                "--XYZ",
                "Content-Type: text/plain; charset=\"koi8-r\"",
                ""};
  const std::string sentence =
      ConvertByTable(WinFromUtf8("Сегодня хорошая погода, мы идём гулять в парк. Как твои дела, как работа и семья?"),
                     BuildCodeTable(kWindows, kKoi8));
  double text = 0;
  while (text < 10e6) {
    mail.push_back(sentence);
    text += static_cast<double>(sentence.size() + 2);
  }
  mail.insert(mail.end(), {"", "--XYZ", "Content-Type: application/pdf", "Content-Transfer-Encoding: base64",
                           "Content-Disposition: attachment; filename=\"big.pdf\"", ""});
  std::string chunk(57, '\0');
  const std::size_t lines = static_cast<std::size_t>(40e6 / 78);
  for (std::size_t i = 0; i < lines; ++i) {
    for (auto& b : chunk) b = static_cast<char>(random() & 0xFF);
    mail.push_back(Base64(chunk));
  }
  mail.insert(mail.end(), {"", "--XYZ--"});
  return mail;
}

// Lines with breaks inside them, each followed by a one-line block of text:
// every block's text is put back after a line that the split must repair.
Lines ManyTextBlocks(double size) {
  Lines lines;
  const std::string block = Base64("a line of text in a block\r\nand a second one\r\n");
  while (Bytes(lines) < size) {
    lines.push_back("plain\rline\nwith breaks inside");
    lines.push_back(block);
  }
  return lines;
}

// Runs the stage on the text as a Text, every line ended by CR LF.
void RunStage(const std::string& what, const Lines& lines, const std::string& target) {
  Text text = Text::FromLines(lines, LineEnd::CrLf);
  TFileList files;
  bool seen = false;
  const double seconds = bench::Seconds([&] { seen = DecodeBinary(text, files, NoProgress()).Any(); });
  bench::Report(what, seconds, Bytes(lines), target);
  std::printf("  %zu lines in, %zu lines out, %zu attachments (%zu bytes in the first), seen %d\n", lines.size(),
              text.size(), files.Count(), files.Empty() ? std::size_t{0} : files[0].Stream.size(), seen);
}

}  // namespace

int main() {
  const Lines mail = BigMail();
  RunStage("DecodeBinary, 50 MB mail, 40 MB Base64", mail, "a few seconds");
  RunStage("DecodeBinary, 10 MB of text blocks after broken lines", ManyTextBlocks(10e6), "linear");
  RunStage("DecodeBinary, 20 MB of text blocks after broken lines", ManyTextBlocks(20e6), "twice the 10 MB time");
  {
    // A BEGIN line of 10 MB of words names the block after it: the name is
    // cut into words once, not once per word.
    std::string begin = "begin 644";
    std::string word(1, ' ');
    word += WinFromUtf8("слово");
    while (begin.size() < 10'000'000) begin += word;
    RunStage("DecodeBinary, a 10 MB BEGIN line naming a block", {begin, Base64(std::string(57, '\0'))}, "linear");
  }

  // The whole road of `kamvo mail.eml`: read, all stages, detection, write,
  // save the attachment.
  const auto folder = std::filesystem::temp_directory_path() / "kamvo-binary-bench";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "mail.eml").string();
  {
    std::ofstream out(file, std::ios::binary);
    out << JoinLines(mail, "\r\n");
  }
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Source = 0;
  converter.Options.Target = kWindows;
  FileReport report;
  const double seconds = bench::Seconds([&] { report = ConvertFile(converter, file, file); });
  bench::Report("ConvertFile, 50 MB mail, all stages", seconds, Bytes(mail), "a few seconds");
  std::printf("  %s", report.Text.c_str());
  std::filesystem::remove_all(folder);
  return 0;
}
