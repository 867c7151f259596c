// A stage run inside a conversion on a window without a display, with Stop
// pressed at a chosen window event, for the fuzz targets of the stages.
#pragma once

#include "codepages/lines.h"
#include "driver/converter.h"
#include "settings/settings.h"
#include "support/headless_window.h"

namespace kamvo::fuzz {

struct StoppedRun {
  // Stop is pressed at event number stopAt (never when it is 0). Set the
  // converter's Options before running the stage.
  StoppedRun(const Lines& text, int stopAt) {
    converter.TextBuffer = Text::FromLines(text);
    window.onEvents = [this, stopAt] {
      if (++events == stopAt) converter.UserBreak = true;
    };
  }
  StoppedRun(const StoppedRun&) = delete;
  StoppedRun& operator=(const StoppedRun&) = delete;

  TCfg cfg;
  HeadlessWindow window;
  Converter converter{window, cfg};
  int events = 0;
};

}  // namespace kamvo::fuzz
