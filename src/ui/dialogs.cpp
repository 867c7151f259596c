#include "ui/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "codepages/unicode.h"
#include "settings/settings.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

void CentreOn(QWidget* dialog, const QWidget* owner, int top) {
  if (!owner) return;
  const QRect o = owner->frameGeometry();
  dialog->move(o.left() + (o.width() - dialog->width()) / 2, top);
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent), target_(target) {
  setCursor(Qt::PointingHandCursor);
  SetColour("blue");
}

void LinkLabel::SetColour(const char* colour) { setStyleSheet(QString("color: %1;").arg(colour)); }
void LinkLabel::enterEvent(QEnterEvent*) { SetColour("red"); }
void LinkLabel::leaveEvent(QEvent*) { SetColour("blue"); }
void LinkLabel::mouseReleaseEvent(QMouseEvent*) { QDesktopServices::openUrl(QUrl(target_)); }

TAboutForm::TAboutForm(const TCfg& cfg, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("TAboutForm");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* image = new QLabel(this);
  image->setObjectName("programIcon");
  image->setPixmap(QApplication::windowIcon().pixmap(48, 48));
  image->setAlignment(Qt::AlignTop);
  top->addWidget(image);
  auto* texts = new QVBoxLayout;
  titleLabel = new QLabel(this);
  titleLabel->setObjectName("titleLabel");
  descriptionLabel = new QLabel(this);
  descriptionLabel->setObjectName("descriptionLabel");
  descriptionLabel->setWordWrap(true);
  detailsLabel = new QLabel(this);
  detailsLabel->setObjectName("detailsLabel");
  detailsLabel->setWordWrap(true);
  detailsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  texts->addWidget(titleLabel);
  texts->addWidget(descriptionLabel);
  texts->addWidget(detailsLabel);
  const QString homepage = QString::fromUtf8(KAMVO_HOMEPAGE);
  if (!homepage.isEmpty()) {
    auto* link = new LinkLabel(homepage, homepage, this);
    link->setObjectName("homepageLink");
    texts->addWidget(link);
  }
  top->addLayout(texts, 1);
  layout->addLayout(top);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  closeButton = new QPushButton(this);
  closeButton->setObjectName("closeButton");
  closeButton->setDefault(true);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(closeButton);
  layout->addLayout(buttons);
  SetLang(cfg);
  setMinimumWidth(420);
  adjustSize();
  setFixedSize(size());
}

void TAboutForm::SetLang(const TCfg& cfg) {
  const bool e = cfg.English;
  QFont bold = parentWidget() ? parentWidget()->font() : font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  titleLabel->setFont(bold);
  const QString version = QString::fromUtf8(KAMVO_VERSION).left(14);
  titleLabel->setText("KAMVO " + version + (e ? Utf8(" for Linux") : Utf8(" для Linux")));
  descriptionLabel->setText(e ? Utf8("Turns unreadable Russian text back into readable text: it finds the code page a "
                                     "text was garbled through and converts it back.")
                              : Utf8("Возвращает нечитаемому русскому тексту читаемый вид: находит, через какие "
                                     "кодировки текст был испорчен, и перекодирует его обратно."));
  detailsLabel->setText(
      (e ? Utf8("Qt %1. The command line: kamvo --help.") : Utf8("Qt %1. Командная строка: kamvo --help."))
          .arg(QString::fromLatin1(qVersion())));
  closeButton->setText(e ? Utf8("Close") : Utf8("Закрыть"));
  setWindowTitle(e ? Utf8("About KAMVO") : Utf8("О программе KAMVO"));
}

void ShowAboutBox(QWidget* mainWindow, const QRect& editorArea, const TCfg& cfg) {
  TAboutForm box(cfg, mainWindow);
  if (mainWindow) {
    const QRect o = mainWindow->frameGeometry();
    CentreOn(&box, mainWindow, o.top() + editorArea.top() + (editorArea.height() - box.height()) / 2);
  }
  box.exec();
}

TYesNoForm::TYesNoForm(const QString& text, bool english, const QFont& font, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("TYesNoForm");
  setFont(font);
  setWindowTitle(english ? Utf8("Confirm") : Utf8("Подтвердите"));
  questionLabel = new QLabel(text, this);
  questionLabel->setObjectName("questionLabel");
  questionLabel->setAlignment(Qt::AlignCenter);
  yesButton = new QPushButton(english ? Utf8("&Yes") : Utf8("&Да"), this);
  yesButton->setObjectName("yesButton");
  noButton = new QPushButton(english ? Utf8("&No") : Utf8("&Нет"), this);
  noButton->setObjectName("noButton");
  yesButton->setDefault(true);
  connect(yesButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(noButton, &QPushButton::clicked, this, &QDialog::reject);

  // The text keeps its lines when they fit in two thirds of the screen;
  // otherwise it wraps at that width.
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const QString& line : text.split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts))
    widest = std::max(widest, metrics.horizontalAdvance(line));
  const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  const int screenWidth = screen ? screen->geometry().width() : 1024;
  if (widest >= screenWidth / 3 * 2) {
    questionLabel->setWordWrap(true);
    questionLabel->setFixedWidth(screenWidth / 3 * 2);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(25, 16, 25, 16);
  layout->setSpacing(16);
  layout->addWidget(questionLabel);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(20);
  buttons->addStretch();
  buttons->addWidget(yesButton);
  buttons->addWidget(noButton);
  buttons->addStretch();
  layout->addLayout(buttons);
  // Buttons as wide as their texts need, at least the designed 95 pixels.
  for (QPushButton* b : {yesButton, noButton}) b->setMinimumWidth(std::max(95, b->sizeHint().width()));
  adjustSize();
  setFixedSize(size());
  if (parent) {
    const QRect o = parent->frameGeometry();
    move(o.left() + (o.width() - width()) / 2, o.top() + (o.height() - height()) / 2);
  }
}

bool AskYesNo(QWidget* mainWindow, const std::string& text, bool english) {
  TYesNoForm form(ToQString(text), english, mainWindow ? mainWindow->font() : QApplication::font(), mainWindow);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kamvo::ui
