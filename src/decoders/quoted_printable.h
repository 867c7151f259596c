// The first decoding stage: quoted-printable (=XX), 7-bit (%XX), RTF hex
// escapes (\'xx) and numeric character references (&#N;).
//
// A mail (see decoders/mime.h) is decoded by its structure: quoted-printable
// as its parts declare it (every =XX, soft breaks joined within the part),
// encoded words in its Subject, From, To and Cc fields; header and boundary
// lines and Base64 parts are never touched; a part declared 7bit or 8bit
// gets the later passes only; its text outside the structure (preamble,
// epilogue, parts that declare no encoding) is decoded as any text.
//
// Any other text is decoded only where it shows the escapes' own evidence,
// line group by line group, never because something elsewhere in the text
// was decoded:
// - A group is a line together with the lines its soft breaks (a final "=",
//   on a group of at least four characters) join to it. It is decoded as
//   quoted-printable (joined, the blanks and control characters at the end
//   of its lines dropped, every =XX decoded) only when its =XX escapes form
//   letters: two escapes of bytes 0x80 and above side by side, more such
//   escapes than literal bytes 0x80 and above, and no escape of a control
//   byte (other than TAB, LF, CR). A group right after a decoded one needs
//   a single escape of a high byte instead of two side by side. So a
//   configuration line "NAME=" is never joined to the next one, and "a=3Db"
//   stays.
// - Every other line stays a line of its own, untrimmed, and only the later
//   passes run over it.
// - %XX: in an address (a run of bytes without blanks holding "://" or
//   beginning with "www.") runs of two or more escapes of high bytes (the
//   letters of a name) are decoded and the escapes of signs stay; elsewhere
//   on the line every %XX is decoded only when the escapes there form
//   letters as for =XX. "printf("%02x %5d")" stays.
// - \'xx: decoded when its escapes of high bytes outnumber the literal
//   high bytes of the line, or when more than 10 escapes decode.
// - &#N;: each reference is decoded where it stands.
// - The lines of Base64, UUE and XXE blocks are never touched, and a soft
//   break never joins a line to one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codepages/ascii.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "decoders/stage_progress.h"

