#include "ui/editor_text.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include "codepages/code_page_unicode.h"
#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

QString DecodeForEditor(std::string_view bytes) {
  if (IsWellFormedUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return ToQString(bytes);
}

QString EditorText(const QPlainTextEdit* editor) {
  // The raw text keeps U+00A0, which the plain text turns into a blank;
  // its blocks are separated by U+2029.
  QString text = editor->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QChar('\n'));
  return text;
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
