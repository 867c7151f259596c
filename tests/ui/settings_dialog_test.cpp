// The settings dialog and the translit table dialog, on their own and
// through the window's settings button.
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTableWidget>

#include "codepages/unicode.h"
#include "settings/settings_edit.h"
#include "support/temp_dir.h"
#include "ui/settings_dialog.h"
#include "ui/translit_dialog.h"
#include "ui_test_support.h"

namespace kamvo::testing {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* widget = parent->findChild<T*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// Answers the next modal dialog that opens while it lives (other than one
// open already); seen tells whether one came.
class DialogWatch {
 public:
  explicit DialogWatch(std::function<void(QWidget*)> act) : before_(QApplication::activeModalWidget()) {
    QObject::connect(&timer_, &QTimer::timeout, [this, act] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog || dialog == before_) return;
      timer_.stop();
      ++seen;
      act(dialog);
    });
    timer_.start(5);
  }
  int seen = 0;

 private:
  QTimer timer_;
  QWidget* before_;
};

class SettingsFormTest : public ::testing::Test {
 protected:
  void Show(const TCfg& given) {
    form = std::make_unique<ui::TCfgForm>(given, nullptr);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  QLineEdit* Limit() { return Child<QLineEdit>(form.get(), "edtLimit"); }

  std::unique_ptr<ui::TCfgForm> form;
};

TEST_F(SettingsFormTest, LimitOutsideSixtyToHundredIsRefusedWhenTheFocusLeaves) {
  TCfg cfg;
  Show(cfg);
  QCheckBox* rtf = Child<QCheckBox>(form.get(), "chkRtf");
  int step = 0;
  for (const char* typed : {"59", "101", "abc", "60", "100"}) {
    SCOPED_TRACE(typed);
    // A new place for each press, which is then never taken for a double click.
    const QPoint at(6 + 12 * step++, rtf->height() / 2);
    const bool refused = !DetectionLimitAllowed(typed);
    Limit()->setFocus();
    Limit()->setText(typed);
    const bool checked = rtf->isChecked();
    QString message;
    DialogWatch watch([&](QWidget* box) {
      message = static_cast<QMessageBox*>(box)->text();
      static_cast<QDialog*>(box)->accept();
    });
    // The press moves the focus; the message comes before the release,
    // also when the release follows at once ("101").
    const bool fast = std::string(typed) == "101";
    QTest::mousePress(rtf, Qt::LeftButton, {}, at);
    if (refused && !fast) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return watch.seen == 1; }, 30000));
    }
    if (!fast) QCoreApplication::processEvents();
    QTest::mouseRelease(rtf, Qt::LeftButton, {}, at);
    if (refused) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.seen, refused ? 1 : 0);
    if (refused) {
      EXPECT_EQ(message, "\nAllowed values from 60 to 100");
      EXPECT_TRUE(Limit()->hasFocus());
      EXPECT_EQ(rtf->isChecked(), checked);  // the click did not happen
    } else {
      EXPECT_NE(rtf->isChecked(), checked);
    }
  }
}

