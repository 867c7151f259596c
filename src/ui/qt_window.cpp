#include "ui/qt_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileIconProvider>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"

namespace kamvo::ui {

QString ToQString(std::string_view win1251) {
  const std::u16string text = WinToUtf16(win1251);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) {
  return WinFromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

DecoderSwitches QtWindow::Switches() const {
  DecoderSwitches s;
  s.Base64 = c_.chkBase64->isChecked();
  s.QP = c_.chkQP->isChecked();
  s.Rtf = c_.chkRtf->isChecked();
  s.Html = c_.chkHtml->isChecked();
  s.Utf8 = c_.chkUtf8->isChecked();
  s.Translit = c_.chkTranslit->isChecked();
  return s;
}

int QtWindow::FromIndex() const { return std::max(0, c_.cmbFrom->currentIndex()); }
// UTF-8, the list's last item, is Windows-1251 for the run: the text is
// shown as characters, and written as UTF-8 when files are written.
int QtWindow::ToIndex() const {
  const int index = c_.cmbTo->currentIndex();
  return index < 0 || index == kUtf8Code - 1 ? 0 : index;
}

void QtWindow::ShowText(const Text& given) {
  const Text split = HasBreakInside(given) ? Resplit(given) : Text();
  const Text& lines = split.empty() ? given : split;
  std::size_t total = 0;
  std::size_t longest = 0;
  for (const std::string_view line : lines) {
    total += line.size() + 1;
    longest = std::max(longest, line.size());
  }
  loading_ = true;
  if (total > static_cast<std::size_t>(kEditorMaxChars) || longest > kEditorMaxLine) {
    // Kept whole for the conversion and for saving; the editor only says so.
    held_ = true;
    heldText_ = lines;
    c_.RichEdit->setReadOnly(true);
    c_.RichEdit->setPlainText(heldNotice_);
  } else {
    held_ = false;
    heldText_.clear();
    QString text;
    text.reserve(static_cast<qsizetype>(total));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i) text += QChar('\n');
      text += ToQString(lines[i]);
    }
    c_.RichEdit->setReadOnly(false);
    c_.RichEdit->setPlainText(text);
  }
  loading_ = false;
  redraw_.restart();
}

Text QtWindow::ReadText() {
  if (held_) return heldText_;
  // Block by block: the document's plain text would turn no-break spaces
  // into blanks.
  const QTextDocument* document = c_.RichEdit->document();
  Text lines;
  lines.Reserve(static_cast<std::size_t>(document->characterCount()), static_cast<std::size_t>(document->blockCount()));
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
    lines.AddLine(FromQString(block.text()), LineEnd::Lf);
  if (lines.size() == 1 && lines[0].empty()) lines.clear();
  return lines;
}

bool QtWindow::ReadyToRedraw() {
  // A search that keeps improving is shown a few times a second, not
  // converted again for every step.
  return redraw_.elapsed() >= 150;
}

void QtWindow::ShowInfo(const std::string& caption) { c_.lblText->setText(ToQString(caption)); }

void QtWindow::ShowProgress(int min, int max, int position) {
  c_.ProgressBar->setRange(min, max);
  c_.ProgressBar->setValue(position);
}

void QtWindow::ShowButtons(const ButtonState& state) {
  c_.convStack->setCurrentIndex(state.ProgressVisible ? 1 : 0);
  c_.SpeedButton1->setEnabled(state.OpenFile);
  c_.SpeedButton2->setEnabled(state.SaveFile);
  c_.SpeedButton9->setEnabled(state.Print);
  c_.SpeedButton4->setEnabled(state.Paste);
  c_.SpeedButton3->setEnabled(state.Copy);
  c_.SpeedButton8->setEnabled(state.Back);
  c_.SpeedButton5->setEnabled(state.Stop);
  c_.SpeedButton6->setEnabled(state.Settings);
  c_.SpeedButton7->setEnabled(state.About);
}

void QtWindow::ShowAttachments(const TFileList& files) {
  c_.FileView->clear();
  static const QMimeDatabase mimes;
  const QIcon fallback = c_.FileView->style()->standardIcon(QStyle::SP_FileIcon);
  for (const TFileRec& file : files) {
    const QString name = ToQString(file.Name);
    const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    // The type's own icon, else its family's (text, image, ...), else a plain file.
    const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
    c_.FileView->addItem(new QListWidgetItem(icon, name));
  }
  c_.FileView->setVisible(!files.Empty());
}

void QtWindow::ProcessEvents() { QCoreApplication::processEvents(); }

}  // namespace kamvo::ui
