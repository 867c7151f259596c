// Writes the seed corpora of the fuzz targets: short texts made with the test
// helpers (Russian text in wrong code pages, the encoders of the unit tests)
// and with the program's own encoders, one folder per target.
// Usage: make_seeds <output folder> <sample text>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "decoders/html.h"
#include "decoders/translit.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "support/russian_text.h"

using namespace kamvo;
namespace fs = std::filesystem;

namespace {

fs::path root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const fs::path folder = root / target;
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string Flag(unsigned flags, const std::string& text) { return std::string(1, static_cast<char>(flags)) + text; }

std::string Hex(const std::string& bytes, const std::string& lead, bool small = false) {
  static const char* const kDigits[] = {"0123456789ABCDEF", "0123456789abcdef"};
  std::string out;
  for (char c : bytes) {
    const Byte b = static_cast<Byte>(c);
    if (b < 0x80 && c != '=' && c != '%') {
      out += c;
    } else {
      out += lead;
      out += kDigits[small][b >> 4];
      out += kDigits[small][b & 15];
    }
  }
  return out;
}

std::string References(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    const Byte b = static_cast<Byte>(c);
    out += b < 0x80 ? std::string(1, c) : "&#" + std::to_string(WinToUnicode(b)) + ";";
  }
  return out;
}

// Soft line breaks every `width` characters, as a mail writes them.
std::string SoftBreaks(const std::string& line, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); i += width) {
    out += line.substr(i, width);
    if (i + width < line.size()) out += "=\r\n";
  }
  return out;
}

