// HTML source to plain text, only for a text that is HTML.
//
// A text is HTML (HasHtmlEvidence) when markup opens it (after blanks and
// a byte order mark) or opens a paragraph the way the body of a mail or of
// one of its parts does (a line after a blank one, where the lines before
// are a header block, "Name: value" or "--boundary"), and it holds markup
// only HTML has: a "<!DOCTYPE html" declaration; a start tag of html,
// head, body or meta; a start tag of a known element with a quoted
// attribute value (<a href="...">, <div class='x'>); an end tag after a
// start tag of the same element (<p>...</p>, <b>...</b>); a script or a
// style with its end tag; or two or more lines that end with a <br> tag.
// Source code whose comments and strings hold tags and even whole pages
// (" *  <em>not less</em> than", f'<a href="{url}">', a template in a
// string) is no HTML, nor is a <br> inside a line ("a joke: <BR>, said
// he"), a usage line's "<input> <output>", "#include <stdio.h>",
// "<ivan@example.ru>", "<https://...>", "<year>" or "a<b".
//
// In an HTML text the markup goes as a browser hides it: comments
// ("<!--" to the first "-->"), the doctype and an "<?xml ...>" declaration,
// start and end tags whose name is a known HTML element (any case) with
// their attributes (a quoted value may hold ">" and line breaks), and the
// content of <script> and <style> with its end tag. Nothing else in angle
// brackets is markup: "<stdio.h>", "<ivan@example.ru>", "<year>",
// "a<b ? x : y" and "<XXCENTURY>" stay, in an HTML page too. Where what
// follows "<" is not a well-formed tag, the "<" stays. A tag written alone
// between quotes ("<p>", '</b>'), as code and text about HTML quote one, is
// quoted, not used: it stays and is no evidence.
//
// Character references: every HTML5 name (its character in Windows-1251,
// the internal code page; a name whose character it lacks stays as
// written), "&#N;" and "&#xH;" (the numbers 128-159 read as Windows-1252,
// as browsers read them). The names of the Latin-1 letters and a few signs
// (the table below) stand for the Windows-1251 byte at their ISO 8859-1
// code position, without regard to case, so Cyrillic text whose bytes were
// written out as Latin-1 entity names (&Agrave;&aacute; for "Аб") reads
// correctly again. Only complete references ending in ";" are decoded:
// "AT&T", "a=1&copy=2" and "&amp" stay. References to control characters
// other than the tab stay as written.
//
// In a text that is not HTML a reference is decoded only when it stands
// for a character outside ASCII and touches such a character or another
// such reference, as the letters of a word written out as references do
// ("&#1087;&#1088;&#1080;", "&laquo;ёлка&raquo;", "вс&#x451;"); "&amp;",
// "&lt;", "&quot;" and "&nbsp;" stay, and so do "&copy; 2024" and the
// "&#160;" of code that writes HTML. No tag is removed and no line is
// joined.
// In a UTF-8 text the characters references stand for are written in UTF-8.
//
// Lines: in an HTML text with references the line breaks between the first
// and the last reference go, and "<BR>", "<P>", "<LI>", "<TR>" and "</TR>"
// (any case, written so) make the lines instead; then the markup goes.
// The "<" and ">" (and quotes) that references stand for are text, never
// the start or the end of a tag or of a quoted value.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/lines.h"
#include "codepages/text.h"
#include "decoders/stage_progress.h"

