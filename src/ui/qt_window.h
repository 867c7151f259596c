// The window as the conversion sees it: the one class that implements the
// core's Window interface with the widgets of the main window.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "driver/window.h"

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
  QPlainTextEdit* RichEdit = nullptr;
  QLabel* lblText = nullptr;
  QStackedWidget* convStack = nullptr;  // btnConv, or the progress bar over it
  QProgressBar* ProgressBar = nullptr;
  QListWidget* FileView = nullptr;
  // Tool buttons: open, save, print, paste, copy, back, stop, settings, about.
  QAction* SpeedButton1 = nullptr;
  QAction* SpeedButton2 = nullptr;
  QAction* SpeedButton9 = nullptr;
  QAction* SpeedButton4 = nullptr;
  QAction* SpeedButton3 = nullptr;
  QAction* SpeedButton8 = nullptr;
  QAction* SpeedButton5 = nullptr;
  QAction* SpeedButton6 = nullptr;
  QAction* SpeedButton7 = nullptr;
};

// Windows-1251 bytes and the editor's Unicode text.
QString ToQString(std::string_view win1251);
std::string FromQString(const QString& text);

// The most the editor is given: a longer text, or a text with a longer
// line, is kept aside whole and the editor says so instead of freezing.
inline constexpr qsizetype kEditorMaxChars = 100'000'000;
inline constexpr std::size_t kEditorMaxLine = 4'000'000;

class QtWindow : public Window {
 public:
  explicit QtWindow(const Controls& controls) : c_(controls) { redraw_.start(); }

  DecoderSwitches Switches() const override;
  int FromIndex() const override;
  int ToIndex() const override;
  void ShowText(const Text& text) override;
  Text ReadText() override;
  bool ReadyToRedraw() override;
  void ShowInfo(const std::string& caption) override;
  void ShowProgress(int min, int max, int position) override;
  void ShowButtons(const ButtonState& state) override;
  void ShowAttachments(const TFileList& files) override;
  void ProcessEvents() override;

  // True while the editor's change events come from ShowText, not the user.
  bool Loading() const { return loading_; }
  // True when the text was too large for the editor and is kept aside.
  bool TextHeld() const { return held_; }
  // The notice shown in place of a held text (the interface language).
  void SetHeldNotice(const QString& notice) { heldNotice_ = notice; }

 private:
  Controls c_;
  bool loading_ = false;
  bool held_ = false;
  Text heldText_;
  QString heldNotice_;
  QElapsedTimer redraw_;
};

}  // namespace kamvo::ui
