#include "ui/settings_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "settings/settings_edit.h"
#include "ui/dialog_look.h"
#include "ui/translit_dialog.h"

namespace kamvo::ui {

namespace {

const LangText kClipboard{"Convert clipboard on start", "Перекодировать буфер обмена при старте"};
const LangText kFiles{"Convert file after open", "Перекодировать файлы при открытии"};
const LangText kBase64{"Convert Base64, UUE & XXE", "Перекодировать Base64, UUE и XXE"};
const LangText kQP{"Convert quoted printable & 7bit", "Перекодировать Quoted-Printable и 7bit"};
const LangText kRtf{"Convert RTF", "Перекодировать RTF"};
const LangText kHtml{"Convert HTML", "Перекодировать HTML в текст"};
const LangText kUtf8{"Convert UTF-8", "Перекодировать UTF-8"};
const LangText kTranslit{"Convert translit", "Перекодировать транслит"};
const LangText kTray{"Tray icon", "Иконка в трее"};
const LangText kLimitBefore{"Auto detection stop when", "Порог распознавания"};
const LangText kLimitAfter{" %  detected", " %"};
const LangText kTranslitButton{"Translit settings", "Настройка транслита"};
const LangText kLanguage{" Language ", " Язык "};
const LangText kRussian{"Russian", "Русский"};
const LangText kTextFont{"Text font", "Шрифт текста"};
const LangText kInterfaceFont{"Interface font", "Шрифт интерфейса"};
const LangText kCancel{"Cancel", "Отмена"};
const LangText kCaption{"Settings", "Настройка"};
// The box shows a blank line above the text.
const LangText kLimitMessage{"\nAllowed values from 60 to 100", "\nДопускаются значения от 60 до 100"};
const LangText kLimitHint{"From 60 to 100", "От 60 до 100"};

}  // namespace

TCfgForm::TCfgForm(const TCfg& cfg, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      cfg_(cfg) {
  setObjectName("TCfgForm");
  auto* layout = new QVBoxLayout(this);
  auto check = [&](const char* name) {
    auto* box = new QCheckBox(this);
    box->setObjectName(name);
    layout->addWidget(box);
    return box;
  };
  chkClipboard = check("chkClipboard");
  chkFiles = check("chkFiles");
  chkBase64 = check("chkBase64");
  chkQP = check("chkQP");
  chkRtf = check("chkRtf");
  chkHtml = check("chkHtml");
  chkUtf8 = check("chkUtf8");
  chkTranslit = check("chkTranslit");
  chkTray = check("chkTray");

  auto* limit = new QHBoxLayout;
  limitLabel = new QLabel(this);
  limitLabel->setObjectName("limitLabel");
  edtLimit = new QLineEdit(this);
  edtLimit->setObjectName("edtLimit");
  edtLimit->setMaxLength(3);
  edtLimit->setFixedWidth(edtLimit->fontMetrics().horizontalAdvance("0000") + 12);
  edtLimit->installEventFilter(this);
  limitUnitLabel = new QLabel(this);
  limitUnitLabel->setObjectName("limitUnitLabel");
  limit->addWidget(limitLabel);
  limit->addWidget(edtLimit);
  limit->addWidget(limitUnitLabel);
  limit->addStretch();
  layout->addLayout(limit);

  btnTranslit = new QPushButton(this);
  btnTranslit->setObjectName("btnTranslit");
  layout->addWidget(btnTranslit);

  languageBox = new QGroupBox(this);
  languageBox->setObjectName("languageBox");
  auto* languages = new QHBoxLayout(languageBox);
  englishButton = new QRadioButton(languageBox);
  englishButton->setObjectName("englishButton");
  russianButton = new QRadioButton(languageBox);
  russianButton->setObjectName("russianButton");
  languages->addWidget(englishButton);
  languages->addWidget(russianButton);
  layout->addWidget(languageBox);

  auto* fonts = new QHBoxLayout;
  textFontButton = new QPushButton(this);
  textFontButton->setObjectName("textFontButton");
  interfaceFontButton = new QPushButton(this);
  interfaceFontButton->setObjectName("interfaceFontButton");
  fonts->addWidget(textFontButton);
  fonts->addWidget(interfaceFontButton);
  layout->addLayout(fonts);

  auto* ends = new QHBoxLayout;
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName("btnCancel");
  ends->addWidget(btnOK);
  ends->addWidget(btnCancel);
  layout->addLayout(ends);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  for (QPushButton* b : {btnTranslit, textFontButton, interfaceFontButton, btnCancel}) b->setAutoDefault(false);
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) b->installEventFilter(this);
  connect(btnOK, &QPushButton::clicked, this, &TCfgForm::ClickOK);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(textFontButton, &QPushButton::clicked, this, &TCfgForm::ChooseTextFont);
  connect(interfaceFontButton, &QPushButton::clicked, this, &TCfgForm::ChooseInterfaceFont);
  connect(btnTranslit, &QPushButton::clicked, this, &TCfgForm::btnTranslitClick);
  FormShow();
}

void TCfgForm::FormShow() {
  setFont(InterfaceFontOf(cfg_));
  sysFont_ = InterfaceFontOf(cfg_);
  textFont_ = TextFontOf(cfg_);

  chkFiles->setChecked(cfg_.ConvertFileOpen);
  chkClipboard->setChecked(cfg_.ConvertOnStart);
  chkBase64->setChecked(cfg_.ConvertBase64);
  chkQP->setChecked(cfg_.ConvertQP);
  chkRtf->setChecked(cfg_.ConvertRTF);
  chkHtml->setChecked(cfg_.ConvertHTML);
  chkUtf8->setChecked(cfg_.ConvertUTF8);
  chkTranslit->setChecked(cfg_.TranslitOn);
  chkTray->setChecked(cfg_.TrayIcon);
  edtLimit->setText(QString::number(cfg_.DetectionLimit));

  const bool e = cfg_.English;
  // '&' is shown as it is, not taken for a shortcut mark.
  const auto caption = [](const QString& text) { return QString(text).replace('&', "&&"); };
  chkClipboard->setText(kClipboard.In(e));
  chkFiles->setText(kFiles.In(e));
  chkBase64->setText(caption(kBase64.In(e)));
  chkQP->setText(caption(kQP.In(e)));
  chkRtf->setText(kRtf.In(e));
  chkHtml->setText(kHtml.In(e));
  chkUtf8->setText(kUtf8.In(e));
  chkTranslit->setText(kTranslit.In(e));
  chkTray->setText(kTray.In(e));
  limitLabel->setText(kLimitBefore.In(e));
  limitLabel->setToolTip(kLimitHint.In(e));
  edtLimit->setToolTip(kLimitHint.In(e));
  limitUnitLabel->setText(kLimitAfter.In(e));
  btnTranslit->setText(kTranslitButton.In(e));
  languageBox->setTitle(kLanguage.In(e));
  englishButton->setText("English");
  russianButton->setText(kRussian.In(e));
  textFontButton->setText(kTextFont.In(e));
  interfaceFontButton->setText(kInterfaceFont.In(e));
  btnCancel->setText(kCancel.In(e));
  (e ? englishButton : russianButton)->setChecked(true);
  setWindowTitle(kCaption.In(e));
}

void TCfgForm::ClickOK() {
  // The limit's own check runs when the focus leaves the field; Enter
  // presses OK without leaving it, and a number outside 60..100 is not
  // taken then either.
  int32_t typed = 0;
  if (ParseWholeNumber(edtLimit->text().toStdString(), typed) && !edtLimitExit()) return;
  cfg_.ConvertFileOpen = chkFiles->isChecked();
  cfg_.ConvertOnStart = chkClipboard->isChecked();
  cfg_.ConvertBase64 = chkBase64->isChecked();
  cfg_.ConvertQP = chkQP->isChecked();
  cfg_.ConvertRTF = chkRtf->isChecked();
  cfg_.ConvertHTML = chkHtml->isChecked();
  cfg_.ConvertUTF8 = chkUtf8->isChecked();
  cfg_.TranslitOn = chkTranslit->isChecked();
  cfg_.TrayIcon = chkTray->isChecked();
  cfg_.DetectionLimit = DetectionLimitFromText(edtLimit->text().toStdString());
  cfg_.English = englishButton->isChecked();
  accept();
}

bool TCfgForm::edtLimitExit() {
  if (DetectionLimitAllowed(edtLimit->text().toStdString())) return true;
  ShowLimitMessage();
  return false;
}

void TCfgForm::ShowLimitMessage() {
  if (limitMessageOpen_) return;
  limitMessageOpen_ = true;
  // The press that took the focus away is not a click any more.
  for (QAbstractButton* button : findChildren<QAbstractButton*>())
    if (button->isDown()) button->setDown(false);
  const bool english = cfg_.English;
  QMessageBox box(QMessageBox::Critical, "KAMVO", kLimitMessage.In(english), QMessageBox::Ok, this);
  box.setObjectName("LimitMessage");
  box.exec();
  limitMessageOpen_ = false;
  activateWindow();
  edtLimit->setFocus();
}

void TCfgForm::CheckLimitLater() {
  if (limitCheckQueued_) return;
  limitCheckQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    if (!limitCheckQueued_) return;
    limitCheckQueued_ = false;
    if (isVisible() && !limitMessageOpen_) edtLimitExit();
  });
}

