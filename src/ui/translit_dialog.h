// The translit table dialog: the 33 letters and their Latin spellings in a
// grid, typed in Latin capitals only.
#pragma once

#include <QDialog>

#include "settings/settings.h"

class QPushButton;
class QTableWidget;

namespace kamvo::ui {

class TTranslitForm : public QDialog {
  Q_OBJECT
 public:
  TTranslitForm(const TCfg& cfg, QWidget* owner);
  ~TTranslitForm() override;

  const TCfg& Cfg() const { return cfg_; }

  void FormShow();
  void btnOKClick();

 protected:
  // Sees every key typed in the dialog first (FormKeyPress).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TCfg cfg_;
  QTableWidget* Grid;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

// Runs the dialog over its owner; after OK the record's TranslitTable is
// the edited table, nothing else changes.
void EditTranslitTable(TCfg& cfg, QWidget* owner);

}  // namespace kamvo::ui
