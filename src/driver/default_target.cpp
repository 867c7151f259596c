#include "driver/default_target.h"

#include "codepages/code_tables.h"

namespace kamvo {

namespace {

// Upper case without "-" and "_": "koi8-r" and "KOI8_R" both give "KOI8R".
std::string Key(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return key;
}

}  // namespace

int TargetFromName(std::string_view name) {
  const std::string key = Key(name);
  if (key == "UTF8") return kUtf8Code;
  if (key == "CP1251" || key == "WINDOWS1251") return kWindows;
  if (key == "CP866" || key == "IBM866") return kDos;
  if (key == "KOI8R") return kKoi8;
  if (key == "ISO88595") return kIso;
  return -1;
}

std::string TargetName(int code) {
  switch (code) {
    case kWindows: return "cp1251";
    case kDos: return "cp866";
    case kKoi8: return "koi8-r";
    case kIso: return "iso-8859-5";
    default: return "utf-8";
  }
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
