// A window without a display: the controls are plain values and the editor
// is a text. Used by the command line and the tests.
#pragma once

#include <functional>
#include <string>

#include "driver/window.h"

namespace kamvo {

class HeadlessWindow : public Window {
 public:
  DecoderSwitches switches;
  int fromIndex = 0;
  int toIndex = 0;
  Text screen;
  std::string info;
  int progressMin = 0, progressMax = 100, progressPosition = 0;
  ButtonState buttons;
  // Called on every ProcessEvents; tests use it to press Stop.
  std::function<void()> onEvents;
  // False for the command line: nothing is shown, and `screen` stays empty.
  bool hasDisplay = true;
  // False holds back waiting conversions until the run takes them back.
  bool readyToRedraw = true;

  DecoderSwitches Switches() const override { return switches; }
  int FromIndex() const override { return fromIndex; }
  int ToIndex() const override { return toIndex; }
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
  void ShowButtons(const ButtonState& state) override { buttons = state; }
  void ShowAttachments(const TFileList&) override {}
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
};

}  // namespace kamvo
