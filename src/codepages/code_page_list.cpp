#include "codepages/code_page_list.h"

#include <array>
#include <string>

#include "codepages/code_tables.h"

namespace kamvo {

namespace {

static_assert([] {
  for (int i = 0; i < kLastCode; ++i)
    if (kCodePageList[i].Code != i + 1) return false;
  return true;
}());

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

const CodePageInfo* FindCodePage(int code) {
  return code >= 1 && code <= kLastCode ? &kCodePageList[code - 1] : nullptr;
}

int CodeFromOptionName(std::string_view name) {
  const std::string key = Key(name);
  if (key.empty()) return -1;
  for (const CodePageInfo& page : kCodePageList) {
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

std::string_view CharsetName(int code) {
  if (code == kWindows1252) return "Windows-1252";
  const CodePageInfo* page = FindCodePage(code);
  return page ? page->Charset : std::string_view();
}

}  // namespace kamvo
