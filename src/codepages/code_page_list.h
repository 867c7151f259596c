// The code pages the program reads and writes, in one list that the command
// line, the window's From/To lists and the reports read: code number, the
// name shown to the user, iconv's name and the names options accept.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "codepages/code_tables.h"

namespace kamvo {

struct CodePageInfo {
  int Code;
  std::string_view Name;     // as the window's From and To lists show it
  std::string_view Charset;  // as reports name it to users ("KOI8-R -> UTF-8")
  std::string_view Iconv;    // iconv's name (what --detect prints)
  // The names --from and --to accept, separated by spaces; they are matched
  // without regard to case, '-' and '_' ("KOI8_R" is "koi8r").
  std::string_view Options;
};

// Windows-1251, Dos, KOI8-R, ISO 8859-5, UTF-8, then the code pages known by
// their Unicode tables only: entry code - 1 is the code page of that number.
inline constexpr std::array<CodePageInfo, kLastCode> kCodePageList = {{
    {kWindows, "Windows", "Windows-1251", "cp1251", "cp1251 windows1251 win"},
    {kDos, "Dos", "CP866", "cp866", "cp866 ibm866 866 dos"},
    {kKoi8, "KOI-8", "KOI8-R", "koi8-r", "koi8r koi8 koi"},
    {kIso, "ISO 8859-5", "ISO-8859-5", "iso-8859-5", "iso88595 iso cyrillic"},
    {kUtf8Code, "UTF-8", "UTF-8", "utf-8", "utf8"},
    {kMacCyrillic, "MacCyrillic", "MacCyrillic", "mac-cyrillic", "maccyrillic mac xmaccyrillic"},
    {kKoi8U, "KOI8-U", "KOI8-U", "koi8-u", "koi8u"},
    {kCp1125, "CP1125", "CP1125", "cp1125", "cp1125 ruscii"},
    {kIbm855, "IBM855", "IBM855", "ibm855", "ibm855 cp855 855"},
}};

inline std::span<const CodePageInfo> CodePageList() { return kCodePageList; }

// The entry of a code number; nullptr when none has it.
const CodePageInfo* FindCodePage(int code);

// The code number an option name gives; -1 when no code page has the name.
int CodeFromOptionName(std::string_view name);

// The display name of a code number ("" when none has it).
std::string_view CodePageName(int code);

// The name reports give a code number, Windows-1252 (an outer layer's code
// page) included ("" when none has it).
std::string_view CharsetName(int code);

}  // namespace kamvo
