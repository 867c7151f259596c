#include "cli/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <random>

#include "codepages/code_page_list.h"
#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "support/run_kamvo.h"
#include "support/russian_text.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

CommandLineOptions Parse(const std::vector<std::string>& params, const std::vector<std::string>& existing = {}) {
  return ParseCommandLine(params, DecoderSwitches{}, [&](const std::string& name) {
    return std::find(existing.begin(), existing.end(), name) != existing.end();
  });
}

TEST(CommandLine, CodeOptionsPickTargetThenSource) {
  auto one = Parse({"in.txt", "/KOI"});
  EXPECT_EQ(one.FromCode, -1);
  EXPECT_EQ(one.ToCode, kKoi8);
  auto two = Parse({"in.txt", "/DOS", "out.txt", "/WIN"});
  EXPECT_EQ(two.FromCode, kDos);
  EXPECT_EQ(two.ToCode, kWindows);
  EXPECT_EQ(two.InFile, "in.txt");
  EXPECT_EQ(two.OutFile, "out.txt");
  auto three = Parse({"/WIN", "/KOI", "/DOS", "in.txt"});
  EXPECT_EQ(three.FromCode, kWindows);
  EXPECT_EQ(three.ToCode, kKoi8);
  auto autoOption = Parse({"in.txt", "/AUTO", "/WIN"});
  EXPECT_EQ(autoOption.FromCode, -1);
  EXPECT_EQ(autoOption.ToCode, kWindows);
  auto tooMany = Parse({"a", "b", "c", "d"});  // a usage error, never a new output
  EXPECT_EQ(tooMany.OutFile, "b");
  EXPECT_EQ(tooMany.ExtraFile, "c");
}

TEST(CommandLine, SwitchesInAnyCaseAndFileNamesAsGiven) {
  auto options = Parse({"/qp-", "-Bin-", "/tl", "/Html-", "/utf-", "/rtf-", "In.TXT"});
  EXPECT_FALSE(options.Switches.QP);
  EXPECT_FALSE(options.Switches.Base64);
  EXPECT_TRUE(options.Switches.Translit);
  EXPECT_FALSE(options.Switches.Html);
  EXPECT_FALSE(options.Switches.Utf8);
  EXPECT_FALSE(options.Switches.Rtf);
  EXPECT_EQ(options.InFile, "In.TXT");
  EXPECT_FALSE(options.UnknownOption);
  auto on = Parse({"/QP", "/BIN", "/RTF", "/HTML", "/UTF"});
  EXPECT_TRUE(on.Switches.QP && on.Switches.Base64 && on.Switches.Rtf && on.Switches.Html && on.Switches.Utf8);
}

TEST(CommandLine, SlashStartsAnOptionOrAPath) {
  EXPECT_TRUE(Parse({"in.txt", "/X"}).UnknownOption);
  EXPECT_TRUE(Parse({"in.txt", "/QP--"}).UnknownOption);
  EXPECT_TRUE(Parse({"-v"}).UnknownOption);
  auto absolute = Parse({"/home/user/letter.txt", "/tmp/out.txt"});
  EXPECT_FALSE(absolute.UnknownOption);
  EXPECT_EQ(absolute.InFile, "/home/user/letter.txt");
  EXPECT_EQ(absolute.OutFile, "/tmp/out.txt");
  auto rootFile = Parse({"/data"}, {"/data"});
  EXPECT_FALSE(rootFile.UnknownOption);
  EXPECT_EQ(rootFile.InFile, "/data");
  // An option wins over a file of the same name.
  EXPECT_EQ(Parse({"/KOI"}, {"/KOI"}).InFile, "");
}

TEST(CommandLine, SetupParameterAndTerminalEncoding) {
  const auto none = [](const std::string&) { return false; };
  EXPECT_TRUE(IsSetupRun({" 5184 "}, none));
  EXPECT_TRUE(IsSetupRun({"in.txt", "5184"}, none));
  EXPECT_FALSE(IsSetupRun({"5184", "in.txt"}, none));
  EXPECT_FALSE(IsSetupRun({}, none));
  // A file named so is a file.
  EXPECT_FALSE(IsSetupRun({"5184"}, [](const std::string& name) { return name == "5184"; }));

  auto term = [](std::map<std::string, std::string> vars) {
    return TerminalCodePage([&](const char* name) { return vars[name]; });
  };
  EXPECT_EQ(term({{"LANG", "ru_RU.UTF-8"}}), 0);
  EXPECT_EQ(term({{"LANG", "ru_RU.KOI8-R"}}), kKoi8);
  EXPECT_EQ(term({{"LANG", "ru_RU.UTF-8"}, {"LC_ALL", "ru_RU.CP1251"}}), kWindows);
  EXPECT_EQ(term({{"LC_CTYPE", "ru_RU.cp866"}, {"LANG", "C"}}), kDos);
  EXPECT_EQ(term({{"LANG", "ru_RU.ISO-8859-5@euro"}}), kIso);
  EXPECT_EQ(term({}), 0);
  EXPECT_EQ(ForTerminal("\xCF\xF0\xE8", 0), "При");
  EXPECT_EQ(ForTerminal("\xCF\xF0\xE8", kKoi8), ConvertByPair("\xCF\xF0\xE8", 2));
}

