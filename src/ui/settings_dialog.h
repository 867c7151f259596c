// The settings dialog: every setting of the record on one page, in the
// record's language and interface font. It edits its own copy; the caller
// gets the copy back only after OK.
#pragma once

#include <QDialog>
#include <QFont>

#include <functional>

#include "settings/settings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kamvo::ui {

class TCfgForm : public QDialog {
  Q_OBJECT
 public:
  TCfgForm(const TCfg& cfg, QWidget* parent);

  const TCfg& Cfg() const { return cfg_; }

  void FormShow();
  void ClickOK();
  // Checks the detection limit as typed; false (after the message) when it
  // is not a number from 60 to 100.
  bool edtLimitExit();
  void ChooseTextFont();
  void ChooseInterfaceFont();
  void SetFont();
  void btnTranslitClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs a font chooser with an Apply button on font; true after OK.
  bool ChooseFont(QFont& font);
  void ShowLimitMessage();
  void CheckLimitLater();

  TCfg cfg_;
  QFont textFont_;  // the fonts the two choosers show
  QFont sysFont_;
  bool limitCheckQueued_ = false;
  bool limitMessageOpen_ = false;

  QCheckBox* chkClipboard;
  QCheckBox* chkFiles;
  QCheckBox* chkBase64;
  QCheckBox* chkQP;
  QCheckBox* chkRtf;
  QCheckBox* chkHtml;
  QCheckBox* chkUtf8;
  QCheckBox* chkTranslit;
  QCheckBox* chkTray;
  QLabel* limitLabel;
  QLineEdit* edtLimit;
  QLabel* limitUnitLabel;
  QPushButton* btnTranslit;
  QGroupBox* languageBox;
  QRadioButton* englishButton;
  QRadioButton* russianButton;
  QPushButton* textFontButton;
  QPushButton* interfaceFontButton;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

// The dialog over the main window: true after OK, and then the record is
// the edited copy whole; after Cancel it is untouched.
bool EditCfg(TCfg& cfg, QWidget* mainWindow);

}  // namespace kamvo::ui
