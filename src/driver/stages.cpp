#include "driver/stages.h"

#include "codepages/code_tables.h"
#include "decoders/binary.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "decoders/translit.h"

namespace kamvo {

// Every stage reads the whole text, and most of them copy it line by line
// while they do, yet an ordinary text holds nothing that any of them
// decodes. Before a stage runs, one quick read of the text looks for what
// the stage needs to act at all; when that is missing the stage would leave
// the text, the counters and the attachments as they are, and it is skipped.
// The window is left as the stage leaves it: an empty status line and the
// progress bar at 0 of 0..1. Whenever the check finds something the stage
// might act on, the stage itself runs and decides.

namespace {

void AsSkipped(Converter& converter) {
  converter.Progress(0, 1, 0);
  converter.WriteStatusInfo("");
}

// The escape stage joins a line that ends in "=" (a soft break) with the
// next and accepts a group of lines only when it holds a quoted-printable,
// %XX or RTF escape or a numeric reference. A line with none of these and no
// "=" at its end passes through unchanged.
bool EscapeLineInert(std::string_view line, const DecoderSwitches& boxes) {
  for (std::size_t at = FindAnyByte(line, "=%\\&"); at != std::string_view::npos;
       at = FindAnyByte(line, "=%\\&", at + 1)) {
    const std::string_view rest = line.substr(at);
    switch (line[at]) {
      case '=':
        if (TrimTrailingControls(line).ends_with('=')) return false;
        if (boxes.QP && MatchHexEscape(rest, HexEscape::QuotedPrintable) >= 0) return false;
        break;
      case '%':
        if (boxes.QP && MatchHexEscape(rest, HexEscape::Percent) >= 0) return false;
        break;
      case '\\':
        if (boxes.Rtf && MatchHexEscape(rest, HexEscape::Rtf) >= 0) return false;
        break;
      default: {  // '&'
        std::size_t length = 0;
        if (boxes.Html && MatchNumericReference(rest, length) >= 0) return false;
      }
    }
  }
  return true;
}

bool EscapeInert(const Lines& text, const DecoderSwitches& boxes) {
  for (const std::string& line : text)
    if (!EscapeLineInert(line, boxes)) return false;
  return true;
}

// The binary stage tries a line only when it is longer than 20 bytes, until
// some line has decoded. A byte from 0x80 up after the first byte fails all
// three decoders (Base64 and XXE accept only their alphabets, UUE only bytes
// below 0x60 after its length byte), which settles almost every line of a
// Cyrillic text; any other long line is put to the decoders themselves.
bool BinaryLineInert(std::string_view line, std::string& scratch) {
  if (line.size() <= 20 || HasHighByte(line.substr(1))) return true;
  return !(DecodeBase64Line(line, scratch) || DecodeUULine(line, scratch) || DecodeXXLine(line, scratch));
}

bool BinaryInert(const Lines& text) {
  std::string scratch;
  for (const std::string& line : text)
    if (!BinaryLineInert(line, scratch)) return false;
  return true;
}

// The HTML stage changes a text only through an entity, which starts with
// "&", or a tag, which starts with a "<" followed by a letter, "/", "!" or
// "?". Without entities no "<" or ">" is a literal one and no line breaks
// are joined, so the tags are those the lines hold; a "<" at the end of a
// line is followed by its line break and opens nothing.
bool HtmlTextInert(std::string_view text) {
  return text.find('&') == std::string_view::npos && !HasHtmlTagStart(text);
}

bool HtmlInert(const Lines& text) {
  for (const std::string& line : text)
    if (!HtmlTextInert(line)) return false;
  return true;
}

// The same checks over a whole text before it is split into lines. A line
// is a run of bytes between line breaks; the empty pieces that CR LF pairs
// and a final break leave between breaks are not lines, but every check
// passes an empty line, so it makes no difference.

bool EscapeTextInert(std::string_view text, const DecoderSwitches& boxes) {
  // Only the lines that hold one of the bytes sought are looked at; `done`
  // is where the lines already judged end.
  std::size_t done = 0;
  for (std::size_t at = FindAnyByte(text, "=%\\&"); at != std::string_view::npos;
       at = FindAnyByte(text, "=%\\&", done)) {
    std::size_t begin = at;
    while (begin > done && text[begin - 1] != '\n' && text[begin - 1] != '\r') --begin;
    const std::size_t end = FindLineBreak(text, at);
    if (!EscapeLineInert(text.substr(begin, end - begin), boxes)) return false;
    done = end;
  }
  return true;
}

// A line the decoders are tried on has more than 20 bytes and none from
// 0x80 up after its first: its bytes 2 to 21 are a plain run (no byte from
// 0x80 up, no break). Only the lines that hold such a run are looked at.
bool BinaryTextInert(std::string_view text) {
  constexpr std::size_t kRun = 20;
  std::string scratch;
  std::size_t done = 0;  // where the lines already judged end
  for (std::size_t at = FindPlainRun(text, kRun); at != std::string_view::npos;
       at = FindPlainRun(text, kRun, done)) {
    std::size_t begin = at;
    while (begin > done && text[begin - 1] != '\n' && text[begin - 1] != '\r') --begin;
    const std::size_t end = FindLineBreak(text, at);
    if (!BinaryLineInert(text.substr(begin, end - begin), scratch)) return false;
    done = end;
  }
  return true;
}

}  // namespace

bool StagesLeaveTextAlone(std::string_view text, const DecoderSwitches& switches) {
  // Translit has no quick check: it runs whenever it is switched on.
  if (switches.Translit) return false;
  // A run starts with no HTML decoded and no attachment, which the escape
  // and binary stages' checks require.
  const bool escapes = switches.QP || switches.Rtf || switches.Html;
  // One search settles the escape and HTML checks for a text that holds
  // none of the bytes either of them looks for.
  const bool quiet = escapes && FindAnyByte(text, switches.Html ? "=%\\&<" : "=%\\&") == std::string_view::npos;
  if (escapes && !quiet && !EscapeTextInert(text, switches)) return false;
  if (switches.Html && !quiet && !HtmlTextInert(text)) return false;
  if (switches.Base64 && !BinaryTextInert(text)) return false;
  return true;
}

void QuotedPrintableStage(Converter& converter) {
  if (converter.Counters.HtmlCount == 0 && EscapeInert(converter.TextBuffer, converter.window().Switches()))
    return AsSkipped(converter);
  ConvQuotedPrintable(converter);
}

void BinaryStage(Converter& converter) {
  if (converter.Attachments.Empty() && BinaryInert(converter.TextBuffer)) return AsSkipped(converter);
  ConvBinary(converter);
}

void HtmlStage(Converter& converter) {
  if (HtmlInert(converter.TextBuffer)) return AsSkipped(converter);
  ConvHTML(converter);
}

DecoderStages StandardStages() {
  DecoderStages stages;
  stages.QuotedPrintable = QuotedPrintableStage;  // quoted-printable, 7-bit, RTF escapes, numeric references
  stages.Binary = BinaryStage;                    // Base64, UUE and XXE blocks and their attachments
  stages.Html = HtmlStage;                        // HTML entities and tags
  stages.Translit = ConvTranslit;                 // translit
  stages.LeaveTextAlone = StagesLeaveTextAlone;
  return stages;
}

}  // namespace kamvo