TEST(CommandLine, UsageTextLines) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.rfind("KAMVO v" KAMVO_VERSION " - ", 0), 0u);
  EXPECT_NE(usage.find("\n\ncommand line usage:\n\nkamvo [InputFile] [/FromCode] [OutputFile] [/ToCode] "
                       "[/Option] ...\n\nFromCode, ToCode:\n        /AUTO   - Auto detect input coding (only "
                       "for input),\n"),
            std::string::npos);
  EXPECT_NE(usage.find("\n        /TL, /TL-     Translate (don't translate) translit\n\n"), std::string::npos);
  EXPECT_EQ(usage.substr(usage.size() - 2), "\n\n");
}

// Runs the real program in a folder of its own with its own settings store.
struct RunResult {
  int status;
  std::string out, err;
};

class ProgramTest : public ::testing::Test {
 protected:
  // Standard input is /dev/null, or `input` through a pipe.
  RunResult Kamvo(const std::string& args, const std::optional<std::string>& input = std::nullopt) {
    const std::string out = dir / "stdout", err = dir / "stderr", in = dir / "stdin";
    if (input) WriteFile(in, *input);
    testing::PinWindowsTarget(dir / "config");
    const std::string command = "cd '" + dir.path().string() + "' && " + (input ? "cat '" + in + "' | " : "") +
                                "XDG_CONFIG_HOME='" + (dir / "config") +
                                "' LANG=C.UTF-8 LC_ALL= LC_CTYPE= " + KAMVO_EXECUTABLE + " " + args + " >'" + out +
                                "' 2>'" + err + "'" + (input ? "" : " </dev/null");
    const int raw = std::system(command.c_str());
    return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
  }

  using Files = std::map<std::string, std::string>;
  // One run of the program: the files before it (names may hold folders),
  // standard input, the parameters, the status, text that standard output
  // and standard error must hold (all of standard output when exactOut),
  // and the files after it.
  struct Case {
    Files before;
    std::string args;
    int status;
    std::string out, err;
    Files after;
    bool exactOut = false;
    std::optional<std::string> input = std::nullopt;
  };

  // The files below the test's folder, but for the run's own.
  Files FilesNow() {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const std::string name = fs::relative(entry.path(), dir.path()).string();
      if (entry.is_regular_file() && name != "stdout" && name != "stderr" && name != "stdin" &&
          name.rfind("config/", 0) != 0)
        files[name] = ReadFile(entry.path());
    }
    return files;
  }

  void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
      for (const auto& [name, bytes] : c.before) {
        fs::create_directories(fs::path(dir / name).parent_path());
        WriteFile(dir / name, bytes);
      }
      const RunResult run = Kamvo(c.args, c.input);
      EXPECT_EQ(run.status, c.status) << c.args << ": " << run.err;
      if (c.exactOut)
        EXPECT_EQ(run.out, c.out) << c.args;
      else
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.args << ": " << run.out;
      if (c.err.empty())
        EXPECT_EQ(run.err, "") << c.args;
      else
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
      EXPECT_EQ(FilesNow(), c.after) << c.args;
    }
  }

  TempDir dir;
  const std::string win = testing::Greeting() + "\n";
};

