#include "decoders/mime.h"

#include <gtest/gtest.h>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/attachment_names.h"
#include "decoders/binary.h"
#include "decoders/quoted_printable.h"

namespace kamvo {
namespace {

std::string Win(std::string_view utf8) { return WinFromUtf8(utf8); }
std::string Koi(std::string_view utf8) { return ConvertByTable(WinFromUtf8(utf8), BuildCodeTable(kWindows, kKoi8)); }

using R = MimeRole;

TEST(Mime, ReadsTheStructureOfAMail) {
  const Text mail = {
      "From: a@example.ru",                                   // 0
      "Subject: =?utf-8?Q?=D0=B0?=",                          // 1
      "Content-Type: multipart/mixed;",                       // 2
      " boundary=\"outer\"",                                  // 3
      "",                                                     // 4
      "preamble",                                             // 5
      "--outer",                                              // 6
      "Content-Type: text/plain; charset=koi8-r",             // 7
      "Content-Transfer-Encoding: quoted-printable",          // 8
      "",                                                     // 9
      "=F0=D2=",                                              // 10
      "",                                                     // 11
      "--outer",                                              // 12
      "Content-Type: multipart/alternative; boundary=inner",  // 13
      "",                                                     // 14
      "--inner",                                              // 15
      "",                                                     // 16 a part without header fields
      "plain =C0=C1",                                         // 17
      "--inner--",                                            // 18
      "--outer",                                              // 19
      "Content-Transfer-Encoding: base64",                    // 20
      "Content-Disposition: attachment;",                     // 21
      " filename*0*=utf-8''%D0%BE%D1%82;",                    // 22
      " filename*1*=%D1%87%D1%91%D1%82; filename*2=.bin",     // 23
      "",                                                     // 24
      "QUJD",                                                 // 25
      "",                                                     // 26
      "--outer--",                                            // 27
      "epilogue",                                             // 28
  };
  const MimeLayout layout = ScanMime(mail);
  ASSERT_TRUE(layout.IsMail);
  const std::vector<R> roles = {
      R::Header, R::Header, R::Header,          R::Header,   R::Header,   R::Text,   R::Boundary, R::Header,
      R::Header, R::Header, R::QuotedPrintable, R::Plain,    R::Boundary, R::Header, R::Header,   R::Boundary,
      R::Header, R::Text,   R::Boundary,        R::Boundary, R::Header,   R::Header, R::Header,   R::Header,
      R::Header, R::Base64, R::Plain,           R::Boundary, R::Text};
  EXPECT_EQ(layout.Roles, roles);
  ASSERT_EQ(layout.Parts.size(), 2u);
  EXPECT_EQ(layout.Parts[0].Encoding, R::QuotedPrintable);
  EXPECT_EQ(layout.Parts[1].Name, Win("отчёт.bin"));
  EXPECT_TRUE(layout.Parts[1].Attachment);
  EXPECT_EQ(layout.TextCharset, kKoi8);
  ASSERT_EQ(layout.Fields.size(), 1u);
  EXPECT_EQ(layout.Fields[0].Begin, 1u);

  // The escape stage: quoted-printable as declared in its part and by its
  // own evidence in text, the encoded word in the body's code page,
  // everything else as it was.
  Text out;
  EscapeCounters counters;
  DecodeEscapedLines(mail, out, {}, counters);
  Lines expected = ToLines(mail);
  expected[1] = "Subject: " + Koi("а");
  expected[10] = "\xF0\xD2";        // a soft break at the end of the part joins nothing
  expected[17] = "plain \xC0\xC1";  // a part without a declared encoding: text like any other
  EXPECT_EQ(ToLines(out), expected);
}

// Mail programs may fold a field into a line of blanks alone: it goes on
// with the field and does not end the header block.
TEST(Mime, ALineOfBlanksInAFoldedFieldGoesOnWithIt) {
  const Text mail = {"Subject: =?utf-8?Q?=D0=B0?=",
                     "  =?utf-8?Q?=D0=B1?=",
                     " ",
                     "From: a@example.ru",
                     "Content-Type: text/plain; charset=utf-8",
                     "",
                     "text"};
  const MimeLayout layout = ScanMime(mail);
  ASSERT_TRUE(layout.IsMail);
  EXPECT_EQ(layout.Roles[4], R::Header);
  ASSERT_EQ(layout.Fields.size(), 1u);
  EXPECT_EQ(layout.Fields[0].End, 3u);
  Text out;
  EscapeCounters counters;
  DecodeEscapedLines(mail, out, {}, counters);
  EXPECT_EQ(ToLines(out)[0], "Subject: \xD0\xB0\xD0\xB1 ");
}

TEST(Mime, WhatIsNoMail) {
  EXPECT_FALSE(ScanMime(Text{"Note: one field", "", "text"}).IsMail);
  EXPECT_FALSE(ScanMime(Text{"Subject: a", "From: b"}).IsMail);        // no body
  EXPECT_FALSE(ScanMime(Text{"Key: a", "Other: b", "", "x"}).IsMail);  // no field of a mail
  EXPECT_FALSE(ScanMime(Text{"printf(\"%02x\");", "Subject: a", "", "x"}).IsMail);
  EXPECT_TRUE(ScanMime(Text{"From someone Mon Jan 1", "Subject: a", "To: b", "", "x"}).IsMail);
}

TEST(Mime, EncodedWords) {
  struct Case {
    std::string value;
    int target;
    std::string expected;
  };
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // UTF-8
  const Case cases[] = {
      {"=?utf-8?B?0J/RgNC40LLQtdGC?=", kCharsetNone, privet},
      {"=?UTF-8?b?0J/RgNC40LLQtdGC?= <a@b.ru>", kKoi8, Koi("Привет") + " <a@b.ru>"},
      {"=?koi8-r?Q?=F0=D2=C9=D7=C5=D4_=CD=C9=D2?=", kCharsetUtf8, "Привет мир"},
      {"=?koi8-r?Q?=F0=D2?=", kWindows, Win("Пр")},
      {"=?utf-8*ru?Q?=D0=B0?=", kWindows, Win("а")},
      // The blanks between adjacent words go, others stay.
      {"=?utf-8?Q?a?= \t =?utf-8?Q?b?=", kCharsetNone, "ab"},
      {"=?utf-8?Q?a?= x =?utf-8?Q?b?=", kCharsetNone, "a x b"},
      // A charset the program does not know, a character the target cannot
      // hold, a malformed word: kept as they are.
      {"=?x-mac-cyrillic?Q?abc?=", kWindows, "=?x-mac-cyrillic?Q?abc?="},
      {"=?utf-8?B?8J+YgA==?=", kWindows, "=?utf-8?B?8J+YgA==?="},
      {"=?utf-8?Q?a b?=", kWindows, "=?utf-8?Q?a b?="},
      {"a=?b", kWindows, "a=?b"},
  };
  for (const Case& c : cases) {
    std::string value = c.value;
    const bool decoded = DecodeEncodedWords(value, c.target);
    EXPECT_EQ(decoded, value != c.value) << c.value;
    EXPECT_EQ(value, c.expected) << c.value;
  }
}

TEST(Mime, AttachmentNames) {
  EXPECT_EQ(DecodeAttachmentName("utf-8''%D0%BE%D1%82%D1%87%D1%91%D1%82.bin", true), Win("отчёт.bin"));
  EXPECT_EQ(DecodeAttachmentName("koi8-r'ru'%F0%D2.txt", true), Win("Пр.txt"));
  EXPECT_EQ(DecodeAttachmentName("=?utf-8?B?0L7RgtGH0ZHRgg==?=.doc", false), Win("отчёт") + ".doc");
  // Characters Windows-1251 has not become "_".
  EXPECT_EQ(DecodeAttachmentName("utf-8''%F0%9F%98%80.png", true), "_.png");
  EXPECT_EQ(DecodeAttachmentName("plain name.txt", false), "plain name.txt");
}

TEST(Mime, Base64Bodies) {
  std::string out;
  EXPECT_TRUE(DecodeBase64Body("QUJD\r\nREVG\n", out));
  EXPECT_EQ(out, "ABCDEF");
  EXPECT_TRUE(DecodeBase64Body("QQ==", out));
  EXPECT_EQ(out, "A");
  EXPECT_FALSE(DecodeBase64Body("Q", out));
  EXPECT_FALSE(DecodeBase64Body("QU-J", out));
}

// In a mail, Base64 is decoded only in Base64 parts: a long line of letters
// in a plain part stays, and the part's text takes the place of its lines.
TEST(Mime, TheBinaryStageDecodesBase64PartsOnly) {
  Text mail = {"Subject: x",
               "MIME-Version: 1.0",
               "Content-Type: multipart/mixed; boundary=b",
               "",
               "--b",
               "Content-Type: text/plain",
               "Content-Transfer-Encoding: 8bit",
               "",
               "AbcdefghijklmnopqrstuvwxyzAB",
               "--b",
               "Content-Type: text/plain; charset=utf-8",
               "Content-Transfer-Encoding: base64",
               "",
               "0J/RgNC40LLQtdGCCtC80LjRgA==",
               "",
               "--b--"};
  TFileList files;
  const BinaryScan seen = DecodeBinaryBlocks(mail, files);
  EXPECT_TRUE(seen.Base64);
  EXPECT_TRUE(files.Empty());
  const Lines lines = ToLines(mail);
  EXPECT_EQ(lines[8], "AbcdefghijklmnopqrstuvwxyzAB");
  EXPECT_EQ(lines[13], "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(lines[14], "\xD0\xBC\xD0\xB8\xD1\x80");
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "--b--");
}

// Text parts in different charsets are all written in UTF-8, and the
// subject with them, so that the whole text is in one code page.
TEST(Mime, PartsInDifferentCharsetsAreWrittenInUtf8) {
  const Text mail = {"Subject: =?koi8-r?Q?=F0=D2?=",
                     "Content-Type: multipart/mixed; boundary=b",
                     "",
                     "--b",
                     "Content-Type: text/plain; charset=koi8-r",
                     "Content-Transfer-Encoding: 8bit",
                     "",
                     Koi("Привет"),
                     "--b",
                     "Content-Type: text/html; charset=utf-8",
                     "Content-Transfer-Encoding: quoted-printable",
                     "",
                     "=D0=BC=D0=B8=D1=80",
                     "--b--"};
  const MimeLayout layout = ScanMime(mail);
  EXPECT_EQ(layout.TextCharset, kCharsetUtf8);
  Text out;
  EscapeCounters counters;
  DecodeEscapedLines(mail, out, {}, counters);
  const Lines lines = ToLines(out);
  EXPECT_EQ(lines[0], "Subject: Пр");
  EXPECT_EQ(lines[7], "Привет");
  EXPECT_EQ(lines[12], "мир");
  EXPECT_FALSE(EscapesInert(mail, {}, EscapeCounters{}));
}

// A body that declares no encoding is text: a Base64 block in it is found
// as in any text and named by the header's file name.
TEST(Mime, AHeaderNamesTheBlockOfABodyWithoutEncoding) {
  Text mail = {"Content-Type: application/octet-stream",
               "Content-Disposition: attachment; filename=\"data.bin\"",
               "",
               "c29tZSBwbGFpbiB0ZXh0IGluIGEgZmlsZQo=",
               "",
               "--boundary--"};
  ASSERT_TRUE(ScanMime(mail).IsMail);
  TFileList files;
  DecodeBinaryBlocks(mail, files);
  FinishNames(files);
  ASSERT_EQ(files.Count(), 1u);
  EXPECT_EQ(files[0].Name, "data.bin");
  EXPECT_EQ(files[0].Stream, "some plain text in a file\n");
}

}  // namespace
}  // namespace kamvo
