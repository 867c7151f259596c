// The attachment view below the editor: one icon per decoded attachment.
// A double click opens an attachment (after a warning that offers to save
// it instead), the right button offers opening and saving, and attachments
// are dragged out of the window into a file manager as files.
#pragma once

#include <QListWidget>
#include <QPoint>
#include <QStringList>

#include <functional>
#include <string>

#include "decoders/file_list.h"
#include "settings/settings.h"

class QMenu;
class QMimeData;

namespace kamvo::ui {

class TFileView : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileView(QWidget* parent);

  // The list it shows and acts on, the settings it reads (language, fonts)
  // and writes (LastSavePath), and the window its dialogs centre on.
  void Attach(const TFileList* attachments, TSettings* settings, QWidget* mainWindow);

  // Each takes an attachment's name (Windows-1251) and acts on the first
  // attachment of that name; a name that none carries does nothing.
  void RunAttFile(const std::string& name);
  void SaveAttFile(const std::string& name);
  void SaveAllAttach();
  // Writes the attachment into the private temporary folder and adds it to
  // the files of the drag being prepared.
  void DragFile(const std::string& name);

  // What a drag offers for the files prepared: their URLs, moved.
  QMimeData* DragData() const;
  const QStringList& DropFiles() const { return dropFiles_; }

  QMenu* attachmentMenu = nullptr;

  // Stand-ins for the desktop that tests replace: the save dialog (given
  // the proposed file), the folder chooser (given the folder to start in),
  // opening a file with its program, and running a drag.
  std::function<QString(const QString& proposed)> chooseSaveFile;
  std::function<QString(const QString& start)> chooseFolder;
  std::function<bool(const QUrl& file)> openUrl;
  std::function<void(QMimeData* data)> runDrag;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  const TFileRec* Find(const std::string& name) const;
  std::string NameOf(const QListWidgetItem* item) const;
  void BuildMenu(const QPoint& at);
  void WriteFailed(const QString& file, int error);

  const TFileList* attachments_ = nullptr;
  TSettings* settings_ = nullptr;
  QWidget* mainWindow_ = nullptr;
  QPoint DragStart{-1, -1};
  QStringList dropFiles_;
};

}  // namespace kamvo::ui
