// Renders the main window after converting a text, into a PNG file:
//   kamvo_screenshot TEXT_FILE PNG_FILE english|russian [dark]
// Run it on the offscreen platform with its own config folder (see
// scripts/screenshots).
#include <QApplication>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QToolButton>
#include <QtTest/QTest>

#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: kamvo_screenshot TEXT_FILE PNG_FILE english|russian [dark]\n");
    return 2;
  }
  const bool english = std::string(argv[3]) != "russian";
  const bool dark = argc == 5 && std::string(argv[4]) == "dark";
  QApplication app(argc, argv);
  if (dark) {
    // A dark desktop: the Fusion style with a dark palette.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
    p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
    p.setColor(QPalette::AlternateBase, QColor(0x2b, 0x2d, 0x31));
    p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3d, 0x42));
    p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3d, 0x42));
    p.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x6f, 0xb4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    QApplication::setPalette(p);
  }

  kamvo::TSettings settings;
  kamvo::ReadCfg(settings);
  settings.Cfg.English = english;
  settings.Cfg.ConvertOnStart = false;
  settings.Cfg.ConvertFileOpen = true;
  kamvo::WriteCfg(settings.Cfg);
  kamvo::ClearFirstRun(settings);

  kamvo::ui::TMainWindow window;
  window.TrayClick();
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  window.OpenSingleFile(argv[1]);
  if (!QTest::qWaitFor([&] { return !window.Running(); }, 30000)) return 1;
  // The offscreen platform starts with the pointer over the first tool button.
  for (QToolButton* button : window.findChildren<QToolButton*>()) {
    button->setAttribute(Qt::WA_UnderMouse, false);
    button->update();
  }
  QTest::qWait(200);  // late paints (the status bar, the pane)
  return window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
