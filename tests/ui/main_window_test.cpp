#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QSplitter>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <filesystem>

#include "codepages/code_page_list.h"
#include "codepages/code_page_unicode.h"
#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "support/iconv.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"
#include "ui/app.h"
#include "ui/dialogs.h"
#include "ui/editor_text.h"
#include "ui/qt_window.h"
#include "ui/settings_dialog.h"
#include "ui/translit_dialog.h"
#include "ui/warning_form.h"
#include "ui_test_support.h"

namespace kamvo::testing {
namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kRussianUtf8 =
    "Добро пожаловать, дорогой читатель.\n"
    "Этот текст написан по-русски и сначала показан не в той кодировке.\n"
    "Программа находит нужную кодировку и возвращает нормальный вид.";
const std::string kRussian = WinFromUtf8(kRussianUtf8);
const std::string kKoi = ConvertByPair(kRussian, 2);

// Unicode text as a program shows Windows-1251 bytes it reads as the code
// page `code`.
QString MisreadAs(int code, const std::string& utf8) {
  QString text;
  for (const char b : WinFromUtf8(utf8)) {
    const char32_t c = CodePageToUnicode(code, static_cast<Byte>(b));
    text += QString::fromUcs4(&c, 1);
  }
  return text;
}

// Words that no chain of conversions makes Russian: detection searches
// every chain before it gives up.
QString NothingRussian(int lines) {
  QString text;
  for (int i = 0; i < lines; ++i)
    text += ui::ToQString("\xE0\xE0\xE0\xE0\xE1\xE2 \xC1\xC1\xC1\xC1\xD5\xF7 \x90\x90\x90\x90\x91\xAB\n");
  return text;
}

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

using MainWindowTest = WindowTest;

// ---- Nothing the user has is lost ----

TEST_F(MainWindowTest, ConvertOnStartNeverReplacesTypedText) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(ui::ToQString(kKoi));
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  ASSERT_TRUE(WaitFor([&] { return EditorText() == U(kRussianUtf8); })) << EditorText().toStdString();
  EXPECT_EQ(clipboard->text(), ui::ToQString(kKoi));  // the result is not copied back

