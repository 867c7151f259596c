// The word report: while the left button is held on the information pane
// after an automatic detection, a pop-up lists the sample words as they read
// after the chosen conversion, the recognised ones and the others.
#pragma once

#include <functional>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <initializer_list>

#include "recognition/word_report.h"
#include "settings/settings.h"

class QTextEdit;

namespace kamvo {
class Converter;
}

namespace kamvo::ui {

// The pop-up: no border, on top, the report in the text font.
class TInfoForm : public QWidget {
  Q_OBJECT
 public:
  TInfoForm(const WordReport& report, const TCfg& cfg, QWidget* mainWindow);
  QTextEdit* wordList;
};

// The pane's mouse handlers. Watches the given widgets (the pane and its
// scroll box) for presses and releases.
class InfoReport : public QObject {
  Q_OBJECT
 public:
  InfoReport(QWidget* mainWindow, const Converter& converter, const TCfg& cfg, std::initializer_list<QWidget*> pane);
  ~InfoReport() override;

  void InfoMouseDown(Qt::MouseButton button);
  void InfoMouseUp();
  QPointer<TInfoForm> InfoPopup;
  // False while the report cannot be made (a conversion is running).
  std::function<bool()> Available;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* mainWindow_;
  const Converter& converter_;
  const TCfg& cfg_;
};

}  // namespace kamvo::ui
