// The main window: the editor, the toolbar, the conversion controls, the
// information pane and the attachment view, in English or Russian; the
// tray icon; files opened, saved and dropped; the clipboard.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/converter.h"
#include "settings/settings.h"
#include "ui/qt_window.h"

class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QUrl;

namespace kamvo::ui {

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWindow(QWidget* parent = nullptr);
  ~TMainWindow() override;

  TSettings& Settings() { return settings_; }
  Converter& Conv() { return *converter_; }
  // True while a conversion or a batch runs.
  bool Running() const { return running_; }

  // Reloads the settings store and applies fonts, word wrap and language.
  void ReadCfg();

  // Tool buttons and menu items.
  void Start();
  void Stop();
  void Back();
  void About();
  void SetConfig();
  void PrintFile();
  void SelectAllClick();
  void WordWrap();
  void mTranslitClick();

  void SetLanguage();
  void SetSystemTexts(bool english);
  void SetEnglish();
  void SetRussian();

  // What happens each time the window is shown (after its first activation).
  void FormShow();

  // Files.
  void OpenFile();
  void SaveFile();
  void OpenSingleFile(const std::string& path);
  void OpenMultiFiles(const std::vector<std::string>& paths);
  void WMDropFiles(const QList<QUrl>& urls);
  bool AskYesNo(const std::string& text);

  // The clipboard, as Windows-1251 text.
  std::string GetClipboardText();
  bool SetClipboardText(const std::string& text);
  void PasteAll();
  void PasteClipboard();
  void CopyClipboard();
  void FastStart();

  // The tray and the window's life.
  void ShowTrayIcon(bool show);
  // True when the icon is shown: the setting is on and the desktop has a tray.
  bool TrayActive() const { return TrayShown; }
  void TrayClick();
  void AppMinimize();
  void AppRestore();
  void ExitClick();

  // The first-run sample: Location + "sample.txt", else beside the program
  // or in the installed share folder.
  std::string SamplePath() const;

  // File choosers; tests put their own in place of the dialogs.
  std::function<QStringList()> chooseOpenFiles;
  std::function<QString()> chooseSaveFile;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void ApplySettings();
  void QueueFormShow();
  void SetSwitchesFromSettings();
  void ResetCodeLists();
  // True when the To list names UTF-8.
  bool Utf8Chosen() const;
  // Runs body unless a conversion is running already.
  void Busy(const std::function<void()>& body);

  TSettings settings_;
  TFontGroup textFont_ = DesignedTextFont();
  Controls c_;
  std::unique_ptr<QtWindow> window_;
  std::unique_ptr<Converter> converter_;

  QPushButton* btnConv = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QAction* Open1 = nullptr;
  QAction* Settings1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* mSelectAll = nullptr;
  QAction* mCopy = nullptr;
  QAction* mPaste = nullptr;
  QAction* mOpen = nullptr;
  QAction* mSave = nullptr;
  QAction* mTranslit = nullptr;
  QAction* mWordwrap = nullptr;
  QSystemTrayIcon* tray_ = nullptr;

  bool TrayShown = false;
  bool firstActivation_ = false;
  bool formShowQueued_ = false;
  bool hiddenByProgram_ = false;
  bool running_ = false;
  bool shutdownPending_ = false;
  bool exiting_ = false;
};

// The program's icon, drawn once.
QIcon ProgramIcon();

}  // namespace kamvo::ui
