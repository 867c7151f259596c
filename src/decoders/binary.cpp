#include "decoders/binary.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

#include "codepages/ascii.h"
#include "decoders/attachment_names.h"
#include "decoders/mime.h"
#include "decoders/text_lines.h"

namespace kamvo {

namespace {

constexpr Byte kNone = 255;

constexpr std::array<Byte, 256> MakeAlphabet(std::string_view letters) {
  std::array<Byte, 256> table{};
  for (auto& v : table) v = kNone;
  for (std::size_t i = 0; i < letters.size(); ++i) table[static_cast<Byte>(letters[i])] = static_cast<Byte>(i);
  return table;
}

constexpr auto kBase64 = MakeAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
constexpr auto kXX = MakeAlphabet("+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

Byte At(std::string_view s, std::size_t i) { return static_cast<Byte>(s[i]); }

// The length of a line without a final LF and then a final CR.
std::size_t CountedLength(std::string_view line) {
  std::size_t length = line.size();
  if (length > 0 && line[length - 1] == '\n') --length;
  if (length > 0 && line[length - 1] == '\r') --length;
  return length;
}

// Appends the first `count` of the three bytes that four 6-bit values give.
void AppendGroup(std::string& stream, unsigned a, unsigned b, unsigned c, unsigned d, int count) {
  const char bytes[3] = {static_cast<char>((4 * a + b / 16) & 0xFF), static_cast<char>((16 * b + c / 4) & 0xFF),
                         static_cast<char>((64 * c + d) & 0xFF)};
  stream.append(bytes, static_cast<std::size_t>(count));
}

// UUE and XXE share their layout: a length character, then groups of four
// characters of six bits each. UUE checks the characters as printable
// (with the grave accent standing for a space); XXE maps them through its
// alphabet.
bool DecodeLengthPrefixedLine(std::string_view line, std::string& stream, bool uue) {
  stream.clear();
  if (line.empty()) return false;
  const long length = static_cast<long>(CountedLength(line));
  if (length > 61) return false;

  auto uuValue = [](Byte c) -> unsigned { return c == 0x60 ? 0u : static_cast<unsigned>(c) - 0x20; };
  if (uue) {
    for (long p = 2; p <= length; ++p) {
      Byte c = At(line, static_cast<std::size_t>(p - 1));
      if (c == 0x60) c = 0x20;
      if (c < 0x20 || c >= 0x60) return false;
    }
  }
  const long announced = uue ? static_cast<long>(At(line, 0)) - 0x20 : static_cast<long>(XXValue(At(line, 0)));
  const long groups = (length - 2) / 4 + 1;  // truncates toward zero: 1 for lengths 0 to 5
  if (std::labs(groups * 3 - announced) > 2) return false;

  for (long g = 0; g < groups; ++g) {
    unsigned v[4];
    for (long k = 0; k < 4; ++k) {
      const long p = 4 * g + 2 + k;  // 1-based
      if (p > length) {
        v[k] = 0;
        continue;
      }
      const Byte c = At(line, static_cast<std::size_t>(p - 1));
      if (uue) {
        v[k] = uuValue(c);
      } else {
        v[k] = XXValue(c);
        if (v[k] == kNone) {
          stream.clear();
          return false;
        }
      }
    }
    const long missing = announced - static_cast<long>(stream.size());
    if (missing > 0) AppendGroup(stream, v[0], v[1], v[2], v[3], static_cast<int>(missing < 3 ? missing : 3));
  }
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool IsSpaceOrDigit(Byte c) { return c == ' ' || (c >= '0' && c <= '9'); }

}  // namespace

Byte Base64Value(Byte c) { return kBase64[c]; }
Byte XXValue(Byte c) { return kXX[c]; }

bool DecodeBase64Line(std::string_view line, std::string& stream) {
  stream.clear();
  const std::size_t length = CountedLength(line);
  if (length < 1 || length > 76 || length % 4 != 0) return false;
  for (std::size_t g = 0; g < length; g += 4) {
    const bool last = g + 4 == length;
    int used = 4, count = 3;
    if (last && line[g + 2] == '=' && line[g + 3] == '=') {
      used = 2;
      count = 1;
    } else if (last && line[g + 3] == '=') {
      used = 3;
      count = 2;
    }
    unsigned v[4] = {0, 0, 0, 0};
    for (int k = 0; k < used; ++k) {
      v[k] = Base64Value(At(line, g + static_cast<std::size_t>(k)));
      if (v[k] == kNone) {
        stream.clear();
        return false;
      }
    }
    AppendGroup(stream, v[0], v[1], v[2], v[3], count);
  }
  return true;
}

bool DecodeUULine(std::string_view line, std::string& stream) { return DecodeLengthPrefixedLine(line, stream, true); }

bool DecodeXXLine(std::string_view line, std::string& stream) { return DecodeLengthPrefixedLine(line, stream, false); }

std::optional<std::string> FindQuotedFileName(std::string_view line) {
  static constexpr std::string_view kKey = "FILENAME";
  const std::size_t length = line.size();
  // The key is ASCII, so only its own letters in either case match it (no
  // Cyrillic letter's upper case is an ASCII letter).
  std::size_t at = 0;
  for (; at + kKey.size() <= length; ++at) {
    if (AsciiUpper(line[at]) != kKey[0]) continue;
    std::size_t k = 1;
    while (k < kKey.size() && AsciiUpper(line[at + k]) == kKey[k]) ++k;
    if (k == kKey.size()) break;
  }
  if (at + kKey.size() > length) return std::nullopt;

  // Each search stops at the line's last character, which must then be the
  // character searched for.
  std::size_t p = at + kKey.size();
  while (p + 1 < length && line[p] == ' ') ++p;
  if (p >= length || line[p] != '=') return std::nullopt;
  ++p;
  while (p + 1 < length && line[p] != '"') ++p;
  if (p >= length || line[p] != '"') return std::nullopt;
  const std::size_t open = p++;
  while (p + 1 < length && line[p] != '"') ++p;
  if (p >= length || line[p] != '"') return std::nullopt;
  return std::string(line.substr(open + 1, p - open - 1));
}

std::optional<std::string> FindBeginName(std::string_view line) {
  static constexpr std::string_view kKey = "BEGIN";
  const std::size_t length = line.size();
  if (length < kKey.size()) return std::nullopt;
  for (std::size_t k = 0; k < kKey.size(); ++k)
    if (UpperRus(At(line, k)) != static_cast<Byte>(kKey[k])) return std::nullopt;
  std::size_t p = kKey.size();
  while (p + 1 < length && IsSpaceOrDigit(At(line, p))) ++p;
  return std::string(TrimControls(line.substr(p)));
}

void DetectFileName(std::string_view line, std::string& pendingName) {
  std::optional<std::string> name = FindQuotedFileName(line);
  if (!name) name = FindBeginName(line);
  if (name) pendingName = std::move(*name);
}

void AppendStreamText(Text& text, std::size_t& settled, std::string_view stream, LineEnd pieces, LineEnd last) {
  if (stream.empty()) return;
  // Splitting "line break" gives the line back unless it holds a break
  // itself; only such lines change, each on its own, since the break after
  // every line closes whatever the line left open. They and the lines after
  // them are taken off the end and put back split.
  std::size_t first = settled < text.size() ? settled : text.size();
  while (first < text.size() && !HasLineBreak(text[first])) ++first;
  if (first < text.size()) {
    Text rest;
    std::size_t bytes = 0;
    for (std::size_t i = first; i < text.size(); ++i) bytes += text[i].size() + 2;
    rest.Reserve(bytes + (text.size() - first) * 2, text.size() - first);
    for (std::size_t i = first; i < text.size(); ++i) {
      const std::string_view line = text[i];
      const LineEnd split = BreakOfPieces(text, i);
      std::size_t start = 0;
      for (std::size_t at = FindLineBreak(line); at < line.size(); at = FindLineBreak(line, start)) {
        rest.AddLine(line.substr(start, at - start), split);
        start = at + (line[at] == '\r' && at + 1 < line.size() && line[at + 1] == '\n' ? 2 : 1);
      }
      rest.AddLine(line.substr(start), text.End(i));
    }
    while (text.size() > first) text.PopLine();
    for (std::size_t i = 0; i < rest.size(); ++i) text.AddLine(rest[i], rest.End(i));
  }
  // The stream split as it stands: a break at its very end ends its last
  // line.
  const std::size_t n = stream.size();
  for (std::size_t start = 0; start < n;) {
    const std::size_t at = FindLineBreak(stream, start);
    if (at == n) {
      text.AddLine(stream.substr(start), last);
      break;
    }
    const std::size_t next = at + (stream[at] == '\r' && at + 1 < n && stream[at + 1] == '\n' ? 2 : 1);
    text.AddLine(stream.substr(start, at - start), next == n ? last : pieces);
    start = next;
  }
  settled = text.size();
}

namespace {

// "begin", three or four octal digits and a name: the line that opens a
// UUE or XXE block.
bool IsBlockBegin(std::string_view line) {
  line = TrimTrailingControls(line);
  if (!line.starts_with("begin ")) return false;
  std::size_t p = 6, digits = 0;
  while (p < line.size() && line[p] >= '0' && line[p] <= '7') ++p, ++digits;
  return (digits == 3 || digits == 4) && p + 1 < line.size() && line[p] == ' ';
}

}  // namespace

namespace {

// The scan; `partText` for the decoded text of a mail's part, where (as in
// a mail's parts) every line between a block's begin and end is tried.
BinaryScan ScanBlocks(Text& text, TFileList& files, StageProgress& progress, bool partText);

}  // namespace

BinaryScan DecodeBinaryBlocks(Text& text, TFileList& files, StageProgress& progress) {
  return ScanBlocks(text, files, progress, false);
}

namespace {

BinaryScan ScanBlocks(Text& text, TFileList& files, StageProgress& progress, bool partText) {
  // The lines that stay go into a text of their own, reserved at the size
  // of the source: a block of text decoded is smaller than its encoding.
  const Text& source = text;
  Text kept;
  kept.Reserve(source.Bytes().size(), source.size());
  std::size_t settled = 0;
  BinaryScan seen;
  bool lastBase64 = false, lastUU = false, lastXX = false;
  bool previous = false;     // the line before was decoded: a block is open
  std::size_t blockEnd = 0;  // the last line of the open block
  std::string pending;
  std::string work;

  // A block has ended: its bytes go into the text when they are text.
  auto endBlock = [&] {
    if (previous && !files.Empty() && !files.IsBinary(static_cast<long>(files.Count()) - 1))
      AppendStreamText(kept, settled, files[files.Count() - 1].Stream, BreakOfPieces(source, blockEnd),
                       source.End(blockEnd));
  };
  // Tries one decoder when the line is long or the decoder took the last
  // line it was given.
  auto attempt = [&](bool isLong, bool& lastTry, bool& seenFlag, auto decode, std::string_view line) {
    if (!isLong && !lastTry) return false;
    lastTry = false;
    if (!decode(line, work)) return false;
    seenFlag = lastTry = true;
    return true;
  };

  // The bar moves about a thousand times however long the text is, and its
  // numbers stay within int.
  // In a mail, a Base64 part is decoded as a whole and named by its
  // headers; header and boundary lines are never decoded, and the lines of
  // other parts are tried for UUE and XXE only.
  const MimeLayout mail = MayBeMail(source) ? ScanMime(source) : MimeLayout{};
  std::size_t nextPart = 0;
  bool uueBlock = false;  // inside a part, between a UUE or XXE block's "begin" and "end"
  std::string body;

  const std::size_t count = source.size();
  const std::size_t step = count / 1000 + 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % step == 0) progress.Progress(0, static_cast<int>(count / step), static_cast<int>(i / step));
    const std::string_view line = source[i];
    bool decoded = false;
    bool tryBase64 = true, tryAny = true;
    if (mail.IsMail) {
      while (nextPart < mail.Parts.size() &&
             (mail.Parts[nextPart].Begin < i || mail.Parts[nextPart].Encoding != MimeRole::Base64))
        ++nextPart;
      const MimeRole role = mail.Roles[i];
      if (nextPart < mail.Parts.size() && mail.Parts[nextPart].Begin == i && mail.Parts[nextPart].End > i) {
        const MimePart& part = mail.Parts[nextPart];
        body.clear();
        for (std::size_t k = part.Begin; k < part.End; ++k) body += source[k];
        if (DecodeBase64Body(body, work)) {
          endBlock();
          previous = false;
          lastBase64 = lastUU = lastXX = false;
          seen.Base64 = true;
          pending.clear();
          if (!part.Name.empty() || HasControlBytes(work)) {
            files.AddFile(part.Name);
            files.AddData(work);
          } else {
            // An inline part of text: its text stands where its lines were,
            // with the UUE and XXE blocks it carries decoded in turn.
            if (work.find("begin ") != std::string::npos) {
              Text inner = Text::FromBytes(work);
              const BinaryScan innerSeen = ScanBlocks(inner, files, NoProgress(), true);
              seen.UUE = seen.UUE || innerSeen.UUE;
              seen.XXE = seen.XXE || innerSeen.XXE;
              seen.Base64 = seen.Base64 || innerSeen.Base64;
              work = inner.TakeBytes();
            }
            // Written in the text's charset when the part has another.
            if (std::string recoded; RecodeText(work, part.CharsetCode, mail.TextCharset, recoded)) work.swap(recoded);
            AppendStreamText(kept, settled, work, BreakOfPieces(source, part.End - 1), source.End(part.End - 1));
          }
          work.clear();
          i = part.End - 1;
          progress.Pump();
          continue;
        }
      }
      // Text outside the structure is looked at as any text is. The text
      // of a plain or quoted-printable part may carry UUE or XXE blocks,
      // taken only between their "begin" and "end" lines; Base64 comes only
      // as a Base64 part.
      const bool inPart = role == MimeRole::Plain || role == MimeRole::QuotedPrintable;
      if (!inPart && role != MimeRole::Text) uueBlock = false;
      tryBase64 = role == MimeRole::Text;
      tryAny = role == MimeRole::Text || (inPart && (uueBlock || IsBlockBegin(line)));
      if (!tryAny) lastBase64 = lastUU = lastXX = false;
      // A header's file name names the block that its body holds as text.
      if (role == MimeRole::Header && !line.empty()) DetectFileName(line, pending);
    }
    // In a mail, between a block's "begin" and "end" lines every line is
    // tried, so that a block of a few bytes (one short line) is not left
    // behind.
    if (IsBlockBegin(line)) {
      uueBlock = true;
    } else if (uueBlock && TrimTrailingControls(line) == "end") {
      uueBlock = false;
    }
    if (!line.empty() && tryAny) {
      DetectFileName(line, pending);
      const bool isLong = line.size() > kBinaryMinLine || ((mail.IsMail || partText) && uueBlock);
      // Outside a begin ... end block, a UUE or XXE block opens only with a
      // full line (61 characters announcing 45 bytes): a heading such as
      // "6. COLLECTIONS OF DOCUMENTS" also fits the shorter lines' form.
      const bool full = CountedLength(line) == 61;
      const bool openUU = uueBlock || (full && line[0] == 'M');
      const bool openXX = uueBlock || (full && line[0] == 'h');
      decoded = (tryBase64 && attempt(isLong, lastBase64, seen.Base64, DecodeBase64Line, line)) ||
                attempt(isLong && openUU, lastUU, seen.UUE, DecodeUULine, line) ||
                attempt(isLong && openXX, lastXX, seen.XXE, DecodeXXLine, line);
      if (decoded) {
        if (!previous || files.Empty()) files.AddFile(pending);
        pending.clear();
        files.AddData(work);
        work.clear();
        previous = true;
        blockEnd = i;
      }
    }
    if (!decoded) {
      endBlock();
      previous = false;
      kept.AddLine(line, source.End(i));
      if (progress.StopRequested()) {
        seen.Broken = true;  // the text stays as it was
        return seen;
      }
    }
    progress.Pump();
  }
  endBlock();  // the text ended inside a block
  text.swap(kept);
  return seen;
}

}  // namespace

namespace {

// A byte from 0x80 up after the first byte fails all three decoders
// (Base64 and XXE accept only their alphabets, UUE only bytes below 0x60
// after its length byte), which settles almost every line of a Cyrillic
// text; any other long line is put to the decoders themselves.
bool BinaryLineInert(std::string_view line, std::string& scratch) {
  if (line.size() <= kBinaryMinLine || HasHighByte(line.substr(1))) return true;
  return !(DecodeBase64Line(line, scratch) || DecodeUULine(line, scratch) || DecodeXXLine(line, scratch));
}

}  // namespace

// A line the decoders take holds only bytes below 0x80 and none of CR and LF
// but for a break at its very end (which they leave out), so, being longer
// than kBinaryMinLine, a run of at least 19 such bytes: only the lines that
// hold one are looked at, whatever breaks their bytes hold.
bool BinaryInert(const Text& text, const TFileList& files) {
  if (!files.Empty()) return false;
  if (MayBeMail(text)) {
    const MimeLayout mail = ScanMime(text);
    if (std::any_of(mail.Parts.begin(), mail.Parts.end(),
                    [](const MimePart& part) { return part.Encoding == MimeRole::Base64; }))
      return false;
  }
  return BinaryLinesInert(text);
}

bool BinaryLinesInert(const Text& text) {
  // A UUE or XXE block may be a single short line after its "begin".
  const std::string_view bytes = text.Bytes();
  for (std::size_t at = bytes.find("begin "); at != std::string_view::npos; at = bytes.find("begin ", at + 1)) {
    if (at > 0 && bytes[at - 1] != '\n' && bytes[at - 1] != '\r') continue;
    std::size_t end = FindLineBreak(bytes, at);
    if (IsBlockBegin(bytes.substr(at, end - at))) return false;
  }
  std::string scratch;
  return EveryTextLineHolding(
      text, [](std::string_view bytes, std::size_t from) { return FindPlainRun(bytes, kBinaryMinLine - 2, from); },
      [&](std::string_view line) { return BinaryLineInert(line, scratch); });
}

std::vector<std::uint8_t> ProtectedBlockLines(const Text& text, const std::vector<MimeRole>* roles) {
  std::vector<std::uint8_t> marks;
  std::string scratch;
  const std::size_t count = text.size();
  const auto open = [&](std::size_t i) {
    return roles == nullptr || (*roles)[i] == MimeRole::Text || (*roles)[i] == MimeRole::Plain;
  };
  const auto mark = [&](std::size_t i) {
    if (marks.empty()) marks.assign(count, 0);
    marks[i] = 1;
  };
  bool base64 = false;  // the last line that was not empty was a Base64 line
  for (std::size_t i = 0; i < count; ++i) {
    if (!open(i)) {
      base64 = false;
      continue;
    }
    const std::string_view line = text[i];
    if (IsBlockBegin(line)) {
      // The block runs to its "end" line, through its encoded lines, empty
      // lines and the line holding a grave accent.
      mark(i);
      std::size_t k = i + 1;
      for (; k < count && open(k); ++k) {
        const std::string_view l = text[k];
        const std::string_view trimmed = TrimTrailingControls(l);
        if (trimmed == "end") {
          mark(k);
          break;
        }
        if (!trimmed.empty() && trimmed != "`" && !DecodeUULine(l, scratch) && !DecodeXXLine(l, scratch)) {
          --k;  // the block ended without its "end" line; this line is looked at again
          break;
        }
        mark(k);
      }
      i = std::min(k, count - 1);
      base64 = false;
      continue;
    }
    if (line.empty()) continue;
    base64 = (base64 || line.size() > kBinaryMinLine) && DecodeBase64Line(line, scratch);
    if (base64) mark(i);
  }
  return marks;
}

BinaryScan DecodeBinary(Text& text, TFileList& files, StageProgress& progress) {
  progress.Status(progress.Tr("Checking binary...", "Проверка бинарных кодировок..."));
  progress.Pump();
  const BinaryScan seen = DecodeBinaryBlocks(text, files, progress);
  progress.Progress(0, 1, 0);
  progress.Status("");
  FinishNames(files);
  return seen;
}

}  // namespace kamvo
