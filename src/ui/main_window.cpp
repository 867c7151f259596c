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
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "driver/batch.h"
#include "driver/default_target.h"
#include "driver/file_io.h"
#include "driver/open_save.h"
#include "driver/stages.h"
#include "ui/dialogs.h"
#include "ui/attachment_view.h"
#include "ui/dialog_look.h"
#include "ui/icons.h"
#include "ui/settings_dialog.h"
#include "ui/word_report.h"

namespace kamvo::ui {

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// One text in both languages (UTF-8).
struct Texts {
  const char* English;
  const char* Russian;
  QString In(bool english) const { return Utf8(english ? English : Russian); }
};

// Texts that follow the English setting alone.
const Texts kFrom{"From", " Из"};
const Texts kTo{"To", " В"};
const Texts kHintBase64{"Convert Base64, UUE & XXE", "Перекодировать Base64, UUE и XXE"};
const Texts kHintQP{"Convert Quoted-Printable & 7bit", "Перекодировать Quoted-Printable и 7bit"};
const Texts kHintRtf{"Convert Rich Text Format", "Перекодировать Rich Text Format"};
const Texts kHintHtml{"Convert HTML", "Перекодировать HTML в текст"};
const Texts kHintUtf8{"Convert UTF-8", "Перекодировать UTF-8"};
const Texts kConvert{"Convert", "Перекодировать"};

// Toolbar hints and menu captions: Russian only for a Russian user.
const Texts kOpenFile{"Open file", "Открыть файл"};
const Texts kSaveFile{"Save file", "Сохранить файл"};
const Texts kCopy{"Copy", "Копировать"};
const Texts kPaste{"Paste", "Вставить"};
const Texts kStop{"Stop", "Стоп"};
const Texts kSettings{"Settings", "Настройка"};
const Texts kAbout{"About", "О программе"};
const Texts kUndo{"Undo", "Назад"};
const Texts kPrint{"Print", "Печатать"};
const Texts kOpen{"Open", "Открыть"};
const Texts kTraySettings{"Settings", "Настроика"};
const Texts kExit{"Exit", "Выход"};
const Texts kSelectAll{"Select all", "Выделить все"};
const Texts kSave{"Save", "Сохранить"};
const Texts kWordWrap{"Word wrap", "Перенос слов"};
const Texts kEncodeTranslit{"Encode translit", "Кодировать в транслит"};

const Texts kTooLarge{
    "This text is too large for the editor. It is kept whole: it can be converted and saved, "
    "but not edited or shown here.",
    "Этот текст слишком велик для редактора. Он сохранён целиком: его можно перекодировать и "
    "сохранить, но не показать или изменить здесь."};

QIcon ToolIcon(const QWidget* w, const char* theme, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(theme, w->style()->standardIcon(fallback));
}

// A file name as the file system takes it.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString ShownPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

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
  setWindowIcon(ProgramIcon());
  BuildLayout();
  window_ = std::make_unique<QtWindow>(c_);
  converter_ = std::make_unique<Converter>(*window_, settings_.Cfg, StandardStages());
  static_cast<TFileView*>(c_.FileView)->Attach(&converter_->Attachments, &settings_, this);
  new InfoReport(this, *converter_, settings_.Cfg, {findChild<QScrollArea*>("ScrollBox")->viewport(), c_.lblText});

  // FormCreate.
  setAcceptDrops(true);
  converter_->WriteStatusInfo("");
  setWindowTitle("KAMVO");
  converter_->ScreenChanged = false;
  tray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tray_->setToolTip("Kamvo");
  tray_->setContextMenu(PopupMenu1);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) TrayClick();
  });
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { shutdownPending_ = true; });
  ResetCodeLists();
  SetSwitchesFromSettings();
  converter_->SetButtonsStop();
  ReadCfg();
  // The default target may come from the settings.
  ResetCodeLists();
}

TMainWindow::~TMainWindow() {
  // The editor outlives the converter by a moment: it must not report to it.
  c_.RichEdit->disconnect(this);
  ShowTrayIcon(false);
  converter_.reset();
}

