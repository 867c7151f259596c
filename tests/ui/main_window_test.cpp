#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QLocalSocket>
#include <QProcess>
#include <QUrl>

#include <filesystem>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "support/temp_dir.h"
#include "ui/app.h"
#include "ui/qt_window.h"
#include "ui_test_support.h"

namespace kamvo::testing {
namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A Russian letter in Windows-1251, and the same text as KOI-8 bytes read
// as Windows-1251: what a wrongly shown KOI-8 letter looks like.
const char* const kRussianUtf8 =
    "Добро пожаловать, дорогой читатель.\n"
    "Этот текст написан по-русски и сначала показан не в той кодировке.\n"
    "Программа находит нужную кодировку и возвращает нормальный вид.";
const std::string kRussian = WinFromUtf8(kRussianUtf8);
const std::string kKoi = ConvertByPair(kRussian, 2);

// Words that no chain of conversions makes Russian: detection searches
// every chain before it gives up.
const Lines kNothingRussian(50, "\xE0\xE0\xE0\xE0\xE1\xE2 \xC1\xC1\xC1\xC1\xD5\xF7 \x90\x90\x90\x90\x91\xAB");

bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); }

void DropOn(QWidget* target, const QList<QUrl>& urls) {
  QMimeData mime;
  mime.setUrls(urls);
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(QPoint(5, 5), actions, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(5, 5), actions, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

QUrl FileUrl(const std::string& path) { return QUrl::fromLocalFile(QString::fromUtf8(path)); }

class MainWindowTest : public WindowTest {
 protected:
  // Starts a conversion of a text that keeps detection busy and breaks it
  // off from inside (Stop by default), as soon as the window handles events.
  void ConvertAndStop(std::function<void()> breakOff = {}) {
    for (const char* name : {"chkBase64", "chkQP", "chkRtf", "chkHtml", "chkUtf8", "chkTranslit"})
      Find<QCheckBox>(name)->setChecked(false);
    window->Conv().TextBuffer = Text::FromLines(kNothingRussian);
    window->Conv().CopyTextToScreen();
    bool stopped = false;
    QTimer::singleShot(0, [&] {
      EXPECT_TRUE(Tool("SpeedButton5")->isEnabled());
      EXPECT_FALSE(Tool("SpeedButton1")->isEnabled());
      if (breakOff)
        breakOff();
      else
        Tool("SpeedButton5")->trigger();
      stopped = true;
    });
    Find<QPushButton>("btnConv")->click();
    EXPECT_TRUE(stopped);
  }
};

TEST_F(MainWindowTest, DroppedKoiFileIsShownReadableAndBackRestoresIt) {
  Open();
  TempDir dir;
  const std::string file = dir / "письмо.txt";
  WriteFile(file, kKoi);
  DropOn(Editor()->viewport(), {FileUrl(file)});
  ASSERT_TRUE(WaitFor([&] { return EditorText() == U(kRussianUtf8); })) << EditorText().toStdString();
  EXPECT_TRUE(Pane().contains("Russian text detected")) << Pane().toStdString();
  EXPECT_TRUE(Pane().contains("KOI-8  ->  Windows")) << Pane().toStdString();
  EXPECT_EQ(ReadFile(file), kKoi);  // opening never changes the file
  ASSERT_TRUE(Tool("SpeedButton8")->isEnabled());

  Tool("SpeedButton8")->trigger();
  EXPECT_EQ(EditorText(), ui::ToQString(kKoi));
  EXPECT_FALSE(Tool("SpeedButton8")->isEnabled());
  window->Back();
  EXPECT_EQ(EditorText(), ui::ToQString(kKoi));
}

TEST_F(MainWindowTest, StopBreaksOffALongDetection) {
  Open();
  ConvertAndStop();
  EXPECT_TRUE(Pane().startsWith("User break.")) << Pane().toStdString();
  EXPECT_EQ(ToLines(window->Conv().TextBuffer), kNothingRussian);
  EXPECT_FALSE(Tool("SpeedButton5")->isEnabled());
  EXPECT_TRUE(Tool("SpeedButton1")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("btnConv")->isVisible());
}

TEST_F(MainWindowTest, WithConvertOnStartMinimisingBreaksOffAConversion) {
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  ConvertAndStop([&] { window->showMinimized(); });
  EXPECT_TRUE(Pane().startsWith("User break.")) << Pane().toStdString();
}

// The To list starts at the locale's character set (UTF-8 here), or at the
// target the settings name; a text saved with UTF-8 chosen is UTF-8.
TEST_F(MainWindowTest, TargetFollowsTheLocaleOrTheSettings) {
  Open([](TSettings& s) { s.Cfg.Target = ""; });
  EXPECT_EQ(Find<QComboBox>("cmbTo")->currentText(), "UTF-8");
  window->Conv().TextBuffer = Text::FromLines({"\xCF\xF0\xE8\xE2\xE5\xF2"});
  window->Conv().CopyTextToScreen();
  TempDir dir;
  window->chooseSaveFile = [&] { return QString::fromStdString(dir / "saved.txt"); };
  Tool("SpeedButton2")->trigger();
  EXPECT_EQ(ReadFile(dir / "saved.txt"), "Привет\n");
  window.reset();
  Open([](TSettings& s) { s.Cfg.Target = "koi8-r"; });
  EXPECT_EQ(Find<QComboBox>("cmbTo")->currentText(), "KOI-8");
}

TEST_F(MainWindowTest, EveryByteSurvivesTheEditorAndSaving) {
  Open();
  std::string all;
  for (int b = 0; b < 256; ++b)
    if (b != '\r' && b != '\n') all.push_back(static_cast<char>(b));
  const Lines text = {all, "\xA0\xA0no-break\xA0", "", "\x98"};
  window->Conv().TextBuffer = Text::FromLines(text);
  window->Conv().CopyTextToScreen();
  // The user types a letter at the end and takes it back.
  Editor()->moveCursor(QTextCursor::End);
  QTest::keyClick(Editor(), Qt::Key_X);
  QTest::keyClick(Editor(), Qt::Key_Backspace);
  EXPECT_TRUE(window->Conv().ScreenChanged);

  TempDir dir;
  window->chooseSaveFile = [&] { return QString::fromStdString(dir / "saved.txt"); };
  Tool("SpeedButton2")->trigger();
  EXPECT_EQ(ReadFile(dir / "saved.txt"), JoinLines(text, "\n"));
  EXPECT_EQ(ToLines(window->Conv().TextBuffer), text);
}

TEST_F(MainWindowTest, TextTooLargeForTheEditorIsKeptWholeAndSaidSo) {
  Open();
  const Lines text = {"first", std::string(ui::kEditorMaxLine + 1, 'a') + kKoi, "last"};
  window->Conv().TextBuffer = Text::FromLines(text);
  window->Conv().CopyTextToScreen();
  EXPECT_TRUE(Editor()->isReadOnly());
  EXPECT_TRUE(EditorText().startsWith("This text is too large for the editor."));

  TempDir dir;
  window->chooseSaveFile = [&] { return QString::fromStdString(dir / "saved.txt"); };
  Tool("SpeedButton2")->trigger();
  EXPECT_EQ(ReadFile(dir / "saved.txt"), JoinLines(text, "\n"));

  // A text the editor takes makes it editable again.
  window->Conv().TextBuffer = {"small"};
  window->Conv().CopyTextToScreen();
  EXPECT_FALSE(Editor()->isReadOnly());
  EXPECT_EQ(EditorText(), "small");
}

TEST_F(MainWindowTest, LanguageFollowsTheSettingAndTheUsersLanguage) {
  Open();
  ConvertAndStop();
  auto* menu = Find<QMenu>("PopupMenu2");
  // The settings dialog shows the record reloaded from the store; OK applies it.
  const auto setConfig = [&] {
    AnswerNextDialog([](QWidget* form) { form->findChild<QPushButton*>("btnOK")->click(); });
    window->SetConfig();
  };

  StoreSettings([](TSettings& s) { s.Cfg.English = false; });
  setConfig();
  EXPECT_EQ(Find<QLabel>("Label1")->text(), U(" Из"));
  EXPECT_EQ(Find<QPushButton>("btnConv")->text(), U("Перекодировать"));
  EXPECT_EQ(Find<QCheckBox>("chkHtml")->toolTip(), U("Перекодировать HTML в текст"));
  EXPECT_EQ(Find<QCheckBox>("chkQP")->text(), U("QP && 7bit"));
  // The user's language is not Russian: hints and menus stay English.
  EXPECT_EQ(Tool("SpeedButton1")->toolTip(), U("Open file"));
  EXPECT_EQ(menu->actions()[0]->text(), U("Select all"));
  EXPECT_TRUE(Pane().startsWith(U("Прервано."))) << Pane().toStdString();
  QString caption, title;
  AnswerNextDialog([&](QWidget* box) {
    caption = box->windowTitle();
    title = box->findChild<QLabel*>("Label1")->text();
    box->close();
  });
  window->About();
  EXPECT_EQ(caption, U("About KAMVO"));
  EXPECT_EQ(title, U("KAMVO 2.18 для Linux"));

  StoreSettings([](TSettings& s) { s.Cfg.English = true; });
  setConfig();
  EXPECT_EQ(Find<QLabel>("Label1")->text(), U("From"));
  EXPECT_EQ(Find<QCheckBox>("chkHtml")->toolTip(), U("Convert HTML"));
  EXPECT_TRUE(Pane().startsWith(U("Прервано.")));  // not translated back

  setenv("LANG", "ru_RU.UTF-8", 1);
  StoreSettings([](TSettings& s) { s.Cfg.English = false; });
  setConfig();
  EXPECT_EQ(Tool("SpeedButton1")->toolTip(), U("Открыть файл"));
  EXPECT_EQ(Tool("SpeedButton8")->toolTip(), U("Назад"));
  EXPECT_EQ(menu->actions()[0]->text(), U("Выделить все"));
  AnswerNextDialog([&](QWidget* box) {
    caption = box->windowTitle();
    box->close();
  });
  window->About();
  EXPECT_EQ(caption, U("О программе KAMVO"));
  setenv("LANG", "C.UTF-8", 1);
}

TEST_F(MainWindowTest, ClipboardIsConvertedOnShowPastedAndCopied) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(ui::ToQString(kKoi));
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  ASSERT_TRUE(WaitFor([&] { return EditorText() == U(kRussianUtf8); })) << EditorText().toStdString();
  EXPECT_EQ(clipboard->text(), ui::ToQString(kKoi));  // the result is not copied back

  Editor()->clear();
  clipboard->setText(U("Привет α é"));
  QTest::keyClick(Editor(), Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(EditorText(), U("Привет ? й"));  // Greek has no byte; é is the byte 0xE9
  EXPECT_EQ(ToLines(window->Conv().TextBuffer), Lines{WinFromUtf8("Привет ? й")});

  clipboard->setText("kept");
  QTest::keyClick(Editor(), Qt::Key_Insert, Qt::ControlModifier);  // nothing selected
  EXPECT_EQ(clipboard->text(), "kept");
  Tool("SpeedButton3")->trigger();  // copies everything and leaves it selected
  EXPECT_EQ(clipboard->text(), U("Привет ? й"));
  EXPECT_EQ(Editor()->textCursor().selectedText(), U("Привет ? й"));
}

TEST_F(MainWindowTest, DroppedFolderIsConvertedAfterTheQuestion) {
  Open();
  TempDir dir;
  fs::create_directories(dir.path() / "tree" / "sub");
  WriteFile(dir / "tree/a.txt", kKoi);
  WriteFile(dir / "tree/sub/b.txt", kKoi);
  WriteFile(dir / "c.txt", kKoi);

  // Two files dropped on the editor: the question, answered No.
  bool closable = true;
  QString question;
  AnswerNextDialog([&](QWidget* dialog) {
    closable = dialog->windowFlags() & Qt::WindowCloseButtonHint;
    question = dialog->findChild<QLabel*>("lblText")->text();
    dialog->close();  // refused: only the buttons answer
    dialog->findChild<QPushButton*>("btnNo")->click();
  });
  DropOn(Editor()->viewport(), {FileUrl(dir / "c.txt"), FileUrl(dir / "tree/a.txt")});
  ASSERT_TRUE(WaitFor([&] { return !question.isEmpty(); }));
  EXPECT_FALSE(closable);
  EXPECT_EQ(question, U("Convert 2 file(s)\r\nfrom Auto to Windows ?"));
  QCoreApplication::processEvents();
  EXPECT_EQ(ReadFile(dir / "c.txt"), kKoi);

  // A folder dropped on the window, answered Yes.
  question.clear();
  AnswerNextDialog([&](QWidget* dialog) {
    question = dialog->findChild<QLabel*>("lblText")->text();
    dialog->findChild<QPushButton*>("btnYes")->click();
  });
  DropOn(window.get(), {FileUrl(dir / "tree")});
  ASSERT_TRUE(WaitFor([&] { return EditorText().contains("File converted"); }));
  EXPECT_EQ(question, U("Convert 1 folder(s)\r\nfrom Auto to Windows ?"));
  EXPECT_EQ(ReadFile(dir / "tree/a.txt"), kRussian);
  EXPECT_EQ(ReadFile(dir / "tree/sub/b.txt"), kRussian);
  EXPECT_EQ(ReadFile(dir / "tree/sub/b.txt.bak"), kKoi);
  EXPECT_EQ(ReadFile(dir / "c.txt"), kKoi);
  EXPECT_EQ(EditorText().count("File converted"), 2);
}

TEST_F(MainWindowTest, WithoutATrayEscMinimisesAndClosingEndsAndStoresThePaths) {
  Open();
  TempDir dir;
  WriteFile(dir / "a.txt", "text");
  window->chooseOpenFiles = [&] { return QStringList{QString::fromStdString(dir / "a.txt")}; };
  Tool("SpeedButton1")->trigger();
  EXPECT_EQ(EditorText(), "text");
  window->WordWrap();
  EXPECT_FALSE(window->Conv().ScreenChanged);  // re-wrapping is no edit

  QTest::keyClick(Find<QComboBox>("cmbTo"), Qt::Key_Escape);
  EXPECT_TRUE(window->isMinimized());
  EXPECT_TRUE(window->isVisible());  // no tray: the window stays reachable
  window->TrayClick();
  EXPECT_FALSE(window->isMinimized());

  EXPECT_TRUE(window->close());
  TSettings stored;
  ReadCfg(stored);
  EXPECT_EQ(stored.LastOpenPath, dir.path().string() + "/");
  EXPECT_TRUE(stored.Cfg.WordWrapOn);  // the tests start with it off
}

TEST_F(MainWindowTest, FirstRunShowsTheSampleOnce) {
  TempDir dir;
  fs::copy_file(KAMVO_SAMPLE, dir / "sample.txt");
  Open([](TSettings&) {}, dir / "kamvo");
  ASSERT_TRUE(WaitFor([&] { return EditorText().startsWith(U("Добро пожаловать в KAMVO!")); }))
      << EditorText().toStdString();
  TSettings stored;
  ReadCfg(stored);
  EXPECT_FALSE(stored.FirstRun);

  window.reset();
  window = std::make_unique<ui::TMainWindow>();
  window->TrayClick();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QCoreApplication::processEvents();
  EXPECT_TRUE(EditorText().isEmpty());
}

// Leaves a socket file that nobody listens on, as a copy that died would.
void MakeStaleSocket(const QString& name) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = name.toStdString();
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
}

TEST(SingleInstance, SecondStartShowsTheRunningWindowAndEnds) {
  StoreSettings([](TSettings&) {});
  const QString name = ui::InstanceSocketName();
  MakeStaleSocket(name);
  ui::SingleInstance running(name);
  int shown = 0;
  ASSERT_TRUE(running.Listen([&] { ++shown; }));

  QProcess second;
  second.setStandardInputFile(QProcess::nullDevice());  // as a desktop starts it
  second.start(KAMVO_EXECUTABLE, {});
  ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(shown, 1);
}

TEST(WindowProgram, OnlyOneWindowRunsPerUser) {
  StoreSettings([](TSettings&) {});
  QProcess first;
  first.setStandardInputFile(QProcess::nullDevice());  // as a desktop starts it
  first.start(KAMVO_EXECUTABLE, {});
  ASSERT_TRUE(WaitFor([&] {
    QLocalSocket probe;
    probe.connectToServer(ui::InstanceSocketName());
    return probe.waitForConnected(100);
  }));
  QProcess second;
  second.setStandardInputFile(QProcess::nullDevice());  // as a desktop starts it
  second.start(KAMVO_EXECUTABLE, {});
  ASSERT_TRUE(second.waitForFinished(30000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  first.terminate();
  EXPECT_TRUE(first.waitForFinished(30000));
}

TEST(WindowProgram, WithoutADisplayItExplainsTheCommandLine) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  program.setProcessEnvironment(env);
  program.setStandardInputFile(QProcess::nullDevice());  // as a desktop starts it
  program.start(KAMVO_EXECUTABLE, {});
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 2);
  EXPECT_TRUE(program.readAllStandardError().contains("command line usage:"));
}

}  // namespace
}  // namespace kamvo::testing
