#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <filesystem>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "codepages/byte_scan.h"
#include "codepages/code_page_list.h"
#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "driver/batch.h"
#include "driver/default_target.h"
#include "driver/file_io.h"
#include "driver/open_save.h"
#include "driver/stages.h"
#include "driver/text_conversion.h"
#include "driver/utf8_output.h"
#include "ui/attachment_view.h"
#include "ui/dialog_look.h"
#include "ui/dialogs.h"
#include "ui/editor_text.h"
#include "ui/icons.h"
#include "ui/settings_dialog.h"
#include "ui/word_report.h"

namespace kamvo::ui {

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// Gives the memory freed by a run back to the system: the C library keeps
// large freed blocks for reuse (a file's text, the converted bytes, the
// old document), which would hold several times the file's size.
void ReturnFreeMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

// Blocks of a megabyte or more (a file's text, a document's characters)
// come straight from the system and go back to it when freed. Otherwise
// the C library raises that size as large blocks are freed, keeps later
// ones in its pools and copies a growing block instead of remapping it:
// several times the file's size would stay in use.
void TakeLargeBlocksFromSystem() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

// One text in both languages (UTF-8).
struct Texts {
  const char* English;
  const char* Russian;
  QString In(bool english) const { return Utf8(english ? English : Russian); }
};

const Texts kFrom{"From", "Из"};
const Texts kTo{"To", "В"};
const Texts kAuto{"Auto", "Авто"};
const Texts kBinary{"&Binary", "&Вложения"};
const Texts kQP{"&QP && 7bit", "&QP && 7 бит"};
const Texts kTranslit{"&Translit", "&Транслит"};
const Texts kHintBase64{"Convert Base64, UUE & XXE", "Перекодировать Base64, UUE и XXE"};
const Texts kHintQP{"Convert Quoted-Printable & 7bit", "Перекодировать Quoted-Printable и 7bit"};
const Texts kHintRtf{"Convert Rich Text Format", "Перекодировать Rich Text Format"};
const Texts kHintHtml{"Convert HTML", "Перекодировать HTML в текст"};
const Texts kHintUtf8{"Convert UTF-8", "Перекодировать UTF-8"};
const Texts kHintTranslit{"Read Latin transliteration as Russian", "Читать латинский транслит как русский текст"};
const Texts kHintFrom{"The code page the text is in (Auto finds it)",
                      "Кодировка, в которой текст сейчас (Авто находит её сама)"};
const Texts kHintTo{"The code page files are saved in", "Кодировка, в которой сохраняются файлы"};
const Texts kConvert{"Convert", "Перекодировать"};

const Texts kOpenFile{"Open file", "Открыть файл"};
const Texts kSaveFile{"Save file", "Сохранить файл"};
const Texts kCopy{"Copy", "Копировать"};
const Texts kPaste{"Paste", "Вставить"};
const Texts kStop{"Stop", "Стоп"};
const Texts kSettings{"Settings", "Настройка"};
const Texts kAbout{"About", "О программе"};
const Texts kBack{"Back", "Назад"};
const Texts kPrint{"Print", "Печатать"};
const Texts kOpen{"Open", "Открыть"};
const Texts kExit{"Exit", "Выход"};

// The menu bar.
const Texts kFileMenu{"&File", "&Файл"};
const Texts kOpenItem{"&Open...", "&Открыть..."};
const Texts kRecentItem{"&Recent files", "&Недавние файлы"};
const Texts kSaveItem{"&Save", "&Сохранить"};
const Texts kSaveAsItem{"Save &as...", "Сохранить &как..."};
const Texts kPrintItem{"&Print...", "&Печать..."};
const Texts kQuitItem{"&Quit", "В&ыход"};
const Texts kEditMenu{"&Edit", "&Правка"};
const Texts kBackItem{"&Back (undo the last change)", "&Назад (отменить последнее изменение)"};
const Texts kCopyItem{"&Copy", "&Копировать"};
const Texts kPasteItem{"&Paste", "&Вставить"};
const Texts kSelectAllItem{"Select &all", "Выделить &все"};
const Texts kConvertItem{"Con&vert", "Пере&кодировать"};
const Texts kStopItem{"S&top", "&Стоп"};
const Texts kTranslitItem{"&Encode translit", "Кодировать в &транслит"};
const Texts kWordWrapItem{"&Word wrap", "Перенос &слов"};
const Texts kSettingsMenu{"&Settings", "&Настройка"};
const Texts kSettingsItem{"&Settings...", "&Параметры..."};
const Texts kHelpMenu{"&Help", "&Справка"};
const Texts kAboutItem{"&About KAMVO", "&О программе KAMVO"};
const Texts kNoRecent{"(none yet)", "(пока нет)"};

const Texts kTooLarge{
    "This text is too large for the editor. It is kept whole: it can be converted and saved, "
    "but not edited or shown here.",
    "Этот текст слишком велик для редактора. Он сохранён целиком: его можно перекодировать и "
    "сохранить, но не показать или изменить здесь."};
const Texts kPaneHint{"Hold the left mouse button here to see which words were recognised.",
                      "Удерживайте здесь левую кнопку мыши, чтобы увидеть, какие слова распознаны."};
const Texts kAnyFile{"Any file (*)", "Все файлы (*)"};

QIcon ToolIcon(const QWidget* w, const char* theme, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(theme, w->style()->standardIcon(fallback));
}

// A file name as the file system takes it.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString ShownPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The window's own state beside the settings store: geometry, splitter,
// recent files.
QSettings WindowState() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "kamvo", "window"); }
constexpr int kRecentMax = 8;

}  // namespace

std::vector<CodeChoice> CodeChoices(bool source) {
  std::vector<CodeChoice> choices;
  for (const CodePageInfo& page : CodePageList()) {
    // A conversion reads and writes every code page the command line
    // knows, as the command line does.
    if (source && !ConvertsCode(page.Code)) continue;
    choices.push_back({page.Code, QString::fromLatin1(page.Name.data(), static_cast<qsizetype>(page.Name.size()))});
  }
  return choices;
}

bool ConvertsCode(int code) { return IsSingleByteCode(code) || code == kUtf8Code; }

QIcon ProgramIcon() {
  static const QIcon icon = [] {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x1f, 0x4e, 0x9a));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(2, 2, 60, 60, 12, 12);
    QFont font("DejaVu Sans");
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, Utf8("К"));
    return QIcon(pixmap);
  }();
  return icon;
}

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("TMainWindow");
  TakeLargeBlocksFromSystem();
  setWindowIcon(ProgramIcon());
  BuildLayout();
  window_ = std::make_unique<QtWindow>(c_);
  converter_ = std::make_unique<Converter>(*window_, settings_.Cfg, StandardStages());
  // The window shows what the command line writes into UTF-8; the target
  // chosen is the one files are saved in.
  converter_->Options.Utf8Target = true;
  static_cast<TFileView*>(c_.attachmentView)->Attach(&converter_->Attachments, &settings_, this);
  infoReport_ = new InfoReport(this, *converter_, settings_.Cfg,
                               {findChild<QScrollArea*>("infoScroll")->viewport(), c_.infoPane});
  infoReport_->Available = [this] { return !running_; };
  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(40);
  connect(progressTimer_, &QTimer::timeout, this, [this] {
    // A run clears the break when it starts: Stop pressed before that
    // must still reach it.
    if (stopRequested_) converter_->UserBreak = true;
    if (running_) window_->Poll();
  });

  setAcceptDrops(true);
  converter_->WriteStatusInfo("");
  tray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tray_->setToolTip("KAMVO");
  tray_->setContextMenu(trayMenu);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) TrayClick();
  });
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { shutdownPending_ = true; });
  SetSwitchesFromSettings();
  SetButtons(false);
  ReadCfg();
  ResetCodeLists();
  UpdateTitle();

  QSettings state = WindowState();
  if (state.contains("geometry")) restoreGeometry(state.value("geometry").toByteArray());
  if (state.contains("splitter")) textSplitter->restoreState(state.value("splitter").toByteArray());
  RebuildRecentMenu();
}

