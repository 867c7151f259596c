// The ways in and out of the Unicode editor, beside iconv.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "codepages/code_page_list.h"
#include "codepages/code_tables.h"
#include "settings/settings.h"
#include "support/iconv.h"
#include "ui/editor_text.h"
#include "ui/qt_window.h"

namespace kamvo::testing {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Every code page writes the Russian alphabet, ASCII and the no-break
// space as iconv does; a character it lacks is spelt and counted.
TEST(EditorText, EveryTargetWritesWhatIconvWrites) {
  const QString text = U("Съешь же ещё этих мягких французских булок, да выпей чаю. ЁЖИК ёжик 0123 ~\n");
  for (const CodePageInfo& page : CodePageList()) {
    std::string expected;
    ASSERT_TRUE(Iconv(text.toStdString(), "UTF-8", std::string(page.Iconv).c_str(), expected)) << page.Iconv;
    std::size_t spelt = 99;
    EXPECT_EQ(ui::EncodeForTarget(text, page.Code, &spelt), expected) << page.Iconv;
    EXPECT_EQ(spelt, page.Code == kUtf8Code ? 99u : 0u) << page.Iconv;
  }
  std::size_t spelt = 0;
  EXPECT_EQ(ui::EncodeForTarget(U("а — б 😀"), kKoi8, &spelt), "\xC1 - \xC2 ?");
  EXPECT_EQ(spelt, 2u);
}

// Bytes that are UTF-8 show as their characters, any others as
// Windows-1251, one character a byte; the editor gives its text back
// exactly, no-break spaces and all.
TEST(EditorText, BytesShowAsUtf8OrWindows1251AndTheEditorKeepsEveryCharacter) {
  EXPECT_EQ(ui::DecodeForEditor("\xD0\x9F\xD1\x80\xD0\xB8"), U("При"));
  EXPECT_EQ(ui::DecodeForEditor("\xCF\xF0\xE8\x98"), U("При\u0098"));
  QPlainTextEdit editor;
  const QString text = U("a\u00A0b\n\nё😀\tc\u00A0");
  editor.setPlainText(text);
  EXPECT_EQ(ui::EditorText(&editor), text);
}

// A document made aside gives its text back exactly, whatever its breaks;
// a text of many lines is grouped into far fewer blocks; a stop ends the
// making.
TEST(EditorText, MadeDocumentsGiveTheirTextBackExactly) {
  const auto many = [](const QString& line, int count) {
    QString text;
    for (int i = 0; i < count; ++i) text += line;
    return text;
  };
  const QString line = U("Строка\u00A0текста 😀");
  const int lines = static_cast<int>(ui::kGroupedFromLines) + 7;
  const QString texts[] = {
      U("a\nb\n"),
      U("a\r\nb\r\nc"),
      U("mixed\r\nand\nlone\rbreaks\n"),
      U("own\u2028separator\u2029and\nbreak"),
      many(line + "\n", lines),
      many(line + "\r\n", lines),
      many(line + "\n", lines) + U("\u2028"),
      many(line + "\r\n", lines) + U("x\n\ry\r\n"),
      many(line + "\n", lines) + U("x\r\ny\rz\r\n"),
  };
  for (const QString& text : texts) {
    ui::EditorDocument made = ui::MakeEditorDocument(text, QFont());
    ASSERT_NE(made.Document, nullptr);
    ASSERT_FALSE(made.Held);
    EXPECT_EQ(made.Text.isNull() ? ui::TextAsMade(made.Document.get()) : made.Text, text)
        << text.left(40).toStdString();
    // The editor's own view of it: one break a line.
    QString lf = text;
    lf.replace(U("\r\n"), U("\n")).replace(QChar('\r'), QChar('\n'));
    if (!text.contains(QChar::LineSeparator) && !text.contains(QChar::ParagraphSeparator)) {
      EXPECT_EQ(ui::EditorText(made.Document.get()), lf) << text.left(40).toStdString();
      EXPECT_EQ(made.Document->toPlainText(), QString(lf).replace(QChar(0xA0), QChar(' ')));
    }
  }
  ui::EditorDocument grouped = ui::MakeEditorDocument(many(line + "\n", lines), QFont());
  EXPECT_LT(grouped.Document->blockCount(), lines / 32);
  EXPECT_TRUE(grouped.Text.isNull());  // nothing kept beside the document
  ui::EditorDocument mixed = ui::MakeEditorDocument(U("a\r\nb\nc\rd"), QFont());
  EXPECT_TRUE(mixed.Text.isNull());

  int pieces = 0;
  ui::EditorDocument stopped = ui::MakeEditorDocument(many(line + "\n", 200000), QFont(), [&] { return ++pieces > 1; });
  EXPECT_EQ(stopped.Document, nullptr);
  EXPECT_EQ(pieces, 2);
}

// A document made from bytes piece by piece is the one made from their
// whole text, wherever the pieces end: inside a UTF-8 character or a
// surrogate pair, between CR and LF, at a byte order mark; also when the
// bytes read are given back to the system as the document grows.
TEST(EditorText, DocumentsMadeFromBytesInPiecesAreTheWholeTextsDocuments) {
  const auto many = [](const std::string& line, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line;
    return text;
  };
  const int lines = static_cast<int>(ui::kGroupedFromLines) + 7;
  const std::string utf8 = "Стр\xC2\xA0ока 😀";         // UTF-8
  const std::string win = "\xD1\xF2\xF0\xA0\xEE\x98";  // Windows-1251 (not UTF-8)
  struct Case {
    std::string Bytes;
    std::vector<qsizetype> Pieces;
  };
  const std::vector<qsizetype> small = {1, 2, 3, 5};
  const std::vector<qsizetype> large = {997, 1 << 20};
  const Case cases[] = {
      {"", small},
      {"\xEF\xBB\xBF"
       "ab\xEF\xBB\xBF"
       "c\r\nd",
       small},
      {utf8 + "\r\n" + utf8 + "\n\r" + utf8 + "\r", small},
      {win + "\r\n" + win + "\r" + win, small},
      {"own\xE2\x80\xA8separator\n" + utf8, small},
      {many(utf8 + "\r\n", lines) + "x\n\ry", large},
      {many(win + "\n", lines) + "x\r\ny", large},
      {many(utf8 + "\n", 200000), {1 << 20}},  // several megabytes: some are given back
  };
  const qsizetype usual = ui::documentPieceSize;
  for (const Case& c : cases) {
    const ui::EditorDocument whole = ui::MakeEditorDocument(ui::DecodeForEditor(c.Bytes), QFont());
    ASSERT_NE(whole.Document, nullptr);
    const auto blocks = [](const QTextDocument* document) {
      std::vector<std::pair<QString, int>> out;
      for (QTextBlock b = document->firstBlock(); b.isValid(); b = b.next()) out.emplace_back(b.text(), b.userState());
      return out;
    };
    for (const qsizetype size : c.Pieces) {
      ui::documentPieceSize = size;
      for (const int way : {0, 1, 2}) {
        const ui::EditorDocument made = way == 0   ? ui::MakeEditorDocumentOf(c.Bytes, QFont())
                                        : way == 1 ? ui::MakeEditorDocumentTaking(c.Bytes, QFont())
                                                   : ui::MakeEditorDocument(ui::DecodeForEditor(c.Bytes), QFont());
        const std::string what =
            c.Bytes.substr(0, 20) + " in pieces of " + std::to_string(size) + ", way " + std::to_string(way);
        ASSERT_NE(made.Document, nullptr) << what;
        EXPECT_EQ(made.Text, whole.Text) << what;
        EXPECT_EQ(ui::TextAsMade(made.Document.get()), ui::TextAsMade(whole.Document.get())) << what;
        EXPECT_EQ(blocks(made.Document.get()), blocks(whole.Document.get())) << what;
      }
    }
  }
  ui::documentPieceSize = usual;
  EXPECT_EQ(ui::TextAsMade(ui::MakeEditorDocumentOf("a\r\nb", QFont()).Document.get()), U("a\r\nb"));
}

TEST(EditorText, TranslitSpellsRussianLettersAndPassesEverythingElse) {
  bool changed = false;
  EXPECT_EQ(ui::EncodeTranslitText(U("Привет, α😀 é!\nЁж"), DefaultTranslitTable(), &changed).left(6), U("Privet"));
  EXPECT_TRUE(changed);
  const QString encoded = ui::EncodeTranslitText(U("Привет, α😀 é!\nЁж"), DefaultTranslitTable(), &changed);
  EXPECT_TRUE(encoded.contains(U(", α😀 é!\n"))) << encoded.toStdString();
  EXPECT_FALSE(ui::FitsWindows1251(U("α")));
  EXPECT_TRUE(ui::FitsWindows1251(U("Ёж — «да» €")));
  ui::EncodeTranslitText(U("no letters"), DefaultTranslitTable(), &changed);
  EXPECT_FALSE(changed);
}

}  // namespace
}  // namespace kamvo::testing
