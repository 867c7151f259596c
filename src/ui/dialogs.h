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

// The about box: the program, its version, what it does, where it lives.
class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  TAboutForm(const TCfg& cfg, QWidget* parent);
  void SetLang(const TCfg& cfg);

 private:
  QLabel* titleLabel;
  QLabel* descriptionLabel;
  QLabel* detailsLabel;
  QPushButton* closeButton;
};

// The about box, centred on the main window over the editor area.
void ShowAboutBox(QWidget* mainWindow, const QRect& editorArea, const TCfg& cfg);

// The question. Yes answers it; No, Esc and the window's close button
// decline.
class TYesNoForm : public QDialog {
  Q_OBJECT
 public:
  TYesNoForm(const QString& text, bool english, const QFont& font, QWidget* parent);

 private:
  QLabel* questionLabel;
  QPushButton* yesButton;
  QPushButton* noButton;
};

// Shows the question (Windows-1251, lines broken by CR LF) centred on the
// main window, sized to its widest line; true for Yes.
bool AskYesNo(QWidget* mainWindow, const std::string& text, bool english);

}  // namespace kamvo::ui