TMainWindow::~TMainWindow() {
  converter_->UserBreak = true;
  stopRequested_ = true;
  if (worker_.joinable()) worker_.join();
  // The editor outlives the converter by a moment: it must not report to it.
  c_.editor->disconnect(this);
  ShowTrayIcon(false);
  converter_.reset();
}

void TMainWindow::BuildLayout() {
  resize(720, 500);

  auto* toolbar = new QToolBar(this);
  toolbar->setObjectName("toolBar");
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->setIconSize(QSize(24, 24));
  toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, toolbar);
  auto tool = [&](const char* name, const char* theme, QStyle::StandardPixmap fallback, void (TMainWindow::*slot)()) {
    QAction* action = toolbar->addAction(ToolIcon(this, theme, fallback), QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  auto drawn = [&](const char* name, const char* theme, Picture picture, void (TMainWindow::*slot)()) {
    QAction* action = toolbar->addAction(ToolbarIcon(theme, picture), QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  c_.openAction = drawn("openAction", "document-open", Picture::Open, &TMainWindow::OpenFile);
  c_.saveAction = drawn("saveAction", "document-save", Picture::Save, &TMainWindow::SaveFile);
  c_.printAction = drawn("printAction", "document-print", Picture::Print, &TMainWindow::PrintFile);
  toolbar->addSeparator();
  c_.pasteAction = drawn("pasteAction", "edit-paste", Picture::Paste, &TMainWindow::PasteClipboard);
  c_.copyAction = drawn("copyAction", "edit-copy", Picture::Copy, &TMainWindow::CopyClipboard);
  toolbar->addSeparator();
  c_.backAction = drawn("backAction", "edit-undo", Picture::Back, &TMainWindow::Back);
  c_.stopAction = drawn("stopAction", "process-stop", Picture::Stop, &TMainWindow::Stop);
  toolbar->addSeparator();
  c_.settingsAction = drawn("settingsAction", "preferences-system", Picture::Settings, &TMainWindow::SetConfig);
  c_.aboutAction = tool("aboutAction", "help-about", QStyle::SP_MessageBoxInformation, &TMainWindow::About);
  // The tool buttons are reached with Tab too.
  for (QToolButton* button : toolbar->findChildren<QToolButton*>()) button->setFocusPolicy(Qt::TabFocus);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The editor over the attachment view.
  textSplitter = new QSplitter(Qt::Vertical, central);
  textSplitter->setObjectName("textSplitter");
  textSplitter->setHandleWidth(3);
  textSplitter->setChildrenCollapsible(false);
  c_.editor = new QPlainTextEdit(textSplitter);
  c_.editor->setObjectName("editor");
  c_.editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  c_.editor->setContextMenuPolicy(Qt::CustomContextMenu);
  c_.editor->installEventFilter(this);
  c_.editor->viewport()->installEventFilter(this);
  c_.attachmentView = new TFileView(textSplitter);
  c_.attachmentView->setObjectName("attachmentView");
  c_.attachmentView->setViewMode(QListView::IconMode);
  c_.attachmentView->setIconSize(QSize(32, 32));
  c_.attachmentView->setResizeMode(QListView::Adjust);
  c_.attachmentView->setMovement(QListView::Static);
  c_.attachmentView->setSelectionMode(QAbstractItemView::SingleSelection);
  c_.attachmentView->setVisible(false);
  textSplitter->addWidget(c_.editor);
  textSplitter->addWidget(c_.attachmentView);
  textSplitter->setStretchFactor(0, 1);
  textSplitter->setSizes({400, 62});
  layout->addWidget(textSplitter, 1);

  auto* bottomPanel = new QWidget(central);
  bottomPanel->setObjectName("bottomPanel");
  bottomPanel->setFixedHeight(110);
  auto* bottom = new QHBoxLayout(bottomPanel);
  bottom->setContentsMargins(4, 4, 4, 4);

  auto* controlPanel = new QWidget(bottomPanel);
  controlPanel->setObjectName("controlPanel");
  auto* grid = new QGridLayout(controlPanel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(0);

  c_.convStack = new QStackedWidget(controlPanel);
  c_.convStack->setFixedHeight(28);
  c_.convStack->setMinimumWidth(160);
  convertButton = new QPushButton(c_.convStack);
  convertButton->setObjectName("convertButton");
  connect(convertButton, &QPushButton::clicked, this, &TMainWindow::Start);
  c_.progressBar = new QProgressBar(c_.convStack);
  c_.progressBar->setObjectName("progressBar");
  c_.progressBar->setRange(0, 100);
  c_.progressBar->setTextVisible(false);
  c_.convStack->addWidget(convertButton);
  c_.convStack->addWidget(c_.progressBar);

  fromLabel = new QLabel(controlPanel);
  fromLabel->setObjectName("fromLabel");
  c_.cmbFrom = new QComboBox(controlPanel);
  c_.cmbFrom->setObjectName("fromList");
  c_.cmbFrom->addItem(QString(), 0);
  toLabel = new QLabel(controlPanel);
  toLabel->setObjectName("toLabel");
  c_.cmbTo = new QComboBox(controlPanel);
  c_.cmbTo->setObjectName("toList");
  for (const CodeChoice& choice : CodeChoices(true)) c_.cmbFrom->addItem(choice.Name, choice.Code);
  for (const CodeChoice& choice : CodeChoices(false)) c_.cmbTo->addItem(choice.Name, choice.Code);
  fromLabel->setBuddy(c_.cmbFrom);
  toLabel->setBuddy(c_.cmbTo);

  auto* lists = new QGridLayout;
  lists->setContentsMargins(0, 6, 0, 0);
  lists->setHorizontalSpacing(8);
  lists->setVerticalSpacing(4);
  lists->addWidget(fromLabel, 0, 0);
  lists->addWidget(c_.cmbFrom, 0, 1);
  lists->addWidget(toLabel, 1, 0);
  lists->addWidget(c_.cmbTo, 1, 1);
  lists->setColumnStretch(1, 1);

  auto* left = new QVBoxLayout;
  left->setSpacing(0);
  left->addWidget(c_.convStack);
  left->addLayout(lists);
  left->addStretch();
  grid->addLayout(left, 0, 0);

  auto* checks = new QGridLayout;
  checks->setSpacing(0);
  checks->setHorizontalSpacing(8);
  auto check = [&](const char* name, const char* caption, int row, int column) {
    auto* box = new QCheckBox(Utf8(caption), controlPanel);
    box->setObjectName(name);
    checks->addWidget(box, row, column);
    return box;
  };
  c_.chkBase64 = check("chkBase64", "", 0, 0);
  c_.chkQP = check("chkQP", "", 1, 0);
  c_.chkRtf = check("chkRtf", "&RTF", 2, 0);
  c_.chkHtml = check("chkHtml", "&HTML", 0, 1);
  c_.chkUtf8 = check("chkUtf8", "&UTF-8", 1, 1);
  c_.chkTranslit = check("chkTranslit", "", 2, 1);
  checks->setRowStretch(3, 1);
  grid->addLayout(checks, 0, 1);
  bottom->addWidget(controlPanel);

  auto* infoScroll = new QScrollArea(bottomPanel);
  infoScroll->setObjectName("infoScroll");
  infoScroll->setFocusPolicy(Qt::NoFocus);
  infoScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  infoScroll->setWidgetResizable(true);
  c_.infoPane = new QLabel(infoScroll);
  c_.infoPane->setObjectName("infoPane");
  c_.infoPane->setTextFormat(Qt::PlainText);
  c_.infoPane->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  c_.infoPane->setTextInteractionFlags(Qt::NoTextInteraction);
  c_.infoPane->setWordWrap(true);
  infoScroll->setWidget(c_.infoPane);
  bottom->addWidget(infoScroll, 1);
  layout->addWidget(bottomPanel);
  setCentralWidget(central);

  // Tab goes from the editor's neighbours round the window; in the editor
  // Tab is a character and Ctrl+Tab leaves it.
  setTabOrder(c_.editor, convertButton);
  setTabOrder(convertButton, c_.cmbFrom);
  setTabOrder(c_.cmbFrom, c_.cmbTo);
  setTabOrder(c_.cmbTo, c_.chkBase64);
  setTabOrder(c_.chkBase64, c_.chkQP);
  setTabOrder(c_.chkQP, c_.chkRtf);
  setTabOrder(c_.chkRtf, c_.chkHtml);
  setTabOrder(c_.chkHtml, c_.chkUtf8);
  setTabOrder(c_.chkUtf8, c_.chkTranslit);
  c_.editor->setFocus();

  BuildMenus();

  connect(c_.editor, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { editorMenu->popup(c_.editor->mapToGlobal(at)); });
  connect(c_.editor, &QPlainTextEdit::textChanged, this, [this] {
    if (loading_) return;
    converter_->ScreenEdited();
    if (!edited_) {
      edited_ = true;
      shown_.Bytes.reset();
    }
    userText_ = true;
    setWindowModified(true);
  });

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { showMinimized(); });
}

void TMainWindow::BuildMenus() {
  // The tray menu.
  trayMenu = new QMenu(this);
  trayMenu->setObjectName("trayMenu");
  trayOpenAction = trayMenu->addAction(QString(), this, &TMainWindow::TrayClick);
  trayOpenAction->setObjectName("trayOpenAction");
  traySettingsAction = trayMenu->addAction(QString(), this, [this] {
    SetConfig();
    if (TrayActive() && isMinimized()) hide();
  });
  traySettingsAction->setObjectName("traySettingsAction");
  trayExitAction = trayMenu->addAction(QString(), this, &TMainWindow::ExitClick);
  trayExitAction->setObjectName("trayExitAction");

  // The menu bar.
  fileMenu = menuBar()->addMenu(QString());
  fileMenu->setObjectName("fileMenu");
  fileMenu->addAction(c_.openAction);
  recentMenu = fileMenu->addMenu(QString());
  recentMenu->setObjectName("recentMenu");
  fileMenu->addAction(c_.saveAction);
  saveAsAction = fileMenu->addAction(QString(), this, &TMainWindow::SaveFileAs);
  saveAsAction->setObjectName("saveAsAction");
  fileMenu->addAction(c_.printAction);
  fileMenu->addSeparator();
  quitAction = fileMenu->addAction(QString(), this, &TMainWindow::ExitClick);
  quitAction->setObjectName("quitAction");

  editMenu = menuBar()->addMenu(QString());
  editMenu->setObjectName("editMenu");
  editMenu->addAction(c_.backAction);
  editMenu->addSeparator();
  editMenu->addAction(c_.copyAction);
  editMenu->addAction(c_.pasteAction);
  selectAllAction = editMenu->addAction(QString(), this, &TMainWindow::SelectAll);
  selectAllAction->setObjectName("selectAllAction");
  editMenu->addSeparator();
  convertAction = editMenu->addAction(QString(), this, &TMainWindow::Start);
  convertAction->setObjectName("convertAction");
  editMenu->addAction(c_.stopAction);
  translitAction = editMenu->addAction(QString(), this, &TMainWindow::EncodeTranslitCommand);
  translitAction->setObjectName("translitAction");
  editMenu->addSeparator();
  wordWrapAction = editMenu->addAction(QString(), this, &TMainWindow::WordWrap);
  wordWrapAction->setObjectName("wordWrapAction");
  wordWrapAction->setCheckable(true);

  settingsMenu = menuBar()->addMenu(QString());
  settingsMenu->setObjectName("settingsMenu");
  settingsMenu->addAction(c_.settingsAction);
  helpMenu = menuBar()->addMenu(QString());
  helpMenu->setObjectName("helpMenu");
  helpMenu->addAction(c_.aboutAction);
  for (QMenu* menu : {fileMenu, recentMenu, editMenu, settingsMenu, helpMenu})
    menu->menuAction()->setObjectName(menu->objectName() + "Entry");

  c_.openAction->setShortcut(QKeySequence::Open);
  c_.saveAction->setShortcut(QKeySequence::Save);
  saveAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  c_.printAction->setShortcut(QKeySequence::Print);
  quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  c_.backAction->setShortcut(QKeySequence::Undo);
  c_.copyAction->setShortcut(QKeySequence::Copy);
  c_.pasteAction->setShortcut(QKeySequence::Paste);
  selectAllAction->setShortcut(QKeySequence::SelectAll);
  convertAction->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return)});
  // The editor's own Copy, Paste and Select all answer while it has the
  // focus; the commands do elsewhere.
  for (QAction* action : {c_.copyAction, c_.pasteAction, selectAllAction})
    action->setShortcutContext(Qt::WindowShortcut);

  // The editor's menu.
  editorMenu = new QMenu(this);
  editorMenu->setObjectName("editorMenu");
  editorMenu->addAction(selectAllAction);
  editorMenu->addAction(c_.copyAction);
  editorMenu->addAction(c_.pasteAction);
  editorMenu->addSeparator();
  editorMenu->addAction(c_.openAction);
  editorMenu->addAction(c_.saveAction);
  editorMenu->addSeparator();
  editorMenu->addAction(translitAction);
  editorMenu->addSeparator();
  editorMenu->addAction(wordWrapAction);
}