TEST_F(SettingsFormTest, CancelNeverChecksAndOkTakesAWordAsEighty) {
  TCfg cfg;
  cfg.DetectionLimit = 70;
  {
    Show(cfg);
    Limit()->setFocus();
    Limit()->setText("abc");
    DialogWatch watch([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
    QTest::mouseClick(Child<QPushButton>(form.get(), "btnCancel"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.seen, 0);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(form->Cfg(), cfg);
  }
  {
    Show(cfg);
    Limit()->setFocus();
    Limit()->setText("abc");
    QTest::keyClick(Limit(), Qt::Key_Return);  // OK is the default button
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->Cfg().DetectionLimit, 80);
  }
  {
    // Enter with a number outside the range: the message, and the dialog stays.
    Show(cfg);
    Limit()->setFocus();
    Limit()->setText("101");
    DialogWatch watch([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
    QTest::keyClick(Limit(), Qt::Key_Return);
    EXPECT_EQ(watch.seen, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Cfg().DetectionLimit, 70);
  }
}

TEST_F(SettingsFormTest, TextsFollowTheLanguageWhateverTheSystemsLanguage) {
  struct Case {
    bool english;
    uint8_t system;
    const char* caption;
    const char* clipboard;
    const char* cancel;
    const char* message;
    const char* translitCaption;
    const char* translitHeading;
  };
  const Case cases[] = {
      {true, kLangRussian, "Settings", "Convert clipboard on start", "Cancel", "\nAllowed values from 60 to 100",
       "Translit settings", "Char"},
      {false, kLangEnglish, "Настройка", "Перекодировать буфер обмена при старте", "Отмена",
       "\nДопускаются значения от 60 до 100", "Настройка транслита", "Буква"},
      {false, kLangRussian, "Настройка", "Перекодировать буфер обмена при старте", "Отмена",
       "\nДопускаются значения от 60 до 100", "Настройка транслита", "Буква"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    TCfg cfg;
    cfg.English = c.english;
    cfg.UserLanguage = c.system;
    Show(cfg);
    EXPECT_EQ(form->windowTitle(), U(c.caption));
    EXPECT_EQ(Child<QCheckBox>(form.get(), "chkClipboard")->text(), U(c.clipboard));
    EXPECT_EQ(Child<QPushButton>(form.get(), "btnCancel")->text(), U(c.cancel));
    EXPECT_EQ(Child<QRadioButton>(form.get(), c.english ? "englishButton" : "russianButton")->isChecked(), true);
    // Switching the language changes nothing while the dialog is open.
    Child<QRadioButton>(form.get(), c.english ? "russianButton" : "englishButton")->click();
    EXPECT_EQ(Child<QCheckBox>(form.get(), "chkClipboard")->text(), U(c.clipboard));
    QString message;
    DialogWatch watch([&](QWidget* box) {
      message = static_cast<QMessageBox*>(box)->text();
      static_cast<QDialog*>(box)->accept();
    });
    Limit()->setText("5");
    form->edtLimitExit();
    EXPECT_EQ(message, U(c.message));

    ui::TTranslitForm translit(cfg, form.get());
    EXPECT_EQ(translit.windowTitle(), U(c.translitCaption));
    EXPECT_EQ(Child<QTableWidget>(&translit, "Grid")->item(0, 0)->text(), U(c.translitHeading));
    EXPECT_EQ(Child<QPushButton>(&translit, "btnCancel")->text(), U(c.cancel));
  }
}

// Opens the interface font chooser, picks size 17 with Apply and cancels it;
// then types "zz", a Cyrillic letter and a digit into the first spelling
// and ends the translit dialog with OK; then ends the settings dialog with
// the button named `end`.
void EditFontAndTranslit(QWidget* form, const char* end, int& sizeSeenAfterApply) {
  DialogWatch fontWatch([&](QWidget* dialog) {
    auto* chooser = static_cast<QFontDialog*>(dialog);
    QFont font = chooser->currentFont();
    font.setPointSize(17);
    chooser->setCurrentFont(font);
    chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
    sizeSeenAfterApply = form->font().pointSize();
    chooser->reject();
  });
  Child<QPushButton>(form, "interfaceFontButton")->click();

  DialogWatch translitWatch([&](QWidget* dialog) {
    auto* grid = Child<QTableWidget>(dialog, "Grid");
    grid->setFocus();
    grid->setCurrentCell(1, 1);
    QTest::keyClick(grid, Qt::Key_Z);  // starts editing the cell
    QWidget* editor = grid->indexWidget(grid->currentIndex());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "z5 ");
    QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, U("ж"), Qt::NoModifier);
    QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
  });
  Child<QPushButton>(form, "btnTranslit")->click();
  Child<QPushButton>(form, end)->click();
}

// Enter ends a cell's edit and keeps what was typed; Esc then closes the
// dialog as Cancel.
TEST(TranslitDialogTest, EnterEndsACellsEditAndEscCancels) {
  TCfg cfg;
  ui::TTranslitForm translit(cfg, nullptr);
  translit.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&translit));
  auto* grid = Child<QTableWidget>(&translit, "Grid");
  grid->setFocus();
  grid->setCurrentCell(1, 1);
  QTest::keyClick(grid, Qt::Key_Q);
  QWidget* editor = grid->indexWidget(grid->currentIndex());
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_W);
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(grid->indexWidget(grid->currentIndex()), nullptr);  // the edit has ended
  EXPECT_EQ(grid->item(1, 1)->text(), "QW");
  EXPECT_TRUE(translit.isVisible());
  QTest::keyClick(grid, Qt::Key_Escape);
  EXPECT_FALSE(translit.isVisible());
  EXPECT_EQ(translit.result(), QDialog::Rejected);
}

