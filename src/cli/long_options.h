// The GNU-style options beside the written syntax. None of them can be read
// as a "/" option or a file name of the written syntax: they start with
// "--", or are "-" (standard input), "-r" or "-o". Everything else is left
// to the written syntax in its order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "codepages/code_tables.h"

namespace kamvo {

struct LongOptions {
  bool Help = false, Version = false;
  bool Config = false;               // --config
  bool Detect = false;               // --detect
  bool Json = false;                 // --json (with --detect)
  bool InPlace = false;              // --in-place
  bool Recursive = false;            // -r, --recursive
  bool Stdout = false;               // --stdout
  bool Stdin = false;                // "-"
  bool Strict = false;               // --strict: a character the target cannot hold is an error
  int FromCode = -1;                 // --from: 0 for auto, 1..5; -1 not given
  int ToCode = -1;                   // --to: 1..5
  std::string OutFile;               // -o FILE, --output=FILE
  std::string AttachmentsDir;        // --attachments=DIR: where a filter saves attachments
  std::vector<std::string> Written;  // parameters of the written syntax
  std::vector<std::string> Files;    // names after "--": always file names
  std::string Error;                 // a usage error, naming what is wrong
};

// The code number for a code page name as iconv spells it (utf-8,
// cp1251/windows-1251, cp866/ibm866, koi8-r, iso-8859-5; any case, with or
// without "-" and "_"), or one of the written syntax's names (win, dos, koi,
// iso, utf8); "auto" is 0. -1 for anything else.
int CodeFromName(const std::string& name);

// The part of --help that describes these options.
std::string LongOptionsHelp();

// Takes the long options out of the parameters. A parameter starting with
// "--" that names no long option is a usage error, unless a file of that
// name exists (the written syntax then reads it as a file).
LongOptions ParseLongOptions(const std::vector<std::string>& params,
                             const std::function<bool(const std::string&)>& fileExists);

}  // namespace kamvo