QString TMainWindow::Tr(const char* english, const char* russian) const {
  return Utf8(settings_.Cfg.English ? english : russian);
}

bool TMainWindow::RunInBackground(std::function<void()> work, std::function<void()> done) {
  if (Busy()) return false;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  stopRequested_ = false;
  runDone_ = std::move(done);
  SetButtons(true);
  progressTimer_->start();
  const int run = ++runNumber_;
  workerActive_ = true;
  worker_ = std::thread([this, run, work = std::move(work)] {
    work();
    ReturnFreeMemory();
    workerActive_ = false;
    QMetaObject::invokeMethod(
        this, [this, run] { EndRun(run); }, Qt::QueuedConnection);
  });
  return true;
}

void TMainWindow::EndRun(int run) {
  if (run != runNumber_) return;
  if (worker_.joinable()) worker_.join();
  progressTimer_->stop();
  if (!running_) {
    // Stopped: the window answered at once; what the run left in the
    // converter is cleared now that it has ended.
    converter_->Detection.DetectionDone = false;
    converter_->Attachments.Clear();
    converter_->UpdateFileView();
    converter_->ClearInfo();
    converter_->WriteStatusInfo(converter_->Tr("User break.", "Прервано."));
    SetButtons(false);
    return;
  }
  window_->Poll();
  running_ = false;
  std::function<void()> done = std::move(runDone_);
  runDone_ = nullptr;
  if (done) done();
  SetButtons(false);
  // What the run and the text before it left is given back once the
  // editor has let go of its old document.
  QTimer::singleShot(0, this, [] { ReturnFreeMemory(); });
}