bool TCfgForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtLimit && event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Only a move to another control of the dialog checks; Cancel never
    // does, nor does leaving the window. The check runs after the event:
    // a message box inside a focus change would interrupt it halfway.
    const QWidget* next = QApplication::focusWidget();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && next != btnCancel && next &&
        isAncestorOf(next) && !limitMessageOpen_)
      CheckLimitLater();
  }
  // A click faster than the queued check: the release that would finish
  // it waits for the check, and is dropped when the limit is refused.
  if (event->type() == QEvent::MouseButtonRelease && limitCheckQueued_ && watched != edtLimit) {
    limitCheckQueued_ = false;
    if (!DetectionLimitAllowed(edtLimit->text().toStdString())) {
      ShowLimitMessage();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool TCfgForm::ChooseFont(QFont& font) {
  QFontDialog dialog(font, this);
  dialog.setWindowTitle(&font == &textFont_ ? textFontButton->text() : interfaceFontButton->text());
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  dialog.setObjectName("FontDialog");
  QFont* target = &font;
  if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
    QPushButton* apply = buttons->addButton(QDialogButtonBox::Apply);
    connect(apply, &QPushButton::clicked, this, [this, &dialog, target] {
      *target = dialog.currentFont();
      SetFont();
    });
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  font = dialog.selectedFont();
  return true;
}

void TCfgForm::ChooseTextFont() {
  if (ChooseFont(textFont_)) SetFont();
}

void TCfgForm::ChooseInterfaceFont() {
  if (ChooseFont(sysFont_)) SetFont();
}

void TCfgForm::SetFont() {
  setFont(sysFont_);
  cfg_.TextFont = GroupOf(textFont_, cfg_.TextFont.CharSet);
  cfg_.InterfaceFont = GroupOf(sysFont_, cfg_.InterfaceFont.CharSet);
  update();
}

void TCfgForm::btnTranslitClick() { EditTranslitTable(cfg_, this); }

bool EditCfg(TCfg& cfg, QWidget* mainWindow) {
  TCfgForm form(cfg, mainWindow);
  form.adjustSize();
  CentreOver(&form, mainWindow);
  if (form.exec() != QDialog::Accepted) return false;
  cfg = form.Cfg();
  return true;
}

}  // namespace kamvo::ui
