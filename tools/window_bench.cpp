// Drives the real main window offscreen on a large KOI8-R file and prints
// how long it takes until the converted text is in the editor, the longest
// time the window's event loop went without running (how long the window
// could not repaint or answer), how long Stop takes to answer, and the
// peak memory beside the file's size.
//   kamvo_window_bench KOI8_FILE
// Run it on the offscreen platform with its own config folder (see
// scripts/window-bench).
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "settings/settings.h"
#include "ui/main_window.h"

namespace {

// The longest gap between two ticks of a 5 ms timer while it runs.
class LoopWatch {
 public:
  LoopWatch() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, clock_.restart());
    });
    timer_.setInterval(5);
  }
  void Start() {
    longest_ = 0;
    clock_.start();
    timer_.start();
  }
  qint64 Stop() {
    timer_.stop();
    return std::max(longest_, clock_.elapsed());
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kamvo_window_bench KOI8_FILE\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::string file = argv[1];
  const double fileMiB = std::filesystem::file_size(file) / 1048576.0;

  kamvo::TSettings settings;
  kamvo::ReadCfg(settings);
  settings.Cfg.ConvertOnStart = false;
  settings.Cfg.ConvertFileOpen = true;
  kamvo::WriteCfg(settings.Cfg);
  kamvo::ClearFirstRun(settings);

  kamvo::ui::TMainWindow window;
  window.TrayClick();
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  QPlainTextEdit* editor = window.findChild<QPlainTextEdit*>("editor");
  const double before = PeakMiB();

  // Open and convert: usable when the conversion has ended and the
  // converted text is in the editor.
  LoopWatch watch;
  QElapsedTimer clock;
  watch.Start();
  clock.start();
  window.OpenSingleFile(file);
  const qint64 loaded = clock.elapsed();
  if (!QTest::qWaitFor([&] { return !window.Running(); }, 600000)) return 1;
  QCoreApplication::processEvents();
  const qint64 usable = clock.elapsed();
  const qint64 blocked = watch.Stop();
  const double peak = PeakMiB();
  const bool converted = editor->document()->firstBlock().text().contains(QChar(0x0430), Qt::CaseInsensitive) ||
                         editor->document()->firstBlock().text().contains(QChar(0x043E));

  // Stop: a conversion of the same text, stopped 100 ms after it started.
  window.Back();
  QTest::qWait(50);
  const QString shown = editor->document()->firstBlock().text();
  window.Start();
  QTest::qWait(100);
  qint64 stopped = -1;
  if (window.Running()) {
    QElapsedTimer stopClock;
    stopClock.start();
    window.Stop();
    if (!QTest::qWaitFor([&] { return !window.Running(); }, 600000)) return 1;
    stopped = stopClock.elapsed();
  }
  const bool kept = editor->document()->firstBlock().text() == shown;

  std::printf("file %.1f MiB: Open returned after %lld ms; converted text in the editor and usable after %lld ms%s\n", fileMiB,
              static_cast<long long>(loaded), static_cast<long long>(usable), converted ? "" : " (NOT converted)");
  std::printf("longest time the window did not run its event loop: %lld ms\n", static_cast<long long>(blocked));
  if (stopped >= 0)
    std::printf("Stop answered after %lld ms; editor %s\n", static_cast<long long>(stopped), kept ? "as it was" : "CHANGED");
  else
    std::printf("Stop: the conversion had ended within 100 ms\n");
  std::printf("peak memory %.0f MiB (%.1f x the file; %.0f MiB before opening)\n", peak, peak / fileMiB, before);
  return 0;
}