void TMainWindow::SetButtons(bool running) {
  ButtonState state;
  state.ProgressVisible = running;
  state.OpenFile = state.SaveFile = state.Copy = state.Paste = state.Settings = state.About = state.Print = !running;
  state.Stop = running;
  state.Back = !running && back_.has_value();
  running = running || workerActive_;
  window_->ShowButtons(state);
  for (QAction* action : {convertAction, translitAction, saveAsAction})
    if (action) action->setEnabled(!running);
  if (recentMenu) recentMenu->setEnabled(!running);
  c_.editor->setReadOnly(running || held_);
  c_.attachmentView->setEnabled(!running);
}

void TMainWindow::ReadCfg() {
  kamvo::ReadCfg(settings_, textFont_);
  ApplySettings();
}

void TMainWindow::ApplySettings() {
  const TCfg& cfg = settings_.Cfg;
  ApplyTextFont(textFont_, cfg);
  TFontGroup interfaceFont;
  ApplyInterfaceFont(interfaceFont, cfg);
  setFont(FontOf(interfaceFont, QApplication::font()));
  c_.editor->setFont(FontOf(textFont_, c_.editor->font()));
  c_.editor->setLineWrapMode(cfg.WordWrapOn ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  CountGroupedLines(c_.editor->document());
  wordWrapAction->setChecked(cfg.WordWrapOn);
  SetLanguage();
}

void TMainWindow::SetSwitchesFromSettings() {
  const TCfg& cfg = settings_.Cfg;
  c_.chkBase64->setChecked(cfg.ConvertBase64);
  c_.chkQP->setChecked(cfg.ConvertQP);
  c_.chkRtf->setChecked(cfg.ConvertRTF);
  c_.chkHtml->setChecked(cfg.ConvertHTML);
  c_.chkUtf8->setChecked(cfg.ConvertUTF8);
  c_.chkTranslit->setChecked(cfg.TranslitOn);
}

void TMainWindow::ResetCodeLists() {
  c_.cmbFrom->setCurrentIndex(0);
  // The target the command line takes too: the locale's character set,
  // unless the settings name another.
  const int index = c_.cmbTo->findData(DefaultTarget(settings_.Cfg, ProcessEnv()));
  c_.cmbTo->setCurrentIndex(std::max(0, index));
}

RunOptions TMainWindow::RunOptionsOf(int from, int to) const {
  RunOptions options = RunOptionsFrom(settings_.Cfg);
  options.Switches.Base64 = c_.chkBase64->isChecked();
  options.Switches.QP = c_.chkQP->isChecked();
  options.Switches.Rtf = c_.chkRtf->isChecked();
  options.Switches.Html = c_.chkHtml->isChecked();
  options.Switches.Utf8 = c_.chkUtf8->isChecked() || from == kUtf8Code;
  options.Switches.Translit = c_.chkTranslit->isChecked();
  // UTF-8 as the source is Windows-1251 through the UTF-8 step, as on the
  // command line; as the target, the run converts into Windows-1251 and
  // the result is made as UTF-8.
  options.Source = from == kUtf8Code ? kWindows : from;
  options.Target = to == kUtf8Code ? kWindows : to;
  options.Utf8Target = to == kUtf8Code;
  return options;
}

int TMainWindow::FromCode() const { return c_.cmbFrom->currentData().toInt(); }
int TMainWindow::ToCode() const {
  const int code = c_.cmbTo->currentData().toInt();
  return code > 0 ? code : kWindows;
}

// ---- The editor's content ----

QString TMainWindow::Content() const {
  if (held_) return shown_.Text;
  // Unedited, the text is the one shown, kept beside the editor or given
  // back by its document.
  if (!edited_) return shown_.Text.isNull() ? TextAsMade(c_.editor->document()) : shown_.Text;
  return EditorText(c_.editor);
}

bool TMainWindow::ContentEmpty() const {
  if (held_ || (!edited_ && !shown_.Text.isNull())) return shown_.Text.isEmpty();
  return c_.editor->document()->isEmpty();
}

bool TMainWindow::HoldsUserText() const { return userText_ && !ContentEmpty(); }

void TMainWindow::Show(Shown shown, std::optional<EditorDocument> prepared) {
  // A large text is made into a grouped document here too (Back, the
  // clipboard); the editor's own setPlainText would make a block a line.
  if (!prepared && shown.Text.size() > kMadeAsideFrom)
    prepared = MakeEditorDocument(std::move(shown.Text), c_.editor->font());
  qsizetype longest = 0;
  if (prepared) {
    // The text is kept beside the document only when the document cannot
    // give it back exactly (or holds none).
    shown.Text = std::move(prepared->Text);
  } else {
    for (qsizetype start = 0; start <= shown.Text.size();) {
      qsizetype end = shown.Text.indexOf(QChar('\n'), start);
      if (end < 0) end = shown.Text.size();
      longest = std::max(longest, end - start);
      start = end + 1;
    }
  }
  loading_ = true;
  held_ = prepared ? prepared->Held : shown.Text.size() > kEditorMaxChars || longest > kEditorMaxLine;
  if (held_) {
    // Kept whole for the conversion and for saving; the editor only says so.
    c_.editor->setPlainText(kTooLarge.In(settings_.Cfg.English));
    MarkPlainDocument(c_.editor->document());
  } else if (prepared && prepared->Document) {
    SetDocument(std::move(prepared->Document));
  } else {
    c_.editor->setPlainText(shown.Text);
    MarkPlainDocument(c_.editor->document());
    if (shown.Text.isNull()) shown.Text = QString("");
  }
  c_.editor->setReadOnly(held_ || running_);
  loading_ = false;
  c_.infoPane->setText(shown.Pane);
  shown_ = std::move(shown);
  edited_ = false;
  converter_->ScreenChanged = false;
  setWindowModified(false);
  UpdateTitle();
}

void TMainWindow::SetDocument(std::unique_ptr<QTextDocument> document) {
  // The document the editor made itself stays its own; those made aside
  // belong to the window and go when the next one comes.
  document->setParent(c_.editor);
  document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
  QTextDocument* previous = c_.editor->document();
  c_.editor->setDocument(document.release());
  if (previous == ownDocument_) previous->deleteLater();
  ownDocument_ = c_.editor->document();
  CountGroupedLines(ownDocument_);
}

void TMainWindow::Replace(const QString& text, std::optional<std::string> bytes, const QString& file,
                          std::optional<EditorDocument> prepared) {
  // The content before, for Back: an unedited file's text is made again
  // from its bytes when it is brought back.
  const bool fromBytes = !edited_ && !held_ && shown_.Bytes.has_value();
  Shown before{fromBytes ? QString() : Content(), edited_ ? std::nullopt : shown_.Bytes, shown_.File,
               c_.infoPane->text()};
  const bool wasEmpty = fromBytes ? shown_.Bytes->empty() : before.Text.isEmpty();
  Show(Shown{text, std::move(bytes), file, c_.infoPane->text()}, std::move(prepared));
  if (!wasEmpty) back_ = std::move(before);
  SetButtons(running_);
}

void TMainWindow::UpdateTitle() {
  const QString file = shown_.File.isEmpty() ? savedFile_ : shown_.File;
  setWindowTitle(file.isEmpty() ? QString("KAMVO") : QFileInfo(file).fileName() + "[*] - KAMVO");
}

// ---- Commands ----

void TMainWindow::Start() {
  if (Busy()) return;
  std::string bytes;
  if (shown_.Bytes && !edited_ && !held_) {
    // The file's own bytes: the result is the command line's on the file.
    bytes = *shown_.Bytes;
  } else {
    const QString text = Content();
    // A text that Windows-1251 holds whole goes as those bytes: nothing is
    // lost, and garbled text (one code page shown as another) is read as
    // the bytes it shows, which detection reads far better than their
    // UTF-8 form. A text with any other character goes as UTF-8, as the
    // command line reads a UTF-8 file.
    if (FitsWindows1251(text))
      bytes = EncodeForTarget(text, kWindows);
    else
      bytes = text.toStdString();
  }
  if (bytes.empty()) return;
  RunConversion(std::move(bytes), nullptr);
}

void TMainWindow::RunConversion(std::string bytes, std::shared_ptr<Opened> opened) {
  const int from = FromCode();
  // The result is shown, so it is made as UTF-8.
  converter_->Options = RunOptionsOf(from, kUtf8Code);
  const QString paneBefore = c_.infoPane->text();
  c_.infoPane->setText(Tr("Converting...", "Перекодирование..."));

  struct Outcome {
    TextConversion Result;
    QString Before;  // the editor's text as the run started (it cannot change meanwhile)
    QString Shown;
    bool Unchanged = false;
    bool KeepBytes = false;              // the result is no UTF-8: its bytes stay the text's
    std::optional<EditorDocument> Made;  // Shown, made into the editor's document
  };
  auto outcome = std::make_shared<Outcome>();
  if (!opened) outcome->Before = Content();
  const bool fromFile = !opened && shown_.Bytes && !edited_;
  auto input = std::make_shared<std::string>(std::move(bytes));
  const QFont font = c_.editor->font();
  RunInBackground(
      [this, outcome, input, opened, font] {
        // The run converts the bytes in place; a file being opened keeps
        // its bytes (for Back) and is compared with the result.
        outcome->Result = ConvertTextInPlace(*converter_, std::move(*input), opened ? &opened->Bytes : nullptr);
        TextConversion& r = outcome->Result;
        // Stopped: nothing of the run is shown, so nothing more is made.
        if (r.NotText || stopRequested_ || exiting_) return;
        // Stop ends the making of the document too.
        const auto stopped = [this] { return stopRequested_ || exiting_; };
        // Only a result that is not UTF-8 is kept as bytes.
        const bool keepBytes = !r.UserBreak && !(r.Same && opened) && !IsWellFormedUtf8(r.Text);
        if (r.UserBreak || (r.Same && opened)) {
          // A file being opened is shown as it is.
          if (opened) outcome->Made = MakeEditorDocumentOf(opened->Bytes, font, stopped);
          outcome->Unchanged = true;
          std::string().swap(r.Text);
        } else if (opened) {
          // Made from the result's bytes piece by piece: the text is never
          // held whole beside the document, and bytes not kept are given
          // back as they are read.
          outcome->KeepBytes = keepBytes;
          if (keepBytes) {
            outcome->Made = MakeEditorDocumentOf(r.Text, font, stopped);
          } else {
            outcome->Made = MakeEditorDocumentTaking(std::move(r.Text), font, stopped);
            std::string().swap(r.Text);
          }
        } else {
          // The same bytes may read as another text: the editor's text went
          // as Windows-1251, the result comes back as UTF-8.
          outcome->Shown = DecodeForEditor(r.Text);
          outcome->Unchanged = outcome->Shown == outcome->Before;
          outcome->KeepBytes = keepBytes;
          if (!keepBytes) std::string().swap(r.Text);
          if (!outcome->Unchanged) outcome->Made = MakeEditorDocument(std::move(outcome->Shown), font, stopped);
        }
        outcome->Before = QString();
      },
      [this, outcome, paneBefore, fromFile, from, opened] {
        const TextConversion& r = outcome->Result;
        if (stopRequested_ || r.UserBreak) {
          // Nothing of the run is shown: the editor and the attachments
          // stay as they were (a file being opened is shown as it is).
          converter_->Detection.DetectionDone = false;
          converter_->Attachments.Clear();
          converter_->UpdateFileView();
          if (opened) {
            c_.infoPane->setText(paneBefore);
            Replace(QString(), std::move(opened->Bytes), opened->File, std::move(outcome->Made));
            userText_ = true;
          }
          converter_->ClearInfo();
          converter_->WriteStatusInfo(converter_->Tr("User break.", "Прервано."));
          shown_.Pane = c_.infoPane->text();
          return;
        }
        if (r.NotText) {
          converter_->Detection.DetectionDone = false;
          c_.infoPane->setText(Tr("This is not text (it holds control characters): it was left as it is.",
                                  "Это не текст (в нём есть управляющие символы): он оставлен как есть."));
          return;
        }
        QString pane = ToQString(converter_->Info());
        // A conversion between chosen code pages says what it did.
        if (pane.trimmed().isEmpty() && from != 0)
          pane = outcome->Unchanged ? Tr("The text is unchanged.", "Текст не изменился.")
                                    : Tr("Converted from %1.", "Перекодировано из %1.").arg(c_.cmbFrom->currentText());
        converter_->UpdateFileView();
        c_.infoPane->setText(paneBefore);
        if (opened && outcome->Unchanged) {
          Replace(QString(), std::move(opened->Bytes), opened->File, std::move(outcome->Made));
          userText_ = true;
        } else if (!outcome->Unchanged) {
          // A result that is not UTF-8 (nothing was recognised in a file's
          // bytes) is kept as those bytes.
          std::optional<std::string> bytes;
          if (outcome->KeepBytes) bytes = std::move(outcome->Result.Text);
          const QString file = opened ? opened->File : fromFile ? shown_.File : QString();
          if (opened) {
            // Back shows the file as it is, made from its bytes when asked.
            Show(Shown{QString(), std::move(bytes), file, paneBefore}, std::move(outcome->Made));
            back_ = Shown{QString(), std::move(opened->Bytes), file, paneBefore};
            userText_ = true;
          } else {
            Replace(QString(), std::move(bytes), file, std::move(outcome->Made));
          }
          if (!file.isEmpty()) setWindowModified(true);
        }
        c_.infoPane->setText(pane);
        shown_.Pane = pane;
        c_.infoPane->setToolTip(converter_->Detection.DetectionDone ? kPaneHint.In(settings_.Cfg.English) : QString());
      });
}

void TMainWindow::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  converter_->UserBreak = true;
  // A batch ends after the file it is converting and reports the files
  // done. A conversion is answered at once: the editor stays as it was,
  // and whatever the run still does (laying out a text no one will see) is
  // thrown away.
  if (batchRunning_) return;
  running_ = false;
  runDone_ = nullptr;
  c_.infoPane->setText(Tr("User break.", "Прервано."));
  shown_.Pane = c_.infoPane->text();
  SetButtons(false);
}

