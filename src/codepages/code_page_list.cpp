#include "codepages/code_page_list.h"

#include <array>
#include <string>

#include "codepages/code_tables.h"

namespace kamvo {

namespace {

constexpr std::array<CodePageInfo, kLastCode> kCodePages = {{
    {kWindows, "Windows", "cp1251", "cp1251 windows1251 win"},
    {kDos, "Dos", "cp866", "cp866 ibm866 866 dos"},
    {kKoi8, "KOI-8", "koi8-r", "koi8r koi8 koi"},
    {kIso, "ISO 8859-5", "iso-8859-5", "iso88595 iso cyrillic"},
    {kUtf8Code, "UTF-8", "utf-8", "utf8"},
    {kMacCyrillic, "MacCyrillic", "mac-cyrillic", "maccyrillic mac xmaccyrillic"},
    {kKoi8U, "KOI8-U", "koi8-u", "koi8u"},
    {kCp1125, "CP1125", "cp1125", "cp1125 ruscii"},
    {kIbm855, "IBM855", "ibm855", "ibm855 cp855 855"},
}};

// Lower case without '-' and '_'.
std::string Key(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key;
}

}  // namespace

std::span<const CodePageInfo> CodePageList() { return kCodePages; }

const CodePageInfo* FindCodePage(int code) {
  for (const CodePageInfo& page : kCodePages)
    if (page.Code == code) return &page;
  return nullptr;
}

int CodeFromOptionName(std::string_view name) {
  const std::string key = Key(name);
  if (key.empty()) return -1;
  for (const CodePageInfo& page : kCodePages) {
    std::string_view names = page.Options;
    while (!names.empty()) {
      const std::size_t space = names.find(' ');
      if (names.substr(0, space) == key) return page.Code;
      names = space == std::string_view::npos ? std::string_view() : names.substr(space + 1);
    }
  }
  return -1;
}

std::string_view CodePageName(int code) {
  const CodePageInfo* page = FindCodePage(code);
  return page ? page->Name : std::string_view();
}

}  // namespace kamvo
