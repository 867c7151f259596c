// The editor holds Unicode text. These are the ways in and out of it: bytes
// from a file or a conversion shown as characters, the editor's characters
// as the UTF-8 a conversion reads, and the characters written in a target
// code page when the text is saved.
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QFont;
class QPlainTextEdit;
class QTextDocument;

namespace kamvo::ui {

// Bytes as the editor shows them: well-formed UTF-8 as its characters,
// anything else as Windows-1251 (every byte one character, so that showing
// a file never alters it).
QString DecodeForEditor(std::string_view bytes);

// The editor's whole text, exactly: no-break spaces and line separators
// stay as they are; blocks are joined with LF.
QString EditorText(const QPlainTextEdit* editor);
QString EditorText(const QTextDocument* document);

// A text made into a document for the editor, aside from the window's
// thread. A large text is laid out in groups of lines: each block of the
// document holds several lines joined by line separators (U+2028), which
// the editor shows as breaks and EditorText gives back as LF. A block costs
// the editor some 400 bytes and a few microseconds to make, and a text of
// short lines has a great many of them. A text that holds a line separator
// of its own keeps one block a line.
struct EditorDocument {
  std::unique_ptr<QTextDocument> Document;  // null when stopped or held
  QString Text;                             // the text, unless the document gives it back exactly
  bool Held = false;                        // too large for the editor (kept whole in Text)
};
// The editor's limits: a longer text, or a text with a longer line, is
// kept aside whole and the editor says so instead of freezing.
inline constexpr qsizetype kEditorMaxChars = 100'000'000;
inline constexpr qsizetype kEditorMaxLine = 4'000'000;
// Texts of more lines than this are laid out in groups of lines.
inline constexpr qsizetype kGroupedFromLines = 20'000;
// The document is made piece by piece; stopped() between the pieces ends
// it. The document belongs to the application's thread when made.
EditorDocument MakeEditorDocument(QString text, const QFont& font, const std::function<bool()>& stopped = {});
// The same for bytes, read as DecodeForEditor reads them, decoded piece by
// piece: the text is never held whole beside the document (a held text, or
// one the document cannot give back, is). MakeEditorDocumentOf leaves the
// bytes to the caller; MakeEditorDocumentTaking uses up its bytes and gives
// the memory of those it has read back to the system as the document grows.
EditorDocument MakeEditorDocumentOf(std::string_view bytes, const QFont& font,
                                    const std::function<bool()>& stopped = {});
EditorDocument MakeEditorDocumentTaking(std::string bytes, const QFont& font,
                                        const std::function<bool()>& stopped = {});
// The text exactly as it was given to MakeEditorDocument (its line breaks
// too), while the document is unedited and when EditorDocument::Text was
// left empty.
QString TextAsMade(const QTextDocument* document);
// The editor counts a block it has not laid out as one line, so that its
// scroll bar would count blocks of grouped lines: this counts their lines.
// Called whenever the editor has laid its document out anew (taken it, a
// new width, font or wrapping).
void CountGroupedLines(QTextDocument* document);
// Marks a document the editor was given a text of its own (setPlainText):
// its lines are not grouped.
void MarkPlainDocument(QTextDocument* document);
// A piece of the document's text (a selection) with the breaks between
// grouped lines as LF.
QString WithLineBreaks(const QTextDocument* document, QString text);
// Called after each piece of a document is made (on the making thread);
// tests hold the making there.
extern std::function<void()> onDocumentPiece;
// The size of those pieces in characters (bytes for a text given as
// bytes); tests make it small to cut texts at every kind of place.
extern qsizetype documentPieceSize;

// The text in a target: UTF-8 (kUtf8Code) as it is; a single-byte code
// page byte by byte, a character the code page cannot hold spelt out
// as the command line spells it (counted in spelt).
std::string EncodeForTarget(const QString& text, int target, std::size_t* spelt = nullptr);

// True when Windows-1251 holds every character of the text.
bool FitsWindows1251(const QString& text);

// Each Russian letter of the text spelt with the translit table; every other
// character stays as it is. changed: some letter was spelt.
QString EncodeTranslitText(const QString& text, std::string_view table, bool* changed = nullptr);

}  // namespace kamvo::ui