void TMainWindow::Back() {
  if (Busy() || !back_) return;
  const auto bringBack = [this](Shown before, std::optional<EditorDocument> made) {
    back_.reset();
    converter_->Attachments.Clear();
    converter_->UpdateFileView();
    // The pane no longer describes the undone conversion.
    converter_->Detection.DetectionDone = false;
    c_.infoPane->setToolTip(QString());
    Show(std::move(before), std::move(made));
    userText_ = true;
    SetButtons(false);
  };
  const std::size_t size =
      back_->Text.isNull() && back_->Bytes ? back_->Bytes->size() : static_cast<std::size_t>(back_->Text.size());
  if (size <= static_cast<std::size_t>(kMadeAsideFrom)) {
    Shown before = std::move(*back_);
    if (before.Text.isNull() && before.Bytes) before.Text = DecodeForEditor(*before.Bytes);
    return bringBack(std::move(before), std::nullopt);
  }
  // A large text is made into its document aside, as a conversion's
  // result is; the back copy stays until it is shown (Stop keeps it).
  struct Made {
    Shown Before;
    std::optional<EditorDocument> Document;
  };
  auto made = std::make_shared<Made>();
  made->Before = *back_;
  const QFont font = c_.editor->font();
  RunInBackground(
      [this, made, font] {
        const auto stopped = [this] { return stopRequested_ || exiting_; };
        // A file's bytes are read piece by piece, never held as a second
        // whole text.
        made->Document = made->Before.Text.isNull() ? MakeEditorDocumentOf(*made->Before.Bytes, font, stopped)
                                                    : MakeEditorDocument(made->Before.Text, font, stopped);
      },
      [made, bringBack] { bringBack(std::move(made->Before), std::move(made->Document)); });
}