TEST_F(ProgramTest, ConvertsAFileAndPrintsThePane) {
  WriteFile(dir / "koi.txt", ConvertByPair(win, 2));
  const RunResult run = Kamvo("koi.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Russian text detected 100% when converted:\n    KOI8-R -> Windows-1251\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(dir / "koi.txt"), win);
  EXPECT_EQ(ReadFile(dir / "koi.txt.bak"), ConvertByPair(win, 2));

  WriteFile(dir / "dos.txt", ConvertByPair(win, 1));
  EXPECT_EQ(Kamvo("dos.txt /dos out.txt /koi").status, 0);
  EXPECT_EQ(ReadFile(dir / "out.txt"), ConvertByPair(win, 2));
  EXPECT_FALSE(fs::exists(dir / "dos.txt.bak"));
}

// UTF-8 text goes out to any target: decoded first, then converted, whether
// the source is detected or chosen (with the UTF-8 switch on by default).
TEST_F(ProgramTest, Utf8TextIntoEveryTarget) {
  const std::string utf8 = "Привет, как дела у тебя сегодня?\nЕщё раз: всё хорошо.\n";
  const std::string text = WinFromUtf8(utf8);
  const std::pair<const char*, int> targets[] = {{"/WIN", kWindows}, {"/DOS", kDos}, {"/KOI", kKoi8}, {"/ISO", kIso}};
  for (const auto& [option, code] : targets) {
    SCOPED_TRACE(option);
    const std::string expected = ConvertByTable(text, BuildCodeTable(kWindows, code));
    WriteFile(dir / "u.txt", utf8);
    fs::remove(dir / "u.txt.bak");
    const RunResult detected = Kamvo(std::string("u.txt ") + option);
    EXPECT_EQ(detected.status, 0);
    const std::string target(CharsetName(code));
    EXPECT_EQ(detected.out, "Russian text detected 100% when converted:\n    UTF-8 -> " + target + "\n");
    EXPECT_EQ(ReadFile(dir / "u.txt"), expected);
    EXPECT_EQ(ReadFile(dir / "u.txt.bak"), utf8);

    fs::remove(dir / "out.txt");
    const RunResult chosen = Kamvo(std::string("u.txt.bak /WIN out.txt ") + option);
    EXPECT_EQ(chosen.status, 0);
    EXPECT_EQ(chosen.out, (code == kWindows ? "" : "    Windows-1251 -> " + target + "\n") + "UTF-8 converted.\n");
    EXPECT_EQ(ReadFile(dir / "out.txt"), expected);
  }
  // ё and Ё of ISO 8859-5 at their own places.
  EXPECT_EQ(ReadFile(dir / "u.txt").substr(ReadFile(dir / "u.txt").find('\n') + 1, 3), "\xB5\xE9\xF1");
}

TEST_F(ProgramTest, FailuresGoToStandardErrorWithAStatus) {
  WriteFile(dir / "in.txt", win);
  const RunResult unknown = Kamvo("in.txt /X");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "kamvo: unknown option '/X'\nTry 'kamvo --help' for more information.\n");
  EXPECT_FALSE(fs::exists(dir / "in.txt.bak"));

  WriteFile(dir / "image.bin", std::string("GIF89a\0\0", 8));
  const RunResult binary = Kamvo("image.bin");
  EXPECT_EQ(binary.status, 0);  // skipped: nothing to do
  EXPECT_EQ(binary.err, "image.bin is not text file\n");
  EXPECT_EQ(ReadFile(dir / "image.bin"), std::string("GIF89a\0\0", 8));

  const RunResult optionsOnly = Kamvo("/KOI /QP-");
  EXPECT_EQ(optionsOnly.status, 0);
  EXPECT_EQ(optionsOnly.out + optionsOnly.err, "");
}

// Words of random bytes 0xC0..0xFF: no chain makes Russian of them.
std::string RandomHighWords(int count) {
  std::minstd_rand random(7);
  std::string text;
  for (int i = 0; i < count; ++i) {
    const int length = 2 + static_cast<int>(random() % 7);
    for (int j = 0; j < length; ++j) text += static_cast<char>(0xC0 + random() % 0x40);
    text += i % 10 == 9 ? '\n' : ' ';
  }
  return text;
}

// Each case: the files before the run, the parameters, the status, text
// that standard output and standard error must hold, and the files after.
TEST_F(ProgramTest, NeverWritesAGuessNorATextNoOneNamed) {
  const std::string koi = ConvertByPair(win, 2);
  const std::string noise = RandomHighWords(400);
  const std::string tryHelp = "\nTry 'kamvo --help' for more information.\n";
  RunCases({
      // Detection below the limit: the file and its old backup stay.
      {{{"g.txt", noise}, {"g.txt.bak", "old"}},
       "g.txt",
       kExitNotRecognised,
       "",
       "Russian text not recognised (best ",
       {{"g.txt", noise}, {"g.txt.bak", "old"}}},
      // The decoders' work is written; the pane keeps every line.
      {{{"q.txt", "=EC=E0=EC=E0 aoeao=E0\n"}},
       "q.txt",
       kExitNotRecognised,
       "Quoted-printable converted.\nRussian text detected ",
       " %, limit 80 %)",
       {{"q.txt", "\xEC\xE0\xEC\xE0 aoeao\xE0\n"}, {"q.txt.bak", "=EC=E0=EC=E0 aoeao=E0\n"}}},
      {{{"f.txt", "\xEC\xE0\xEC\xE0 aoeao\xE0\n"}},
       "f.txt",
       kExitNotRecognised,
       "Russian text detected ",
       "not recognised",
       {{"f.txt", "\xEC\xE0\xEC\xE0 aoeao\xE0\n"}}},
      // Three names: nothing is read or written.
      {{{"a.txt", koi}, {"b.txt", "b"}, {"c.txt", "c"}},
       "a.txt b.txt c.txt",
       kExitUsage,
       "",
       "kamvo: too many file names (an input and an output at most): c.txt" + tryHelp,
       {{"a.txt", koi}, {"b.txt", "b"}, {"c.txt", "c"}}},
      {{}, "Missing.txt", kExitUsage, "", "kamvo: file not found: Missing.txt" + tryHelp, {}},
      // A file named like the setup parameter is a file.
      {{{"5184", koi}}, "5184", kExitOk, "KOI8-R -> Windows-1251", "", {{"5184", win}, {"5184.bak", koi}}},
      // Mixed breaks stay where they were, also when a stage decodes a line.
      {{{"m.txt", koi + "\r\n" + koi + "\r" + koi + "\n" + koi}},
       "m.txt",
       kExitOk,
       "KOI8-R -> Windows-1251",
       "",
       {{"m.txt", win + "\r\n" + win + "\r" + win + "\n" + win},
        {"m.txt.bak", koi + "\r\n" + koi + "\r" + koi + "\n" + koi}}},
      {{{"e.txt", koi + "\r\n=E0=E1=E2\r" + koi + "\n"}},
       "e.txt",
       kExitOk,
       "Quoted-printable converted.",
       "",
       {{"e.txt", win + "\r\n" + ConvertByPair("\xE0\xE1\xE2", 8) + "\r" + win + "\n"},
        {"e.txt.bak", koi + "\r\n=E0=E1=E2\r" + koi + "\n"}}},
      {{}, "--version", kExitOk, "kamvo " KAMVO_VERSION "\n", "", {}},
      {{{"in.txt", koi}}, "in.txt --help", kExitOk, "command line usage:", "", {{"in.txt", koi}}},
  });
}

