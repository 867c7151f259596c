// The first decoding stage: quoted-printable (=XX), 7-bit (%XX), RTF hex
// escapes (\'xx) and numeric character references (&#N;).
//
// The text is decoded one line group at a time. A group is a line together
// with the lines that soft line breaks (a final "=") join to it; the blanks
// and control characters at the end of its lines are transport padding and
// go, and the lines are joined into one string before the passes run. The
// blanks at the start of a line belong to the text and stay: the line after
// a soft break goes on exactly where the break was, and indentation is kept.
// Lines that come before the first group in which something was decoded
// pass through exactly as they were; from that group on, every group is
// written trimmed and joined, whether or not it holds escapes.
#pragma once

#include <cstddef>
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

// One hex pass over text. The pass is accepted when its escapes of bytes
// 0x80 and above outnumber the literal bytes 0x80 and above, or when it
// decoded more than 10 escapes; only then is text replaced by its decoded
// form. Returns whether it was accepted.
bool DecodeHexPass(std::string& text, HexEscape kind);
// The same, writing the decoded form through scratch (its old bytes are
// lost), so that many passes share one buffer.
bool DecodeHexPass(std::string& text, HexEscape kind, std::string& scratch);

// Replaces every numeric reference in text by its byte; returns how many.
int DecodeNumericReferences(std::string& text);
int DecodeNumericReferences(std::string& text, std::string& scratch);

// Joins the line group that starts at source[first] into joined and returns
// the index of its last line.
std::size_t JoinLineGroup(const Text& source, std::size_t first, std::string& joined);

// Runs the four passes over a joined group in their order (=XX, %XX, \'xx,
// &#N;), each when its switch is on, raising the counters. Returns whether
// a hex pass was accepted.
bool DecodeLineGroup(std::string& joined, const EscapeSwitches& switches, EscapeCounters& counters);
// The same with a scratch buffer for the passes, used again for every group.
bool DecodeLineGroup(std::string& joined, const EscapeSwitches& switches, EscapeCounters& counters,
                     std::string& scratch);

struct EscapeResult {
  bool Converted = false;  // some group was accepted
  bool Stopped = false;    // asked to stop; the output is incomplete
  // An output was built: some group was accepted, or a reference had been
  // decoded before. Without one the result is the source as it is.
  bool Rewritten = false;
};

// Decodes the escapes of the whole text into out, in time linear in the
// size of the text. A line passed through keeps its break; a group takes
// the break of its last line (a decoded CR or LF stays inside the line). A
// group is accepted when a hex pass was accepted in it or when
// counters.HtmlCount is above 0 after it (so a count above 0 on entry makes
// every group accepted). Before each unit of work (a group, or a run of
// lines that pass through as they are) the bar may move over 1..lines (at
// most about a thousand times) and a stop is asked for. Lines no group can
// change are copied in runs, and out is written only from the first
// accepted group on: the stage itself (DecodeEscapes) builds no output at
// all for a text it leaves alone.
EscapeResult DecodeEscapedLines(const Text& source, Text& out, const EscapeSwitches& switches,
                                EscapeCounters& counters, StageProgress& progress = NoProgress());

// The stage's quick check: true when the stage would leave the text and the
// counters alone. A line with no escape the switches enable and no "=" at
// its end (a soft break) passes through unchanged; but once a numeric
// reference has been decoded (counters.HtmlCount above 0) every group is
// rewritten. The answer for a text is the answers for its lines together.
inline constexpr std::string_view kEscapeLeads = "=%\\&";  // the bytes that start an escape or a soft break
bool EscapeLineInert(std::string_view line, const EscapeSwitches& switches);
bool EscapesInert(const Text& text, const EscapeSwitches& switches, const EscapeCounters& counters);
// The stage: decodes the text in place with the passes the switches enable,
// raising the counters; the status line says what is checked. On a stop
// the text stays as it was before the stage. Returns whether anything was
// converted.
bool DecodeEscapes(Text& text, const EscapeSwitches& switches, EscapeCounters& counters,
                   StageProgress& progress);

}  // namespace kamvo
