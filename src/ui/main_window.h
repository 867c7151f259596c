// The main window: the editor, the menu bar and toolbar, the conversion
// controls, the information pane and the attachment view, in English or
// Russian; the tray icon; files opened, saved and dropped; the clipboard.
//
// The editor holds Unicode text. A conversion is given the editor's text as
// UTF-8 (or, while the text is as it was loaded, the file's own bytes), runs
// on a thread of its own and gives back the text the command line would
// write; the window shows only that final text. Every time the editor's
// content is replaced (a conversion, a file, the clipboard, a batch
// report) the content before can be brought back with Back.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/converter.h"
#include "settings/settings.h"
#include "ui/editor_text.h"
#include "ui/qt_window.h"

class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTextDocument;
class QSystemTrayIcon;
class QTimer;
class QUrl;

namespace kamvo::ui {

class InfoReport;

// Texts longer than this are made into the editor's document by
// MakeEditorDocument, also on the window's thread.
inline constexpr qsizetype kMadeAsideFrom = 256 * 1024;

// The code pages of the From list (source: those a conversion reads) and
// of the To list (all the program writes), by code number and name, in the
// order of the program's list of code pages. From has "Auto" (0) first.
struct CodeChoice {
  int Code;
  QString Name;
};
std::vector<CodeChoice> CodeChoices(bool source);
// True for a code page a conversion reads and writes (files in a batch):
// each the command line converts from and to.
bool ConvertsCode(int code);

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWindow(QWidget* parent = nullptr);
  ~TMainWindow() override;

  TSettings& Settings() { return settings_; }
  Converter& Conv() { return *converter_; }
  // True while a conversion or a batch runs.
  bool Running() const { return running_; }
  // A run goes on, or a stopped one has not yet ended on its thread (the
  // converter is still its own).
  bool Busy() const { return running_ || workerActive_; }

  // Reloads the settings store and applies fonts, word wrap and language.
  void ReadCfg();

  // Commands.
  void Start();
  void Stop();
  void Back();
  void About();
  void SetConfig();
  void PrintFile();
  void SelectAll();
  void WordWrap();
  void EncodeTranslitCommand();

  void SetLanguage();

  // What happens each time the window is shown (after its first activation).
  void FormShow();

  // The editor's content.
  // The whole text, exactly (also a text held aside as too large).
  QString Content() const;
  // Replaces the content; the content before can be brought back with Back.
  // bytes: the file's own bytes the text was shown from; file: its name.
  // prepared: the text made into a document already (on the conversion
  // thread); text is then not read.
  void Replace(const QString& text, std::optional<std::string> bytes = std::nullopt, const QString& file = {},
               std::optional<EditorDocument> prepared = std::nullopt);
  // True when the editor holds text the user typed or loaded (not only
  // what the clipboard gave at start).
  bool HoldsUserText() const;

  // Files.
  void OpenFile();
  void SaveFile();
  void SaveFileAs();
  void OpenSingleFile(const std::string& path);
  void OpenMultiFiles(const std::vector<std::string>& paths);
  void OpenDroppedFiles(const QList<QUrl>& urls);
  bool AskYesNo(const std::string& text);
  QStringList RecentFiles() const;

  // The clipboard.
  QString GetClipboardText();
  void SetClipboardText(const QString& text);
  void PasteAll();
  void PasteClipboard();
  void CopyClipboard();
  void FastStart();

  // The tray and the window's life.
  void ShowTrayIcon(bool show);
  // True when the icon is shown: the setting is on and the desktop has a tray.
  bool TrayActive() const { return trayShown_; }
  // Shows the window, restored, in front and with the focus.
  void TrayClick();
  void AppMinimize();
  void AppRestore();
  void ExitClick();

  // The first-run sample: Location + "sample.txt", else beside the program
  // or in the installed share folder.
  std::string SamplePath() const;

  // File choosers; tests put their own in place of the dialogs. The save
  // chooser is given the proposed file.
  std::function<QStringList()> chooseOpenFiles;
  std::function<QString(const QString& proposed)> chooseSaveFile;

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
  // What the editor shows and where it came from.
  struct Shown {
    QString Text;                      // the text as given to the editor; null: its document gives it back
    std::optional<std::string> Bytes;  // the file's bytes, while unedited
    QString File;                      // the file it was loaded from
    QString Pane;                      // the information pane beside it
  };

