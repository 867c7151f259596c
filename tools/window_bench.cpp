// Drives the real main window offscreen on a large KOI8-R file and prints
// how long it takes until the converted text is in the editor, the longest
// time the window's event loop went without running (how long the window
// could not repaint or answer), how long Stop takes to answer, and the
// peak memory beside the file's size.
//   kamvo_window_bench KOI8_FILE
// Run it on the offscreen platform with its own config folder (see
// scripts/window-bench).
#include <sys/resource.h>
#include <unistd.h>

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
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
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

// The memory in use now (resident).
double NowMiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
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
  // Settled: what the window keeps while the text is shown.
  QTest::qWait(200);
  const double kept = NowMiB();
  const bool converted = editor->document()->firstBlock().text().contains(QChar(0x0430), Qt::CaseInsensitive) ||
                         editor->document()->firstBlock().text().contains(QChar(0x043E));

  // Stop: a conversion of the same text, stopped 100 ms after it started.
  QElapsedTimer backClock;
  backClock.start();
  window.Back();
  const qint64 back = backClock.elapsed();
  if (!QTest::qWaitFor([&] { return !window.Busy(); }, 600000)) return 1;
  const qint64 backShown = backClock.elapsed();
  QTest::qWait(50);
  const QString shown = editor->document()->firstBlock().text();
  window.Start();
  QTest::qWait(100);
  qint64 stopped = -1, ended = -1;
  if (window.Running()) {
    QElapsedTimer stopClock;
    stopClock.start();
    window.Stop();
    if (!QTest::qWaitFor([&] { return !window.Running(); }, 600000)) return 1;
    stopped = stopClock.elapsed();
    // The run's thread has ended: the next conversion may start.
    if (!QTest::qWaitFor([&] { return !window.Busy(); }, 600000)) return 1;
    ended = stopClock.elapsed();
  }
  const bool unchanged = editor->document()->firstBlock().text() == shown;

  std::printf("file %.1f MiB: Open returned after %lld ms; converted text in the editor and usable after %lld ms%s\n",
              fileMiB, static_cast<long long>(loaded), static_cast<long long>(usable),
              converted ? "" : " (NOT converted)");
  std::printf("longest time the window did not run its event loop: %lld ms\n", static_cast<long long>(blocked));
  std::printf("Back (the file as it is) returned after %lld ms, shown after %lld ms\n", static_cast<long long>(back),
              static_cast<long long>(backShown));
  if (stopped >= 0)
    std::printf("Stop answered after %lld ms, the run ended after %lld ms; editor %s\n",
                static_cast<long long>(stopped), static_cast<long long>(ended), unchanged ? "as it was" : "CHANGED");
  else
    std::printf("Stop: the conversion had ended within 100 ms\n");
  std::printf("peak memory %.0f MiB, %.0f MiB over the %.0f MiB before opening (%.1f x the file)\n", peak,
              peak - before, before, (peak - before) / fileMiB);
  std::printf("memory while the text is shown %.0f MiB, %.0f MiB over the start (%.1f x the file)\n", kept,
              kept - before, (kept - before) / fileMiB);
  return 0;
}
