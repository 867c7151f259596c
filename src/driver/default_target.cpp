#include "driver/default_target.h"

#include "codepages/code_page_list.h"

namespace kamvo {

int TargetFromName(std::string_view name) {
  // Only the names of character sets: "dos" or "win" names none.
  const auto key = [](std::string_view text) {
    std::string k;
    for (char c : text)
      if (c != '-' && c != '_') k += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return k;
  };
  const std::string given = key(name);
  for (const CodePageInfo& page : CodePageList())
    if (given == key(page.Iconv)) return page.Code;
  if (given == "windows1251") return kWindows;
  if (given == "ibm866") return kDos;
  if (given == "cp855") return kIbm855;
  return -1;
}

std::string TargetName(int code) {
  const CodePageInfo* page = FindCodePage(code);
  return std::string(page ? page->Iconv : FindCodePage(kUtf8Code)->Iconv);
}

int LocaleCodePage(const EnvLookup& env) {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    locale = env(name);
    if (!locale.empty()) break;
  }
  const std::size_t dot = locale.find('.');
  if (dot == std::string::npos) return kUtf8Code;
  const std::string charset = locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
  const int code = TargetFromName(charset);
  return code == -1 ? kUtf8Code : code;
}

int DefaultTarget(const TCfg& cfg, const EnvLookup& env) {
  const int stored = TargetFromName(cfg.Target);
  return stored != -1 ? stored : LocaleCodePage(env);
}

}  // namespace kamvo