void TMainWindow::BuildLayout() {
  resize(720, 500);

  auto* toolbar = new QToolBar(this);
  toolbar->setObjectName("TopPanel");
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
  c_.SpeedButton1 = tool("SpeedButton1", "document-open", QStyle::SP_DialogOpenButton, &TMainWindow::OpenFile);
  c_.SpeedButton2 = tool("SpeedButton2", "document-save", QStyle::SP_DialogSaveButton, &TMainWindow::SaveFile);
  auto drawn = [&](const char* name, const char* theme, Picture picture, void (TMainWindow::*slot)()) {
    QAction* action = toolbar->addAction(ToolbarIcon(theme, picture), QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  c_.SpeedButton9 = drawn("SpeedButton9", "document-print", Picture::Print, &TMainWindow::PrintFile);
  toolbar->addSeparator();
  c_.SpeedButton4 = drawn("SpeedButton4", "edit-paste", Picture::Paste, &TMainWindow::PasteClipboard);
  c_.SpeedButton3 = drawn("SpeedButton3", "edit-copy", Picture::Copy, &TMainWindow::CopyClipboard);
  toolbar->addSeparator();
  c_.SpeedButton8 = tool("SpeedButton8", "edit-undo", QStyle::SP_ArrowBack, &TMainWindow::Back);
  c_.SpeedButton5 = tool("SpeedButton5", "process-stop", QStyle::SP_BrowserStop, &TMainWindow::Stop);
  toolbar->addSeparator();
  c_.SpeedButton6 = drawn("SpeedButton6", "preferences-system", Picture::Settings, &TMainWindow::SetConfig);
  c_.SpeedButton7 = tool("SpeedButton7", "help-about", QStyle::SP_MessageBoxInformation, &TMainWindow::About);
  toolbar->addSeparator();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The editor over the attachment view.
  auto* TextPanel = new QSplitter(Qt::Vertical, central);
  TextPanel->setObjectName("TextPanel");
  TextPanel->setHandleWidth(3);
  c_.RichEdit = new QPlainTextEdit(TextPanel);
  c_.RichEdit->setObjectName("RichEdit");
  c_.RichEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  c_.RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  c_.RichEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  c_.RichEdit->setContextMenuPolicy(Qt::CustomContextMenu);
  c_.RichEdit->installEventFilter(this);
  c_.RichEdit->viewport()->installEventFilter(this);
  c_.FileView = new TFileView(TextPanel);
  c_.FileView->setObjectName("FileView");
  c_.FileView->setViewMode(QListView::IconMode);
  c_.FileView->setIconSize(QSize(32, 32));
  c_.FileView->setResizeMode(QListView::Adjust);
  c_.FileView->setMovement(QListView::Static);
  c_.FileView->setSelectionMode(QAbstractItemView::SingleSelection);
  c_.FileView->setVisible(false);
  TextPanel->addWidget(c_.RichEdit);
  TextPanel->addWidget(c_.FileView);
  TextPanel->setStretchFactor(0, 1);
  TextPanel->setSizes({400, 62});
  layout->addWidget(TextPanel, 1);

  auto* BottomPanel = new QWidget(central);
  BottomPanel->setObjectName("BottomPanel");
  BottomPanel->setFixedHeight(103);
  auto* bottom = new QHBoxLayout(BottomPanel);
  bottom->setContentsMargins(4, 4, 4, 4);

  auto* ControlPanel = new QWidget(BottomPanel);
  ControlPanel->setObjectName("ControlPanel");
  ControlPanel->setFixedWidth(263);
  auto* grid = new QGridLayout(ControlPanel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(0);

  c_.convStack = new QStackedWidget(ControlPanel);
  c_.convStack->setFixedSize(152, 24);
  btnConv = new QPushButton(c_.convStack);
  btnConv->setObjectName("btnConv");
  connect(btnConv, &QPushButton::clicked, this, &TMainWindow::Start);
  c_.ProgressBar = new QProgressBar(c_.convStack);
  c_.ProgressBar->setObjectName("ProgressBar");
  c_.ProgressBar->setRange(0, 100);
  c_.ProgressBar->setTextVisible(false);
  c_.convStack->addWidget(btnConv);
  c_.convStack->addWidget(c_.ProgressBar);

  Label1 = new QLabel(ControlPanel);
  Label1->setObjectName("Label1");
  c_.cmbFrom = new QComboBox(ControlPanel);
  c_.cmbFrom->setObjectName("cmbFrom");
  c_.cmbFrom->addItems({"Auto", "Windows", "Dos", "KOI-8", "ISO 8859-5"});
  Label2 = new QLabel(ControlPanel);
  Label2->setObjectName("Label2");
  c_.cmbTo = new QComboBox(ControlPanel);
  c_.cmbTo->setObjectName("cmbTo");
  c_.cmbTo->addItems({"Windows", "Dos", "KOI-8", "ISO 8859-5", "UTF-8"});

  auto* lists = new QGridLayout;
  lists->setContentsMargins(0, 4, 0, 0);
  lists->addWidget(Label1, 0, 0);
  lists->addWidget(c_.cmbFrom, 0, 1);
  lists->addWidget(Label2, 1, 0);
  lists->addWidget(c_.cmbTo, 1, 1);
  lists->setColumnStretch(1, 1);

  auto* left = new QVBoxLayout;
  left->setSpacing(0);
  left->addWidget(c_.convStack);
  left->addLayout(lists);
  left->addStretch();
  grid->addLayout(left, 0, 0);

  auto* checks = new QVBoxLayout;
  checks->setSpacing(0);
  auto check = [&](const char* name, const char* caption) {
    auto* box = new QCheckBox(Utf8(caption), ControlPanel);
    box->setObjectName(name);
    checks->addWidget(box);
    return box;
  };
  c_.chkBase64 = check("chkBase64", "Binary");
  c_.chkQP = check("chkQP", "QP && 7bit");
  c_.chkRtf = check("chkRtf", "RTF");
  c_.chkHtml = check("chkHtml", "HTML");
  c_.chkUtf8 = check("chkUtf8", "UTF-8");
  c_.chkTranslit = check("chkTranslit", "Translit");
  checks->addStretch();
  grid->addLayout(checks, 0, 1);
  bottom->addWidget(ControlPanel);

  auto* ScrollBox = new QScrollArea(BottomPanel);
  ScrollBox->setObjectName("ScrollBox");
  ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrollBox->setWidgetResizable(true);
  c_.lblText = new QLabel(ScrollBox);
  c_.lblText->setObjectName("lblText");
  c_.lblText->setTextFormat(Qt::PlainText);
  c_.lblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  c_.lblText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ScrollBox->setWidget(c_.lblText);
  bottom->addWidget(ScrollBox, 1);
  layout->addWidget(BottomPanel);
  setCentralWidget(central);
  c_.RichEdit->setFocus();

  // The tray menu.
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Open1 = PopupMenu1->addAction(QString(), this, &TMainWindow::TrayClick);
  Settings1 = PopupMenu1->addAction(QString(), this, [this] {
    SetConfig();
    if (TrayActive() && isMinimized()) hide();
  });
  Exit1 = PopupMenu1->addAction(QString(), this, &TMainWindow::ExitClick);

  // The editor's menu.
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  mSelectAll = PopupMenu2->addAction(QString(), this, &TMainWindow::SelectAllClick);
  mCopy = PopupMenu2->addAction(QString(), this, &TMainWindow::CopyClipboard);
  mPaste = PopupMenu2->addAction(QString(), this, &TMainWindow::PasteClipboard);
  PopupMenu2->addSeparator();
  mOpen = PopupMenu2->addAction(QString(), this, &TMainWindow::OpenFile);
  mSave = PopupMenu2->addAction(QString(), this, &TMainWindow::SaveFile);
  PopupMenu2->addSeparator();
  mTranslit = PopupMenu2->addAction(QString(), this, &TMainWindow::mTranslitClick);
  PopupMenu2->addSeparator();
  mWordwrap = PopupMenu2->addAction(QString(), this, &TMainWindow::WordWrap);
  mWordwrap->setCheckable(true);
  connect(c_.RichEdit, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(c_.RichEdit->mapToGlobal(at)); });
  connect(c_.RichEdit, &QPlainTextEdit::textChanged, this, [this] {
    if (!window_->Loading()) converter_->ScreenEdited();
  });

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { showMinimized(); });
}

void TMainWindow::Busy(const std::function<void()>& body) {
  if (running_) return;
  running_ = true;
  body();
  running_ = false;
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
  c_.RichEdit->setFont(FontOf(textFont_, c_.RichEdit->font()));
  c_.RichEdit->setLineWrapMode(cfg.WordWrapOn ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  mWordwrap->setChecked(cfg.WordWrapOn);
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
  c_.cmbTo->setCurrentIndex(DefaultTarget(settings_.Cfg, ProcessEnv()) - 1);
}

bool TMainWindow::Utf8Chosen() const { return c_.cmbTo->currentIndex() == kUtf8Code - 1; }

void TMainWindow::Start() {
  Busy([this] { converter_->Convert(); });
}

void TMainWindow::Stop() { converter_->UserBreak = true; }

void TMainWindow::Back() {
  if (running_) return;
  converter_->Back();
}

void TMainWindow::About() {
  QRect editor = c_.RichEdit->geometry();
  editor.moveTop(c_.RichEdit->mapTo(this, QPoint(0, 0)).y());
  ShowAboutBox(this, editor, settings_.Cfg);
}

void TMainWindow::SetConfig() {
  if (running_) return;
  ReadCfg();
  if (!EditCfg(settings_.Cfg, this)) return;
  SetSwitchesFromSettings();
  kamvo::WriteCfg(settings_.Cfg);
  ApplySettings();
  converter_->CopyTextFromScreen();
  converter_->CopyTextToScreen();
  update();
  ShowTrayIcon(settings_.Cfg.TrayIcon);
  SetLanguage();
  if (!settings_.Cfg.TrayIcon) TrayClick();
}

void TMainWindow::PrintFile() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  printer.setDocName(QString());
  c_.RichEdit->document()->print(&printer);
}

void TMainWindow::SelectAllClick() { c_.RichEdit->selectAll(); }

void TMainWindow::WordWrap() {
  const bool changed = converter_->ScreenChanged;
  settings_.Cfg.WordWrapOn = !settings_.Cfg.WordWrapOn;
  mWordwrap->setChecked(settings_.Cfg.WordWrapOn);
  c_.RichEdit->setLineWrapMode(settings_.Cfg.WordWrapOn ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  QCoreApplication::processEvents();
  converter_->ScreenChanged = changed;
}

void TMainWindow::mTranslitClick() {
  Busy([this] { EncodeTranslit(*converter_); });
}

void TMainWindow::SetLanguage() {
  if (settings_.Cfg.English)
    SetEnglish();
  else
    SetRussian();
  if (converter_ && converter_->Detection.DetectionDone) converter_->WriteDetectionInfo();
}

namespace {

void SetTexts(bool english, QLabel* label1, QLabel* label2, QPushButton* conv, const Controls& c) {
  label1->setText(kFrom.In(english));
  label2->setText(kTo.In(english));
  c.chkBase64->setToolTip(kHintBase64.In(english));
  c.chkQP->setToolTip(kHintQP.In(english));
  c.chkRtf->setToolTip(kHintRtf.In(english));
  c.chkHtml->setToolTip(kHintHtml.In(english));
  c.chkUtf8->setToolTip(kHintUtf8.In(english));
  conv->setText(kConvert.In(english));
}

}  // namespace

// The texts the system draws: tool-tip hints and menu captions.
void TMainWindow::SetSystemTexts(bool e) {
  c_.SpeedButton1->setToolTip(kOpenFile.In(e));
  c_.SpeedButton2->setToolTip(kSaveFile.In(e));
  c_.SpeedButton3->setToolTip(kCopy.In(e));
  c_.SpeedButton4->setToolTip(kPaste.In(e));
  c_.SpeedButton5->setToolTip(kStop.In(e));
  c_.SpeedButton6->setToolTip(kSettings.In(e));
  c_.SpeedButton7->setToolTip(kAbout.In(e));
  c_.SpeedButton8->setToolTip(kUndo.In(e));
  c_.SpeedButton9->setToolTip(kPrint.In(e));
  Open1->setText(kOpen.In(e));
  Settings1->setText(kTraySettings.In(e));
  Exit1->setText(kExit.In(e));
  mSelectAll->setText(kSelectAll.In(e));
  mCopy->setText(kCopy.In(e));
  mPaste->setText(kPaste.In(e));
  mOpen->setText(kOpen.In(e));
  mSave->setText(kSave.In(e));
  mWordwrap->setText(kWordWrap.In(e));
  mTranslit->setText(kEncodeTranslit.In(e));
}

void TMainWindow::SetEnglish() {
  SetTexts(true, Label1, Label2, btnConv, c_);
  SetSystemTexts(true);
  window_->SetHeldNotice(kTooLarge.In(true));
}

void TMainWindow::SetRussian() {
  SetEnglish();
  SetTexts(false, Label1, Label2, btnConv, c_);
  window_->SetHeldNotice(kTooLarge.In(false));
  if (settings_.Cfg.UserLanguage == kLangRussian) {
    SetSystemTexts(false);
  }
  if (converter_ && converter_->LastStatus() == "User break.")
    converter_->WriteStatusInfo(WinFromUtf8("Прервано."));
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
  if (!firstActivation_ || running_) return;
  converter_->UpdateFileView();
  ResetCodeLists();
  SetSwitchesFromSettings();
  converter_->SetButtonsStop();
  if (settings_.FirstRun) {
    const std::string sample = SamplePath();
    std::string bytes;
    if (!sample.empty() && ReadWholeFile(sample, bytes)) {
      converter_->TextBuffer = Text::FromBytes(std::move(bytes));
      converter_->CopyTextToScreen();
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
  if (running_) return;
  QCoreApplication::processEvents();
  const QStringList files =
      chooseOpenFiles ? chooseOpenFiles()
                      : QFileDialog::getOpenFileNames(this, QString(), ShownPath(ExtractDir(settings_.LastOpenPath)),
                                                      "Any file (*)");
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
  if (running_) return;
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    QMessageBox::critical(this, "KAMVO",
                          (settings_.Cfg.English ? Utf8("Cannot read the file %1.") : Utf8("Не удалось прочитать файл %1."))
                              .arg(ShownPath(path)));
    return;
  }
  converter_->TextBuffer = Text::FromBytes(std::move(bytes));
  converter_->CopyTextToScreen();
  if (settings_.Cfg.ConvertFileOpen) {
    ResetCodeLists();
    Start();
  }
}

void TMainWindow::SaveFile() {
  if (running_) return;
  QCoreApplication::processEvents();
  const QString file =
      chooseSaveFile ? chooseSaveFile()
                     : QFileDialog::getSaveFileName(this, QString(), ShownPath(ExtractDir(settings_.LastSavePath)),
                                                    "Any file (*)");
  if (file.isEmpty()) return;
  settings_.LastSavePath = LocalPath(file);
  converter_->CopyTextFromScreen();
  if (!SaveTextFile(LocalPath(file), converter_->TextBuffer, Utf8Chosen())) {
    QMessageBox::critical(this, "KAMVO",
                          (settings_.Cfg.English ? Utf8("Cannot write the file %1.") : Utf8("Не удалось записать файл %1."))
                              .arg(file));
  }
}

void TMainWindow::OpenMultiFiles(const std::vector<std::string>& paths) {
  Busy([&] {
    // Files are written in the target chosen; UTF-8 goes through
    // Windows-1251 and is written as UTF-8.
    converter_->Utf8Target = Utf8Chosen();
    kamvo::OpenMultiFiles(
        *converter_, paths, [this](const std::string& question) { return AskYesNo(question); },
        [this] { return exiting_; });
  });
}

void TMainWindow::WMDropFiles(const QList<QUrl>& urls) {
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

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  // Answered after the drop has ended, so that the source is not kept
  // waiting while the question or the conversion runs.
  QTimer::singleShot(0, this, [this, urls] { WMDropFiles(urls); });
}

// ---- Clipboard ----

std::string TMainWindow::GetClipboardText() {
  QString text = QGuiApplication::clipboard()->text();
  const qsizetype end = text.indexOf(QChar(0));  // the text ends at a NUL
  if (end >= 0) text.truncate(end);
  return FromQString(text);
}

bool TMainWindow::SetClipboardText(const std::string& text) {
  // The text ends at a NUL, as a C string does.
  QGuiApplication::clipboard()->setText(ToQString(std::string_view(text.c_str())));
  return true;
}

void TMainWindow::PasteAll() {
  converter_->TextBuffer.clear();
  converter_->TextBuffer = Text::FromBytes(GetClipboardText());
  converter_->CopyTextToScreen();
}

void TMainWindow::PasteClipboard() {
  if (running_ || window_->TextHeld()) return;
  c_.RichEdit->textCursor().insertText(ToQString(GetClipboardText()));
  converter_->CopyTextFromScreen();
  c_.RichEdit->setFocus();
}

void TMainWindow::CopyClipboard() {
  std::string text;
  if (window_->TextHeld()) {
    text = JoinLines(window_->ReadText(), "\n");
  } else {
    if (!c_.RichEdit->textCursor().hasSelection()) c_.RichEdit->selectAll();
    text = FromQString(c_.RichEdit->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n'));
  }
  SetClipboardText(text);
  c_.RichEdit->setFocus();
}

void TMainWindow::FastStart() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText() || running_) return;
  PasteAll();
  ResetCodeLists();
  QCoreApplication::processEvents();
  Start();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == c_.RichEdit && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ControlModifier) {
      const QTextCursor cursor = c_.RichEdit->textCursor();
      if (cursor.hasSelection())
        SetClipboardText(FromQString(cursor.selectedText().replace(QChar::ParagraphSeparator, '\n')));
      return true;
    }
    if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ShiftModifier) {
      PasteClipboard();
      return true;
    }
  }
  // Files dropped on the editor are opened, never pasted as their names.
  if (watched == c_.RichEdit->viewport()) {
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
    if (TrayShown || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_->show();
    TrayShown = true;
  } else if (TrayShown) {
    tray_->hide();
    TrayShown = false;
  }
}

