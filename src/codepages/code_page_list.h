// The code pages the program reads and writes, in one list that the command
// line, the window's From/To lists and the reports read: code number, the
// name shown to the user, iconv's name and the names options accept.
#pragma once

#include <span>
#include <string_view>

namespace kamvo {

struct CodePageInfo {
  int Code;
  std::string_view Name;   // as the window and the pane show it
  std::string_view Iconv;  // iconv's name (what --detect prints)
  // The names --from and --to accept, separated by spaces; they are matched
  // without regard to case, '-' and '_' ("KOI8_R" is "koi8r").
  std::string_view Options;
};

// Windows-1251, Dos, KOI8-R, ISO 8859-5, UTF-8, then the code pages known by
// their Unicode tables only, in code number order.
std::span<const CodePageInfo> CodePageList();

// The entry of a code number; nullptr when none has it.
const CodePageInfo* FindCodePage(int code);

// The code number an option name gives; -1 when no code page has the name.
int CodeFromOptionName(std::string_view name);

// The display name of a code number ("" when none has it).
std::string_view CodePageName(int code);

}  // namespace kamvo