TEST_F(ProgramTest, SetupRunRecordsTheProgramFolder) {
  EXPECT_EQ(Kamvo("5184").status, 0);
  const std::string store = ReadFile(dir / "config/kamvo/kamvo.reg");
  const std::string folder = fs::path(KAMVO_EXECUTABLE).parent_path().string() + "/";
  EXPECT_NE(store.find("\"Location\"=\"" + folder + "\""), std::string::npos) << store;
  EXPECT_NE(store.find("\"FirstRun\"=dword:00000001"), std::string::npos) << store;
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// The long options beside the written syntax: filters, many files,
// detection only, settings.
TEST_F(ProgramTest, LongOptionsFiltersManyFilesAndDetection) {
  const std::string koi = ConvertByPair(win, 2), dos = ConvertByPair(win, 1), iso = ConvertByPair(win, 4);
  // Settings under which no text is recognised: detection tells so at once.
  const std::pair<std::string, std::string> strict = {
      "config/kamvo/kamvo.reg",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings]\n\"Detection limit\"=dword:00000065\n"
      "\"Target\"=\"cp1251\"\n"};
  const std::string tryHelp = "\nTry 'kamvo --help' for more information.\n";
  std::string longWin, longKoi;  // more than a pipe holds at once
  for (int i = 0; i < 4000; ++i) longWin += win;
  longKoi = ConvertByPair(longWin, 2);
  const std::string binary("GIF89a\0\0", 8);
  const std::string utf8 = Utf8FromWin(win);
  // Characters Windows-1251 lacks, a byte order mark and mixed line breaks.
  const std::string emoji = "\xEF\xBB\xBF" + utf8 +
                            "Что нового у тебя дома? Пиши чаще, я скучаю. Вчера был дождь, а сегодня светит солнце.\n"
                            "\xF0\x9F\x98\x80 \xCE\xB1 \xE2\x80\xB0 \xE2\x94\xBC\r\n" +
                            utf8;
  RunCases({
      // Filters: standard input (a pipe) to standard output, the pane on
      // standard error; no file is written.
      {{}, "", kExitOk, win, "KOI8-R -> Windows-1251", {}, true, koi},
      {{}, "- /KOI", kExitOk, koi, "    Windows-1251 -> KOI8-R", {}, true, win},
      {{}, "--from=cp866 --to=koi8-r", kExitOk, koi, "CP866 -> KOI8-R", {}, true, dos},
      {{}, "-", kExitOk, longWin, "KOI8-R -> Windows-1251", {}, true, longKoi},
      {{},
       "-",
       kExitOk,
       win + win.substr(0, win.size() - 1) + "\r\n" + win.substr(0, win.size() - 1),
       "KOI8-R -> Windows-1251",
       {},
       true,
       koi + koi.substr(0, koi.size() - 1) + "\r\n" + koi.substr(0, koi.size() - 1)},
      {{}, "-", kExitOk, binary, "kamvo: standard input is not text: passed through as it came\n", {}, true, binary},
      {{strict}, "-", kExitNotRecognised, koi, "Russian text not recognised (best 100 %, limit 101 %)", {}, true, koi},
      {{{"k.txt", koi}}, "--stdout k.txt", kExitOk, win, "KOI8-R -> Windows-1251", {{"k.txt", koi}}, true},
      {{{"a", koi}, {"b", koi}},
       "--stdout a b",
       kExitUsage,
       "",
       "standard output takes one input",
       {{"a", koi}, {"b", koi}}},
      // UTF-8 as a target and as a source. A correct UTF-8 text keeps the
      // characters Windows-1251 lacks, and a correct UTF-8 file is left alone.
      {{}, "--to=utf-8", kExitOk, utf8, "KOI8-R -> UTF-8", {}, true, koi},
      {{{"e.txt", emoji}}, "--stdout e.txt --to=UTF-8", kExitOk, emoji, "already UTF-8", {{"e.txt", emoji}}, true},
      {{{"e.txt", emoji}}, "e.txt /UTF8", kExitOk, "already UTF-8", "", {{"e.txt", emoji}}},
      {{{"k.txt", koi}}, "k.txt /utf8", kExitOk, "KOI8-R -> UTF-8", "", {{"k.txt", utf8}, {"k.txt.bak", koi}}},
      {{{"u.txt", utf8}}, "u.txt /UTF8 k.txt /KOI", kExitOk, "", "", {{"u.txt", utf8}, {"k.txt", koi}}},
      {{}, "--from=utf-8 --to=cp866", kExitOk, dos, "UTF-8 converted.", {}, true, utf8},
      {{strict, {"k.txt", koi}},
       "--in-place --to=utf-8 k.txt",
       kExitNotRecognised,
       "k.txt: not recognised",
       "",
       {{"k.txt", koi}}},
      // Options: unknown long ones, "--" before file names, -o.
      {{{"k.txt", koi}},
       "--bogus k.txt",
       kExitUsage,
       "",
       "kamvo: unrecognized option '--bogus'" + tryHelp,
       {{"k.txt", koi}}},
      {{{"k.txt", koi}}, "--to=ebcdic k.txt", kExitUsage, "", "unknown code page 'ebcdic'", {{"k.txt", koi}}},
      {{{"--help", koi}}, "-- --help", kExitOk, "KOI8-R -> Windows-1251", "", {{"--help", win}, {"--help.bak", koi}}},
      {{{"-r", koi}}, "/KOI -- -r", kExitOk, "already KOI8-R", "", {{"-r", koi}}},
      {{{"k.txt", koi}}, "k.txt -o out.txt", kExitOk, "KOI8-R -> Windows-1251", "", {{"k.txt", koi}, {"out.txt", win}}},
      {{{"k.txt", koi}}, "k.txt -o -", kExitOk, win, "KOI8-R -> Windows-1251", {{"k.txt", koi}}, true},
      // Many files in place, one line each and a summary.
      {{{"k.txt", koi}, {"d.txt", dos}, {"w.txt", win}},
       "--in-place k.txt d.txt w.txt",
       kExitOk,
       "k.txt: KOI8-R \xE2\x86\x92 Windows-1251, backup k.txt.bak\nd.txt: CP866 \xE2\x86\x92 Windows-1251, backup "
       "d.txt.bak\n"
       "w.txt: unchanged\n3 file(s): 2 converted, 1 unchanged, 0 not recognised, 0 skipped, 0 failed\n",
       "",
       {{"k.txt", win}, {"k.txt.bak", koi}, {"d.txt", win}, {"d.txt.bak", dos}, {"w.txt", win}},
       true},
      // The walk: every file below the folder, sorted; an old backup beside
      // its file is left alone; a failure is one line of its own.
      {{{"t/k.txt", koi}, {"t/s/i.txt", iso}, {"t/s/i.txt.bak", "old"}, {"t/x.bin", binary}},
       "-r t --to=dos",
       kExitOk,
       "t/k.txt: KOI8-R \xE2\x86\x92 CP866, backup t/k.txt.bak\nt/s/i.txt: ISO-8859-5 \xE2\x86\x92 CP866, backup "
       "t/s/i.txt.1.bak\nt/x.bin: skipped: not a text file\n"
       "3 file(s): 2 converted, 0 unchanged, 0 not recognised, 1 skipped, 0 failed\n",
       "",
       {{"t/k.txt", dos},
        {"t/k.txt.bak", koi},
        {"t/s/i.txt", dos},
        {"t/s/i.txt.bak", "old"},
        {"t/s/i.txt.1.bak", iso},
        {"t/x.bin", binary}},
       true},
      {{strict, {"k.txt", koi}},
       "--in-place k.txt",
       kExitNotRecognised,
       "k.txt: not recognised (100 %)\n1 file(s): 0 converted, 0 unchanged, 1 not recognised, 0 skipped, 0 failed\n",
       "",
       {{"k.txt", koi}},
       true},
      {{{"t/k.txt", koi}},
       "--in-place t",
       kExitConversionFailed,
       "1 file(s): 0 converted",
       "t: is a folder",
       {{"t/k.txt", koi}}},
      // Detection only: nothing is written.
      {{{"k.txt", koi}, {"d.txt", dos}, {"w.txt", win}, {"i.txt", iso}, {"a.txt", "plain\n"}},
       "--detect k.txt d.txt w.txt i.txt a.txt",
       kExitOk,
       "k.txt: charset=koi8-r percent=100 recognised=yes utf8=no decoders=none chain=koi8-r>cp1251 language=ru "
       "way=\"KOI8-R -> Windows-1251\"\n"
       "d.txt: charset=cp866 percent=100 recognised=yes utf8=no decoders=none chain=cp866>cp1251 language=ru "
       "way=\"CP866 -> Windows-1251\"\n"
       "w.txt: charset=cp1251 percent=100 recognised=yes utf8=no decoders=none chain=none language=ru "
       "way=\"already Windows-1251\"\n"
       "i.txt: charset=iso-8859-5 percent=100 recognised=yes utf8=no decoders=none chain=iso-8859-5>cp1251 language=ru "
       "way=\"ISO-8859-5 -> Windows-1251\"\n"
       "a.txt: charset=ascii percent=100 recognised=yes utf8=no decoders=none chain=none\n",
       "",
       {{"k.txt", koi}, {"d.txt", dos}, {"w.txt", win}, {"i.txt", iso}, {"a.txt", "plain\n"}},
       true},
      {{strict, {"k.txt", koi}},
       "--detect k.txt",
       kExitNotRecognised,
       "k.txt: charset=unknown percent=100 recognised=no utf8=no decoders=none chain=koi8-r>cp1251\n",
       "",
       {{"k.txt", koi}},
       true},
      {{{"q.txt", "=F0=D2=C9=D7=C5=D4 =C4=D2=D5=C7!\n"}},
       "--detect --json q.txt",
       kExitOk,
       "{\"file\":\"q.txt\",\"charset\":\"koi8-r\",\"percent\":100,\"recognised\":true,\"utf8\":false,"
       "\"decoders\":[\"qp\"],\"chain\":[[\"koi8-r\",\"cp1251\"]],\"language\":\"ru\",\"way\":\"KOI8-R -> "
       "Windows-1251\"}\n",
       "",
       {{"q.txt", "=F0=D2=C9=D7=C5=D4 =C4=D2=D5=C7!\n"}},
       true},
      {{}, "--detect", kExitOk, "-: charset=cp866 ", "", {}, false, dos},
      {{{"\xEB\\\".txt", win}},
       "--detect --json '\xEB\\\".txt'",
       kExitOk,
       "{\"file\":\"\\u00eb\\\\\\\".txt\",",
       "",
       {{"\xEB\\\".txt", win}}},
      {{{"b.bin", binary}},
       "--detect --json b.bin",
       kExitOk,
       "{\"file\":\"b.bin\",\"skipped\":\"not text\"}\n",
       "",
       {{"b.bin", binary}},
       true},
      // The settings in force.
      {{}, "--config", kExitOk, "/config/kamvo/kamvo.reg\nConvert on start = 1\n", "", {}},
      {{strict}, "--config /TL", kExitOk, "Detection limit = 101\n", "", {}},
  });
}

