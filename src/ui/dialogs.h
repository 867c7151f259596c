// The small dialogs: the about box and the yes/no question.
#pragma once

#include <QDialog>
#include <QLabel>

#include <string>

class QPushButton;

namespace kamvo {
struct TCfg;
}

namespace kamvo::ui {

// A link label: blue, red under the mouse, opens its target when clicked.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  LinkLabel(const QString& text, const QString& target, QWidget* parent);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetColour(const char* colour);
  QString target_;
};

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  TAboutForm(const TCfg& cfg, QWidget* parent);
  void SetLang(const TCfg& cfg);

 private:
  QLabel* Label1;
  QLabel* Label2;
};

// The about box, centred on the main window over the editor area.
void ShowAboutBox(QWidget* mainWindow, const QRect& editorArea, const TCfg& cfg);

// The question without a close button: it ends only through Yes or No.
class TYesNoForm : public QDialog {
  Q_OBJECT
 public:
  TYesNoForm(const QString& text, bool english, const QFont& font, QWidget* parent);
  void reject() override {}  // Esc does not answer

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* lblText;
  QPushButton* btnYes;
  QPushButton* btnNo;
};

// Shows the question (Windows-1251, lines broken by CR LF) centred on the
// main window, sized to its widest line; true for Yes.
bool AskYesNo(QWidget* mainWindow, const std::string& text, bool english);

}  // namespace kamvo::ui
