// The attachment view after converting a mail: icons, the menu, saving,
// opening after the warning, dragging out; and the word report on the pane.
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QTextEdit>

#include <filesystem>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "decoders/binary_encoders.h"
#include "driver/attachment_files.h"
#include "support/temp_dir.h"
#include "ui/attachment_view.h"
#include "ui/qt_window.h"
#include "ui/word_report.h"
#include "ui_test_support.h"

namespace kamvo::testing {
namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const std::string kReportName = WinFromUtf8("отчёт.txt");
// Attachments hold control bytes: text would go back into the letter.
const std::string kFirst = std::string("first\0\x01", 7) + std::string(60, 'f');
const std::string kSecond = std::string("second\0\x02", 8) + std::string(60, 's');

// A KOI-8 letter with two Base64 attachments.
Lines Mail() {
  Lines mail = {ConvertByPair(WinFromUtf8("Привет, дорогой друг! Посылаю тебе отчёт и заметки."), 2), ""};
  for (const auto& [name, bytes] : {std::pair{kReportName, kFirst}, {"notes.txt", kSecond}}) {
    mail.push_back("Content-Disposition: attachment; filename=\"" + name + "\"");
    mail.push_back("");
    for (const std::string& line : Base64Lines(bytes)) mail.push_back(line);
    mail.push_back("");
  }
  return mail;
}

void Mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

class AttachmentViewTest : public WindowTest {
 protected:
  void OpenMail() {
    Open();
    SetText(ui::ToQString(JoinLines(Mail(), "\n")));
    Convert();
    view = Find<ui::TFileView>("attachmentView");
    ASSERT_TRUE(view->isVisible()) << Pane().toStdString() << "\n" << EditorText().toStdString();
    ASSERT_EQ(view->count(), 2);
    view->openUrl = [this](const QUrl& url) {
      opened.append(url);
      return true;
    };
    view->chooseSaveFile = [this](const QString& proposed) {
      proposals.append(proposed);
      return saveAs;
    };
    view->chooseFolder = [this](const QString&) { return QString::fromStdString(dir.path().string()); };
    QCoreApplication::processEvents();
  }
  QPoint ItemCentre(int row) { return view->visualItemRect(view->item(row)).center(); }
  QStringList MenuTexts() {
    QStringList texts;
    for (QAction* action : view->attachmentMenu->actions()) texts << (action->isSeparator() ? "-" : action->text());
    return texts;
  }
  void RightClick(QPoint at) {
    Mouse(view->viewport(), QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    Mouse(view->viewport(), QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
    view->attachmentMenu->hide();
  }
  QAction* MenuEntry(const QString& text) {
    for (QAction* action : view->attachmentMenu->actions())
      if (action->text() == text) return action;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
  }

  TempDir dir;
  ui::TFileView* view = nullptr;
  QList<QUrl> opened;
  QString message;
  QStringList proposals;
  QString saveAs;
};

TEST_F(AttachmentViewTest, MailAttachmentsAreShownWithIconsAndOfferedByTheMenu) {
  OpenMail();
  EXPECT_EQ(view->item(0)->text(), U("отчёт.txt"));
  EXPECT_EQ(view->item(1)->text(), "notes.txt");
  EXPECT_FALSE(view->item(0)->icon().isNull());

  RightClick(QPoint(view->viewport()->width() - 3, view->viewport()->height() - 3));
  EXPECT_EQ(MenuTexts(), (QStringList{U("отчёт.txt"), "notes.txt", "-", "Save attachments"}));
  RightClick(ItemCentre(1));
  EXPECT_EQ(MenuTexts(), (QStringList{"notes.txt", "-", "Save attachment"}));

  // Russian entries follow the interface language alone.
  window->Settings().Cfg.English = false;
  RightClick(ItemCentre(0));
  EXPECT_EQ(MenuTexts(), (QStringList{U("отчёт.txt"), "-", U("Сохранить файл")}));
}

TEST_F(AttachmentViewTest, SavingAllNeverReplacesAFileAndSavingOneProposesTheLastFolder) {
  OpenMail();
  WriteFile(dir / "notes.txt", "mine");
  RightClick(QPoint(view->viewport()->width() - 3, view->viewport()->height() - 3));
  MenuEntry("Save attachments")->trigger();
  EXPECT_EQ(ReadFile(dir / "отчёт.txt"), kFirst);
  EXPECT_EQ(ReadFile(dir / "notes.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "notes (1).txt"), kSecond);
  EXPECT_EQ(window->Settings().LastSavePath, dir.path().string() + "/");

  saveAs = QString::fromStdString(dir / "copy.bin");
  RightClick(ItemCentre(0));
  MenuEntry("Save attachment")->trigger();
  EXPECT_EQ(proposals, QStringList{QString::fromStdString(dir.path().string()) + U("/отчёт.txt")});
  EXPECT_EQ(ReadFile(dir / "copy.bin"), kFirst);
  EXPECT_EQ(window->Settings().LastSavePath, dir / "copy.bin");
}

TEST_F(AttachmentViewTest, DoubleClickWarnsWithSaveChosenAndOpensAPrivateCopy) {
  OpenMail();
  // OK as the dialog opens: save, not open.
  bool saveWasChosen = false;
  QString caption;
  AnswerNextDialog([&](QWidget* form) {
    saveWasChosen = form->findChild<QRadioButton*>("rbSave")->isChecked();
    caption = form->windowTitle();
    form->findChild<QPushButton*>("btnOK")->click();
  });
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, ItemCentre(0));
  EXPECT_TRUE(saveWasChosen);
  EXPECT_EQ(caption, "Open Attachment Warning");
  EXPECT_EQ(proposals.size(), 1);
  EXPECT_TRUE(opened.isEmpty());

  // Open it: a copy in the private folder, replacing an older one, opened
  // with the desktop's program.
  const std::string copy = PrivateTempFolder() + "отчёт.txt";
  WriteFile(copy, "older copy");
  AnswerNextDialog([&](QWidget* form) {
    form->findChild<QRadioButton*>("rbOpen")->setChecked(true);
    form->findChild<QPushButton*>("btnOK")->click();
  });
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, ItemCentre(0));
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(copy)));
  EXPECT_EQ(ReadFile(copy), kFirst);