// A tree of many files: one line each, and the files a run writes (backups)
// are never converted in the same run.
TEST_F(ProgramTest, RecursiveRunOverATree) {
  const std::string koi = ConvertByPair(win, 2);
  Files before, after;
  for (int i = 0; i < 50; ++i) {
    const std::string name = "tree/" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".txt";
    before[name] = koi;
    after[name] = win;
    after[name + ".bak"] = koi;
  }
  std::string lines;
  RunCases({{before, "-r tree", kExitOk,
             "50 file(s): 50 converted, 0 unchanged, 0 not recognised, 0 skipped, 0 failed\n", "", after}});
  const RunResult again = Kamvo("-r tree");
  EXPECT_EQ(again.status, kExitOk);
  EXPECT_NE(again.out.find("50 file(s): 0 converted, 50 unchanged"), std::string::npos) << again.out;
}

// A walk takes each file once, however many links lead to it, and never
// follows a link to a folder (which could lead round in a circle).
TEST_F(ProgramTest, RecursiveRunTakesEachFileOnce) {
  const std::string koi = ConvertByPair(win, 2);
  fs::create_directories(dir / "t/sub");
  WriteFile(dir / "t/sub/k.txt", koi);
  fs::create_symlink("sub/k.txt", dir / "t/a-link.txt");
  fs::create_directory_symlink("..", dir / "t/sub/up");
  const RunResult run = Kamvo("-r t");
  EXPECT_EQ(run.status, kExitOk) << run.err;
  // The backup lies beside the file the link leads to.
  EXPECT_EQ(run.out.rfind("t/a-link.txt: KOI8-R \xE2\x86\x92 Windows-1251, backup ", 0), 0u) << run.out;
  EXPECT_NE(
      run.out.find("/t/sub/k.txt.bak\n1 file(s): 1 converted, 0 unchanged, 0 not recognised, 0 skipped, 0 failed\n"),
      std::string::npos)
      << run.out;
  EXPECT_EQ(ReadFile(dir / "t/sub/k.txt"), win);
  EXPECT_TRUE(fs::is_symlink(dir / "t/a-link.txt"));
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// UTF-16 of a Windows-1251 text, little- or big-endian, with its byte order
// mark.
std::string Utf16Of(const std::string& win, bool little) {
  std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t unit : WinToUtf16(win)) {
    const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
    bytes += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return bytes;
}

// A mail with a KOI8-R body and one Base64 attachment.
std::string MailWith(const std::string& body, const std::string& name, const std::string& data) {
  std::string mail =
      "From: a@example.com\nSubject: test\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"XYZ\"\n\n--XYZ\nContent-Type: text/plain; charset=\"koi8-r\"\n\n" +
      body +
      "\n--XYZ\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
      "Content-Disposition: attachment; filename=\"" +
      name + "\"\n\n";
  for (const std::string& line : testing::Base64Lines(data)) mail += line + "\n";
  return mail + "\n--XYZ--\n";
}

// What a new user met, each a run of the real program: files that are no
// text or text in UTF-16, English text, unknown options, attachments of a
// file written elsewhere or of a filter.
TEST_F(ProgramTest, OneStatusTableAndNothingLost) {
  const std::string koi = ConvertByPair(win, 2), utf8 = Utf8FromWin(win);
  const std::string tryHelp = "\nTry 'kamvo --help' for more information.\n";
  const std::string latin1 =
      "caf\xE9 na\xEFve r\xE9sum\xE9 d\xE9j\xE0 vu fa\xE7"
      "ade: English words here.\n";
  const std::string picture("GIF89a\0\0\x01\x02", 10);
  const std::string quoted =
      "The \xE2\x80\x9Cquick\xE2\x80\x9D brown fox \xE2\x80\x94 it\xE2\x80\x99s fine, "
      "another English sentence with words.\n";
  const std::string mail = MailWith(koi, "photo.gif", picture), decodedMail = MailWith(win, "photo.gif", picture);
  std::string withoutBlock = decodedMail;  // the Base64 block taken out into the attachment
  const std::string block = testing::Base64Lines(picture)[0] + "\n";
  withoutBlock.erase(withoutBlock.find(block), block.size());
  RunCases({
      // UTF-16 with a byte order mark is text, both byte orders.
      {{{"le.txt", Utf16Of(win, true)}},
       "le.txt /WIN",
       kExitOk,
       "UTF",
       "",
       {{"le.txt", win}, {"le.txt.bak", Utf16Of(win, true)}}},
      {{{"be.txt", Utf16Of(win, false)}},
       "--stdout be.txt --to=utf-8",
       kExitOk,
       utf8,
       "UTF-8",
       {{"be.txt", Utf16Of(win, false)}},
       true},
      {{{"le.txt", Utf16Of(win, true)}},
       "--detect le.txt",
       kExitOk,
       "le.txt: charset=utf-16le percent=100 ",
       "",
       {{"le.txt", Utf16Of(win, true)}}},
      // English text: nothing to do, in every mode alike.
      {{{"en.txt", latin1}}, "--detect en.txt", kExitOk, "en.txt: charset=unknown", "", {{"en.txt", latin1}}},
      {{{"en.txt", latin1}}, "en.txt", kExitOk, "", "", {{"en.txt", latin1}}},
      {{{"en.txt", latin1}}, "--in-place en.txt", kExitOk, "en.txt: unchanged", "", {{"en.txt", latin1}}},
      {{{"q.txt", quoted}}, "--detect q.txt", kExitOk, "q.txt: charset=unknown percent=0 ", "", {{"q.txt", quoted}}},
      {{{"q.txt", quoted}}, "q.txt", kExitOk, "", "", {{"q.txt", quoted}}},
      // A picture is skipped, not failed.
      {{{"p.gif", picture}}, "p.gif", kExitOk, "", "p.gif is not text file\n", {{"p.gif", picture}}},
      {{{"p.gif", picture}}, "--detect p.gif", kExitOk, "p.gif: skipped=not-text\n", "", {{"p.gif", picture}}, true},
      // An unknown option is named in one line.
      {{{"k.txt", koi}}, "-x k.txt", kExitUsage, "", "kamvo: unknown option '-x'" + tryHelp, {{"k.txt", koi}}},
      {{{"k.txt", koi}}, "k.txt /WINN", kExitUsage, "", "kamvo: unknown option '/WINN'" + tryHelp, {{"k.txt", koi}}},
      // Attachments go beside the file written.
      {{{"m.eml", mail}, {"out/keep", "x"}},
       "m.eml -o out/m.eml /WIN",
       kExitOk,
       " Attachment saved out/photo.gif",
       "",
       {{"m.eml", mail}, {"out/keep", "x"}, {"out/m.eml", withoutBlock}, {"out/photo.gif", picture}}},
      // A filter keeps them in its output as they came, or saves them where
      // it is told.
      {{}, "/WIN", kExitOk, decodedMail, "1 attachment(s) kept in the output as they came", {}, true, mail},
      {{{"saved/keep", "x"}},
       "--attachments=saved /WIN",
       kExitOk,
       "",
       " Attachment saved saved/photo.gif",
       {{"saved/keep", "x"}, {"saved/photo.gif", picture}},
       false,
       mail},
  });
}

TEST_F(ProgramTest, HelpNamesTheProgramTheDefaultsAndTheModes) {
  const RunResult help = Kamvo("--help");
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.find("kamvo.exe"), std::string::npos);
  for (const char* text :
       {"\nkamvo [InputFile] [/FromCode] [OutputFile] [/ToCode] [/Option] ...\n", "\nDefault target: ",
        "\nDecoders on (from the settings): Base64/UUE/XXE (/BIN), quoted-printable (/QP),\n"
        "RTF (/RTF), HTML (/HTML), UTF-8 (/UTF). Off: translit (/TL).\n",
        "\n  kamvo < mail.eml > fixed.eml ", "\n  kamvo -r old-texts/ ", "\n  kamvo --detect ", "130 interrupted"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text << " in\n" << help.out;
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// Without a code option the text goes into the locale's character set, or
// the one the settings name; the code options keep their meaning.
TEST(DefaultTarget, TheLocaleOrTheSettingsChoose) {
  const std::string win = testing::Greeting() + "\n";
  const std::string koi = ConvertByPair(win, 2), dos = ConvertByPair(win, 1), utf8 = Utf8FromWin(win);
  const struct {
    std::string locale, setting, option, input, output;
  } cases[] = {
      {"C.UTF-8", "", "", koi, utf8},     {"ru_RU.UTF-8", "", "", win, utf8},
      {"ru_RU.KOI8-R", "", "", win, koi}, {"ru_RU.CP1251", "", "", koi, win},
      {"ru_RU.IBM866", "", "", koi, dos}, {"ru_RU.UTF-8", "cp866", "", koi, dos},
      {"C.UTF-8", "", "/WIN", koi, win},  {"C.UTF-8", "", "--to=koi8-r", win, koi},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale + " " + c.setting + " " + c.option);
    TempDir dir;
    fs::create_directories(dir / "config/kamvo");
    WriteFile(dir / "config/kamvo/kamvo.reg",
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KAMVO\\Settings]\n\"Target\"=\"" + c.setting + "\"\n");
    WriteFile(dir / "f.txt", c.input);
    std::vector<std::string> params = {dir / "f.txt"};
    if (!c.option.empty()) params.push_back(c.option);
    const testing::ProgramRun run =
        testing::RunKamvo(dir, params, KAMVO_EXECUTABLE, {"LC_ALL=" + c.locale, "LANG=" + c.locale});
    EXPECT_EQ(run.Status, kExitOk) << run.Err;
    EXPECT_EQ(ReadFile(dir / "f.txt"), c.output);
    EXPECT_EQ(ReadFile(dir / "f.txt.bak"), c.input);
  }
}

}  // namespace
}  // namespace kamvo

