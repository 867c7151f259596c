// The code page a conversion writes when no option names one: on this
// platform the locale's character set, unless the settings name another.
#pragma once

#include <string>
#include <string_view>

#include "settings/settings.h"

namespace kamvo {

// The code the locale's character set names (the first set of LC_ALL,
// LC_CTYPE and LANG, the part after the dot), by TargetFromName; kUtf8Code
// for UTF-8 and for every other locale (C and POSIX included).
int LocaleCodePage(const EnvLookup& env);

// The code of a target by the name iconv gives it (utf-8, cp1251,
// windows-1251, cp866, ibm866, koi8-r, iso-8859-5, koi8-u, mac-cyrillic,
// cp1125, ibm855, cp855; any case, with or without "-" and "_"); -1 for
// anything else.
int TargetFromName(std::string_view name);

// The name iconv gives a code ("utf-8", "cp1251", "koi8-r", ...; the list
// of code pages has them).
std::string TargetName(int code);

// The "Target" setting when it names a code page, else the locale's.
int DefaultTarget(const TCfg& cfg, const EnvLookup& env);

}  // namespace kamvo
