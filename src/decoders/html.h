// HTML source to plain text: a fixed set of named entities becomes their
// Windows-1251 characters, five tags become line breaks and every other tag
// is deleted.
//
// Only markup goes: a tag opens only where "<" is followed by an ASCII
// letter, "/", "!" or "?", as in HTML itself, so "a < b" and "<<quotes>>"
// stay whole; and the "<" and ">" that the entities &lt; and &gt; stand for
// are text, never the start or the end of a tag.
//
// The letter entities stand for the Windows-1251 byte at the entity's
// ISO 8859-1 code position, so Cyrillic text whose bytes were written out as
// Latin-1 entity names (&Agrave;&aacute; for "Аб") reads correctly again.
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

// The 0-based positions, in ascending order, of the "<" and ">" of a text
// that stand for themselves (they were written as &lt; and &gt;): no tag
// starts or ends at them.
using HtmlLiterals = std::vector<std::size_t>;

// Places in a text, each the boundary before the character at a position
// (the text's size for its end), in ascending order. Every pass that is
// given them moves them along with the text: a place whose characters
// stay moves with them, one whose characters went lies where they were.
// The stage keeps where each source line's successor begins, to find the
// line each line of the result stands in.
using HtmlPlaces = std::vector<std::size_t>;

// Entity phase: every entity of the table in the text replaced.
struct HtmlEntityPass {
  std::string Text;
  // 1-based positions of the leftmost and the rightmost replacement in Text;
  // 0 when nothing was replaced.
  std::size_t First = 0;
  std::size_t Last = 0;
  HtmlLiterals Literals;  // the "<" and ">" of &lt; and &gt;
  bool Broken = false;
};
// Between blocks of text the passes let pending events run and stop when
// asked to; the entity phase moves the progress bar over 1..48, to the table
// row (6..48) that the share of text done so far corresponds to.
HtmlEntityPass ReplaceHtmlEntities(std::string_view text, StageProgress& progress = NoProgress(),
                                   HtmlPlaces* places = nullptr);

// Deletes CR LF pairs from the 1-based span first..last (both included) until
// none is left, a pair that two deletions bring together included. The
// literal positions, when given, are moved along with their characters.
std::string JoinHtmlSpan(std::string_view text, std::size_t first, std::size_t last,
                         HtmlLiterals* literals = nullptr, HtmlPlaces* places = nullptr);

// Replaces every tag row ("<BR>", "<P>", "<LI>", "<TR>", "</TR>", any case)
// by CR LF, except where its "<" or ">" is a literal one. Sets broken when
// asked to stop; the rest stays. The literal positions are moved
// along with their characters.
std::string ReplaceHtmlTagRows(std::string_view text, HtmlLiterals& literals, StageProgress& progress,
                               bool& broken, HtmlPlaces* places = nullptr);

// True when "<" followed by c opens a tag: c is an ASCII letter, "/", "!"
// or "?".
constexpr bool OpensHtmlTag(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '!' || c == '?';
}

// Tag phase: deletes each tag, from a "<" that opens one (not a literal one)
// to the first ">" after it (not a literal one), when it holds fewer than two
// LF; a "<" whose tag would hold two or more LF is kept.
struct HtmlTagPass {
  std::string Text;
  bool Changed = false;
  bool Broken = false;
};
HtmlTagPass RemoveHtmlTags(std::string_view text, const HtmlLiterals& literals = {},
                           StageProgress& progress = NoProgress(), HtmlPlaces* places = nullptr);

// True when the text holds a "<" that opens a tag.
bool HasHtmlTagStart(std::string_view text);

// All phases over one text (lines followed by CR LF).
struct HtmlResult {
  std::string Text;
  bool Changed = false;
  bool Broken = false;
};
HtmlResult HtmlToText(std::string_view text, StageProgress& progress = NoProgress(),
                      HtmlPlaces* places = nullptr);

// The stage's quick check: true when the text holds nothing the stage would
// change. It changes a text only through an entity, which starts with "&",
// or a tag, which starts with a "<" that opens one. Without entities no "<"
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
