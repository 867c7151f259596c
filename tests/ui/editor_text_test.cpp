// The ways in and out of the Unicode editor, beside iconv.
#include <QPlainTextEdit>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <string>

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
