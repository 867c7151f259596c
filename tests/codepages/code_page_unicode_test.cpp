#include "codepages/code_page_unicode.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include "codepages/code_page_list.h"
#include "codepages/unicode.h"

namespace kamvo {
namespace {

// The character iconv gives for one byte of the code page; false when it
// has none (or iconv lacks the code page).
bool IconvChar(const char* codePage, Byte b, std::uint32_t& c) {
  const iconv_t cd = iconv_open("UTF-32LE", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char in[1] = {static_cast<char>(b)};
  unsigned char out[4] = {};
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  std::size_t inLeft = 1, outLeft = 4;
  const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 0;
  iconv_close(cd);
  c = out[0] | out[1] << 8 | out[2] << 16 | static_cast<std::uint32_t>(out[3]) << 24;
  return ok;
}

// The tables against the system's iconv, byte by byte, for every single-byte
// code page. Where iconv's table differs from the code page's current
// publisher, the publisher's character is kept (Python's codecs agree).
TEST(CodePageUnicode, TablesAgreeWithIconv) {
  struct Difference {
    int code;
    int byte;
    bool iconvDefines;
    std::uint32_t iconv;
    std::uint32_t ours;
  };
  const Difference differences[] = {
      {kWindows, 0x98, false, 0, 0x98},          // undefined: read as web browsers read it
      {kMacCyrillic, 0xFF, true, 0xA4, 0x20AC},  // the euro sign since Mac OS 9
  };
  int pages = 0;
  for (const CodePageInfo& page : CodePageList()) {
    const int code = page.Code;
    if (!IsSingleByteCode(code)) continue;
    ++pages;
    const std::string iconvName(page.Iconv);
    const char* name = iconvName.c_str();
    EXPECT_EQ(CodeFromOptionName(page.Iconv), code);
    const iconv_t probe = iconv_open("UTF-32LE", name);
    if (probe == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv lacks " << name;
    iconv_close(probe);
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(::testing::Message() << name << " byte " << b);
      std::uint32_t c = 0;
      bool defined = IconvChar(name, static_cast<Byte>(b), c);
      std::uint32_t expected = c;
      for (const Difference& d : differences)
        if (d.code == code && d.byte == b) {
          EXPECT_EQ(defined, d.iconvDefines);
          if (defined) {
            EXPECT_EQ(c, d.iconv);
          }
          expected = d.ours;
          defined = true;
        }
      ASSERT_TRUE(defined);
      EXPECT_EQ(CodePageToUnicode(code, static_cast<Byte>(b)), expected);
      Byte back = 0;
      ASSERT_TRUE(UnicodeToCodePage(code, expected, back));
      EXPECT_EQ(back, b);
      EXPECT_TRUE(CodePagesHolding(expected) >> (code - 1) & 1);
    }
  }
  EXPECT_EQ(pages, kLastCode - 1);
  Byte none = 0;
  EXPECT_FALSE(UnicodeToCodePage(kUtf8Code, 0x0410, none));
  EXPECT_EQ(CodeFromOptionName("UTF-8"), kUtf8Code);
  EXPECT_EQ(CodeFromOptionName("KOI8_R"), kKoi8);
  EXPECT_EQ(CodeFromOptionName("koi8-x"), -1);
  EXPECT_EQ(CodeFromOptionName(""), -1);
}

// Every byte of a code page, written as UTF-8, comes back out of UTF-8.
TEST(CodePageUnicode, EveryByteComesBackOutOfUtf8) {
  for (int code = 1; code <= kLastCode; ++code) {
    if (!IsSingleByteCode(code)) continue;
    std::string bytes, utf8, back;
    for (int b = 1; b < 256; ++b) {
      bytes.push_back(static_cast<char>(b));
      AppendUtf8(utf8, CodePageToUnicode(code, static_cast<Byte>(b)));
    }
    ASSERT_TRUE(Utf8ToCodePage(utf8, code, back, false)) << code;
    EXPECT_EQ(back, bytes) << code;
    if (code > kCodeCount) continue;
    Utf8TextCheck check;
    check.Add(utf8, false);
    EXPECT_TRUE(check.Usable());
    EXPECT_EQ(check.Holders, 1u << (code - 1)) << code;  // each code page has characters of its own
  }
}

TEST(CodePageUnicode, Utf8CheckTakesOnlyShortestTwoAndThreeByteForms) {
  const unsigned dosKoi = 1u << (kDos - 1) | 1u << (kKoi8 - 1);
  const unsigned kLatin = 1u << (kWindows1252 - 1);
  struct Case {
    std::string text;
    bool valid;
    unsigned holders;
  };
  const Case cases[] = {
      {"\xD0\x9F\xD1\x80\xD0\xB8 plain", true, kAllCodePages},  // При
      {"\xE2\x95\xA6", true, dosKoi},                           // U+2566 box drawing
      {"\xE2\x82\xAC", true, 1u << (kWindows - 1) | kLatin},    // euro sign
      {"\xC3\x8F\xC2\x81\xC2\x80", true, kLatin},               // Ï and C1 controls kept by Latin-1
      {"\xE2\x8C\xA0", true, 1u << (kKoi8 - 1)},                // U+2320 top half integral
      {"\xEF\xBB\xBF\xD0\x9F", true, kAllCodePages},            // byte order mark opening the text
      {"\xD0\x9F\xEF\xBB\xBF", true, 0},                        // U+FEFF elsewhere: no code page
      {"\xF0\x9F\x98\x80", false, 0},                           // four bytes
      {"\xC0\x80", false, 0},                                   // overlong NUL
      {"\xE0\x81\x81", false, 0},                               // overlong
      {"\xED\xA0\x80", false, 0},                               // surrogate
      {"\xD0", false, 0},                                       // cut short
      {"\xCF\xF0\xE8", false, 0},                               // Windows-1251 При
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Utf8TextCheck check = CheckUtf8Text({c.text});
    EXPECT_EQ(check.Valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(check.Holders, c.holders);
    }
    std::string out;
    for (int code = 1; code <= kWindows1252; ++code) {
      if (code > kCodeCount && code != kWindows1252) continue;
      EXPECT_EQ(Utf8ToCodePage(c.text, code, out, true), c.valid && (c.holders >> (code - 1) & 1));
    }
  }
  EXPECT_FALSE(CheckUtf8Text({"plain ASCII"}).Usable());  // valid, but nothing to take out
}

}  // namespace
}  // namespace kamvo