void TMainWindow::About() {
  QRect editor = c_.editor->geometry();
  editor.moveTop(c_.editor->mapTo(this, QPoint(0, 0)).y());
  ShowAboutBox(this, editor, settings_.Cfg);
}

void TMainWindow::SetConfig() {
  if (Busy()) return;
  // A cancelled dialog changes nothing: not even what the window keeps in
  // memory only (the last folders).
  const std::string lastOpen = settings_.LastOpenPath;
  const std::string lastSave = settings_.LastSavePath;
  const bool wordWrap = settings_.Cfg.WordWrapOn;
  ReadCfg();
  settings_.LastOpenPath = lastOpen;
  settings_.LastSavePath = lastSave;
  settings_.Cfg.WordWrapOn = wordWrap;
  if (!EditCfg(settings_.Cfg, this)) {
    ApplySettings();
    return;
  }
  SetSwitchesFromSettings();
  kamvo::WriteCfg(settings_.Cfg);
  ApplySettings();
  update();
  ShowTrayIcon(settings_.Cfg.TrayIcon);
  if (!settings_.Cfg.TrayIcon) TrayClick();
}

void TMainWindow::PrintFile() {
  if (Busy()) return;
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  printer.setDocName(QString());
  c_.editor->document()->print(&printer);
}

void TMainWindow::SelectAll() {
  c_.editor->selectAll();
  c_.editor->setFocus();
}

void TMainWindow::WordWrap() {
  const bool changed = converter_->ScreenChanged;
  settings_.Cfg.WordWrapOn = !settings_.Cfg.WordWrapOn;
  wordWrapAction->setChecked(settings_.Cfg.WordWrapOn);
  c_.editor->setLineWrapMode(settings_.Cfg.WordWrapOn ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  CountGroupedLines(c_.editor->document());
  converter_->ScreenChanged = changed;
}

void TMainWindow::EncodeTranslitCommand() {
  if (Busy() || held_) return;
  const std::string& stored = settings_.Cfg.TranslitTable;
  bool changed = false;
  const QString encoded = EncodeTranslitText(Content(), stored.empty() ? DefaultTranslitTable() : stored, &changed);
  converter_->Detection.DetectionDone = false;
  converter_->ClearInfo();
  if (changed) {
    Replace(encoded);
    userText_ = true;
    converter_->AddInfo(converter_->Tr("Translit encoded", "Закодирован транслит"));
  } else {
    converter_->AddInfo(converter_->Tr("Russian text not found.", "Русский текст не найден."));
  }
  shown_.Pane = c_.infoPane->text();
}

void TMainWindow::SetLanguage() {
  const bool english = settings_.Cfg.English;
  SetTexts(english);
  if (held_) {
    loading_ = true;
    c_.editor->setPlainText(kTooLarge.In(english));
    loading_ = false;
  }
  if (!converter_ || Busy()) return;
  converter_->Options.English = english;
  if (!english && converter_->LastStatus() == "User break.") converter_->WriteStatusInfo(WinFromUtf8("Прервано."));
  if (converter_->Detection.DetectionDone) {
    converter_->WriteDetectionInfo();
    c_.infoPane->setToolTip(kPaneHint.In(english));
  }
}

void TMainWindow::SetTexts(bool e) {
  fromLabel->setText(kFrom.In(e));
  toLabel->setText(kTo.In(e));
  c_.cmbFrom->setItemText(0, kAuto.In(e));
  c_.cmbFrom->setToolTip(kHintFrom.In(e));
  c_.cmbTo->setToolTip(kHintTo.In(e));
  c_.chkBase64->setText(kBinary.In(e));
  c_.chkQP->setText(kQP.In(e));
  c_.chkTranslit->setText(kTranslit.In(e));
  c_.chkBase64->setToolTip(kHintBase64.In(e));
  c_.chkQP->setToolTip(kHintQP.In(e));
  c_.chkRtf->setToolTip(kHintRtf.In(e));
  c_.chkHtml->setToolTip(kHintHtml.In(e));
  c_.chkUtf8->setToolTip(kHintUtf8.In(e));
  c_.chkTranslit->setToolTip(kHintTranslit.In(e));
  convertButton->setText(kConvert.In(e));
  convertButton->setToolTip(kConvert.In(e) + " (F5)");

  // Menu items carry their own texts; their tool buttons show them as hints.
  const auto item = [e](QAction* action, const Texts& text, const Texts& hint) {
    action->setText(text.In(e));
    action->setToolTip(hint.In(e));
  };
  item(c_.openAction, kOpenItem, kOpenFile);
  item(c_.saveAction, kSaveItem, kSaveFile);
  item(c_.printAction, kPrintItem, kPrint);
  item(c_.pasteAction, kPasteItem, kPaste);
  item(c_.copyAction, kCopyItem, kCopy);
  item(c_.backAction, kBackItem, kBack);
  item(c_.stopAction, kStopItem, kStop);
  item(c_.settingsAction, kSettingsItem, kSettings);
  item(c_.aboutAction, kAboutItem, kAbout);
  selectAllAction->setText(kSelectAllItem.In(e));
  saveAsAction->setText(kSaveAsItem.In(e));
  quitAction->setText(kQuitItem.In(e));
  convertAction->setText(kConvertItem.In(e));
  translitAction->setText(kTranslitItem.In(e));
  wordWrapAction->setText(kWordWrapItem.In(e));
  fileMenu->setTitle(kFileMenu.In(e));
  recentMenu->setTitle(kRecentItem.In(e));
  editMenu->setTitle(kEditMenu.In(e));
  settingsMenu->setTitle(kSettingsMenu.In(e));
  helpMenu->setTitle(kHelpMenu.In(e));
  trayOpenAction->setText(kOpen.In(e));
  traySettingsAction->setText(kSettings.In(e));
  trayExitAction->setText(kExit.In(e));
  RebuildRecentMenu();
  // Tool buttons show their shortcut beside the hint.
  for (QAction* action : {c_.openAction, c_.saveAction, c_.printAction, c_.pasteAction, c_.copyAction, c_.backAction})
    if (!action->shortcut().isEmpty())
      action->setToolTip(action->toolTip() + " (" + action->shortcut().toString(QKeySequence::NativeText) + ")");
}

std::string TMainWindow::SamplePath() const {
  namespace fs = std::filesystem;
  const std::string app = QCoreApplication::applicationDirPath().toStdString();
  const std::string candidates[] = {
      settings_.Location.empty() ? std::string() : settings_.Location + "sample.txt",
      app + "/sample.txt",
      app + "/../share/kamvo/sample.txt",
  };
  for (const std::string& path : candidates) {
    std::error_code error;
    if (!path.empty() && fs::is_regular_file(path, error)) return path;
  }
  return {};
}

void TMainWindow::QueueFormShow() {
  if (formShowQueued_) return;
  formShowQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    formShowQueued_ = false;
    FormShow();
  });
}

void TMainWindow::FormShow() {
  // Once per showing: a late activation or a second request of the same
  // showing (after Back, say) converts nothing again.
  if (!firstActivation_ || showingDone_) return;
  showingDone_ = true;
  if (Busy()) return;
  converter_->UpdateFileView();
  SetSwitchesFromSettings();
  SetButtons(false);
  if (settings_.FirstRun) {
    const std::string sample = SamplePath();
    std::string bytes;
    if (!sample.empty() && ReadWholeFile(sample, bytes)) {
      Replace(DecodeForEditor(bytes), bytes);
      ResetCodeLists();
      Start();
    }
    ClearFirstRun(settings_);
  } else if (settings_.Cfg.ConvertOnStart) {
    FastStart();
  }
}