namespace kamvo {

// Which passes run: QP covers =XX and %XX, Rtf covers \'xx, Html covers &#N;.
struct EscapeSwitches {
  bool QP = true;
  bool Rtf = true;
  bool Html = true;
};

// The stage's share of the decoder counters. QPCount, SevenBitCount and
// RtfCount count the groups in which their pass was accepted, HtmlCount the
// decoded numeric references.
struct EscapeCounters {
  int QPCount = 0;
  int SevenBitCount = 0;
  int RtfCount = 0;
  int HtmlCount = 0;
};

// The three hex escapes: =XX, %XX and \'xx.
enum class HexEscape { QuotedPrintable, Percent, Rtf };

// The byte of the escape of the given kind at the start of rest, or -1 when
// rest does not start with one.
int MatchHexEscape(std::string_view rest, HexEscape kind);

// The byte of the numeric reference at the start of rest, or -1 when rest
// does not start with one that decodes; length receives the reference's
// length. A reference is "&#", one to four decimal digits and ";", with at
// least six characters left from its "&"; the number must have a
// Windows-1251 byte.
int MatchNumericReference(std::string_view rest, std::size_t& length);

// One hex pass over text with the rule of RTF escapes. The pass is
// accepted when its escapes of bytes 0x80 and above outnumber the literal
// bytes 0x80 and above, or when it decoded more than 10 escapes; only then
// is text replaced by its decoded form. Returns whether it was accepted.
bool DecodeHexPass(std::string& text, HexEscape kind);
// The same, writing the decoded form through scratch (its old bytes are
// lost), so that many passes share one buffer.
bool DecodeHexPass(std::string& text, HexEscape kind, std::string& scratch);

// Every escape of the kind in text decoded.
std::string DecodeAllHexEscapes(std::string_view text, HexEscape kind);

// What the =XX (or %XX) escapes of a text show.
struct EscapeEvidence {
  std::int64_t HighEscapes = 0;   // escapes of bytes 0x80 and above
  std::int64_t HighLiterals = 0;  // literal bytes 0x80 and above
  std::int64_t Controls = 0;      // escapes of control bytes other than TAB, LF, CR
  bool Run = false;               // two escapes of high bytes side by side
};
EscapeEvidence QuotedPrintableEvidence(std::string_view text);
// Whether escapes with this evidence form letters: no control escapes, more
// high escapes than high literals, and two high escapes side by side (with
// `weak`, one high escape is enough).
bool QuotedPrintableAccepted(const EscapeEvidence& evidence, bool weak);

// The %XX pass over one line or group: escapes in addresses and, with
// evidence, elsewhere (see above). True when it changed text.
bool DecodePercentPass(std::string& text, std::string& scratch);

// Replaces every numeric reference in text by its byte; returns how many.
int DecodeNumericReferences(std::string& text);
int DecodeNumericReferences(std::string& text, std::string& scratch);

// Joins the line group that starts at source[first] into joined and returns
// the index of its last line; the group ends before line `limit`.
std::size_t JoinLineGroup(const Text& source, std::size_t first, std::string& joined,
                          std::size_t limit = static_cast<std::size_t>(-1));

// The passes after =XX (%XX, \'xx, &#N;) over a line or a decoded group,
// each when its switch is on, raising the counters. True when one changed it.
bool DecodeLaterPasses(std::string& text, const EscapeSwitches& switches, EscapeCounters& counters,
                       std::string& scratch);

struct EscapeResult {
  bool Converted = false;  // something was decoded
  bool Stopped = false;    // asked to stop; the output is incomplete
  // An output was built. Without one the result is the source as it is.
  bool Rewritten = false;
};

// Decodes the escapes of the whole text into out, in time linear in the
// size of the text. A line passed through keeps its break; a group takes
// the break of its last line (a decoded CR or LF stays inside the line).
// Before each unit of work (a group, or a run of
// lines that pass through as they are) the bar may move over 1..lines (at
// most about a thousand times) and a stop is asked for. Lines nothing can
// change are copied in runs, and out is written only from the first
// change on: the stage itself (DecodeEscapes) builds no output at all for
// a text it leaves alone.
EscapeResult DecodeEscapedLines(const Text& source, Text& out, const EscapeSwitches& switches, EscapeCounters& counters,
                                StageProgress& progress = NoProgress());

// The stage's quick check: true when the stage would leave the text and the
// counters alone. A line with no escape the switches enable and no "=" at
// its end (a soft break) passes through unchanged; the answer for a text is
// the answers for its lines together. A mail with encoded words or a
// quoted-printable part is always decoded, and a count of references above
// 0 on entry always runs the stage.
inline constexpr std::string_view kEscapeLeads = "=%\\&";  // the bytes that start an escape or a soft break
bool EscapeLineInert(std::string_view line, const EscapeSwitches& switches);
bool EscapesInert(const Text& text, const EscapeSwitches& switches, const EscapeCounters& counters);
// The line-by-line part of EscapesInert: every line inert, the mail aside.
// A text split at line breaks has it when each of its pieces has it.
bool EscapeLinesInert(const Text& text, const EscapeSwitches& switches);
// The lines, in order, that EscapeLineInert does not find inert.
std::vector<std::size_t> EscapeLinesNotInert(const Text& text, const EscapeSwitches& switches);
// The stage: decodes the text in place with the passes the switches enable,
// raising the counters; the status line says what is checked. On a stop
// the text stays as it was before the stage. Returns whether anything was
// converted.
bool DecodeEscapes(Text& text, const EscapeSwitches& switches, EscapeCounters& counters, StageProgress& progress);

}  // namespace kamvo
