// The window as the conversion sees it: the one class that implements the
// core's RunReporter for the main window. A run goes on a thread of its
// own: it reads the options the main window built from the controls before
// it started (RunOptions), and what it reports from there (progress, the pane) waits in this object
// until the window's thread takes it (Poll). Reports made on the window's
// own thread reach the widgets at once. The editor is the main window's:
// the run is given bytes and gives bytes back, so it is never shown a text.
#pragma once

#include <QString>

#include <atomic>
#include <mutex>
#include <string>

#include "driver/run_reporter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class QAction;
class QSplitter;

namespace kamvo::ui {

// The widgets the conversion reads and drives; the main window owns them.
struct Controls {
  QCheckBox* chkBase64 = nullptr;
  QCheckBox* chkQP = nullptr;
  QCheckBox* chkRtf = nullptr;
  QCheckBox* chkHtml = nullptr;
  QCheckBox* chkUtf8 = nullptr;
  QCheckBox* chkTranslit = nullptr;
  QComboBox* cmbFrom = nullptr;
  QComboBox* cmbTo = nullptr;
  QPlainTextEdit* editor = nullptr;
  QLabel* infoPane = nullptr;
  QStackedWidget* convStack = nullptr;  // the Convert button, or the progress bar over it
  QProgressBar* progressBar = nullptr;
  QListWidget* attachmentView = nullptr;
  QAction* openAction = nullptr;
  QAction* saveAction = nullptr;
  QAction* printAction = nullptr;
  QAction* pasteAction = nullptr;
  QAction* copyAction = nullptr;
  QAction* backAction = nullptr;
  QAction* stopAction = nullptr;
  QAction* settingsAction = nullptr;
  QAction* aboutAction = nullptr;
};

// Windows-1251 bytes and Unicode text (reports, names, the translit table).
QString ToQString(std::string_view win1251);
std::string FromQString(const QString& text);

// Enabled state of the tool buttons and visibility of the progress bar.
struct ButtonState {
  bool ProgressVisible = false;
  bool OpenFile = true;
  bool SaveFile = true;
  bool Copy = true;
  bool Paste = true;
  bool Stop = false;
  bool Settings = true;
  bool About = true;
  bool Back = false;
  bool Print = true;
};

class QtWindow : public RunReporter {
 public:
  explicit QtWindow(const Controls& controls) : c_(controls) {}

  // Shows the progress and the pane a run on another thread reported.
  void Poll();
  // Sets the tool buttons (the window's thread only).
  void ShowButtons(const ButtonState& state);

  // The editor is the main window's: the run is shown no text.
  bool HasDisplay() const override { return false; }
  void ShowInfo(const std::string& caption) override;
  void ShowProgress(int min, int max, int position) override;
  void ShowRunState(bool running, bool backAvailable) override;
  void ShowAttachments(const TFileList& files) override;
  void ProcessEvents() override;

 private:
  static bool OnWindowThread();

  Controls c_;
  std::atomic<int> progressMin_{0}, progressMax_{100}, progressPosition_{0};
  std::mutex infoMutex_;
  std::string pendingInfo_;
  bool infoPending_ = false;
};

}  // namespace kamvo::ui
