#include "decoders/mime.h"

#include <algorithm>
#include <array>

#include "codepages/ascii.h"
#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "decoders/binary.h"

namespace kamvo {

namespace {

// Nesting deeper than this is read as plain text: each level looks at its
// lines once, so the scan stays linear.
constexpr int kMaxDepth = 12;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view Trim(std::string_view s) { return TrimControls(s); }

// The length of the field name of a header field line ("Name:"), or 0.
std::size_t FieldNameLength(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size()) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == ':') break;
    if (c < 33 || c > 126) return 0;
    ++i;
  }
  return i > 0 && i < line.size() ? i : 0;
}

// A line that goes on with the field before it: it starts with a blank
// (also a line of blanks alone, which mail programs write when they fold).
bool IsContinuation(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

struct Field {
  std::string Name;   // lower case
  std::string Value;  // unfolded, trimmed
  std::size_t Begin = 0, End = 0;
};

struct HeaderBlock {
  std::vector<Field> Fields;
  std::size_t BodyStart = 0;  // the line after the empty line
  bool Ended = false;         // an empty line ended it
  const Field* Find(std::string_view name) const {
    for (const Field& f : Fields)
      if (f.Name == name) return &f;
    return nullptr;
  }
};

// Reads a header block from line `first` up to `end`: fields and their
// continuation lines, ended by an empty line (a line of blanks there, where
// no field is open). Stops at the first line that is neither.
HeaderBlock ReadHeaderBlock(const Text& text, std::size_t first, std::size_t end) {
  HeaderBlock block;
  std::size_t i = first;
  while (i < end) {
    const std::string_view line = text[i];
    if (Trim(line).empty()) {
      block.Ended = true;
      block.BodyStart = i + 1;
      return block;
    }
    const std::size_t nameLength = FieldNameLength(line);
    if (nameLength > 0) {
      Field field;
      field.Name = Lower(line.substr(0, nameLength));
      field.Value = std::string(line.substr(nameLength + 1));
      field.Begin = i;
      ++i;
      while (i < end && IsContinuation(text[i])) field.Value += text[i++];
      field.End = i;
      field.Value = std::string(Trim(field.Value));
      block.Fields.push_back(std::move(field));
      continue;
    }
    break;
  }
  block.BodyStart = i;
  return block;
}

using Params = std::vector<std::pair<std::string, std::string>>;

// "type/subtype; name=value; name="quoted value"": the lower-case type and
// the parameters (names lower case).
std::string ParseStructured(std::string_view value, Params& params) {
  std::size_t p = value.find(';');
  const std::string type = Lower(Trim(value.substr(0, p)));
  while (p != std::string_view::npos && p < value.size()) {
    ++p;  // past ';'
    while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
    const std::size_t nameStart = p;
    while (p < value.size() && value[p] != '=' && value[p] != ';') ++p;
    const std::string name = Lower(Trim(value.substr(nameStart, p - nameStart)));
    if (p >= value.size() || value[p] == ';') continue;
    ++p;  // past '='
    while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
    std::string v;
    if (p < value.size() && value[p] == '"') {
      ++p;
      while (p < value.size() && value[p] != '"') {
        if (value[p] == '\\' && p + 1 < value.size()) ++p;
        v += value[p++];
      }
      if (p < value.size()) ++p;  // closing quote
      while (p < value.size() && value[p] != ';') ++p;
    } else {
      const std::size_t start = p;
      while (p < value.size() && value[p] != ';') ++p;
      v = std::string(Trim(value.substr(start, p - start)));
    }
    if (!name.empty()) params.emplace_back(name, std::move(v));
  }
  return type;
}

const std::string* Param(const Params& params, std::string_view name) {
  for (const auto& [n, v] : params)
    if (n == name) return &v;
  return nullptr;
}

// A parameter's value, with name*= and the numbered pieces name*0*=,
// name*1= ... put together; `extended` when the value is in the
// charset'language'%XX form.
bool ParamValue(const Params& params, const std::string& name, std::string& value, bool& extended) {
  // One pass over the parameters: name*, name, and the pieces name*N and
  // name*N* (N below 100) in their order.
  constexpr std::size_t kMaxPieces = 100;
  const std::string* whole = nullptr;
  const std::string* plain = nullptr;
  std::vector<const std::string*> pieces;
  std::vector<bool> pieceExtended;
  for (const auto& [n, v] : params) {
    if (!n.starts_with(name)) continue;
    const std::string_view rest = std::string_view(n).substr(name.size());
    if (rest.empty()) {
      plain = &v;
    } else if (rest == "*") {
      whole = &v;
    } else if (rest[0] == '*' && rest.size() >= 2) {
      std::size_t number = 0, p = 1;
      while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9' && number < kMaxPieces)
        number = number * 10 + static_cast<std::size_t>(rest[p++] - '0');
      const bool star = p + 1 == rest.size() && rest[p] == '*';
      if (p == 1 || number >= kMaxPieces || (p != rest.size() && !star)) continue;
      if (pieces.size() <= number) {
        pieces.resize(number + 1, nullptr);
        pieceExtended.resize(number + 1, false);
      }
      pieces[number] = &v;
      pieceExtended[number] = star;
    }
  }
  if (whole) {
    value = *whole;
    extended = true;
    return true;
  }
  if (!pieces.empty() && pieces[0]) {
    value.clear();
    extended = false;
    for (std::size_t k = 0; k < pieces.size() && pieces[k]; ++k) {
      value += *pieces[k];
      extended = extended || pieceExtended[k];
    }
    return true;
  }
  if (plain) {
    value = *plain;
    extended = false;
    return true;
  }
  return false;
}

// The fields of a message's own header that show it is a mail.
bool IsMailField(std::string_view name) {
  static constexpr std::array<std::string_view, 13> kNames = {
      "from",        "to",           "subject",      "date",
      "message-id",  "mime-version", "content-type", "content-transfer-encoding",
      "received",    "return-path",  "cc",           "reply-to",
      "delivered-to"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

// Whether a line is a boundary line of `boundary`; `closing` for the last.
bool IsDelimiter(std::string_view line, std::string_view boundary, bool& closing) {
  if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-') return false;
  if (line.substr(2, boundary.size()) != boundary) return false;
  std::string_view rest = TrimTrailingControls(line.substr(2 + boundary.size()));
  closing = rest == "--";
  return rest.empty() || closing;
}

class Scanner {
 public:
  Scanner(const Text& text, MimeLayout& layout) : text_(text), layout_(layout) {}

  // An entity whose header block starts at `first` (or, without headers,
  // whose body does) and which ends before `end`.
  void Entity(std::size_t first, std::size_t end, int depth, bool hasHeaders) {
    HeaderBlock block;
    if (hasHeaders) {
      block = ReadHeaderBlock(text_, first, end);
      for (std::size_t i = first; i < std::min(block.BodyStart, end); ++i) layout_.Roles[i] = MimeRole::Header;
      for (const Field& f : block.Fields)
        if ((f.Name == "subject" || f.Name == "from" || f.Name == "to" || f.Name == "cc") &&
            f.Value.find("=?") != std::string::npos)
          layout_.Fields.push_back({f.Begin, f.End});
    } else {
      block.BodyStart = first;
    }
    const std::size_t body = block.BodyStart;
    Params typeParams;
    const Field* typeField = block.Find("content-type");
    const std::string type = typeField ? ParseStructured(typeField->Value, typeParams) : std::string("text/plain");
    const Field* cteField = block.Find("content-transfer-encoding");
    const std::string cte = cteField ? Lower(cteField->Value) : std::string();

    if (type.starts_with("multipart/") && depth < kMaxDepth) {
      const std::string* boundary = Param(typeParams, "boundary");
      if (boundary && !boundary->empty() && Multipart(body, end, *boundary, depth)) return;
    }
    if (type == "message/rfc822" && depth < kMaxDepth && cte != "base64" && cte != "quoted-printable" && body < end &&
        FieldNameLength(text_[body]) > 0) {
      Entity(body, end, depth + 1, true);
      return;
    }
    MimeRole role = MimeRole::Text;
    if (cte == "quoted-printable")
      role = MimeRole::QuotedPrintable;
    else if (cte == "base64")
      role = MimeRole::Base64;
    else if (cte == "7bit" || cte == "8bit" || cte == "binary")
      role = MimeRole::Plain;

    const std::string* charset = Param(typeParams, "charset");
    const bool textType = type.starts_with("text/");
    int known = charset ? CharsetOf(*charset) : kCharsetUnknown;
    if (!textType || known == kCharsetAscii) known = kCharsetUnknown;
    if (known != kCharsetUnknown) {
      // The text's charset: the one its text parts share, else UTF-8.
      if (layout_.TextCharset == kCharsetNone)
        layout_.TextCharset = known;
      else if (layout_.TextCharset != known)
        layout_.TextCharset = kCharsetUtf8;
    }
    const auto markCharset = [&](std::size_t from, std::size_t to) {
      if (known == kCharsetUnknown) return;
      for (std::size_t i = from; i < to; ++i) layout_.Charsets[i] = static_cast<std::int8_t>(known);
    };
    if (role == MimeRole::Text || role == MimeRole::Plain) {
      for (std::size_t i = body; i < end; ++i) layout_.Roles[i] = role;
      markCharset(body, end);
      return;
    }
    // The empty lines at the end of an encoded body belong to the text
    // around it (the break before a boundary line).
    std::size_t last = end;
    while (last > body && Trim(text_[last - 1]).empty()) --last;
    for (std::size_t i = body; i < last; ++i) layout_.Roles[i] = role;
    for (std::size_t i = last; i < end; ++i) layout_.Roles[i] = MimeRole::Plain;
    markCharset(body, last);

    MimePart part;
    part.Begin = body;
    part.End = last;
    part.Encoding = role;
    part.CharsetCode = known;
    Params dispositionParams;
    const Field* disposition = block.Find("content-disposition");
    const std::string dispositionType =
        disposition ? ParseStructured(disposition->Value, dispositionParams) : std::string();
    std::string name;
    bool extended = false;
    if (ParamValue(dispositionParams, "filename", name, extended) || ParamValue(typeParams, "name", name, extended))
      part.Name = DecodeAttachmentName(name, extended);
    part.Attachment = dispositionType == "attachment" || !part.Name.empty();
    layout_.Parts.push_back(std::move(part));
  }

 private:
  bool Multipart(std::size_t body, std::size_t end, const std::string& boundary, int depth) {
    std::vector<std::size_t> delimiters;
    std::size_t closeAt = end;
    for (std::size_t i = body; i < end; ++i) {
      bool closing = false;
      if (!IsDelimiter(text_[i], boundary, closing)) continue;
      delimiters.push_back(i);
      if (closing) {
        closeAt = i;
        break;
      }
    }
    if (delimiters.empty()) return false;
    for (std::size_t i = body; i < delimiters[0]; ++i) layout_.Roles[i] = MimeRole::Text;  // preamble
    for (std::size_t k = 0; k < delimiters.size(); ++k) {
      const std::size_t d = delimiters[k];
      layout_.Roles[d] = MimeRole::Boundary;
      if (d == closeAt) break;
      const std::size_t partEnd = k + 1 < delimiters.size() ? delimiters[k + 1] : end;
      const std::size_t first = d + 1;
      if (first >= partEnd) continue;
      if (Trim(text_[first]).empty()) {
        layout_.Roles[first] = MimeRole::Header;  // a part without header fields
        Entity(first + 1, partEnd, depth + 1, false);
      } else if (FieldNameLength(text_[first]) > 0) {
        Entity(first, partEnd, depth + 1, true);
      } else {
        for (std::size_t i = first; i < partEnd; ++i) layout_.Roles[i] = MimeRole::Text;
      }
    }
    for (std::size_t i = closeAt + 1; i < end; ++i) layout_.Roles[i] = MimeRole::Text;  // epilogue
    return true;
  }

  const Text& text_;
  MimeLayout& layout_;
};

// UTF-8 to code points; false for bytes that are no UTF-8.
bool Utf8CodePoints(std::string_view s, std::vector<std::uint32_t>& out) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b < 0xE0) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b < 0xF0) {
      extra = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b < 0xF5) {
      extra = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    out.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

bool ToCodePoints(std::string_view bytes, int charset, std::vector<std::uint32_t>& out) {
  out.clear();
  switch (charset) {
    case kCharsetUtf8:
      return Utf8CodePoints(bytes, out);
    case kCharsetAscii:
    case kCharsetLatin1:
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
      return true;
    case kWindows:
    case kDos:
    case kKoi8:
    case kIso:
      for (char c : bytes) out.push_back(CodePageToUnicode(charset, static_cast<Byte>(c)));
      return true;
    default:
      return false;
  }
}

// Code points into a charset; a character it cannot hold fails, or with
// `substitute` becomes "_".
bool FromCodePoints(const std::vector<std::uint32_t>& cps, int charset, std::string& out, bool substitute) {
  out.clear();
  for (std::uint32_t cp : cps) {
    if (charset == kCharsetUtf8) {
      AppendUtf8(out, cp);
      continue;
    }
    Byte b = 0;
    bool held = false;
    if (charset == kCharsetLatin1 || charset == kCharsetAscii) {
      held = cp < (charset == kCharsetAscii ? 0x80u : 0x100u);
      b = static_cast<Byte>(cp);
    } else if (charset >= kWindows && charset <= kIso) {
      held = cp < 0x80 ? (b = static_cast<Byte>(cp), true) : UnicodeToCodePage(charset, cp, b);
    }
    if (!held) {
      if (!substitute) return false;
      b = '_';
    }
    out += static_cast<char>(b);
  }
  return true;
}

// Bytes in charset `from` into charset `to` (kCharsetNone: as they are).
bool Recode(std::string_view bytes, int from, int to, std::string& out, bool substitute) {
  if (to == kCharsetNone || to == from) {
    out.assign(bytes);
    return true;
  }
  std::vector<std::uint32_t> cps;
  if (!ToCodePoints(bytes, from, cps)) return false;
  return FromCodePoints(cps, to, out, substitute);
}

// One encoded word at the start of s: its charset, its decoded bytes and
// its length; false when s does not start with one.
bool MatchEncodedWord(std::string_view s, std::string& charset, std::string& bytes, std::size_t& length) {
  if (s.size() < 8 || s[0] != '=' || s[1] != '?') return false;
  // A word is short (75 characters in the standard); looking no further
  // keeps a header full of "=?" linear.
  s = s.substr(0, 1024);
  const std::size_t q1 = s.find('?', 2);
  if (q1 == std::string_view::npos || q1 == 2 || q1 + 3 >= s.size() || s[q1 + 2] != '?') return false;
  charset = std::string(s.substr(2, q1 - 2));
  if (charset.find_first_of(" \t\"()<>,;:") != std::string::npos) return false;
  if (const std::size_t star = charset.find('*'); star != std::string::npos) charset.resize(star);
  const char encoding = AsciiUpper(s[q1 + 1]);
  if (encoding != 'B' && encoding != 'Q') return false;
  const std::size_t textStart = q1 + 3;
  const std::size_t close = s.find("?=", textStart);
  if (close == std::string_view::npos) return false;
  const std::string_view encoded = s.substr(textStart, close - textStart);
  if (encoded.find_first_of(" \t") != std::string_view::npos) return false;
  bytes.clear();
  if (encoding == 'B') {
    if (!DecodeBase64Body(encoded, bytes)) return false;
  } else {
    for (std::size_t i = 0; i < encoded.size(); ++i) {
      if (encoded[i] == '_') {
        bytes += ' ';
      } else if (encoded[i] == '=' && i + 2 < encoded.size() && HexDigitValue(encoded[i + 1]) >= 0 &&
                 HexDigitValue(encoded[i + 2]) >= 0) {
        bytes += static_cast<char>(HexDigitValue(encoded[i + 1]) * 16 + HexDigitValue(encoded[i + 2]));
        i += 2;
      } else {
        bytes += encoded[i];
      }
    }
  }
  length = close + 2;
  return true;
}

bool DecodeWords(std::string& value, int target, bool substitute) {
  std::string out;
  std::string charset, bytes, converted;
  bool any = false;
  std::size_t lastWordEnd = std::string::npos;  // in out, after the last decoded word
  for (std::size_t p = 0; p < value.size();) {
    std::size_t length = 0;
    if (value[p] == '=' && MatchEncodedWord(std::string_view(value).substr(p), charset, bytes, length)) {
      const int from = CharsetOf(charset);
      bool ok = false;
      if (from != kCharsetUnknown)
        ok = Recode(bytes, from, target, converted, substitute);
      else if (substitute)
        ok = Recode(bytes, kCharsetLatin1, kCharsetLatin1, converted, true);
      if (ok) {
        // Only whitespace since the last decoded word: it goes.
        if (lastWordEnd != std::string::npos && out.find_first_not_of(" \t", lastWordEnd) == std::string::npos)
          out.resize(lastWordEnd);
        out += converted;
        lastWordEnd = out.size();
        any = true;
        p += length;
        continue;
      }
    }
    out += value[p++];
    if (lastWordEnd != std::string::npos && out.back() != ' ' && out.back() != '\t') lastWordEnd = std::string::npos;
  }
  if (any) value = std::move(out);
  return any;
}

}  // namespace

int CharsetOf(std::string_view name) {
  std::string reduced;
  for (char c : name) {
    const char u = AsciiUpper(c);
    if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) reduced += u;
  }
  if (reduced == "UTF8") return kCharsetUtf8;
  if (reduced == "WINDOWS1251" || reduced == "CP1251" || reduced == "XCP1251") return kWindows;
  if (reduced == "KOI8R" || reduced == "KOI8") return kKoi8;
  if (reduced == "IBM866" || reduced == "CP866" || reduced == "866" || reduced == "CSIBM866") return kDos;
  if (reduced == "ISO88595" || reduced == "ISOIR144" || reduced == "CYRILLIC") return kIso;
  if (reduced == "USASCII" || reduced == "ASCII") return kCharsetAscii;
  if (reduced == "ISO88591" || reduced == "LATIN1") return kCharsetLatin1;
  return kCharsetUnknown;
}

