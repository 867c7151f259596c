#include "ui/editor_text.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QVariant>

#include <algorithm>
#include <cstdint>
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
}  // namespace

std::function<void()> onDocumentPiece;
qsizetype documentPieceSize = qsizetype(1) << 20;

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

namespace {

// The text a document is made from, piece by piece: a string, or bytes
// decoded as DecodeForEditor decodes them. A piece never ends inside a
// character nor between a CR and its LF, so that each piece can be read on
// its own.
class TextPieces {
 public:
  explicit TextPieces(const QString& text) : text_(&text) {}
  // `owned`: bytes the pieces may use up (Release).
  TextPieces(std::string_view bytes, bool owned)
      : bytes_(bytes), owned_(owned), utf8_(IsWellFormedUtf8(bytes)), decoder_(QStringDecoder::Utf8) {}

  // The next piece, empty at the end; valid until the next call.
  QStringView Next() {
    QStringView piece;
    // A piece of nothing but the byte order mark the text starts with reads
    // as nothing: the next one follows.
    while (piece.isEmpty() && at_ < Size()) piece = Cut();
    return piece;
  }

  // From the beginning again.
  void Rewind() {
    at_ = 0;
    decoder_.resetState();
  }

  // The whole text at once.
  QString Whole() const { return text_ ? *text_ : DecodeForEditor(bytes_); }

  // The bytes read so far are not needed any more: their memory goes back
  // to the system (they read as zeros afterwards). Only for bytes owned.
  void Release() {
#if defined(MADV_DONTNEED)
    if (!owned_) return;
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(bytes_.data());
    const std::uintptr_t first = std::max(released_, (begin + page - 1) & ~(page - 1));
    const std::uintptr_t last = (begin + at_) & ~(page - 1);
    if (last >= first + (std::uintptr_t{1} << 20)) {
      ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
      released_ = last;
    }
#endif
  }

 private:
  std::size_t Size() const { return text_ ? static_cast<std::size_t>(text_->size()) : bytes_.size(); }

  QStringView Cut() {
    const std::size_t size = Size();
    std::size_t end = std::min(size, at_ + static_cast<std::size_t>(std::max<qsizetype>(documentPieceSize, 1)));
    const std::size_t from = at_;
    if (text_) {
      const QChar* chars = text_->constData();
      if (end < size && chars[end - 1].isHighSurrogate()) ++end;
      if (end < size && chars[end - 1] == u'\r' && chars[end] == u'\n') ++end;
      at_ = end;
      return QStringView(chars + from, static_cast<qsizetype>(end - from));
    }
    if (utf8_)
      while (end < size && (static_cast<unsigned char>(bytes_[end]) & 0xC0) == 0x80) ++end;
    if (end < size && bytes_[end - 1] == '\r' && bytes_[end] == '\n') ++end;
    at_ = end;
    const std::string_view piece = bytes_.substr(from, end - from);
    if (!utf8_) {
      buffer_ = ToQString(piece);
      return buffer_;
    }
    // Decoded as one text: a byte order mark is dropped at its start only.
    buffer_.resize(decoder_.requiredSpace(static_cast<qsizetype>(piece.size())));
    const QChar* last = decoder_.appendToBuffer(buffer_.data(), QByteArrayView(piece.data(), piece.size()));
    buffer_.truncate(last - buffer_.constData());
    return buffer_;
  }

  const QString* text_ = nullptr;
  std::string_view bytes_;
  bool owned_ = false;
  bool utf8_ = false;
  QStringDecoder decoder_;
  QString buffer_;
  std::size_t at_ = 0;
  std::uintptr_t released_ = 0;
};

// Writes each piece of a text as the document takes it: every break one
// LF, its style noted when not the usual one; when the lines are grouped,
// a break within a group a line separator. What a piece leaves off (the
// line, the group) carries on into the next.
class BreakWriter {
 public:
  BreakWriter(int style, bool grouped) : style_(style), grouped_(grouped) {}

  void Write(QStringView in, QString& out) {
    out.resize(in.size());
    QChar* o = out.data();
    const qsizetype size = in.size();
    qsizetype w = 0;
    for (qsizetype r = 0; r < size; ++r) {
      QChar c = in[r];
      if (c == u'\r') {
        const int kind = r + 1 < size && in[r + 1] == u'\n' ? kCrLf : kCr;
        if (kind == kCrLf) ++r;
        if (kind != style_) Others.append(line_ * 4 + kind);
        c = u'\n';
      } else if (c == u'\n' && style_ != kLf) {
        Others.append(line_ * 4 + kLf);
      }
      bool blockEnds = false;
      if (c == u'\n') {
        ++line_;
        if (grouped_) {
          if (++inGroup_ < kGroupLines && inBlockChars_ < kGroupChars) {
            c = QChar::LineSeparator;
            ++inBlock_;
          } else {
            BlockLines.push_back(inBlock_);
            inBlock_ = 1;
            inGroup_ = 0;
            blockEnds = true;
          }
        }
      }
      o[w++] = c;
      inBlockChars_ = blockEnds ? 0 : inBlockChars_ + 1;
    }
    out.truncate(w);
  }
  // After the last piece.
  void Finish() { BlockLines.push_back(inBlock_); }

