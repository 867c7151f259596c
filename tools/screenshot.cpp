// Renders the main window after converting a text, into a PNG file:
//   kamvo_screenshot TEXT_FILE PNG_FILE english|russian
// Run it on the offscreen platform with its own config folder (see
// scripts/screenshots).
#include <QApplication>
#include <QToolButton>
#include <QPixmap>
#include <QtTest/QTest>

#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kamvo_screenshot TEXT_FILE PNG_FILE english|russian\n");
    return 2;
  }
  const bool english = std::string(argv[3]) != "russian";
  QApplication app(argc, argv);

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
