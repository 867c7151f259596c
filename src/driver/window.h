// What a conversion needs from the window: the decoder switches, the From
// and To choices, the editor ("screen"), the information pane, the progress
// bar, the tool buttons, the attachment view and a way to let pending
// events run. The desktop window implements it with widgets; the command
// line and the tests use HeadlessWindow.
#pragma once

#include "codepages/text.h"
#include "decoders/file_list.h"
#include "driver/run_options.h"

namespace kamvo {

// Enabled state of the tool buttons and visibility of the progress bar.
struct ButtonState {
  bool ProgressVisible = false;
  bool OpenFile = true;
  bool SaveFile = true;
  bool Copy = true;
  bool Paste = true;
  bool Stop = false;
  bool Settings = true;
  bool About = true;
  bool Back = false;
  bool Print = true;
};

class Window {
 public:
  virtual ~Window() = default;

  virtual DecoderSwitches Switches() const = 0;
  // Item index of the From list: 0 = Auto, n = code number n.
  virtual int FromIndex() const = 0;
  // Item index of the To list: code number - 1.
  virtual int ToIndex() const = 0;

  // Shows a text in the editor. The editor receives its lines with a break
  // after every line, so a line holding CR or LF comes back as several lines.
  virtual void ShowText(const Text& text) = 0;
  // The editor's lines (the breaks are the editor's own).
  virtual Text ReadText() = 0;

  // False for a window that nobody sees (the command line): it is given no
  // text and asked for none; the converter keeps track of what the editor
  // would show by itself and so keeps no second copy of a large text.
  virtual bool HasDisplay() const { return true; }
  // Asked while a newer conversion of the text waits to be shown (automatic
  // detection found a better chain): true when the window would draw it now.
  // Until then only the latest waiting conversion is kept, as a code table,
  // and the text is converted once: when the window is ready, or when the
  // run takes the result back at its end.
  virtual bool ReadyToRedraw() { return true; }

  // The information pane's caption changed (lines separated by LF, in
  // Windows-1251).
  virtual void ShowInfo(const std::string& caption) = 0;
  virtual void ShowProgress(int min, int max, int position) = 0;
  virtual void ShowButtons(const ButtonState& state) = 0;
  virtual void ShowAttachments(const TFileList& files) = 0;

  // Lets pending events run (repaint, the Stop button).
  virtual void ProcessEvents() = 0;
};

}  // namespace kamvo