bool MayBeMail(const Text& text) {
  if (text.empty()) return false;
  std::size_t first = 0;
  if (text[0].starts_with("From ")) first = 1;
  return first < text.size() && FieldNameLength(text[first]) > 0;
}

MimeLayout ScanMime(const Text& text) {
  MimeLayout layout;
  if (!MayBeMail(text)) return layout;
  const std::size_t first = text[0].starts_with("From ") ? 1 : 0;
  const HeaderBlock top = ReadHeaderBlock(text, first, text.size());
  if (!top.Ended || top.Fields.size() < 2) return layout;
  if (std::none_of(top.Fields.begin(), top.Fields.end(), [](const Field& f) { return IsMailField(f.Name); }))
    return layout;
  layout.IsMail = true;
  layout.Roles.assign(text.size(), MimeRole::Text);
  layout.Charsets.assign(text.size(), static_cast<std::int8_t>(kCharsetUnknown));
  for (std::size_t i = 0; i < first; ++i) layout.Roles[i] = MimeRole::Header;
  Scanner(text, layout).Entity(first, text.size(), 0, true);
  if (layout.TextCharset == kCharsetNone && !layout.Fields.empty()) {
    // No text part names its charset: the words keep their own when they
    // all share one, else they are written in UTF-8.
    int shared = kCharsetNone;
    bool mixed = false;
    std::string charset, bytes;
    for (const MimeField& field : layout.Fields) {
      for (std::size_t i = field.Begin; i < field.End; ++i) {
        const std::string_view line = text[i];
        for (std::size_t p = line.find("=?"); p != std::string_view::npos; p = line.find("=?", p + 2)) {
          std::size_t length = 0;
          if (!MatchEncodedWord(line.substr(p), charset, bytes, length)) continue;
          const int code = CharsetOf(charset);
          if (code == kCharsetAscii) continue;
          if (shared == kCharsetNone)
            shared = code;
          else if (shared != code)
            mixed = true;
        }
      }
    }
    layout.TextCharset = mixed ? kCharsetUtf8 : kCharsetNone;
  }
  return layout;
}

