#include "ui/translit_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/translit.h"
#include "settings/settings_edit.h"
#include "ui/dialog_look.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

namespace {

const LangText kCaption{"Translit settings", "Настройка транслита"};
const LangText kChar{"Char", "Буква"};
const LangText kTranslit{"Translit", "Транслит"};
const LangText kCancel{"Cancel", "Отмена"};

constexpr int kRows = kTranslitLetters + 1;

}  // namespace

TTranslitForm::TTranslitForm(const TCfg& cfg, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      cfg_(cfg) {
  setObjectName("TTranslitForm");
  Grid = new QTableWidget(kRows, 2, this);
  Grid->setObjectName("Grid");
  Grid->horizontalHeader()->hide();
  Grid->verticalHeader()->hide();
  Grid->setColumnWidth(0, 70);
  Grid->setColumnWidth(1, 93);
  Grid->verticalHeader()->setDefaultSectionSize(18);
  Grid->verticalHeader()->setMinimumSectionSize(18);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Grid->setFixedWidth(70 + 93 + Grid->verticalScrollBar()->sizeHint().width() + 2 * Grid->frameWidth());
  Grid->setFixedHeight(218);

  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName("btnCancel");
  connect(btnOK, &QPushButton::clicked, this, &TTranslitForm::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  qApp->installEventFilter(this);
  FormShow();
}

TTranslitForm::~TTranslitForm() { qApp->removeEventFilter(this); }

void TTranslitForm::FormShow() {
  const QFont font = InterfaceFontOf(cfg_);
  setFont(font);
  Grid->setFont(font);

  const bool english = cfg_.English;
  setWindowTitle(kCaption.In(english));
  btnCancel->setText(kCancel.In(english));

  // Fixed cells: shaded and centred; spellings: left-aligned, editable.
  const QBrush fixed = palette().brush(QPalette::Button);
  auto fixedCell = [&](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setBackground(fixed);
    item->setTextAlignment(Qt::AlignCenter);
    Grid->setItem(row, column, item);
  };
  fixedCell(0, 0, kChar.In(english));
  fixedCell(0, 1, kTranslit.In(english));
  const std::array<std::string, kTranslitLetters> spellings = TranslitSpellings(cfg_.TranslitTable);
  for (int k = 0; k < kTranslitLetters; ++k) {
    fixedCell(k + 1, 0, ToQString(std::string(1, static_cast<char>(RussianAlphabet[k]))));
    auto* item = new QTableWidgetItem(ToQString(spellings[k]));
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Grid->setItem(k + 1, 1, item);
  }
  Grid->setCurrentCell(1, 1);
}

void TTranslitForm::btnOKClick() {
  // A spelling still being typed counts.
  if (QWidget* editor = Grid->indexWidget(Grid->currentIndex()))
    QMetaObject::invokeMethod(Grid, "commitData", Qt::DirectConnection, Q_ARG(QWidget*, editor));
  std::array<std::string, kTranslitLetters> spellings;
  for (int k = 0; k < kTranslitLetters; ++k)
    if (const QTableWidgetItem* item = Grid->item(k + 1, 1)) spellings[k] = FromQString(item->text());
  cfg_.TranslitTable = JoinTranslitTable(spellings);
  accept();
}

bool TTranslitForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* target = static_cast<QWidget*>(watched);
  if (target != this && !isAncestorOf(target)) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const QString text = key->text();
  // Moving, deleting, Enter (which ends a cell's edit) and Esc: not typed
  // characters.
  if (text.isEmpty() || text.at(0) < QChar(' ')) return false;
  // Characters without a Windows-1251 byte come as '?', which is dropped too.
  const std::string bytes = FromQString(text);
  if (bytes.size() != 1) return true;
  const Byte typed = static_cast<Byte>(bytes[0]);
  const Byte passed = FilterTranslitKey(typed);
  if (passed == 0) return true;
  if (passed == typed) return false;
  // A small Latin letter: the capital is typed instead.
  QKeyEvent capital(QEvent::KeyPress, Qt::Key_A + (passed - 'A'), key->modifiers() & ~Qt::ShiftModifier,
                    QString(QChar(passed)));
  QCoreApplication::sendEvent(target, &capital);
  return true;
}

void EditTranslitTable(TCfg& cfg, QWidget* owner) {
  TTranslitForm form(cfg, owner);
  form.adjustSize();
  CentreOver(&form, owner);
  if (form.exec() == QDialog::Accepted) cfg.TranslitTable = form.Cfg().TranslitTable;
}

}  // namespace kamvo::ui