std::string Joined(const Lines& lines) { return JoinLines(lines, "\r\n"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds <output folder> <sample text>\n");
    return 2;
  }
  root = argv[1];
  std::ifstream sampleFile(argv[2], std::ios::binary);
  const std::string sample((std::istreambuf_iterator<char>(sampleFile)), {});  // KOI-8

  std::mt19937 random(1);
  const Lines russian = testing::RussianText(random, 3, 6);
  const std::string win = Joined(russian);
  const std::string line = russian.front();
  const std::string koi = Joined(testing::Recode(russian, {2}));
  const std::string chain = Joined(testing::Recode(russian, {1, 5, 9}));
  std::string utf8;
  for (const std::string& l : russian) utf8 += Utf8FromWin(l) + "\n";

  // Escapes.
  Seed("escape_stage", "qp", Flag(7, SoftBreaks(Hex(win, "="), 40)));
  Seed("escape_stage", "qp-small", Flag(7, Hex(line, "=", true) + "=\n=3D=20"));
  Seed("escape_stage", "percent", Flag(7, Hex(line, "%")));
  Seed("escape_stage", "rtf", Flag(7, "{\\rtf1 " + Hex(line, "\\'", true) + "}"));
  Seed("escape_stage", "references", Flag(7, References(line) + "&#65;&#x41;&#1040"));
  Seed("escape_stage", "plain", Flag(0x17, koi));

  // HTML.
  Seed("html_stage", "page",
       Flag(0, "<html><head><title>" + References(line) + "</title></head>\n<body>\n<p>" +
                   "&Agrave;&aacute;&nbsp;&quot;&lt;b&gt;<br>\n" + line + "</p><li>x</li>\n<tr><td>" +
                   "&sup1;&times;&shy;</td></tr>\n</body></html>\n"));
  Seed("html_stage", "tags", Flag(0, "<a\nhref=x>link</a> <\n\n> <b>bold</b> < <<>>"));

  // Translit.
  kamvo::Text encodedText = kamvo::Text::FromLines(russian, LineEnd::CrLf);
  EncodeTranslitLines(encodedText, DefaultTranslitTable());
  const Lines encoded = ToLines(encodedText);
  Seed("translit", "default", Flag(1, Joined(encoded)));
  Seed("translit", "table",
       Flag(0,
            "a\nb\nv\ng\nd\ne\njo\nzh\nz\ni\nj\nk\nl\nm\nn\no\np\nr\ns\nt\nu\nf\nh\nc\nch\nsh\nshh\n\"\ny\n'"
            "\neh\nju\nja" +
                std::string(1, '\0') + "Privet, shhuka! Jozh, \"ehto\" ja."));
  Seed("translit", "cyrillic", Flag(1, win));

  // Base64, UUE and XXE.
  const std::string bytes = win + std::string("\0\x01\x02\xFF", 4);
  Seed("binary_stage", "mime",
       Flag(0, "Content-Type: text/plain\nContent-Disposition: attachment; filename=\"=?koi8-r?B?" +
                   testing::Base64(testing::Recode({"\xCF\xE8\xF1\xFC\xEC\xEE.txt"}, {2})[0]) + "?=\"\n\n" +
                   Joined(testing::Base64Lines(win)) + "\n\n--end\n"));
  Seed("binary_stage", "binary", Flag(0, "filename=\"data.bin\"\n" + Joined(testing::Base64Lines(bytes))));
  Seed("binary_stage", "uue",
       Flag(0, "begin 644 " + line.substr(0, 12) + ".txt\n" + Joined(testing::LengthPrefixedLines(bytes, false)) +
                   "`\nend\n"));
  Seed("binary_stage", "xxe",
       Flag(0, "begin 600 ../x\n" + Joined(testing::LengthPrefixedLines(win, true)) + "+\nend\n"));

  // Words and detection.
  Seed("russian_word", "words", std::string(8, '\0') + win);
  Seed("russian_word", "chain", std::string("\x01\x05\x09\0\0\0\0\0", 8) + chain);
  Seed("russian_word", "sample", std::string(8, '\0') + sample);
  Seed("detection", "koi", Flag(0, koi));
  Seed("detection", "chain", Flag(2, chain));
  // The quick chain test: a chain (one pair index a byte), the score to
  // reach, then the words.
  Seed("chain_filter", "koi", std::string("\x02\0\0\0\x01\x05\0\0\x14", 9) + koi);
  Seed("chain_filter", "utf8", std::string("\x03\x07\0\0\x09\0\0\0\x05", 9) + utf8);
  Seed("detection", "utf8", Flag(4, utf8));
  Seed("detection", "sample", Flag(0, sample.substr(0, 300)));
  Seed("detection_full", "koi", testing::Recode({"\xEF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0"}, {2})[0]);
  Seed("detection_full", "chain", testing::Recode({"\xE4\xEE\xEC \xEC\xE8\xF0"}, {1, 5, 9})[0]);
  Seed("detection_full", "garbled", "\xE0\xE0\xE0\xE1 \x90\x91\x92");

  // Whole conversions.
  Seed("convert", "sample", Flag(0, sample));
  Seed("convert", "mail",
       Flag(0, "Subject: =?koi8-r?Q?" + Hex(line, "=") + "?=\n\n" + SoftBreaks(Hex(koi, "="), 60) + "\n" +
                   "begin 644 a.txt\n" + Joined(testing::LengthPrefixedLines(koi, false)) + "`\nend\n"));
  Seed("convert", "html-utf8", Flag(0x08, "<p>" + utf8 + "</p>&nbsp;<br>"));
  Seed("convert", "translit", Flag(0x01, Joined(encoded)));

  // Settings store.
  TRegData store;
  const std::string settingsKey = RegKeyPath("Settings");
  store.Set(RegKeyPath(""), "FirstRun", TRegValue::Dword(1));
  store.Set(RegKeyPath(""), "Location", TRegValue::String("/opt/kamvo/"));
  store.Set(settingsKey, "Detection limit", TRegValue::Dword(80));
  store.Set(settingsKey, "Translit Table", TRegValue::String(DefaultTranslitTable()));
  store.Set(RegKeyPath("Settings\\Font"), "Style", TRegValue::Binary("\x01"));
  store.Set(RegKeyPath("Settings\\Font"), "Name", TRegValue::String(line));
  Seed("settings_store", "written", store.Serialize());
  Seed("settings_store", "export",
       "Windows Registry Editor Version 5.00\r\n\r\n[" + settingsKey +
           "]\r\n\"English\"=dword:00000000\r\n"
           "\"Translit Table\"=hex(2):41,00,0d,0a,42,\\\r\n  00\r\n@=\"x\\\"y\"\r\n[-" +
           settingsKey + "]\r\n; comment\r\n");

  // Command lines.
  const std::string nul(1, '\0');
  Seed("command_line", "codes", "letter.txt" + nul + "/KOI");
  Seed("command_line", "full",
       "/dos" + nul + "in.txt" + nul + "out.txt" + nul + "-WIN" + nul + "/QP-" + nul + "/tl" + nul + "ru_RU.KOI8-R");
  Seed("command_line", "path", "/home/user/letter" + nul + "/BIN-" + nul + "/AUTO" + nul + "/unknown" + nul + "5184 ");
  return 0;
}