TEST(SettingsDialogTest, FontsAndTranslitTableReachTheCallerOnlyThroughOk) {
  TCfg cfg;
  cfg.TranslitTable = "a\r\nb";  // small letters, too few lines
  cfg.TextFont = {"DejaVu Sans Mono", 11, 204, kFontBold};
  const TCfg before = cfg;
  for (const char* end : {"btnCancel", "btnOK"}) {
    SCOPED_TRACE(end);
    int sizeAfterApply = 0;
    DialogWatch watch([&](QWidget* form) { EditFontAndTranslit(form, end, sizeAfterApply); });
    const bool ok = ui::EditCfg(cfg, nullptr);
    EXPECT_EQ(sizeAfterApply, 17);  // Apply shows the font at once
    EXPECT_EQ(ok, std::string(end) == "btnOK");
  }
  EXPECT_EQ(cfg.InterfaceFont.Size, 17);
  std::string table = "ZZ\r\nB\r\n";
  for (int i = 2; i < 33; ++i) table += "\r\n";
  EXPECT_EQ(cfg.TranslitTable, table);
  EXPECT_EQ(cfg.TextFont, before.TextFont);
}

// Through the window: the dialog's choices are applied, stored, and read by
// the command line from the same store.
class SettingsWindowTest : public WindowTest {};

TEST_F(SettingsWindowTest, OkAppliesAndStoresWhatTheCommandLineThenUses) {
  Open([](TSettings& s) { s.Cfg.English = true; });
  DialogWatch watch([&](QWidget* form) {
    Child<QCheckBox>(form, "chkBase64")->setChecked(false);
    Child<QCheckBox>(form, "chkTray")->setChecked(false);
    Child<QLineEdit>(form, "edtLimit")->setText("95");
    Child<QRadioButton>(form, "russianButton")->setChecked(true);
    Child<QPushButton>(form, "btnOK")->click();
  });
  Tool("settingsAction")->trigger();
  EXPECT_EQ(watch.seen, 1);
  EXPECT_FALSE(Find<QCheckBox>("chkBase64")->isChecked());
  EXPECT_EQ(Find<QPushButton>("convertButton")->text(), U("Перекодировать"));

  TSettings stored;
  ReadCfg(stored);
  EXPECT_FALSE(stored.Cfg.English);
  EXPECT_FALSE(stored.Cfg.ConvertBase64);
  EXPECT_FALSE(stored.Cfg.TrayIcon);
  EXPECT_EQ(stored.Cfg.DetectionLimit, 95);

  TempDir dir;
  const std::string file = dir / "letter.txt";
  WriteFile(file, ConvertByPair(WinFromUtf8("Привет мир, дорогой друг"), 2));
  QProcess cli;
  cli.start(KAMVO_EXECUTABLE, {QString::fromStdString(file), QString::fromStdString(dir / "out.txt")});
  ASSERT_TRUE(cli.waitForFinished(30000));
  EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardOutput()).contains(U("Русский текст распознан на 100%")));
}

}  // namespace
}  // namespace kamvo::testing