// ---- Files ----

void TMainWindow::OpenFile() {
  if (Busy()) return;
  QCoreApplication::processEvents();
  const QStringList files = chooseOpenFiles
                                ? chooseOpenFiles()
                                : QFileDialog::getOpenFileNames(this, kOpenFile.In(settings_.Cfg.English),
                                                                ShownPath(ExtractDir(settings_.LastOpenPath)),
                                                                kAnyFile.In(settings_.Cfg.English));
  if (files.isEmpty()) return;
  settings_.LastOpenPath = LocalPath(files.first());
  if (files.size() == 1) {
    OpenSingleFile(LocalPath(files.first()));
  } else {
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(LocalPath(file));
    OpenMultiFiles(paths);
  }
}

void TMainWindow::OpenSingleFile(const std::string& path) {
  if (Busy()) return;
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    QMessageBox::critical(this, "KAMVO",
                          Tr("Cannot read the file %1.", "Не удалось прочитать файл %1.").arg(ShownPath(path)));
    return;
  }
  // UTF-16 with its byte order mark is text, shown as its characters.
  std::string shownBytes = bytes;
  Utf16WithMarkToUtf8(shownBytes);
  if (ExamineFileBytes(shownBytes).Control) {
    QMessageBox::warning(this, "KAMVO",
                         Tr("%1 is not a text file (it holds control characters). It was not opened.",
                            "%1 - не текстовый файл (в нём есть управляющие символы). Он не открыт.")
                             .arg(ShownPath(path)));
    return;
  }
  converter_->Attachments.Clear();
  converter_->UpdateFileView();
  converter_->Detection.DetectionDone = false;
  c_.infoPane->setToolTip(QString());
  const QString file = QFileInfo(ShownPath(path)).absoluteFilePath();
  savedFile_.clear();
  AddRecentFile(file);
  if (settings_.Cfg.ConvertFileOpen) {
    // Converted before it is shown: the editor is given one text, the
    // result, and Back shows the file as it is.
    c_.cmbFrom->setCurrentIndex(0);
    auto opened = std::make_shared<Opened>();
    opened->Bytes = std::move(shownBytes);
    opened->File = file;
    RunConversion(std::move(bytes), std::move(opened));
    return;
  }
  // Read and laid out aside, then shown.
  struct Loaded {
    std::optional<EditorDocument> Made;
  };
  auto loaded = std::make_shared<Loaded>();
  auto raw = std::make_shared<std::string>(std::move(shownBytes));
  const QFont font = c_.editor->font();
  c_.infoPane->setText(Tr("Opening...", "Открывается..."));
  RunInBackground(
      [this, loaded, raw, font] {
        loaded->Made = MakeEditorDocumentOf(*raw, font, [this] { return stopRequested_ || exiting_; });
      },
      [this, loaded, raw, file] {
        c_.infoPane->clear();
        Replace(QString(), std::move(*raw), file, std::move(loaded->Made));
        userText_ = true;
      });
}

void TMainWindow::Save(const QString& file) {
  std::size_t spelt = 0;
  std::string bytes = EncodeForTarget(Content(), ToCode(), &spelt);
  if (!bytes.empty() && bytes.back() != '\n') bytes.push_back('\n');
  if (!SaveBytesFile(LocalPath(file), bytes)) {
    QMessageBox::critical(this, "KAMVO", Tr("Cannot write the file %1.", "Не удалось записать файл %1.").arg(file));
    return;
  }
  savedFile_ = file;
  if (!shown_.File.isEmpty() && shown_.File != file) shown_.File.clear();
  setWindowModified(false);
  UpdateTitle();
  AddRecentFile(file);
  const QString target = c_.cmbTo->currentText();
  QString note = Tr("Saved in %1: %2", "Сохранено в кодировке %1: %2").arg(target, file);
  if (spelt > 0)
    note += "\n" + Tr("%1 character(s) that %2 cannot hold were spelt out.",
                      "Символов, которых нет в %2, записано латиницей: %1.")
                       .arg(spelt)
                       .arg(target);
  c_.infoPane->setText(note);
  shown_.Pane = note;
}

void TMainWindow::SaveFile() {
  if (Busy()) return;
  if (!savedFile_.isEmpty()) return Save(savedFile_);
  SaveFileAs();
}

void TMainWindow::SaveFileAs() {
  if (Busy()) return;
  QCoreApplication::processEvents();
  // The file the text came from or was saved to, else the last folder.
  QString proposed = !shown_.File.isEmpty() ? shown_.File : savedFile_;
  if (proposed.isEmpty()) proposed = ShownPath(ExtractDir(settings_.LastSavePath));
  const QString file = chooseSaveFile ? chooseSaveFile(proposed)
                                      : QFileDialog::getSaveFileName(this, kSaveFile.In(settings_.Cfg.English),
                                                                     proposed, kAnyFile.In(settings_.Cfg.English));
  if (file.isEmpty()) return;
  settings_.LastSavePath = LocalPath(file);
  Save(file);
}

void TMainWindow::OpenMultiFiles(const std::vector<std::string>& paths) {
  if (Busy() || paths.empty()) return;
  const PathCount count = CountPaths(paths);
  const int from = FromCode();
  const int to = ToCode();
  const std::string question =
      BatchQuestion(count, from == 0 ? FromQString(c_.cmbFrom->itemText(0)) : FromQString(c_.cmbFrom->currentText()),
                    FromQString(c_.cmbTo->currentText()), settings_.Cfg.English);
  if (!ConvertsCode(to)) {
    QMessageBox::information(this, "KAMVO",
                             Tr("Files cannot be converted into %1. Choose another code page in To.",
                                "В кодировку %1 файлы не перекодируются. Выберите другую кодировку в списке \"В\".")
                                 .arg(c_.cmbTo->currentText()));
    return;
  }
  if (!AskYesNo(question)) return;
  converter_->Options = RunOptionsOf(from, to);
  c_.infoPane->setText(Tr("Converting...", "Перекодирование..."));
  auto report = std::make_shared<std::string>();
  batchRunning_ = true;
  RunInBackground(
      [this, paths, report] {
        for (const std::string& path : paths) {
          // Stop ends the batch; the files converted so far are reported.
          if (stopRequested_ || exiting_) break;
          for (const std::string& line :
               ConvertFileOrDir(*converter_, path, [this] { return stopRequested_ || exiting_; }))
            *report += line + "\n";
        }
      },
      [this, report] {
        batchRunning_ = false;
        converter_->Options.Utf8Target = true;
        converter_->Attachments.Clear();
        converter_->UpdateFileView();
        converter_->Detection.DetectionDone = false;
        c_.infoPane->setToolTip(QString());
        const QString pane = stopRequested_ ? Tr("User break.", "Прервано.") : QString();
        Replace(ToQString(*report));
        userText_ = true;
        c_.infoPane->setText(pane);
        shown_.Pane = pane;
      });
}

void TMainWindow::OpenDroppedFiles(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    const QString path = url.toLocalFile();
    if (!path.isEmpty()) paths.push_back(LocalPath(path));
  }
  if (paths.empty()) return;
  std::error_code error;
  if (paths.size() == 1 && !std::filesystem::is_directory(paths[0], error))
    OpenSingleFile(paths[0]);
  else
    OpenMultiFiles(paths);
}

bool TMainWindow::AskYesNo(const std::string& text) { return ui::AskYesNo(this, text, settings_.Cfg.English); }

