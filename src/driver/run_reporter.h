// What a conversion run reports to the one who runs it, and the little it
// asks: the information pane, the progress bar, whether a run is going on
// (and whether Back can undo the last one), the attachment list, a yes/no
// question, and a way to let pending events run. A front end that shows an
// editor also lets the run show and read its text. Every report has a
// default that shows nothing, so the command line converts with a plain
// RunReporter; the desktop window implements it with widgets.
#pragma once

#include <string>

#include "codepages/text.h"
#include "decoders/file_list.h"

namespace kamvo {

class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // The information pane's caption changed (lines separated by LF, in
  // Windows-1251).
  virtual void ShowInfo(const std::string& /*caption*/) {}
  virtual void ShowProgress(int /*min*/, int /*max*/, int /*position*/) {}
  // A run started (running) or ended; backAvailable: Back would restore the
  // text from before it.
  virtual void ShowRunState(bool /*running*/, bool /*backAvailable*/) {}
  virtual void ShowAttachments(const TFileList& /*files*/) {}
  // A yes/no question (Windows-1251); no one to answer it says no.
  virtual bool Ask(const std::string& /*question*/) { return false; }
  // Lets pending events run (repaint, the Stop button).
  virtual void ProcessEvents() {}

  // An editor the run shows its text in. False for none (the command line,
  // a window that takes the run's bytes itself): the run is given no text
  // and asked for none; the converter keeps track of what the editor would
  // show by itself and so keeps no second copy of a large text.
  virtual bool HasDisplay() const { return false; }
  // Shows a text in the editor. The editor receives its lines with a break
  // after every line, so a line holding CR or LF comes back as several lines.
  virtual void ShowText(const Text& /*text*/) {}
  // The editor's lines (the breaks are the editor's own).
  virtual Text ReadText() { return {}; }
  // Asked while a newer conversion of the text waits to be shown (automatic
  // detection found a better chain): true when the editor would draw it now.
  // Until then only the latest waiting conversion is kept, as a code table,
  // and the text is converted once: when the editor is ready, or when the
  // run takes the result back at its end.
  virtual bool ReadyToRedraw() { return true; }
};

}  // namespace kamvo
