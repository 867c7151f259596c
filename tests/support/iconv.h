// Text converted by the system's iconv, as other programs convert it.
#pragma once

#include <iconv.h>

#include <string>

namespace kamvo::testing {

// The bytes converted from one code page into another (iconv's names);
// false when iconv cannot convert them.
inline bool Iconv(const std::string& bytes, const char* from, const char* to, std::string& out) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* o = out.data();
  std::size_t inLeft = bytes.size(), outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return ok;
}

}  // namespace kamvo::testing