void TMainWindow::TrayClick() {
  // Restored before it is shown: a window shown while still minimised is
  // mapped as an icon, which without a window manager never appears.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TMainWindow::AppMinimize() {
  if (settings_.Cfg.ConvertOnStart) converter_->UserBreak = true;
  // With the icon the window leaves the taskbar; it comes back through it.
  if (TrayActive()) QTimer::singleShot(0, this, [this] {
      if (isMinimized()) {
        hiddenByProgram_ = true;
        hide();
      }
    });
}

void TMainWindow::AppRestore() { QueueFormShow(); }

void TMainWindow::ExitClick() {
  converter_->UserBreak = true;
  exiting_ = true;
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
  if (hiddenByProgram_ && !event->spontaneous()) {
    hiddenByProgram_ = false;
    QueueFormShow();
  }
}

void TMainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!event->spontaneous()) hiddenByProgram_ = true;
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  if (isMinimized() && !(old & Qt::WindowMinimized))
    AppMinimize();
  else if (!isMinimized() && (old & Qt::WindowMinimized))
    AppRestore();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  converter_->UserBreak = true;
  if (shutdownPending_ || exiting_ || !TrayActive()) {
    event->accept();
    if (!exiting_) {
      exiting_ = true;
      WriteExitCfg(settings_);
    }
    QCoreApplication::quit();
    return;
  }
  event->ignore();
  showMinimized();
}

}  // namespace kamvo::ui
