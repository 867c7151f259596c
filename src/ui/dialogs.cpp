#include "ui/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QRegularExpression>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
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

TAboutForm::TAboutForm(const TCfg& cfg, QWidget* parent) : QDialog(parent) {
  setObjectName("TAboutForm");
  auto* layout = new QVBoxLayout(this);
  auto* box = new QFrame(this);
  box->setFrameShape(QFrame::StyledPanel);
  auto* boxLayout = new QHBoxLayout(box);
  auto* Image1 = new QLabel(box);
  Image1->setPixmap(QApplication::windowIcon().pixmap(33, 33));
  Label1 = new QLabel(box);
  Label1->setObjectName("Label1");
  Label1->setAlignment(Qt::AlignCenter);
  boxLayout->addWidget(Image1);
  boxLayout->addWidget(Label1, 1);
  layout->addWidget(box);
  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  Label2->setAlignment(Qt::AlignCenter);
  layout->addWidget(Label2);
  auto* links = new QHBoxLayout;
  links->addWidget(new LinkLabel("kamvo@example.org", "mailto:kamvo@example.org", this));
  links->addStretch();
  links->addWidget(new LinkLabel("example.org/kamvo", "https://example.org/kamvo", this));
  layout->addLayout(links);
  setFixedSize(367, 129);
  SetLang(cfg);
}

void TAboutForm::SetLang(const TCfg& cfg) {
  QFont bold = parentWidget() ? parentWidget()->font() : font();
  QFont regular = bold;
  bold.setBold(true);
  regular.setBold(false);
  Label1->setFont(bold);
  Label2->setFont(regular);
  const QString version = QString::fromUtf8(KAMVO_VERSION).left(14);
  Label1->setText("KAMVO " + version + (cfg.English ? Utf8(" for Linux") : Utf8(" для Linux")));
  Label2->setText(cfg.English ? Utf8("Readable Russian text from any code page")
                              : Utf8("Читаемый русский текст из любой кодировки"));
  const bool russianCaption = !cfg.English && cfg.UserLanguage == kLangRussian;
  setWindowTitle(russianCaption ? Utf8("О программе KAMVO") : Utf8("About KAMVO"));
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
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("TYesNoForm");
  setFont(font);
  setWindowTitle(english ? Utf8("Confirm") : Utf8("Подтвердите"));
  resize(377, 128);
  lblText = new QLabel(text, this);
  lblText->setObjectName("lblText");
  lblText->setAlignment(Qt::AlignCenter);
  lblText->setWordWrap(true);
  lblText->setGeometry(8, 8, 360, 49);
  btnYes = new QPushButton(english ? Utf8("Yes") : Utf8("Да"), this);
  btnYes->setObjectName("btnYes");
  btnNo = new QPushButton(english ? Utf8("No") : Utf8("Нет"), this);
  btnNo->setObjectName("btnNo");
  for (QPushButton* b : {btnYes, btnNo}) b->setGeometry(0, 80, 95, 25);
  connect(btnYes, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnNo, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });

  // Sized to the widest line when it is narrower than two thirds of the
  // screen; otherwise the label keeps its designed width and wraps.
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const QString& line : text.split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts))
    widest = std::max(widest, metrics.horizontalAdvance(line));
  const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  const int screenWidth = screen ? screen->geometry().width() : 1024;
  if (widest < screenWidth / 3 * 2) {
    // A few pixels beyond the measured width: the label's own layout may
    // round a line a little wider and would then wrap it.
    resize(widest + 50, height());
    lblText->setGeometry(25, lblText->y(), std::min(widest + 4, width() - 25), lblText->height());
  }
  btnYes->move(width() / 2 - btnYes->width() - 10, btnYes->y());
  btnNo->move(width() / 2 + 10, btnNo->y());
  setFixedSize(size());
  if (parent) {
    const QRect o = parent->frameGeometry();
    move(o.left() + (o.width() - width()) / 2, o.top() + (o.height() - height()) / 2);
  }
}

// Only the two buttons end the question.
void TYesNoForm::closeEvent(QCloseEvent* event) { event->ignore(); }

bool AskYesNo(QWidget* mainWindow, const std::string& text, bool english) {
  TYesNoForm form(ToQString(text), english, mainWindow ? mainWindow->font() : QApplication::font(), mainWindow);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kamvo::ui
