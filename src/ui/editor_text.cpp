#include "ui/editor_text.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QVariant>

#include <algorithm>

#include "codepages/code_page_unicode.h"
#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

namespace {

// How a document was made: its lines grouped into blocks, and the breaks
// of the text it was made from (0: not given back exactly, 1: LF, 2: CR LF).
const char* const kGroupedProperty = "kamvoGroupedLines";
const char* const kBreaksProperty = "kamvoBreaks";
// A block of grouped lines ends after this many lines or characters.
constexpr int kGroupLines = 64;
constexpr qsizetype kGroupChars = 4096;
// The document is made in pieces of this many characters.
constexpr qsizetype kPiece = qsizetype(1) << 20;

}  // namespace

std::function<void()> onDocumentPiece;

QString DecodeForEditor(std::string_view bytes) {
  if (IsWellFormedUtf8(bytes)) {
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.squeeze();  // room was made for a character a byte
    return text;
  }
  return ToQString(bytes);
}

QString EditorText(const QTextDocument* document) {
  // The raw text keeps U+00A0, which the plain text turns into a blank;
  // its blocks are separated by U+2029.
  QString text = document->toRawText();
  text.replace(QChar::ParagraphSeparator, QChar('\n'));
  if (document->property(kGroupedProperty).toBool()) text.replace(QChar::LineSeparator, QChar('\n'));
  return text;
}

QString EditorText(const QPlainTextEdit* editor) { return EditorText(editor->document()); }

QString TextAsMade(const QTextDocument* document) {
  QString text = EditorText(document);
  if (document->property(kBreaksProperty).toInt() == 2) text.replace(QChar('\n'), QStringLiteral("\r\n"));
  return text;
}

void MarkPlainDocument(QTextDocument* document) {
  document->setProperty(kGroupedProperty, false);
  document->setProperty(kBreaksProperty, 0);
}

QString WithLineBreaks(const QTextDocument* document, QString text) {
  if (document->property(kGroupedProperty).toBool()) text.replace(QChar::LineSeparator, QChar('\n'));
  return text;
}

EditorDocument MakeEditorDocument(QString text, const QFont& font, const std::function<bool()>& stopped) {
  EditorDocument made;
  // The lines: how many, the longest, their breaks, and characters the
  // editor itself takes as breaks.
  const qsizetype size = text.size();
  const QChar* chars = text.constData();
  qsizetype lines = 1, longest = 0, lineStart = 0;
  bool lf = false, crlf = false, loneCr = false, ownBreaks = false;
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t c = chars[i].unicode();
    if (c == u'\n') {
      (i > 0 && chars[i - 1] == u'\r' ? crlf : lf) = true;
      longest = std::max(longest, i - lineStart);
      lineStart = i + 1;
      ++lines;
    } else if (c == u'\r') {
      if (i + 1 == size || chars[i + 1] != u'\n') loneCr = true;
    } else if (c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) {
      ownBreaks = true;
    }
  }
  longest = std::max(longest, size - lineStart);
  if (size > kEditorMaxChars || longest > kEditorMaxLine) {
    made.Held = true;
    made.Text = std::move(text);
    return made;
  }
  // Given back exactly by the document: one style of breaks and nothing
  // else the editor breaks lines at. Otherwise the text is kept beside it.
  const bool exact = !ownBreaks && !loneCr && !(lf && crlf);
  const bool grouped = lines > kGroupedFromLines && !ownBreaks;
  QString work = std::move(text);
  if (!exact) made.Text = work;
  if (grouped || crlf) {
    // CR LF becomes one break (as the editor takes it anyway); within a
    // group, a break becomes a line separator.
    QChar* out = work.data();
    qsizetype w = 0, groupStart = 0;
    int inGroup = 0;
    for (qsizetype r = 0; r < size; ++r) {
      QChar c = out[r];
      if (c == u'\r' && r + 1 < size && out[r + 1] == u'\n') continue;
      if (c == u'\n' && grouped) {
        if (++inGroup < kGroupLines && w - groupStart < kGroupChars) {
          c = QChar::LineSeparator;
        } else {
          inGroup = 0;
          groupStart = w + 1;
        }
      }
      out[w++] = c;
    }
    work.truncate(w);
  }

  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(font);
  document->setUndoRedoEnabled(false);
  {
    QTextCursor cursor(document.get());
    for (qsizetype i = 0; i < work.size();) {
      if (stopped && stopped()) return {};
      qsizetype end = std::min(work.size(), i + kPiece);
      if (end < work.size() && work.at(end - 1).isHighSurrogate()) ++end;
      cursor.insertText(QString(work.constData() + i, end - i));
      i = end;
      if (onDocumentPiece) onDocumentPiece();
    }
  }
  if (stopped && stopped()) return {};
  work = QString();
  document->setUndoRedoEnabled(true);
  document->setProperty(kGroupedProperty, grouped);
  document->setProperty(kBreaksProperty, exact ? (crlf ? 2 : 1) : 0);
  document->moveToThread(QCoreApplication::instance()->thread());
  made.Document = std::move(document);
  return made;
}

std::string EncodeForTarget(const QString& text, int target, std::size_t* spelt) {
  if (!IsSingleByteCode(target)) return text.toStdString();
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  std::size_t count = 0;
  const QList<uint> characters = text.toUcs4();
  for (const uint c : characters) AppendInTarget(c, target, out, count);
  if (spelt) *spelt = count;
  return out;
}

bool FitsWindows1251(const QString& text) {
  const QList<uint> characters = text.toUcs4();
  for (const uint c : characters) {
    Byte b = 0;
    if (c >= 0x80 && !UnicodeToCodePage(kWindows, c, b)) return false;
  }
  return true;
}

QString EncodeTranslitText(const QString& text, std::string_view table, bool* changed) {
  // Runs of characters that Windows-1251 holds go through the encoder;
  // everything else passes between them untouched.
  QString out;
  out.reserve(text.size());
  bool any = false;
  std::string run;
  const auto flush = [&] {
    if (run.empty()) return;
    Text lines = Text::FromBytes(std::move(run));
    if (EncodeTranslitLines(lines, table).Changed) any = true;
    out += ToQString(lines.Bytes());
    run.clear();
  };
  const QList<uint> characters = text.toUcs4();
  for (const uint c : characters) {
    Byte b = 0;
    if (c != 0 && UnicodeToCodePage(kWindows, c, b)) {
      run.push_back(static_cast<char>(b));
    } else {
      flush();
      out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
    }
  }
  flush();
  if (changed) *changed = any;
  return out;
}

}  // namespace kamvo::ui
