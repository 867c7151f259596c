// The question asked before an attachment is opened: open it, or save it
// (the choice made when the dialog opens).
#pragma once

#include <QDialog>

#include <string>

#include "settings/settings.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace kamvo::ui {

class TWarningForm : public QDialog {
  Q_OBJECT
 public:
  // name: the attachment's name in Windows-1251.
  TWarningForm(const std::string& name, const TCfg& cfg, QWidget* parent);

  bool OpenChosen() const;

 private:
  QLabel* lblFileName;
  QLabel* lblText;
  QLabel* lblAction;
  QRadioButton* rbOpen;
  QRadioButton* rbSave;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

// Asks about the attachment, centred on the main window: -1 cancel, 0 open,
// 1 save.
int AskOpenAttachment(const std::string& name, const TCfg& cfg, QWidget* mainWindow);

}  // namespace kamvo::ui
