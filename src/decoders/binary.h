// Base64, UUE and XXE blocks: finding runs of encoded lines in a text,
// decoding them into the attachment list, and putting the blocks that turn
// out to be text back into the text in place of their encoded lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/text.h"
#include "decoders/file_list.h"
#include "decoders/mime.h"
#include "decoders/stage_progress.h"

namespace kamvo {

// The decoders are tried on a line only when it is longer than this, until
// some line has decoded (then the next line too, whatever its length).
inline constexpr std::size_t kBinaryMinLine = 20;

// Value 0..63 of a character in the Base64 alphabet, 255 outside it.
Byte Base64Value(Byte c);
// Value 0..63 of a character in the XXE alphabet (+ - 0-9 A-Z a-z), 255
// outside it.
Byte XXValue(Byte c);

// Each decoder empties the stream, then either fills it with the bytes of the
// line and gives true, or leaves it empty and gives false. A final LF, and
// then a final CR, are not part of the line.
bool DecodeBase64Line(std::string_view line, std::string& stream);
bool DecodeUULine(std::string_view line, std::string& stream);
bool DecodeXXLine(std::string_view line, std::string& stream);

// The text between the double quotes of a FILENAME="..." parameter (FILENAME
// in any case, spaces allowed before the "="), or nothing.
std::optional<std::string> FindQuotedFileName(std::string_view line);
// The rest of a line that begins with BEGIN in any case, after the spaces and
// digits that follow, trimmed of bytes 0x20 and below; nothing for other
// lines. An empty name is a name too.
std::optional<std::string> FindBeginName(std::string_view line);
// A name found on the line (quoted first, then BEGIN) replaces pendingName;
// otherwise pendingName is kept.
void DetectFileName(std::string_view line, std::string& pendingName);

// Appends the stream's bytes to the text as further lines: the text (every
// line followed by a break) plus the stream is split again at CR LF, CR and
// LF. A line of the text that holds breaks becomes its pieces, each with
// the line's break; the stream's lines take `pieces`, its last line `last`.
// `settled` counts the leading lines known to hold no CR or LF, which the
// split leaves as they are; it is moved to the end of the text. Pass a
// variable holding 0 when nothing is known. Nothing happens for an empty
// stream.
void AppendStreamText(Text& text, std::size_t& settled, std::string_view stream, LineEnd pieces = LineEnd::CrLf,
                      LineEnd last = LineEnd::CrLf);

// Which encodings a scan decoded, and whether the user broke it off.
struct BinaryScan {
  bool Base64 = false;
  bool UUE = false;
  bool XXE = false;
  bool Broken = false;
  bool Any() const { return Base64 || UUE || XXE; }
};

// The stage's work on plain data: decodes the blocks of `text` in place into
// `files` (appending entries). Consecutive decoded lines form one block and
// one entry, even when they change encoding. A block of text goes back into
// the text where its encoded lines stood. On a stop the text is
// restored and the entries decoded so far stay. Names are not finished.
// Lines that stay keep their breaks; the lines of a block of text take the
// break of the block's last encoded line.
// The bar moves before a line (about a thousand times in all), events run
// after each line, and a stop is asked for after each line that stays in
// the text.
BinaryScan DecodeBinaryBlocks(Text& text, TFileList& files, StageProgress& progress = NoProgress());

// The lines of the text's Base64, UUE and XXE blocks, which no other stage
// may touch: 1 for each such line (an empty vector when there is none). A
// UUE or XXE block runs from its "begin" line to its "end" line; Base64
// lines are those the binary stage would take as a block. With `roles` (a
// mail's), only the lines of plain text and plain parts are looked at.
std::vector<std::uint8_t> ProtectedBlockLines(const Text& text, const std::vector<MimeRole>* roles = nullptr);

// The stage's quick check: true when the stage would leave the text and the
// attachment list alone. The stage acts only on a line longer than
// kBinaryMinLine that one of the decoders takes, while the list is empty.
bool BinaryInert(const Text& text, const TFileList& files);
// The line-by-line part of BinaryInert: no line the stage takes, the mail
// and the attachment list aside. A text split at line breaks has it when
// each of its pieces has it.
bool BinaryLinesInert(const Text& text);
// The stage: decodes the blocks of the text into the attachment list and
// names the attachments; the status line says what is checked. On a stop
// the text stays as it was and the entries decoded so far stay.
BinaryScan DecodeBinary(Text& text, TFileList& files, StageProgress& progress);

}  // namespace kamvo
