#include "ui/editor_text.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QVariant>

#include <algorithm>
#include <vector>

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
// of the text it was made from: the style most of its lines end with
// (Break, or -1 when the document cannot give the text back) and the
// lines that end otherwise (line number * 4 + Break), in order.
const char* const kGroupedProperty = "kamvoGroupedLines";
const char* const kBreaksProperty = "kamvoBreaks";
const char* const kOtherBreaksProperty = "kamvoOtherBreaks";
enum Break : int { kLf = 0, kCrLf = 1, kCr = 2 };
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
  const int style = document->property(kBreaksProperty).toInt();
  const QList<qint64> others = document->property(kOtherBreaksProperty).value<QList<qint64>>();
  if (style == kLf && others.isEmpty()) return text;
  QString out;
  out.reserve(text.size() + (style == kCrLf ? text.count(QChar('\n')) : others.size()));
  qint64 line = 0;
  qsizetype other = 0, from = 0;
  for (qsizetype at; (at = text.indexOf(QChar('\n'), from)) >= 0; from = at + 1, ++line) {
    out.append(QStringView(text).mid(from, at - from));
    int kind = style;
    if (other < others.size() && others[other] / 4 == line) kind = static_cast<int>(others[other++] % 4);
    out.append(kind == kCrLf ? QStringView(u"\r\n") : kind == kCr ? QStringView(u"\r") : QStringView(u"\n"));
  }
  out.append(QStringView(text).mid(from));
  return out;
}

void CountGroupedLines(QTextDocument* document) {
  if (!document->property(kGroupedProperty).toBool()) return;
  bool changed = false;
  for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
    if (block.userState() > 1 && block.lineCount() < block.userState() && block.layout()->lineCount() == 0) {
      block.setLineCount(block.userState());
      changed = true;
    }
  }
  if (changed) {
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
  }
}

void MarkPlainDocument(QTextDocument* document) {
  document->setProperty(kGroupedProperty, false);
  document->setProperty(kBreaksProperty, kLf);
  document->setProperty(kOtherBreaksProperty, QVariant());
}

QString WithLineBreaks(const QTextDocument* document, QString text) {
  if (document->property(kGroupedProperty).toBool()) text.replace(QChar::LineSeparator, QChar('\n'));
  return text;
}

EditorDocument MakeEditorDocument(QString text, const QFont& font, const std::function<bool()>& stopped) {
  EditorDocument made;
  if (stopped && stopped()) return made;
  // The lines: how many, the longest, how each ends (LF, CR LF or CR, as
  // the editor takes all three), and characters the editor itself takes
  // as breaks.
  const qsizetype size = text.size();
  const QChar* chars = text.constData();
  qsizetype lines = 1, longest = 0, lineStart = 0;
  qsizetype counts[3] = {0, 0, 0};
  bool ownBreaks = false;
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t c = chars[i].unicode();
    if (c == u'\n' || c == u'\r') {
      longest = std::max(longest, i - lineStart);
      if (c == u'\r' && i + 1 < size && chars[i + 1] == u'\n') {
        ++counts[kCrLf];
        ++i;
      } else {
        ++counts[c == u'\r' ? kCr : kLf];
      }
      lineStart = i + 1;
      ++lines;
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
  // Given back exactly by the document, its breaks noted, unless it holds
  // characters the editor breaks lines at; such a text is kept beside it.
  const bool exact = !ownBreaks;
  const bool grouped = lines > kGroupedFromLines && !ownBreaks;
  const int style = counts[kCrLf] > counts[kLf] ? kCrLf : kLf;
  QList<qint64> others;
  std::vector<int> blockLines;  // the lines of each block, when grouped
  QString work = std::move(text);
  if (!exact) made.Text = work;
  if (grouped || counts[kCrLf] > 0 || counts[kCr] > 0) {
    // Every break becomes one LF (as the editor takes them anyway), its
    // style noted when not the usual one; within a group, a break becomes
    // a line separator.
    QChar* out = work.data();
    qsizetype w = 0, groupStart = 0;
    qint64 line = 0;
    int inGroup = 0, inBlock = 1;
    for (qsizetype r = 0; r < size; ++r) {
      QChar c = out[r];
      if (c == u'\r') {
        const int kind = r + 1 < size && out[r + 1] == u'\n' ? kCrLf : kCr;
        if (kind == kCrLf) ++r;
        if (kind != style) others.append(line * 4 + kind);
        c = u'\n';
      } else if (c == u'\n' && style != kLf) {
        others.append(line * 4 + kLf);
      }
      if (c == u'\n') ++line;
      if (c == u'\n' && grouped) {
        if (++inGroup < kGroupLines && w - groupStart < kGroupChars) {
          c = QChar::LineSeparator;
          ++inBlock;
        } else {
          blockLines.push_back(inBlock);
          inBlock = 1;
          inGroup = 0;
          groupStart = w + 1;
        }
      }
      out[w++] = c;
    }
    work.truncate(w);
    blockLines.push_back(inBlock);
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
  if (grouped) {
    // Each block notes its lines, for the editor to count them before it
    // lays the block out (CountGroupedLines).
    std::size_t k = 0;
    for (QTextBlock block = document->firstBlock(); block.isValid() && k < blockLines.size(); block = block.next())
      block.setUserState(blockLines[k++]);
  }
  document->setUndoRedoEnabled(true);
  document->setProperty(kGroupedProperty, grouped);
  document->setProperty(kBreaksProperty, exact ? style : -1);
  document->setProperty(kOtherBreaksProperty, QVariant::fromValue(others));
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
