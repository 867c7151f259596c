#include "ui/warning_form.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/dialog_look.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

namespace {

const LangText kCaption{"Open Attachment Warning", "Подтвердите открытие файла"};
const LangText kOpening{"Opening:\n", "Открывается файл:\n"};
const LangText kText{
    "Some files can contain viruses or otherwise be harmful to your computer. It is important to be certain "
    "that this file is from a trustworthy source.",
    "Некоторые файлы могут содежать вирусы или другие вредные программы. Вы должны быть уверены, что файлы "
    "получены из источника которому вы доверяете."};
const LangText kAction{"What would you like to do with this file?", "Что вы хотите сделать с файлом?"};
const LangText kOpen{"Open it", "Открыть"};
const LangText kSave{"Save it to disk", "Сохранить"};
const LangText kCancel{"Cancel", "Отмена"};

}  // namespace

TWarningForm::TWarningForm(const std::string& name, const TCfg& cfg, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("TWarningForm");
  setFont(InterfaceFontOf(cfg));
  const bool e = cfg.English;
  setWindowTitle(kCaption.In(e));
  lblFileName = new QLabel(kOpening.In(e) + ToQString(name), this);
  lblFileName->setObjectName("lblFileName");
  lblFileName->setWordWrap(true);
  lblFileName->setTextFormat(Qt::PlainText);
  auto* Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  lblText = new QLabel(kText.In(e), this);
  lblText->setObjectName("lblText");
  lblText->setWordWrap(true);
  lblAction = new QLabel(kAction.In(e), this);
  lblAction->setObjectName("lblAction");
  rbOpen = new QRadioButton(kOpen.In(e), this);
  rbOpen->setObjectName("rbOpen");
  rbSave = new QRadioButton(kSave.In(e), this);
  rbSave->setObjectName("rbSave");
  rbSave->setChecked(true);
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton(kCancel.In(e), this);
  btnCancel->setObjectName("btnCancel");
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblFileName);
  layout->addWidget(Bevel1);
  layout->addWidget(lblText);
  layout->addSpacing(6);
  layout->addWidget(lblAction);
  layout->addWidget(rbOpen);
  layout->addWidget(rbSave);
  layout->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);
  setFixedSize(377, 268);
}

bool TWarningForm::OpenChosen() const { return rbOpen->isChecked(); }

int AskOpenAttachment(const std::string& name, const TCfg& cfg, QWidget* mainWindow) {
  TWarningForm form(name, cfg, mainWindow);
  CentreOver(&form, mainWindow);
  if (form.exec() != QDialog::Accepted) return -1;
  return form.OpenChosen() ? 0 : 1;
}

}  // namespace kamvo::ui