namespace kamvo {
namespace {

// A character the target cannot hold is spelt out, counted and named on
// standard error; --strict makes it an error that writes nothing.
TEST_F(ProgramTest, CharactersTheTargetCannotHoldAreSpeltOut) {
  std::string body;
  for (int i = 0; i < 6; ++i) body += "Привет, дорогой друг! Как твои дела сегодня? Все хорошо, спасибо за письмо.\n";
  const std::string signs = body + "Цена — «сто» € № и елка.\n" + body;
  const std::string emoji = body + "Цена \xF0\x9F\x98\x80 и елка.\n" + body;
  const auto in = [](const std::string& utf8, int code) {
    return ConvertByTable(WinFromUtf8(utf8), BuildCodeTable(kWindows, code));
  };
  // KOI8-R box drawing (┌─╕ and │), which Windows-1251 lacks.
  const std::string boxes = in(body, kKoi8) + in("Цена ", kKoi8) + "\x82\x80\xA6" + in(" и елка.\n", kKoi8) +
                            in(body, kKoi8) + "\x81 " + in("сто\n", kKoi8) + in(body, kKoi8);
  const std::string spelt = body + "Цена - <<сто>> EUR No и елка.\n" + body;
  const std::string speltDos = body + "Цена - <<сто>> EUR № и елка.\n" + body;
  RunCases({
      // From UTF-8 and from a code page, into targets that lack some signs.
      {{{"s.txt", signs}},
       "s.txt /KOI",
       kExitOk,
       "",
       "s.txt: 5 character(s) that KOI-8 cannot hold were transliterated",
       {{"s.txt", in(spelt, kKoi8)}, {"s.txt.bak", signs}}},
      {{{"s.txt", in(signs, kWindows)}},
       "s.txt /DOS",
       kExitOk,
       "",
       "s.txt: 4 character(s) that Dos cannot hold were transliterated",
       {{"s.txt", in(speltDos, kDos)}, {"s.txt.bak", in(signs, kWindows)}}},
      {{{"e.txt", emoji}},
       "e.txt /WIN",
       kExitOk,
       "",
       "1 character(s) that Windows cannot hold were transliterated",
       {{"e.txt", WinFromUtf8(body) + "\xD6\xE5\xED\xE0 ? \xE8 \xE5\xEB\xEA\xE0.\n" + WinFromUtf8(body)},
        {"e.txt.bak", emoji}}},
      // Box drawing of KOI8-R, spelt with one byte each in lines far apart.
      {{{"b.txt", boxes}},
       "b.txt /WIN",
       kExitOk,
       "",
       "b.txt: 4 character(s) that Windows cannot hold were transliterated",
       {{"b.txt", WinFromUtf8(body + "Цена +-? и елка.\n" + body + "| сто\n" + body)}, {"b.txt.bak", boxes}}},
      // Held by the target: nothing to spell.
      {{{"s.txt", signs}}, "s.txt /WIN", kExitOk, "", "", {{"s.txt", WinFromUtf8(signs)}, {"s.txt.bak", signs}}},
      // --strict: an error, nothing written.
      {{{"s.txt", signs}},
       "--strict s.txt /KOI",
       kExitConversionFailed,
       "",
       "s.txt: 5 character(s) that KOI-8 cannot hold (nothing written)",
       {{"s.txt", signs}}},
      {{},
       "--to=koi8-r",
       kExitOk,
       in(spelt, kKoi8),
       "5 character(s) that KOI-8 cannot hold were transliterated",
       {},
       true,
       signs},
      {{}, "--strict --to=koi8-r", kExitConversionFailed, "", "(nothing written)", {}, true, signs},
  });
}

}  // namespace
}  // namespace kamvo
