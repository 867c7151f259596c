// A reporter that keeps what a run shows as plain values, with an editor
// that is a text: the tests' window.
#pragma once

#include <functional>
#include <string>

#include "driver/run_reporter.h"

namespace kamvo {

class HeadlessWindow : public RunReporter {
 public:
  Text screen;
  std::string info;
  int progressMin = 0, progressMax = 100, progressPosition = 0;
  bool running = false;        // a run is going on: the Stop button is on
  bool backAvailable = false;  // the Back button is on
  // Called on every ProcessEvents; tests use it to press Stop.
  std::function<void()> onEvents;
  // Answers the questions; none says no.
  std::function<bool(const std::string&)> onAsk;
  // False for a window with no editor: nothing is shown, and `screen` stays
  // empty.
  bool hasDisplay = true;
  // False holds back waiting conversions until the run takes them back.
  bool readyToRedraw = true;

  void ShowText(const Text& text) override { screen = Resplit(text); }
  Text ReadText() override { return screen; }
  bool HasDisplay() const override { return hasDisplay; }
  bool ReadyToRedraw() override { return readyToRedraw; }
  void ShowInfo(const std::string& caption) override { info = caption; }
  void ShowProgress(int min, int max, int position) override {
    progressMin = min;
    progressMax = max;
    progressPosition = position;
  }
  void ShowRunState(bool isRunning, bool back) override {
    running = isRunning;
    backAvailable = back;
  }
  bool Ask(const std::string& question) override { return onAsk && onAsk(question); }
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
};

}  // namespace kamvo