  QList<qint64> Others;         // the lines that end otherwise than the style (line * 4 + Break)
  std::vector<int> BlockLines;  // the lines of each block, when grouped

 private:
  const int style_;
  const bool grouped_;
  qint64 line_ = 0;
  int inGroup_ = 0, inBlock_ = 1;
  qsizetype inBlockChars_ = 0;  // characters written since the block began
};

EditorDocument MakeDocument(TextPieces& pieces, const QFont& font, const std::function<bool()>& stopped) {
  EditorDocument made;
  if (stopped && stopped()) return made;
  // The lines: how many, the longest, how each ends (LF, CR LF or CR, as
  // the editor takes all three), and characters the editor itself takes
  // as breaks.
  qsizetype size = 0, lines = 1, longest = 0, lineStart = 0;
  qsizetype counts[3] = {0, 0, 0};
  bool ownBreaks = false;
  for (QStringView piece; !(piece = pieces.Next()).isEmpty(); size += piece.size()) {
    const qsizetype n = piece.size();
    for (qsizetype i = 0; i < n; ++i) {
      const char16_t c = piece[i].unicode();
      if (c == u'\n' || c == u'\r') {
        longest = std::max(longest, size + i - lineStart);
        if (c == u'\r' && i + 1 < n && piece[i + 1] == u'\n') {
          ++counts[kCrLf];
          ++i;
        } else {
          ++counts[c == u'\r' ? kCr : kLf];
        }
        lineStart = size + i + 1;
        ++lines;
      } else if (c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) {
        ownBreaks = true;
      }
    }
  }
  longest = std::max(longest, size - lineStart);
  if (size > kEditorMaxChars || longest > kEditorMaxLine) {
    made.Held = true;
    made.Text = pieces.Whole();
    return made;
  }
  // Given back exactly by the document, its breaks noted, unless it holds
  // characters the editor breaks lines at; such a text is kept beside it.
  const bool exact = !ownBreaks;
  const bool grouped = lines > kGroupedFromLines && !ownBreaks;
  const int style = counts[kCrLf] > counts[kLf] ? kCrLf : kLf;
  const bool rewrite = grouped || counts[kCrLf] > 0 || counts[kCr] > 0;
  if (!exact) made.Text = pieces.Whole();

  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(font);
  document->setUndoRedoEnabled(false);
  BreakWriter writer(style, grouped);
  {
    QTextCursor cursor(document.get());
    QString out;
    pieces.Rewind();
    for (QStringView piece; !(piece = pieces.Next()).isEmpty();) {
      if (stopped && stopped()) return {};
      if (rewrite) {
        writer.Write(piece, out);
      } else {
        out.resize(piece.size());
        std::copy(piece.begin(), piece.end(), out.begin());
      }
      cursor.insertText(out);
      pieces.Release();
      if (onDocumentPiece) onDocumentPiece();
    }
  }
  if (stopped && stopped()) return {};
  if (grouped) {
    // Each block notes its lines, for the editor to count them before it
    // lays the block out (CountGroupedLines).
    writer.Finish();
    std::size_t k = 0;
    for (QTextBlock block = document->firstBlock(); block.isValid() && k < writer.BlockLines.size();
         block = block.next())
      block.setUserState(writer.BlockLines[k++]);
  }
  document->setUndoRedoEnabled(true);
  document->setProperty(kGroupedProperty, grouped);
  document->setProperty(kBreaksProperty, exact ? style : -1);
  document->setProperty(kOtherBreaksProperty, QVariant::fromValue(writer.Others));
  document->moveToThread(QCoreApplication::instance()->thread());
  made.Document = std::move(document);
  return made;
}

}  // namespace

EditorDocument MakeEditorDocument(QString text, const QFont& font, const std::function<bool()>& stopped) {
  TextPieces pieces(text);
  return MakeDocument(pieces, font, stopped);
}

EditorDocument MakeEditorDocumentOf(std::string_view bytes, const QFont& font, const std::function<bool()>& stopped) {
  TextPieces pieces(bytes, false);
  return MakeDocument(pieces, font, stopped);
}

EditorDocument MakeEditorDocumentTaking(std::string bytes, const QFont& font, const std::function<bool()>& stopped) {
  TextPieces pieces(bytes, true);
  return MakeDocument(pieces, font, stopped);
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