  // The user types over it; hiding and showing the window keeps the text.
  Editor()->selectAll();
  for (const QChar ch : U("мой текст"))
    QTest::sendKeyEvent(QTest::Click, Editor(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
  EXPECT_EQ(EditorText(), U("мой текст"));
  window->showMinimized();
  window->TrayClick();
  QTest::qWait(50);
  WaitIdle();
  EXPECT_EQ(EditorText(), U("мой текст"));
}

TEST_F(MainWindowTest, ConvertOnStartReplacesOnlyWhatTheClipboardGaveAndBackBringsItBack) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(ui::ToQString(kKoi));
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  ASSERT_TRUE(WaitFor([&] { return EditorText() == U(kRussianUtf8); }));
  ASSERT_TRUE(Tool("backAction")->isEnabled());  // the conversion can be undone

  // Untouched, the clipboard's text is replaced by the next showing's.
  clipboard->setText(U("новый текст"));
  window->showMinimized();
  window->TrayClick();
  ASSERT_TRUE(WaitFor([&] { return EditorText() == U("новый текст"); }));
  WaitIdle();
  Tool("backAction")->trigger();
  EXPECT_EQ(EditorText(), U(kRussianUtf8));
  // The showing's late focus request (TrayClick asks again 100 ms later)
  // and the activation it brings convert nothing more.
  QTest::qWait(300);
  WaitIdle();
  EXPECT_EQ(EditorText(), U(kRussianUtf8));
}

TEST_F(MainWindowTest, EveryReplacementOfTheEditorCanBeTakenBack) {
  Open();
  SetText(U("typed by hand"));
  TempDir dir;
  WriteFile(dir / "a.txt", "from a file");
  window->OpenSingleFile(dir / "a.txt");
  WaitIdle();
  EXPECT_EQ(EditorText(), "from a file");
  ASSERT_TRUE(Tool("backAction")->isEnabled());
  // Ctrl+Z in an editor with nothing of its own to undo is Back.
  QTest::keyClick(Editor(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(EditorText(), "typed by hand");
  EXPECT_FALSE(Tool("backAction")->isEnabled());
}

// ---- Unicode through and through ----

TEST_F(MainWindowTest, CorrectUnicodeOnTheClipboardComesThroughUntouched) {
  const QString text = U("Привет! 😀 Формула: α+β ≤ γ, цена 5 €…");
  QGuiApplication::clipboard()->setText(text);
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  WaitIdle();
  EXPECT_EQ(EditorText(), text);
}

// The window's result equals the command line's on the same UTF-8 bytes:
// ё read through KOI-8 comes back.
TEST_F(MainWindowTest, ResultEqualsTheCommandLinesOnTheSameText) {
  Open();
  const QString garbled = MisreadAs(kKoi8, "Этот текст остаётся русским, как и всё остальное в нём.") + "\n" +
                          MisreadAs(kKoi8, "Ещё одна строка: ёлка, ёж и счёт.");
  TempDir dir;
  WriteFile(dir / "in.txt", garbled.toStdString());
  const ProgramRun cli = RunKamvo(dir, {"--to=utf-8", "--stdout", dir / "in.txt"});
  ASSERT_EQ(cli.Status, 0) << cli.Err;
  EXPECT_TRUE(QString::fromStdString(cli.Out).contains(U("остаётся русским")));

  QGuiApplication::clipboard()->setText(garbled);
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_Insert, Qt::ShiftModifier);
  Convert();
  EXPECT_EQ(EditorText(), QString::fromStdString(cli.Out));
  EXPECT_TRUE(Pane().contains("Russian text detected")) << Pane().toStdString();
}

TEST_F(MainWindowTest, EveryCharacterSurvivesTheEditorAndSavingAsUtf8) {
  Open();
  ChooseTo("UTF-8");
  QString all;
  for (char32_t c : {0x20, 0x41, 0xA0, 0x98, 0x401, 0x451, 0x2014, 0x20AC, 0x1F600, 0x3B1, 0x2028})
    all += QString::fromUcs4(&c, 1);
  SetText(all + "\n\n" + all);
  EXPECT_EQ(ui::EditorText(Editor()), all + "\n\n" + all);
  TempDir dir;
  window->chooseSaveFile = [&](const QString&) { return QString::fromStdString(dir / "saved.txt"); };
  Tool("saveAction")->trigger();
  EXPECT_EQ(QString::fromStdString(ReadFile(dir / "saved.txt")), all + "\n\n" + all + "\n");
}

TEST_F(MainWindowTest, EveryByteOfAFileSurvivesOpeningAndSavingInWindows1251) {
  Open([](TSettings& s) { s.Cfg.ConvertFileOpen = false; });
  std::string all;
  for (int b = 0; b < 256; ++b)
    if (b != '\r' && b != '\n' && b >= 0x20) all.push_back(static_cast<char>(b));
  TempDir dir;
  WriteFile(dir / "bytes.txt", all + "\n");
  window->OpenSingleFile(dir / "bytes.txt");
  WaitIdle();
  ChooseTo("Windows");
  window->chooseSaveFile = [&](const QString&) { return QString::fromStdString(dir / "saved.txt"); };
  Tool("saveAsAction")->trigger();
  EXPECT_EQ(ReadFile(dir / "saved.txt"), all + "\n");
}

// ---- Code pages ----

TEST_F(MainWindowTest, ListsHoldTheCommandLinesCodePagesAndTheTargetFollowsTheLocale) {
  Open([](TSettings& s) { s.Cfg.Target = ""; });
  QStringList to;
  for (int i = 0; i < ToList()->count(); ++i) to << ToList()->itemText(i);
  QStringList from;
  for (int i = 1; i < FromList()->count(); ++i) from << FromList()->itemText(i);
  QStringList all, converted;
  for (const CodePageInfo& page : CodePageList()) {
    all << QString::fromStdString(std::string(page.Name));
    if (ui::ConvertsCode(page.Code)) converted << QString::fromStdString(std::string(page.Name));
  }
  EXPECT_EQ(to, all);
  EXPECT_EQ(from, converted);
  EXPECT_TRUE(from.contains("UTF-8") && from.contains("KOI-8")) << from.join(",").toStdString();
  EXPECT_EQ(ToList()->currentText(), "UTF-8");  // the tests' locale is C.UTF-8
  window.reset();
  Open([](TSettings& s) { s.Cfg.Target = "koi8-r"; });
  EXPECT_EQ(ToList()->currentText(), "KOI-8");
}

TEST_F(MainWindowTest, SaveWritesTheChosenTargetAndProposesTheOpenedFile) {
  Open([](TSettings& s) { s.Cfg.ConvertFileOpen = true; });
  TempDir dir;
  const std::string file = dir / "письмо.txt";
  WriteFile(file, kKoi);
  window->OpenSingleFile(file);
  WaitIdle();
  ASSERT_TRUE(EditorText().startsWith(U("Добро пожаловать"))) << EditorText().toStdString();
  EXPECT_EQ(window->windowTitle(), U("письмо.txt[*] - KAMVO"));
  Editor()->moveCursor(QTextCursor::End);
  for (const QChar ch : U(" — «да»"))
    QTest::sendKeyEvent(QTest::Click, Editor(), Qt::Key_unknown, QString(ch), Qt::NoModifier);

  QString proposed;
  window->chooseSaveFile = [&](const QString& p) {
    proposed = p;
    return QString::fromStdString(dir / "koi.txt");
  };
  ChooseTo("KOI-8");
  Tool("saveAsAction")->trigger();
  EXPECT_EQ(proposed, QString::fromStdString(file));
  // KOI-8 has no em dash and no guillemets: spelt as the command line
  // spells them, and said.
  WriteFile(dir / "utf8.txt", EditorText().toStdString() + "\n");
  const ProgramRun cli = RunKamvo(dir, {"--to=koi8-r", "--stdout", dir / "utf8.txt"});
  EXPECT_EQ(ReadFile(dir / "koi.txt"), cli.Out);
  EXPECT_TRUE(ReadFile(dir / "koi.txt").find(" - <<") != std::string::npos) << ReadFile(dir / "koi.txt");
  EXPECT_TRUE(Pane().contains("spelt out")) << Pane().toStdString();
  EXPECT_EQ(ReadFile(file), kKoi);  // the opened file is untouched
}

TEST_F(MainWindowTest, BatchNamesTheTargetAndLeavesCorrectFilesAlone) {
  Open([](TSettings& s) { s.Cfg.Target = "utf-8"; });
  TempDir dir;
  fs::create_directories(dir.path() / "tree" / "sub");
  const std::string correct = std::string(kRussianUtf8) + "\n";
  WriteFile(dir / "tree/correct.txt", correct);
  WriteFile(dir / "tree/sub/koi.txt", kKoi + "\n");
  QString question;
  AnswerNextDialog([&](QWidget* dialog) {
    question = dialog->findChild<QLabel*>("questionLabel")->text();
    dialog->findChild<QPushButton*>("yesButton")->click();
  });
  DropOn(window.get(), {FileUrl(dir / "tree")});
  ASSERT_TRUE(WaitFor([&] { return !question.isEmpty() && !window->Running() && EditorText().contains("File"); }));
  EXPECT_EQ(question, U("Convert 1 folder(s)\r\nfrom Auto to UTF-8 ?"));
  EXPECT_EQ(ReadFile(dir / "tree/correct.txt"), correct);
  EXPECT_FALSE(fs::exists(dir.path() / "tree/correct.txt.bak"));
  EXPECT_EQ(ReadFile(dir / "tree/sub/koi.txt"), correct);
  EXPECT_EQ(ReadFile(dir / "tree/sub/koi.txt.bak"), kKoi + "\n");
}

// A folder converts into every code page the command line writes, each
// file as the command line converts it; From reads them too.
TEST_F(MainWindowTest, BatchConvertsIntoEveryCodePageOfTheCommandLine) {
  Open();
  for (const char* name : {"MacCyrillic", "KOI8-U", "CP1125", "IBM855"})
    EXPECT_GE(FromList()->findText(name), 0) << name;
  TempDir dir;
  for (const char* code : {"mac-cyrillic", "koi8-u", "cp1125", "ibm855"}) {
    const fs::path folder = dir.path() / code;
    fs::create_directories(folder);
    WriteFile(folder / "koi.txt", kKoi + "\n");
    WriteFile(dir / "expected.txt", kKoi + "\n");
    const ProgramRun cli = RunKamvo(dir, {std::string("--to=") + code, "--stdout", dir / "expected.txt"});
    ASSERT_EQ(cli.Status, 0) << cli.Err;
    ToList()->setCurrentIndex(ToList()->findData(CodeFromOptionName(code)));
    AnswerNextDialog([](QWidget* dialog) { dialog->findChild<QPushButton*>("yesButton")->click(); });
    window->OpenMultiFiles({folder.string()});
    WaitIdle();
    EXPECT_EQ(ReadFile(folder / "koi.txt"), cli.Out) << code;
    std::string expected;
    ASSERT_TRUE(Iconv(std::string(kRussianUtf8) + "\n", "UTF-8", code, expected)) << code;
    EXPECT_EQ(cli.Out, expected) << code;
  }
}

TEST_F(MainWindowTest, TwoDroppedFilesAskAndNoChangesNothing) {
  Open();
  SetText("kept");
  TempDir dir;
  WriteFile(dir / "a.txt", kKoi);
  WriteFile(dir / "b.txt", kKoi);
  QString question;
  AnswerNextDialog([&](QWidget* dialog) {
    question = dialog->findChild<QLabel*>("questionLabel")->text();
    dialog->findChild<QPushButton*>("noButton")->click();
  });
  DropOn(Editor()->viewport(), {FileUrl(dir / "a.txt"), FileUrl(dir / "b.txt")});
  ASSERT_TRUE(WaitFor([&] { return !question.isEmpty(); }));
  EXPECT_EQ(question, U("Convert 2 file(s)\r\nfrom Auto to Windows ?"));
  QCoreApplication::processEvents();
  EXPECT_EQ(ReadFile(dir / "a.txt"), kKoi);
  EXPECT_EQ(EditorText(), "kept");
}

// Esc and the close button decline the question; Enter accepts it.
TEST_F(MainWindowTest, TheQuestionAnswersEscItsCloseButtonAndEnter) {
  Open();
  bool closable = false;
  AnswerNextDialog([&](QWidget* dialog) {
    closable = dialog->windowFlags() & Qt::WindowCloseButtonHint;
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_FALSE(window->AskYesNo("Convert 2 file(s)\r\nfrom Auto to Windows ?"));
  EXPECT_TRUE(closable);
  AnswerNextDialog([&](QWidget* dialog) { dialog->close(); });
  EXPECT_FALSE(window->AskYesNo("?"));
  AnswerNextDialog([&](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
  EXPECT_TRUE(window->AskYesNo("?"));
}

// ---- Responsive ----

TEST_F(MainWindowTest, ConversionRunsAsideShowsNoIntermediateTextAndStopKeepsTheEditor) {
  Open();
  for (const char* name : {"chkBase64", "chkQP", "chkRtf", "chkHtml", "chkUtf8", "chkTranslit"})
    Find<QCheckBox>(name)->setChecked(false);
  const QString text = NothingRussian(4000);
  SetText(text);
  int changes = 0;
  QObject::connect(Editor(), &QPlainTextEdit::textChanged, [&] { ++changes; });
  Find<QPushButton>("convertButton")->click();
  ASSERT_TRUE(window->Running());
  EXPECT_TRUE(Tool("stopAction")->isEnabled());
  EXPECT_FALSE(Tool("openAction")->isEnabled());
  EXPECT_TRUE(Find<QProgressBar>("progressBar")->isVisible());
  // The window's thread is free: its timers run while the conversion goes on.
  bool ticked = false;
  QTimer::singleShot(0, [&] { ticked = true; });
  QTest::qWait(20);
  EXPECT_TRUE(ticked);
  Tool("stopAction")->trigger();
  WaitIdle();
  EXPECT_TRUE(Pane().startsWith("User break.")) << Pane().toStdString();
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(ui::EditorText(Editor()), text);
  EXPECT_TRUE(Tool("openAction")->isEnabled());
  EXPECT_FALSE(Tool("stopAction")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("convertButton")->isVisible());
}

// Stop ends the making of the editor's document too: the run is over at
// once, nothing more is made, and the editor stays as it was.
TEST_F(MainWindowTest, StopEndsTheMakingOfTheEditorsDocument) {
  Open();
  QString garbled;
  while (garbled.size() < 3'000'000) garbled += ui::ToQString(kKoi) + "\n";
  SetText(garbled);
  std::atomic<bool> making{false}, stopped{false};
  std::atomic<int> afterStop{0};
  ui::onDocumentPiece = [&] {
    if (stopped) ++afterStop;
    making = true;
    // Held here until Stop is pressed (or long enough to fail).
    for (int i = 0; i < 10000 && !stopped; ++i) QThread::msleep(1);
  };
  Find<QPushButton>("convertButton")->click();
  ASSERT_TRUE(WaitFor([&] { return making.load(); }));
  QElapsedTimer clock;
  clock.start();
  Tool("stopAction")->trigger();
  stopped = true;
  EXPECT_FALSE(window->Running());
  ASSERT_TRUE(WaitFor([&] { return !window->Busy(); }));
  const qint64 ended = clock.elapsed();
  ui::onDocumentPiece = nullptr;
  EXPECT_EQ(afterStop, 0);
  EXPECT_LT(ended, 2000);  // (about a millisecond; generous for a loaded machine)
  EXPECT_EQ(ui::EditorText(Editor()), garbled);
  EXPECT_TRUE(Pane().startsWith("User break.")) << Pane().toStdString();
}

// A file of many lines is shown in groups of lines, read and saved exactly
// as the command line writes it (its CR LF breaks too), and copied with
// plain breaks.
TEST_F(MainWindowTest, AFileOfManyLinesIsShownSavedAndCopiedExactly) {
  Open([](TSettings& s) { s.Cfg.ConvertFileOpen = true; });
  ChooseTo("UTF-8");
  TempDir dir;
  std::string koi;
  std::string koiLines = kKoi;
  for (std::size_t at = 0; (at = koiLines.find('\n', at)) != std::string::npos; at += 2)
    koiLines.replace(at, 1, "\r\n");
  while (koi.size() < 2'000'000) koi += koiLines + "\r\n";
  WriteFile(dir / "big.txt", koi);
  const ProgramRun cli = RunKamvo(dir, {"--to=utf-8", "--stdout", dir / "big.txt"});
  ASSERT_EQ(cli.Status, 0) << cli.Err;
  window->OpenSingleFile(dir / "big.txt");
  WaitIdle();
  QString expected = QString::fromStdString(cli.Out);
  ASSERT_TRUE(expected.startsWith(U(kRussianUtf8).left(20)));
  EXPECT_LT(Editor()->document()->blockCount(), expected.count('\n') / 32);
  // The scroll bar counts lines, not blocks, also after a new width.
  const qsizetype lines = expected.count('\n');
  EXPECT_TRUE(QTest::qWaitFor([&] { return Editor()->verticalScrollBar()->maximum() > lines - 100; }, 5000))
      << Editor()->verticalScrollBar()->maximum() << " of " << lines;
  window->resize(window->width() + 50, window->height());
  EXPECT_TRUE(QTest::qWaitFor([&] { return Editor()->verticalScrollBar()->maximum() > lines - 100; }, 5000))
      << Editor()->verticalScrollBar()->maximum() << " of " << lines;
  EXPECT_EQ(window->Content(), expected);
  window->chooseSaveFile = [&](const QString&) { return QString::fromStdString(dir / "saved.txt"); };
  Tool("saveAction")->trigger();
  EXPECT_EQ(ReadFile(dir / "saved.txt"), cli.Out);
  Editor()->setFocus();
  Tool("copyAction")->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected.replace(U("\r\n"), U("\n")));
  // Edited, it reads as the editor shows it.
  Editor()->moveCursor(QTextCursor::End);
  QTest::keyClick(Editor(), Qt::Key_Return);
  QTest::keyClick(Editor(), Qt::Key_X);
  EXPECT_EQ(window->Content(), expected + "\nx");
  // Back brings the file as it is, made aside too.
  Tool("backAction")->trigger();
  WaitIdle();
  EXPECT_EQ(window->Content(), ui::DecodeForEditor(koi));
  EXPECT_LT(Editor()->document()->blockCount(), lines / 32);
}

TEST_F(MainWindowTest, WithConvertOnStartMinimisingBreaksOffAConversion) {
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  for (const char* name : {"chkBase64", "chkQP", "chkRtf", "chkHtml", "chkUtf8", "chkTranslit"})
    Find<QCheckBox>(name)->setChecked(false);
  SetText(NothingRussian(4000));
  Find<QPushButton>("convertButton")->click();
  window->showMinimized();
  WaitIdle();
  EXPECT_TRUE(Pane().startsWith("User break.")) << Pane().toStdString();
}

TEST_F(MainWindowTest, TextTooLargeForTheEditorIsKeptWholeAndSaidSo) {
  Open();
  ChooseTo("Windows");
  const QString text = "first\n" + QString(ui::kEditorMaxLine + 1, 'a') + "\nlast";
  SetText(text);
  EXPECT_TRUE(Editor()->isReadOnly());
  EXPECT_TRUE(EditorText().startsWith("This text is too large for the editor."));
  TempDir dir;
  window->chooseSaveFile = [&](const QString&) { return QString::fromStdString(dir / "saved.txt"); };
  Tool("saveAction")->trigger();
  EXPECT_EQ(QString::fromStdString(ReadFile(dir / "saved.txt")), text + "\n");
  SetText("small");
  EXPECT_FALSE(Editor()->isReadOnly());
  EXPECT_EQ(EditorText(), "small");
}

// ---- Faults of the pane and of opening ----

TEST_F(MainWindowTest, BackForgetsTheUndoneConversionsReport) {
  Open();
  SetText(ui::ToQString(kKoi));
  Convert();
  ASSERT_TRUE(Pane().contains("Russian text detected"));
  Tool("backAction")->trigger();
  EXPECT_EQ(EditorText(), ui::ToQString(kKoi));
  EXPECT_FALSE(Pane().contains("Russian text detected")) << Pane().toStdString();
}

TEST_F(MainWindowTest, ConversionBetweenChosenCodePagesSaysWhatItDid) {
  Open();
  SetText(ui::ToQString(kKoi));
  ChooseFrom("KOI-8");
  Convert();
  EXPECT_EQ(EditorText(), U(kRussianUtf8));
  EXPECT_FALSE(Pane().trimmed().isEmpty());
}

// UTF-8 read as Windows-1251 comes back with From on UTF-8.
TEST_F(MainWindowTest, FromUtf8ReadsUtf8ShownAsWindows1251) {
  Open();
  SetText(ui::ToQString(std::string(kRussianUtf8)));
  ChooseFrom("UTF-8");
  Convert();
  EXPECT_EQ(EditorText(), U(kRussianUtf8));
}

TEST_F(MainWindowTest, StartWithAnEmptyClipboardSaysNothing) {
  QGuiApplication::clipboard()->clear();
  Open([](TSettings& s) { s.Cfg.ConvertOnStart = true; });
  WaitIdle();
  EXPECT_TRUE(Pane().trimmed().isEmpty()) << Pane().toStdString();
  EXPECT_TRUE(EditorText().isEmpty());
}

TEST_F(MainWindowTest, AFileThatIsNoTextIsNotOpenedAndSaysSo) {
  Open();
  SetText("kept");
  TempDir dir;
  WriteFile(dir / "picture.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01", 20));
  QString message;
  AnswerNextDialog([&](QWidget* box) {
    message = box->findChild<QLabel*>("qt_msgbox_label")->text();
    box->close();
  });
  window->OpenSingleFile(dir / "picture.png");
  EXPECT_TRUE(message.contains("not a text file")) << message.toStdString();
  EXPECT_EQ(EditorText(), "kept");
}

TEST_F(MainWindowTest, CancelledSettingsKeepTheLastFolders) {
  Open();
  TempDir dir;
  WriteFile(dir / "a.txt", "text");
  window->chooseOpenFiles = [&] { return QStringList{QString::fromStdString(dir / "a.txt")}; };
  Tool("openAction")->trigger();
  WaitIdle();
  AnswerNextDialog([](QWidget* form) { form->findChild<QPushButton*>("btnCancel")->click(); });
  window->SetConfig();
  EXPECT_EQ(window->Settings().LastOpenPath, dir / "a.txt");
}

// ---- Keyboard, menus, title, remembered state ----

TEST_F(MainWindowTest, MenusCarryTheStandardShortcuts) {
  Open();
  QStringList titles;
  for (QAction* menu : window->menuBar()->actions()) titles << menu->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit", "&Settings", "&Help"}));
  EXPECT_EQ(Tool("openAction")->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(Tool("saveAction")->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_EQ(Tool("saveAsAction")->shortcut(), QKeySequence("Ctrl+Shift+S"));
  EXPECT_EQ(Tool("printAction")->shortcut(), QKeySequence(QKeySequence::Print));
  EXPECT_EQ(Tool("quitAction")->shortcut(), QKeySequence("Ctrl+Q"));
  EXPECT_EQ(Tool("backAction")->shortcut(), QKeySequence(QKeySequence::Undo));
  EXPECT_TRUE(Tool("convertAction")->shortcuts().contains(QKeySequence("F5")));

  // Shortcuts act from the editor.
  int asked = 0;
  window->chooseOpenFiles = [&] {
    ++asked;
    return QStringList();
  };
  QTest::keyClick(Editor(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked, 1);
  SetText(ui::ToQString(kKoi));
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_F5);
  WaitIdle();
  EXPECT_EQ(EditorText(), U(kRussianUtf8));
}

TEST_F(MainWindowTest, TabIsACharacterInTheEditorAndCtrlTabLeavesIt) {
  Open();
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_Tab);
  EXPECT_EQ(EditorText(), "\t");
  QTest::keyClick(Editor(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_FALSE(Editor()->hasFocus());
  EXPECT_EQ(EditorText(), "\t");
  EXPECT_EQ(QApplication::focusWidget(), Find<QPushButton>("convertButton"));
}

TEST_F(MainWindowTest, TitleGeometrySplitterAndRecentFilesAreRemembered) {
  Open();
  TempDir dir;
  WriteFile(dir / "a.txt", "text");
  window->OpenSingleFile(dir / "a.txt");
  WaitIdle();
  EXPECT_EQ(window->windowTitle(), "a.txt[*] - KAMVO");
  window->resize(640, 420);
  EXPECT_TRUE(window->close());
  window.reset();
  window = std::make_unique<ui::TMainWindow>();
  EXPECT_EQ(window->size(), QSize(640, 420));
  EXPECT_EQ(window->RecentFiles(), QStringList{QString::fromStdString(dir / "a.txt")});
  QMenu* recent = Find<QMenu>("recentMenu");
  ASSERT_FALSE(recent->actions().isEmpty());
  recent->actions()[0]->trigger();
  WaitIdle();
  EXPECT_EQ(EditorText(), "text");
}

TEST_F(MainWindowTest, WithoutATrayEscMinimisesAndClosingEndsAndStoresThePaths) {
  Open();
  TempDir dir;
  WriteFile(dir / "a.txt", "text");
  window->chooseOpenFiles = [&] { return QStringList{QString::fromStdString(dir / "a.txt")}; };
  Tool("openAction")->trigger();
  WaitIdle();
  EXPECT_EQ(EditorText(), "text");
  window->WordWrap();
  EXPECT_FALSE(window->Conv().ScreenChanged);  // re-wrapping is no edit

  QTest::keyClick(ToList(), Qt::Key_Escape);
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

// Word wrap leaves no horizontal scroll bar; the dialogs have no minimise or
// maximise buttons; the pane hints at the word report after a detection.
TEST_F(MainWindowTest, WrappedTextHasNoSideScrollBarDialogsNoExtraButtonsAndThePaneAHint) {
  Open();
  SetText(QString(400, 'a'));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Editor()->horizontalScrollBar()->isVisible(); }, 2000));
  Tool("wordWrapAction")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Editor()->horizontalScrollBar()->isVisible(); }, 2000));

  TCfg cfg;
  ui::TAboutForm about(cfg, nullptr);
  ui::TYesNoForm question("?", true, window->font(), nullptr);
  ui::TCfgForm settings(cfg, nullptr);
  ui::TTranslitForm translit(cfg, nullptr);
  ui::TWarningForm warning("a.txt", cfg, nullptr);
  for (QWidget* dialog : std::initializer_list<QWidget*>{&about, &question, &settings, &translit, &warning}) {
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
        << dialog->objectName().toStdString();
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint) << dialog->objectName().toStdString();
  }

  EXPECT_TRUE(Find<QLabel>("infoPane")->toolTip().isEmpty());
  SetText(ui::ToQString(kKoi));
  Convert();
  EXPECT_TRUE(Find<QLabel>("infoPane")->toolTip().contains("Hold the left mouse button"));
}

// ---- One window per user, always brought to the front ----

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

TEST_F(MainWindowTest, EverySecondStartBringsTheWindowToTheFront) {
  Open();
  const QString name = ui::InstanceSocketName();
  MakeStaleSocket(name);
  ui::SingleInstance running(name);
  int shown = 0;
  ASSERT_TRUE(running.Listen([&] {
    ++shown;
    window->TrayClick();
  }));
  for (int start = 0; start < 50; ++start) {
    if (start % 2)
      window->showMinimized();
    else
      window->hide();
    QProcess second;
    second.setStandardInputFile(QProcess::nullDevice());  // as a desktop starts it
    second.start(KAMVO_EXECUTABLE, {});
    ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitCode(), 0) << start;
    EXPECT_EQ(shown, start + 1);
    // (The offscreen platform activates a window only at its first showing.)
    ASSERT_TRUE(WaitFor([&] { return window->isVisible() && !window->isMinimized(); })) << "start " << start;
  }
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