  // A file being opened and converted before it is shown.
  struct Opened {
    std::string Bytes;  // as the editor shows them (UTF-16 read as UTF-8)
    QString File;
  };
  // Converts the bytes on the conversion thread and shows the result.
  void RunConversion(std::string bytes, std::shared_ptr<Opened> opened);

  void BuildLayout();
  void BuildMenus();
  void ApplySettings();
  void QueueFormShow();
  void SetSwitchesFromSettings();
  void ResetCodeLists();
  int FromCode() const;
  int ToCode() const;
  // The options of a run from `from` into `to` (code numbers, kUtf8Code
  // for UTF-8) with the check boxes' switches and the settings.
  RunOptions RunOptionsOf(int from, int to) const;
  // The editor's text and its source, without the back copy. A large text
  // is made into a document here unless prepared (its Text then replaces
  // shown.Text).
  void Show(Shown shown, std::optional<EditorDocument> prepared = std::nullopt);
  // True when the content is empty (without making its text).
  bool ContentEmpty() const;
  void SetDocument(std::unique_ptr<QTextDocument> document);
  void UpdateTitle();
  void SetButtons(bool running);
  void SetTexts(bool english);
  // Runs work on the conversion thread, then done on the window's thread;
  // false when a run goes on already.
  bool RunInBackground(std::function<void()> work, std::function<void()> done);
  void EndRun(int run);
  void Save(const QString& file);
  void AddRecentFile(const QString& file);
  void RebuildRecentMenu();
  void SaveWindowState();
  QString Tr(const char* english, const char* russian) const;

  TSettings settings_;
  TFontGroup textFont_ = DesignedTextFont();
  Controls c_;
  std::unique_ptr<QtWindow> window_;
  std::unique_ptr<Converter> converter_;
  InfoReport* infoReport_ = nullptr;

  Shown shown_;
  bool edited_ = false;    // the user changed the editor since it was given a text
  bool userText_ = false;  // the text was typed or loaded by the user
  bool loading_ = false;   // the editor's change events come from the program
  bool held_ = false;      // the text is too large for the editor and kept aside
  std::optional<Shown> back_;
  QTextDocument* ownDocument_ = nullptr;  // the editor's document, when the window made it
  QString savedFile_;                     // where this text was last saved
  QString lastClipboard_;                 // the clipboard text convert-on-start took last

  std::thread worker_;
  std::function<void()> runDone_;
  bool running_ = false;
  std::atomic<bool> workerActive_{false};
  int runNumber_ = 0;
  bool batchRunning_ = false;
  std::atomic<bool> stopRequested_{false};
  QTimer* progressTimer_ = nullptr;

  QPushButton* convertButton = nullptr;
  QLabel* fromLabel = nullptr;
  QLabel* toLabel = nullptr;
  QSplitter* textSplitter = nullptr;
  QMenu* trayMenu = nullptr;
  QMenu* editorMenu = nullptr;
  QMenu* fileMenu = nullptr;
  QMenu* recentMenu = nullptr;
  QMenu* editMenu = nullptr;
  QMenu* settingsMenu = nullptr;
  QMenu* helpMenu = nullptr;
  QAction* trayOpenAction = nullptr;
  QAction* traySettingsAction = nullptr;
  QAction* trayExitAction = nullptr;
  QAction* selectAllAction = nullptr;
  QAction* saveAsAction = nullptr;
  QAction* quitAction = nullptr;
  QAction* convertAction = nullptr;
  QAction* translitAction = nullptr;
  QAction* wordWrapAction = nullptr;
  QSystemTrayIcon* tray_ = nullptr;

  bool trayShown_ = false;
  bool firstActivation_ = false;
  bool formShowQueued_ = false;
  bool showingDone_ = false;    // this showing's convert-on-start has run
  bool minimizedSeen_ = false;  // the window state last acted on
  bool stateCheckQueued_ = false;
  bool hiddenByProgram_ = false;
  bool remapping_ = false;  // hidden and shown again only to take the focus
  bool shutdownPending_ = false;
  std::atomic<bool> exiting_{false};
};

// The program's icon, drawn once.
QIcon ProgramIcon();

}  // namespace kamvo::ui
