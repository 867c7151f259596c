// The editor holds Unicode text. These are the ways in and out of it: bytes
// from a file or a conversion shown as characters, the editor's characters
// as the UTF-8 a conversion reads, and the characters written in a target
// code page when the text is saved.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

class QPlainTextEdit;

namespace kamvo::ui {

// Bytes as the editor shows them: well-formed UTF-8 as its characters,
// anything else as Windows-1251 (every byte one character, so that showing
// a file never alters it).
QString DecodeForEditor(std::string_view bytes);

// The editor's whole text, exactly: no-break spaces and line separators
// stay as they are; blocks are joined with LF.
QString EditorText(const QPlainTextEdit* editor);

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