QStringList TMainWindow::RecentFiles() const { return WindowState().value("recent").toStringList(); }

void TMainWindow::AddRecentFile(const QString& file) {
  QStringList recent = RecentFiles();
  recent.removeAll(file);
  recent.prepend(file);
  while (recent.size() > kRecentMax) recent.removeLast();
  WindowState().setValue("recent", recent);
  RebuildRecentMenu();
}

void TMainWindow::RebuildRecentMenu() {
  if (!recentMenu) return;
  recentMenu->clear();
  const QStringList recent = RecentFiles();
  int n = 0;
  for (const QString& file : recent) {
    const QString caption = QString("&%1 %2").arg(++n).arg(QFileInfo(file).fileName());
    QAction* action = recentMenu->addAction(caption, this, [this, file] { OpenSingleFile(LocalPath(file)); });
    action->setToolTip(file);
  }
  if (recent.isEmpty()) {
    QAction* none = recentMenu->addAction(kNoRecent.In(settings_.Cfg.English));
    none->setObjectName("noRecentFiles");
    none->setEnabled(false);
  }
}

void TMainWindow::SaveWindowState() {
  QSettings state = WindowState();
  state.setValue("geometry", saveGeometry());
  state.setValue("splitter", textSplitter->saveState());
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  // Answered after the drop has ended, so that the source is not kept
  // waiting while the question or the conversion runs.
  QTimer::singleShot(0, this, [this, urls] { OpenDroppedFiles(urls); });
}

// ---- Clipboard ----

QString TMainWindow::GetClipboardText() {
  QString text = QGuiApplication::clipboard()->text();
  const qsizetype end = text.indexOf(QChar(0));  // the text ends at a NUL
  if (end >= 0) text.truncate(end);
  return text;
}

void TMainWindow::SetClipboardText(const QString& text) {
  QString copy = text;
  copy.replace(QChar::ParagraphSeparator, QChar('\n'));
  const qsizetype end = copy.indexOf(QChar(0));
  if (end >= 0) copy.truncate(end);
  QGuiApplication::clipboard()->setText(copy);
}

void TMainWindow::PasteAll() {
  if (Busy()) return;
  converter_->Attachments.Clear();
  converter_->UpdateFileView();
  converter_->Detection.DetectionDone = false;
  savedFile_.clear();
  Replace(GetClipboardText());
  // What the clipboard gave may be replaced by the next start's.
  userText_ = false;
}

void TMainWindow::PasteClipboard() {
  if (Busy() || held_) return;
  c_.editor->textCursor().insertText(GetClipboardText());
  c_.editor->setFocus();
}

void TMainWindow::CopyClipboard() {
  if (held_) {
    SetClipboardText(shown_.Text);
  } else {
    if (!c_.editor->textCursor().hasSelection()) c_.editor->selectAll();
    SetClipboardText(WithLineBreaks(c_.editor->document(), c_.editor->textCursor().selectedText()));
  }
  c_.editor->setFocus();
}

void TMainWindow::FastStart() {
  if (Busy() || HoldsUserText()) return;
  const QString clip = GetClipboardText();
  // Nothing to paste, or what the editor shows came from this very text.
  if (clip.isEmpty() || (clip == lastClipboard_ && !ContentEmpty())) return;
  lastClipboard_ = clip;
  PasteAll();
  c_.cmbFrom->setCurrentIndex(0);
  Start();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A new width lays the editor's document out anew (after this event).
  if (watched == c_.editor->viewport() && event->type() == QEvent::Resize)
    QTimer::singleShot(0, this, [this] { CountGroupedLines(c_.editor->document()); });
  if (watched == c_.editor && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ControlModifier) {
      const QTextCursor cursor = c_.editor->textCursor();
      if (cursor.hasSelection()) SetClipboardText(WithLineBreaks(c_.editor->document(), cursor.selectedText()));
      return true;
    }
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ShiftModifier) {
      PasteClipboard();
      return true;
    }
    // Ctrl+Tab leaves the editor (Tab is a character in it).
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && (key->modifiers() & Qt::ControlModifier)) {
      focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier) && key->key() == Qt::Key_Tab);
      return true;
    }
    // Undo with nothing left to undo in the editor takes back the last
    // replacement of its content.
    if (key->matches(QKeySequence::Undo) && !c_.editor->document()->isUndoAvailable()) {
      Back();
      return true;
    }
    if (key->matches(QKeySequence::Paste) && !running_ && !held_) {
      PasteClipboard();
      return true;
    }
  }
  // Files dropped on the editor are opened, never pasted as their names.
  if (watched == c_.editor->viewport()) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasUrls()) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      if (drop->mimeData()->hasUrls()) {
        dropEvent(drop);
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Tray and the window's life ----

void TMainWindow::ShowTrayIcon(bool show) {
  if (show) {
    if (trayShown_ || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_->show();
    trayShown_ = true;
  } else if (trayShown_) {
    tray_->hide();
    trayShown_ = false;
  }
}

void TMainWindow::TrayClick() {
  // A window that was hidden or minimised begins a new showing.
  const bool newShowing = !isVisible() || isMinimized();
  // Restored before it is shown: a window shown while still minimised is
  // mapped as an icon, which without a window manager never appears.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  if (newShowing) {
    minimizedSeen_ = false;
    hiddenByProgram_ = false;
    showingDone_ = false;
    QueueFormShow();
  }
  // Asked again once the window is mapped: a request made while it is
  // still being shown may be dropped.
  QTimer::singleShot(0, this, [this] {
    if (!isVisible()) return;
    raise();
    activateWindow();
  });
  // A request made with an old time stamp (another program took the focus
  // since this one last heard from the display) is refused; a window
  // mapped anew is given the focus.
  QTimer::singleShot(100, this, [this] {
    if (!isVisible() || isMinimized() || isActiveWindow()) return;
    remapping_ = true;
    hide();
    show();
    remapping_ = false;
    raise();
    activateWindow();
  });
}

void TMainWindow::AppMinimize() {
  if (settings_.Cfg.ConvertOnStart) Stop();
  // With the icon the window leaves the taskbar; it comes back through it.
  if (TrayActive())
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) {
        hiddenByProgram_ = true;
        hide();
      }
    });
}

void TMainWindow::AppRestore() {
  showingDone_ = false;
  QueueFormShow();
}

void TMainWindow::ExitClick() {
  Stop();
  exiting_ = true;
  SaveWindowState();
  WriteExitCfg(settings_);
  QCoreApplication::quit();
}

bool TMainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && !firstActivation_) {
    firstActivation_ = true;
    QueueFormShow();
  }
  return QMainWindow::event(event);
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (remapping_) return;
  if (hiddenByProgram_ && !event->spontaneous()) {
    hiddenByProgram_ = false;
    showingDone_ = false;
    QueueFormShow();
  }
}

void TMainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!event->spontaneous() && !remapping_) hiddenByProgram_ = true;
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || stateCheckQueued_) return;
  // Taken once the state has settled: the window system may report the
  // program's own minimising and restoring late, as a pair of changes that
  // leaves the window as it was; that pair must neither stop a conversion
  // nor begin a showing.
  stateCheckQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    stateCheckQueued_ = false;
    const bool minimized = isMinimized();
    if (minimized == minimizedSeen_) return;
    minimizedSeen_ = minimized;
    if (minimized)
      AppMinimize();
    else
      AppRestore();
  });
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  Stop();
  if (shutdownPending_ || exiting_ || !TrayActive()) {
    event->accept();
    if (!exiting_) {
      exiting_ = true;
      SaveWindowState();
      WriteExitCfg(settings_);
    }
    QCoreApplication::quit();
    return;
  }
  event->ignore();
  showMinimized();
}

}  // namespace kamvo::ui
