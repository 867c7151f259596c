#include "ui/word_report.h"

#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "driver/converter.h"
#include "ui/dialog_look.h"
#include "ui/qt_window.h"

namespace kamvo::ui {

namespace {

const LangText kRecognised{"Russian words detected:", "Распознанные русские слова:"};
const LangText kUnknown{"Unknown words:", "Нераспознанные слова:"};

}  // namespace

TInfoForm::TInfoForm(const WordReport& report, const TCfg& cfg, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("TInfoForm");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFont(TextFontOf(cfg));
  resize(450, 249);
  wordList = new QTextEdit(this);
  wordList->setObjectName("wordList");
  wordList->setReadOnly(true);
  // No caret and no selection: the report is only read.
  wordList->setTextInteractionFlags(Qt::NoTextInteraction);
  wordList->viewport()->setCursor(Qt::ForbiddenCursor);
  QPalette colours = wordList->palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
  colours.setColor(QPalette::Text, colours.color(QPalette::ToolTipText));
  wordList->setPalette(colours);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(wordList);

  // Every line indented on both sides by a fifteenth of the width.
  QTextBlockFormat paragraph;
  const int indent = width() / 15;
  paragraph.setTextIndent(indent);
  paragraph.setRightMargin(indent);
  QTextCursor cursor(wordList->document());
  bool first = true;
  auto line = [&](const QString& text, bool bold, Qt::Alignment alignment) {
    paragraph.setAlignment(alignment);
    if (first)
      cursor.setBlockFormat(paragraph);
    else
      cursor.insertBlock(paragraph);
    first = false;
    QTextCharFormat chars;
    chars.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    cursor.insertText(text, chars);
  };
  const bool english = cfg.English;
  line(" ", true, Qt::AlignHCenter);
  if (!report.Recognised.empty()) {
    line(kRecognised.In(english), true, Qt::AlignHCenter);
    line(" ", true, Qt::AlignHCenter);
    line(ToQString(report.Recognised), false, Qt::AlignLeft);
    line(" ", false, Qt::AlignLeft);
  }
  if (!report.Unknown.empty()) {
    line(kUnknown.In(english), true, Qt::AlignHCenter);
    line(" ", true, Qt::AlignHCenter);
    line(ToQString(report.Unknown), false, Qt::AlignLeft);
  }
  wordList->moveCursor(QTextCursor::Start);
}

InfoReport::InfoReport(QWidget* mainWindow, const Converter& converter, const TCfg& cfg,
                       std::initializer_list<QWidget*> pane)
    : QObject(mainWindow), mainWindow_(mainWindow), converter_(converter), cfg_(cfg) {
  for (QWidget* widget : pane)
    if (widget) widget->installEventFilter(this);
}

InfoReport::~InfoReport() { delete InfoPopup.data(); }

void InfoReport::InfoMouseDown(Qt::MouseButton button) {
  const DetectionState& detection = converter_.Detection;
  if ((Available && !Available()) || !detection.DetectionDone || button != Qt::LeftButton || InfoPopup) return;
  const WordReport report = MakeWordReport(detection.SampleWords, converter_.Table, detection.DetectedUtf8);
  if (report.Empty()) return;
  InfoPopup = new TInfoForm(report, cfg_, mainWindow_);
  CentreOver(InfoPopup, mainWindow_);
  InfoPopup->show();
}

void InfoReport::InfoMouseUp() { delete InfoPopup.data(); }

bool InfoReport::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress)
    InfoMouseDown(static_cast<QMouseEvent*>(event)->button());
  else if (event->type() == QEvent::MouseButtonRelease)
    InfoMouseUp();
  return QObject::eventFilter(watched, event);
}

}  // namespace kamvo::ui