namespace kamvo {

// One row of the HTML table. Patterns are stored in capitals and match
// without regard to case.
struct HtmlRow {
  std::string_view Pattern;
  std::string_view Replacement;  // Windows-1251 bytes
  bool FollowsCase;              // replacement takes the case of the entity name
};

constexpr int kHtmlRowCount = 48;
// Rows 1..5 (indexes 0..4) are the tag rows, rows 6..48 the entity rows.
constexpr int kHtmlTagRows = 5;
extern const std::array<HtmlRow, kHtmlRowCount> HtmlTable;

// The 0-based positions, in ascending order, of the "<", ">", '"' and "'"
// of a text that stand for themselves (references such as &lt; and &quot;
// wrote them): no markup or quoted value starts or ends at them.
using HtmlLiterals = std::vector<std::size_t>;

// Places in a text, each the boundary before the character at a position
// (the text's size for its end), in ascending order. Every pass that is
// given them moves them along with the text: a place whose characters
// stay moves with them, one whose characters went lies where they were.
// The stage keeps where each source line's successor begins, to find the
// line each line of the result stands in.
using HtmlPlaces = std::vector<std::size_t>;

// A character reference decoded into Windows-1251.
struct HtmlReference {
  std::size_t Length = 0;  // its characters in the text; 0 when it is not decoded
  std::size_t Size = 0;    // bytes of the replacement
  char Bytes[6] = {};
  std::string_view Replacement() const { return {Bytes, Size}; }
};
// The reference that text[at] ("&") starts, decoded when `html` or, in a
// text that is not HTML, when it stands for no ASCII character (the stage
// decodes such a one only where it touches a character beyond ASCII or
// another such reference; see above). In a UTF-8
// text (`utf8`) the replacement is the character's UTF-8 form, so that the
// text stays UTF-8 for the step that reads it.
HtmlReference MatchHtmlReference(std::string_view text, std::size_t at, bool html, bool utf8 = false);

// True when the text is UTF-8 with at least one character beyond ASCII
// (the stage writes references into it in UTF-8).
bool IsUtf8Text(std::string_view text);

// True when a name (any case) is that of a known HTML element.
bool IsHtmlElementName(std::string_view name);

// True when the text is HTML (see above). Sets stopped, and gives false,
// when asked to stop.
bool HasHtmlEvidence(std::string_view text, StageProgress& progress, bool& stopped);
inline bool HasHtmlEvidence(std::string_view text) {
  bool stopped = false;
  return HasHtmlEvidence(text, NoProgress(), stopped);
}

// The markup of an HTML text, from its "<" to one past its end, in order.
struct HtmlSpan {
  std::size_t Begin;
  std::size_t End;
};

// Entity phase: the references of the text decoded, as in an HTML text
// when `html`, else as in one that is not (see above).
struct HtmlEntityPass {
  std::string Text;
  // 1-based positions of the leftmost and the rightmost replacement in Text;
  // 0 when nothing was replaced.
  std::size_t First = 0;
  std::size_t Last = 0;
  HtmlLiterals Literals;  // the markup characters references wrote
  bool Broken = false;
};
// Between blocks of text the passes let pending events run and stop when
// asked to; the entity phase moves the progress bar over 1..48, to the table
// row (6..48) that the share of text done so far corresponds to.
HtmlEntityPass ReplaceHtmlEntities(std::string_view text, bool html, bool utf8 = false,
                                   StageProgress& progress = NoProgress(), HtmlPlaces* places = nullptr);

// Deletes CR LF pairs from the 1-based span first..last (both included) until
// none is left, a pair that two deletions bring together included. The
// literal positions, when given, are moved along with their characters.
std::string JoinHtmlSpan(std::string_view text, std::size_t first, std::size_t last, HtmlLiterals* literals = nullptr,
                         HtmlPlaces* places = nullptr);

// Replaces every tag row ("<BR>", "<P>", "<LI>", "<TR>", "</TR>", any case)
// by CR LF, except where its "<" or ">" is a literal one. Sets broken when
// asked to stop; the rest stays. The literal positions are moved
// along with their characters.
std::string ReplaceHtmlTagRows(std::string_view text, HtmlLiterals& literals, StageProgress& progress, bool& broken,
                               HtmlPlaces* places = nullptr);

// True when "<" followed by c may open markup: c is an ASCII letter, "/",
// "!" or "?".
constexpr bool OpensHtmlTag(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '!' || c == '?';
}

// Tag phase of an HTML text: deletes its markup (see above); the literal
// "<", ">" and quotes neither open nor close anything.
struct HtmlTagPass {
  std::string Text;
  bool Changed = false;
  bool Broken = false;
};
HtmlTagPass RemoveHtmlTags(std::string_view text, const HtmlLiterals& literals = {},
                           StageProgress& progress = NoProgress(), HtmlPlaces* places = nullptr);

// True when the text holds a "<" that may open markup.
bool HasHtmlTagStart(std::string_view text);

// The markup of an HTML text; stops early (setting broken) when asked to.
std::vector<HtmlSpan> FindHtmlMarkup(std::string_view text, const HtmlLiterals& literals, StageProgress& progress,
                                     bool& broken);

// All phases over one text (lines followed by CR LF): in an HTML text the
// references, then the line phase, then the markup; in another text the
// references only.
struct HtmlResult {
  std::string Text;
  bool Changed = false;
  bool Broken = false;
};
HtmlResult HtmlToText(std::string_view text, StageProgress& progress = NoProgress(), HtmlPlaces* places = nullptr);

// The stage's quick check: true when the text holds nothing the stage would
// change. It changes a text only through a reference, which starts with "&",
// or markup, which starts with a "<" that opens one. Without entities no "<"
// or ">" is a literal one and no line breaks are joined, so the tags are
// those the lines hold; a "<" at the end of a line is followed by its line
// break and opens nothing. The answer for a text is the answers for its
// lines together.
inline bool HtmlTextInert(std::string_view text) {
  return text.find('&') == std::string_view::npos && !HasHtmlTagStart(text);
}
// Over a Text the bytes tell it at once: a "<" at the end of a line is
// followed by a break byte, which opens nothing either.
inline bool HtmlInert(const Text& text) { return HtmlTextInert(text.Bytes()); }

// The HTML stage: rewrites the text (as its lines each followed by CR LF,
// split again at CR LF, CR and LF afterwards) and returns whether it
// changed; the status line says what is checked. A line of the result
// takes the break of the source line it stands in: lines joined take the
// break of the last of them, lines a tag row or a break of a line's own
// splits off take the break of the line they were part of; the last line
// keeps a missing break. On a stop the part not yet worked on stays as it
// was.
bool DecodeHtml(Text& text, StageProgress& progress);

}  // namespace kamvo
