// Mail as mail: the structure of a MIME message, so that each part is
// decoded by the transfer encoding it declares and nothing else.
//
// A text is a mail when it begins with a header block (an mbox "From " line
// may stand before it): header fields "Name: value" and their continuation
// lines, ended by an empty line, with at least two fields of which one is a
// field every mail carries (From, To, Subject, Date, Message-ID, MIME-Version,
// Content-Type, ...). Its body is read by Content-Type and
// Content-Transfer-Encoding: a multipart body is cut at its boundary lines
// into parts, each with its own header block, and every leaf part's body
// lines get the role of its transfer encoding. Header blocks and boundary
// lines stay as they are; quoted-printable is decoded only in
// quoted-printable parts, Base64 only in Base64 parts, and a part without a
// declared transfer encoding is plain text, where the escape and binary
// stages look for their own evidence as in any text.
//
// Encoded words (=?charset?B?...?= and =?charset?Q?...?=) are decoded in
// the Subject, From, To and Cc fields and in attachment names (also the
// charset'language'%XX form of filename*=). The text is one text for the
// code-page conversion that follows, so everything decoded is written in
// the charset of the message's text: the charset its text parts declare
// (one the program knows: UTF-8, Windows-1251, KOI8-R, CP866, ISO 8859-5;
// UTF-8 when they declare different ones, and then each text part is
// written in UTF-8 too); without one, the words keep their own charset
// when all of them share it, else they are written in UTF-8. A word whose
// charset is unknown, or whose characters that charset cannot hold, keeps
// its encoded form; so does a line of a part that cannot be written in the
// text's charset. Attachment names become Windows-1251, as the attachment
// list keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/text.h"

namespace kamvo {

// What a line of a mail is.
enum class MimeRole : std::uint8_t {
  Text,             // plain text: outside the mail's structure, or a part with no declared encoding
  Plain,            // a part declared 7bit, 8bit or binary: no transfer encoding to undo
  Header,           // a line of a header block (or the empty line that ends it)
  Boundary,         // a multipart boundary line
  QuotedPrintable,  // a line of a quoted-printable part's body
  Base64,           // a line of a Base64 part's body
};

// A leaf part whose body is Base64 or quoted-printable.
struct MimePart {
  std::size_t Begin = 0, End = 0;  // its body lines, [Begin, End)
  MimeRole Encoding = MimeRole::Plain;
  bool Attachment = false;  // Content-Disposition attachment, or a file name given
  std::string Name;         // its file name in Windows-1251, decoded; empty when none
  int CharsetCode = -1;     // a text part's charset the program knows (not US-ASCII), else kCharsetUnknown
};

// A header field that may hold encoded words to decode in the text: lines
// [Begin, End) (the field and its continuation lines).
struct MimeField {
  std::size_t Begin = 0, End = 0;
};

struct MimeLayout {
  bool IsMail = false;
  std::vector<MimeRole> Roles;  // one per line when IsMail
  // Per line, the known charset (not US-ASCII) of the text part whose body
  // holds it, else kCharsetUnknown.
  std::vector<std::int8_t> Charsets;
  std::vector<MimePart> Parts;    // the Base64 and quoted-printable parts, in order
  std::vector<MimeField> Fields;  // Subject, From, To and Cc fields that hold "=?"
  // The charset of the whole text, which decoded words and the text parts
  // are written in: a code number 1..4, or kCharsetUtf8; kCharsetNone when
  // the words keep their own.
  int TextCharset = 0;
};

// Charsets the program knows: the four code pages keep their code numbers.
inline constexpr int kCharsetNone = 0;
inline constexpr int kCharsetUtf8 = 5;
inline constexpr int kCharsetAscii = 6;
inline constexpr int kCharsetLatin1 = 7;
inline constexpr int kCharsetUnknown = -1;
// The charset a MIME charset name stands for, or kCharsetUnknown.
int CharsetOf(std::string_view name);

// The structure of the text; IsMail false (and nothing else filled) when it
// is no mail. Linear in the size of the text.
MimeLayout ScanMime(const Text& text);
// A quick answer: whether the text begins like a header block at all.
bool MayBeMail(const Text& text);

// Decodes the encoded words of an unfolded header value: the whitespace
// between two adjacent encoded words goes, each word becomes its characters
// in `target` (a charset as in MimeLayout::TextCharset; kCharsetNone keeps
// the word's own bytes). True when some word was decoded.
bool DecodeEncodedWords(std::string& value, int target);

// An attachment name as it stands in a header parameter (quotes removed),
// decoded into Windows-1251: encoded words, or for `extended` (a
// filename*= value) charset'language'%XX. Characters Windows-1251 cannot
// hold become "_".
std::string DecodeAttachmentName(std::string_view value, bool extended);

// The bytes of Base64 text, blanks and line breaks skipped, up to the first
// "=". False for another character outside the alphabet, or when the
// characters do not form whole bytes.
bool DecodeBase64Body(std::string_view text, std::string& out);

// Bytes in charset `from` written in charset `to` (charsets as above);
// false when there is nothing to do (the same charset, an unknown one, or
// kCharsetNone) or a character `to` cannot hold.
bool RecodeText(std::string_view bytes, int from, int to, std::string& out);

}  // namespace kamvo
