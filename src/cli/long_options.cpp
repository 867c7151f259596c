#include "cli/long_options.h"

#include <string_view>

#include "codepages/code_page_list.h"

namespace kamvo {

namespace {

// iconv's names of the code pages, as a list for messages.
std::string CodePageNames() {
  std::string names;
  for (const CodePageInfo& page : CodePageList()) names += (names.empty() ? "" : ", ") + std::string(page.Iconv);
  return names;
}

}  // namespace

int CodeFromName(const std::string& name) {
  if (name.size() == 4 && (name[0] | 0x20) == 'a' && (name[1] | 0x20) == 'u' && (name[2] | 0x20) == 't' &&
      (name[3] | 0x20) == 'o')
    return 0;
  return CodeFromOptionName(name);
}

std::string LongOptionsHelp() {
  return "Also /UTF8 - UTF-8 coding (source or target).\n"
         "\n"
         "kamvo [options] [--] FILE...\n"
         "  --to=CODE, --from=CODE  target and source code page: utf-8, cp1251, cp866,\n"
         "                          koi8-r, iso-8859-5, koi8-u, mac-cyrillic, cp1125,\n"
         "                          ibm855 (--from=auto detects)\n"
         "  -o FILE, --output=FILE  write the result to FILE (an existing FILE is kept\n"
         "                          as FILE.bak, as in place)\n"
         "  -                       read standard input, write standard output (also\n"
         "                          without a file name when standard input is a pipe)\n"
         "  --stdout FILE           convert FILE to standard output, write no file\n"
         "  --attachments=DIR       with standard output: save the attachments in DIR\n"
         "                          (without it they stay in the output as they came)\n"
         "  --in-place FILE...      convert each file in place, a .bak each\n"
         "  -r, --recursive         the same, walking the folders named\n"
         "  --detect FILE...        write nothing; one line per file: what it is\n"
         "  --json                  with --detect: one JSON object per line\n"
         "  --strict                a character the target cannot hold is an error that\n"
         "                          writes nothing (it is transliterated otherwise)\n"
         "  --config                the settings file and the values in force\n"
         "  --                      everything after it is a file name\n"
         "  --help, --version\n"
         "\n";
}

LongOptions ParseLongOptions(const std::vector<std::string>& params,
                             const std::function<bool(const std::string&)>& fileExists) {
  LongOptions options;
  const auto fail = [&](const std::string& message) {
    if (options.Error.empty()) options.Error = message;
  };
  for (std::size_t i = 0; i < params.size(); ++i) {
    const std::string& param = params[i];
    if (param == "--") {
      options.Files.insert(options.Files.end(), params.begin() + static_cast<long>(i) + 1, params.end());
      break;
    }
    // "--name=value" or "--name value" for the options that take a value.
    const auto value = [&](std::string_view name, std::string& into) {
      const std::string prefix = "--" + std::string(name);
      if (param == prefix) {
        if (i + 1 == params.size()) {
          fail("option '" + prefix + "' requires an argument");
          return true;
        }
        into = params[++i];
        return true;
      }
      if (param.rfind(prefix + "=", 0) == 0) {
        into = param.substr(prefix.size() + 1);
        return true;
      }
      return false;
    };
    std::string code;
    if (value("to", code) || value("from", code)) {
      const bool to = param.rfind("--to", 0) == 0;
      const int number = CodeFromName(code);
      if (number < 0 || (to && number == 0))
        fail("unknown code page '" + code + "' (" + CodePageNames() + (to ? ")" : ", auto)"));
      else
        (to ? options.ToCode : options.FromCode) = number;
      continue;
    }
    if (value("output", options.OutFile)) continue;
    if (value("attachments", options.AttachmentsDir)) continue;
    if (param == "-o") {
      if (i + 1 == params.size())
        fail("option '-o' requires an argument");
      else
        options.OutFile = params[++i];
      continue;
    }
    struct Flag {
      std::string_view name;
      bool LongOptions::*field;
    };
    static constexpr Flag kFlags[] = {
        {"--help", &LongOptions::Help},           {"--version", &LongOptions::Version},
        {"--config", &LongOptions::Config},       {"--detect", &LongOptions::Detect},
        {"--json", &LongOptions::Json},           {"--in-place", &LongOptions::InPlace},
        {"--recursive", &LongOptions::Recursive}, {"-r", &LongOptions::Recursive},
        {"--stdout", &LongOptions::Stdout},       {"-", &LongOptions::Stdin},
        {"--strict", &LongOptions::Strict},
    };
    bool flag = false;
    for (const Flag& row : kFlags) {
      if (param != row.name) continue;
      options.*row.field = true;
      flag = true;
      break;
    }
    if (flag) continue;
    if (param.rfind("--", 0) == 0 && !fileExists(param)) {
      fail("unrecognized option '" + param + "'");
      continue;
    }
    options.Written.push_back(param);
  }
  return options;
}

}  // namespace kamvo