bool DecodeEncodedWords(std::string& value, int target) { return DecodeWords(value, target, false); }

bool RecodeText(std::string_view bytes, int from, int to, std::string& out) {
  if (from == kCharsetUnknown || to == kCharsetNone || from == to) return false;
  return Recode(bytes, from, to, out, false);
}

std::string DecodeAttachmentName(std::string_view value, bool extended) {
  std::string name(value);
  if (extended) {
    const std::size_t q1 = name.find('\'');
    const std::size_t q2 = q1 == std::string::npos ? std::string::npos : name.find('\'', q1 + 1);
    int charset = kCharsetUnknown;
    std::string_view encoded = name;
    if (q2 != std::string::npos) {
      charset = CharsetOf(std::string_view(name).substr(0, q1));
      encoded = std::string_view(name).substr(q2 + 1);
    }
    std::string bytes;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
      if (encoded[i] == '%' && i + 2 < encoded.size() && HexDigitValue(encoded[i + 1]) >= 0 &&
          HexDigitValue(encoded[i + 2]) >= 0) {
        bytes += static_cast<char>(HexDigitValue(encoded[i + 1]) * 16 + HexDigitValue(encoded[i + 2]));
        i += 2;
      } else {
        bytes += encoded[i];
      }
    }
    std::string converted;
    if (charset != kCharsetUnknown && Recode(bytes, charset, kWindows, converted, true)) return converted;
    return bytes;  // the naming pass fixes the code page of 8-bit names it can
  }
  DecodeWords(name, kWindows, true);
  return name;
}

bool DecodeBase64Body(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3 + 3);
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const Byte v = Base64Value(static_cast<Byte>(c));
    if (v == 255) {
      if (IsBlankOrControl(c)) continue;
      return false;
    }
    buffer = (buffer << 6) | v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return bits < 6;
}

}  // namespace kamvo