  // Cancel: nothing.
  AnswerNextDialog([&](QWidget* form) { form->findChild<QPushButton*>("btnCancel")->click(); });
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, ItemCentre(1));
  EXPECT_EQ(opened.size(), 1);
  EXPECT_EQ(proposals.size(), 1);
}

TEST_F(AttachmentViewTest, AnAttachmentNoProgramOpensSaysSo) {
  OpenMail();
  view->openUrl = [](const QUrl&) { return false; };
  AnswerNextDialog([&](QWidget* form) {
    form->findChild<QRadioButton*>("rbOpen")->setChecked(true);
    form->findChild<QPushButton*>("btnOK")->click();
    AnswerNextDialog([&](QWidget* box) {
      message = box->findChild<QLabel*>("qt_msgbox_label")->text();
      box->close();
    });
  });
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, ItemCentre(0));
  EXPECT_TRUE(message.startsWith(QString::fromUtf8("No program is set up to open отчёт.txt"))) << message.toStdString();
}

TEST_F(AttachmentViewTest, DraggingOffersTheSelectedFileToMoveAfterTenPixels) {
  OpenMail();
  QList<QList<QUrl>> drags;
  std::string dragged;
  view->runDrag = [&](QMimeData* data) {
    drags.append(data->urls());
    if (!data->urls().isEmpty()) dragged = ReadFile(data->urls()[0].toLocalFile().toStdString());
    delete data;
  };
  const QPoint start = ItemCentre(1);
  Mouse(view->viewport(), QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  Mouse(view->viewport(), QEvent::MouseMove, start + QPoint(9, 9), Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(drags.isEmpty());
  Mouse(view->viewport(), QEvent::MouseMove, start + QPoint(10, 0), Qt::NoButton, Qt::LeftButton);
  ASSERT_EQ(drags.size(), 1);
  EXPECT_EQ(drags[0], QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(PrivateTempFolder() + "notes.txt"))});
  EXPECT_EQ(dragged, kSecond);
  EXPECT_TRUE(view->DropFiles().isEmpty());
  // Moving on without a new press starts no second drag.
  Mouse(view->viewport(), QEvent::MouseMove, start + QPoint(30, 0), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(drags.size(), 1);
}

// ---- The word report ----

class WordReportWindowTest : public WindowTest {
 protected:
  ui::TInfoForm* Popup() { return window->findChild<ui::TInfoForm*>("TInfoForm"); }
  void Press(Qt::MouseButton button) {
    Mouse(Find<QLabel>("infoPane"), QEvent::MouseButtonPress, QPoint(5, 5), button, button);
  }
  void Release(Qt::MouseButton button) {
    Mouse(Find<QLabel>("infoPane"), QEvent::MouseButtonRelease, QPoint(5, 5), button, Qt::NoButton);
  }
  void ConvertFrom(int from) {
    SetText(ui::ToQString(ConvertByPair(WinFromUtf8("Привет мир, привет друг! Хорошая погода, ЪЬЫЪ."), 2)));
    FromList()->setCurrentIndex(from);
    Convert();
  }
};

TEST_F(WordReportWindowTest, HeldLeftButtonShowsTheWordsCentredUntilReleased) {
  Open();
  ConvertFrom(0);
  Press(Qt::RightButton);
  EXPECT_EQ(Popup(), nullptr);
  Release(Qt::RightButton);

  Press(Qt::LeftButton);
  ui::TInfoForm* popup = Popup();
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->isVisible());
  EXPECT_EQ(popup->geometry().center(), window->frameGeometry().center());
  EXPECT_EQ(popup->wordList->toPlainText(),
            U(" \nRussian words detected:\n \nПривет мир привет друг Хорошая погода \n \n"
              "Unknown words:\n \nЪЬЫЪ "));
  Release(Qt::LeftButton);
  EXPECT_EQ(Popup(), nullptr);

  // The headings follow the language at the moment of the press.
  window->Settings().Cfg.English = false;
  Press(Qt::LeftButton);
  ASSERT_NE(Popup(), nullptr);
  EXPECT_TRUE(Popup()->wordList->toPlainText().contains(U("Распознанные русские слова:")));
  Release(Qt::LeftButton);

  // A fixed source code page runs no detection: no report.
  ConvertFrom(3);
  Press(Qt::LeftButton);
  EXPECT_EQ(Popup(), nullptr);
  Release(Qt::LeftButton);
}

}  // namespace
}  // namespace kamvo::testing
