#include "ui/qt_window.h"

#include <QAction>
#include <QApplication>
#include <QFileIconProvider>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStyle>
#include <QThread>

#include "codepages/unicode.h"

namespace kamvo::ui {

QString ToQString(std::string_view win1251) {
  const std::u16string text = WinToUtf16(win1251);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) {
  return WinFromUtf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

bool QtWindow::OnWindowThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

void QtWindow::Poll() {
  c_.progressBar->setRange(progressMin_.load(), progressMax_.load());
  c_.progressBar->setValue(progressPosition_.load());
  std::string info;
  {
    std::lock_guard<std::mutex> lock(infoMutex_);
    if (!infoPending_) return;
    infoPending_ = false;
    info.swap(pendingInfo_);
  }
  c_.infoPane->setText(ToQString(info));
}

void QtWindow::ShowInfo(const std::string& caption) {
  if (OnWindowThread()) {
    {
      std::lock_guard<std::mutex> lock(infoMutex_);
      infoPending_ = false;
    }
    c_.infoPane->setText(ToQString(caption));
    return;
  }
  std::lock_guard<std::mutex> lock(infoMutex_);
  pendingInfo_ = caption;
  infoPending_ = true;
}

void QtWindow::ShowProgress(int min, int max, int position) {
  progressMin_ = min;
  progressMax_ = max;
  progressPosition_ = position;
  if (OnWindowThread()) Poll();
}

void QtWindow::ShowButtons(const ButtonState& state) {
  if (!OnWindowThread()) return;  // the main window sets them around a run
  c_.convStack->setCurrentIndex(state.ProgressVisible ? 1 : 0);
  c_.openAction->setEnabled(state.OpenFile);
  c_.saveAction->setEnabled(state.SaveFile);
  c_.printAction->setEnabled(state.Print);
  c_.pasteAction->setEnabled(state.Paste);
  c_.copyAction->setEnabled(state.Copy);
  c_.backAction->setEnabled(state.Back);
  c_.stopAction->setEnabled(state.Stop);
  c_.settingsAction->setEnabled(state.Settings);
  c_.aboutAction->setEnabled(state.About);
}

void QtWindow::ShowRunState(bool running, bool backAvailable) {
  ButtonState state;
  if (running) {
    state.ProgressVisible = true;
    state.OpenFile = state.SaveFile = state.Copy = state.Paste = false;
    state.Stop = true;
    state.Settings = state.About = state.Back = state.Print = false;
  } else {
    state.Back = backAvailable;
  }
  ShowButtons(state);
}

void QtWindow::ShowAttachments(const TFileList& files) {
  if (!OnWindowThread()) return;  // shown when the run has ended
  c_.attachmentView->clear();
  static const QMimeDatabase mimes;
  const QIcon fallback = c_.attachmentView->style()->standardIcon(QStyle::SP_FileIcon);
  for (const TFileRec& file : files) {
    const QString name = ToQString(file.Name);
    const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    // The type's own icon, else its family's (text, image, ...), else a plain file.
    const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
    c_.attachmentView->addItem(new QListWidgetItem(icon, name));
  }
  c_.attachmentView->setVisible(!files.Empty());
}

void QtWindow::ProcessEvents() {
  if (OnWindowThread()) QCoreApplication::processEvents();
}

}  // namespace kamvo::ui
