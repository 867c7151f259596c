#include "ui/attachment_view.h"

#include <QDesktopServices>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "codepages/unicode.h"
#include "driver/attachment_files.h"
#include "driver/file_io.h"
#include "driver/open_save.h"
#include "ui/dialog_look.h"
#include "ui/qt_window.h"
#include "ui/warning_form.h"

namespace kamvo::ui {

namespace {

const LangText kSaveOne{"Save attachment", "Сохранить файл"};
const LangText kSaveAll{"Save attachments", "Сохранить файлы"};
const LangText kCannotWrite{"Cannot write the file %1: %2", "Не удалось записать файл %1: %2"};

// File names reach the file system in its own encoding (UTF-8 here).
QString FromLocal(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string ToLocal(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A menu caption shows '&' as it is.
QString MenuCaption(const QString& text) {
  QString caption = text;
  return caption.replace('&', "&&");
}

}  // namespace

TFileView::TFileView(QWidget* parent) : QListWidget(parent) {
  attachmentMenu = new QMenu(this);
  attachmentMenu->setObjectName("attachmentMenu");
  chooseSaveFile = [this](const QString& proposed) {
    return QFileDialog::getSaveFileName(mainWindow_, QString(), proposed, "Any file (*)");
  };
  chooseFolder = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(mainWindow_, QString(), start);
  };
  openUrl = [](const QUrl& file) { return QDesktopServices::openUrl(file); };
  runDrag = [this](QMimeData* data) {
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
  };
}

void TFileView::Attach(const TFileList* attachments, TSettings* settings, QWidget* mainWindow) {
  attachments_ = attachments;
  settings_ = settings;
  mainWindow_ = mainWindow;
  // The view runs its own drag: files out of the window, never items moved.
  setDragEnabled(false);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

const TFileRec* TFileView::Find(const std::string& name) const {
  if (!attachments_) return nullptr;
  for (const TFileRec& entry : *attachments_)
    if (entry.Name == name) return &entry;
  return nullptr;
}

std::string TFileView::NameOf(const QListWidgetItem* item) const { return FromQString(item->text()); }

void TFileView::WriteFailed(const QString& file, int error) {
  const bool english = !settings_ || settings_->Cfg.English;
  QMessageBox::critical(mainWindow_, "KAMVO",
                        kCannotWrite.In(english).arg(file, QString::fromLocal8Bit(std::strerror(error))));
}

void TFileView::RunAttFile(const std::string& name) {
  const TFileRec* entry = Find(name);
  if (!entry || !settings_) return;
  const int answer = AskOpenAttachment(name, settings_->Cfg, mainWindow_);
  if (answer < 0) return;
  if (answer == 1) return SaveAttFile(name);
  // Opened from the program's own folder: nobody else can put a file or a
  // link under the name between writing and opening.
  const std::string folder = PrivateTempFolder();
  const std::string path = folder.empty() ? std::string() : WriteAttachmentReplacing(folder, name, entry->Stream);
  if (path.empty()) return WriteFailed(ToQString(name), folder.empty() ? EACCES : errno);
  if (!openUrl(QUrl::fromLocalFile(FromLocal(path)))) {
    // No program takes the file: say so, and where it is.
    const bool english = settings_->Cfg.English;
    QMessageBox::warning(mainWindow_, "KAMVO",
                         (english ? QString::fromUtf8("No program is set up to open %1. The file was written to %2; "
                                                      "you can save it with the right mouse button.")
                                  : QString::fromUtf8("Нет программы, которая открывает %1. Файл записан в %2; "
                                                      "его можно сохранить правой кнопкой мыши."))
                             .arg(ToQString(name), FromLocal(path)));
  }
}

void TFileView::SaveAttFile(const std::string& name) {
  const TFileRec* entry = Find(name);
  if (!entry || !settings_) return;
  const std::string folder = ExtractDir(settings_->LastSavePath);
  const std::string proposed = (folder.empty() ? std::string() : folder + "/") + Utf8FromWin(name);
  const QString chosen = chooseSaveFile(FromLocal(proposed));
  if (chosen.isEmpty()) return;
  settings_->LastSavePath = ToLocal(chosen);
  // The save dialog has asked before a file is replaced.
  if (!SaveBytesFile(ToLocal(chosen), entry->Stream)) WriteFailed(chosen, errno);
}

void TFileView::SaveAllAttach() {
  if (!attachments_ || !settings_) return;
  // The path may name the file saved last: its folder.
  const std::string& last = settings_->LastSavePath;
  const QString chosen = chooseFolder(FromLocal(last.empty() || last.back() == '/' ? last : ExtractDir(last)));
  if (chosen.isEmpty()) return;
  std::string folder = ToLocal(chosen);
  if (folder.back() != '/') folder += '/';
  settings_->LastSavePath = folder;
  // Never over a file that is there: a taken name gives "name (1).ext".
  for (const TFileRec& entry : *attachments_) {
    const SavedAttachment saved = SaveAttachmentAsNewFile(folder, entry.Name, entry.Stream);
    if (!saved.Saved) return WriteFailed(FromLocal(folder) + ToQString(saved.Name), saved.Error);
  }
}

void TFileView::DragFile(const std::string& name) {
  const TFileRec* entry = Find(name);
  if (!entry) return;
  const std::string folder = PrivateTempFolder();
  if (folder.empty()) return;
  const std::string path = WriteAttachmentReplacing(folder, name, entry->Stream);
  if (!path.empty()) dropFiles_.append(FromLocal(path));
}

QMimeData* TFileView::DragData() const {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& file : dropFiles_) urls.append(QUrl::fromLocalFile(file));
  data->setUrls(urls);
  return data;
}

void TFileView::BuildMenu(const QPoint& at) {
  attachmentMenu->clear();
  const bool english = !settings_ || settings_->Cfg.English;
  if (const QListWidgetItem* item = itemAt(at)) {
    const QListWidgetItem* selected = currentItem() ? currentItem() : item;
    const std::string name = NameOf(selected);
    attachmentMenu->addAction(MenuCaption(selected->text()), this, [this, name] { RunAttFile(name); });
    attachmentMenu->addSeparator();
    attachmentMenu->addAction(kSaveOne.In(english), this, [this, name] { SaveAttFile(name); });
  } else {
    if (attachments_)
      for (const TFileRec& entry : *attachments_) {
        const std::string name = entry.Name;
        attachmentMenu->addAction(MenuCaption(ToQString(name)), this, [this, name] { RunAttFile(name); });
      }
    attachmentMenu->addSeparator();
    attachmentMenu->addAction(kSaveAll.In(english), this, &TFileView::SaveAllAttach);
  }
  attachmentMenu->popup(viewport()->mapToGlobal(at));
}

void TFileView::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);  // the item under the pointer is selected first
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton)
    DragStart = at;
  else if (event->button() == Qt::RightButton)
    BuildMenu(at);
}

void TFileView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (!(event->buttons() & Qt::LeftButton) || DragStart.x() == -1 ||
      (std::abs(DragStart.x() - at.x()) < 10 && std::abs(DragStart.y() - at.y()) < 10) || selectedItems().isEmpty() ||
      !dropFiles_.isEmpty())
    return QListWidget::mouseMoveEvent(event);
  dropFiles_.clear();
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) DragFile(NameOf(item(i)));
  if (!dropFiles_.isEmpty()) runDrag(DragData());
  // The drag took the button's release: the next drag may start at once.
  dropFiles_.clear();
  DragStart = QPoint(-1, -1);
}

void TFileView::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) dropFiles_.clear();
}

void TFileView::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  if (const QListWidgetItem* item = itemAt(event->position().toPoint())) RunAttFile(NameOf(item));
}

}  // namespace kamvo::ui
