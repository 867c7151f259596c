// What the editor shows: which text holds it while no one edits it, and the
// conversion of the text buffer that waits to be shown. A window without a
// display is given no text; the editor's text is then found where it is
// already held (the text buffer, its back copy, or a text of its own), so
// that a large text is never held twice for it.
#pragma once

#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "driver/run_reporter.h"
#include "recognition/outer_layer.h"

namespace kamvo {

// A conversion of the text buffer: through the code table, or with the
// UTF-8 step between its way into Windows-1251 and its way out to the
// target, after taking the text out of an outer UTF-8 layer.
struct BufferConversion {
  CodeTable Table = IdentityCodeTable();
  CodeTable IntoWindows = IdentityCodeTable();
  CodeTable FromWindows = IdentityCodeTable();
  bool Utf8 = false;
  OuterLayer Layer;
};

// How the text buffer was converted in place since the start of a run.
struct InPlaceConversion {
  int Count = 0;  // times the buffer was converted in place (0: it was not)
  CodeTable Table = IdentityCodeTable();
  // Some byte of the buffer changed (breaks made by the conversion count).
  bool Changed = false;
  // With the UTF-8 step, which comes between the way into Windows-1251 and
  // the way out to the target, or with an outer UTF-8 layer before Table:
  // Table alone does not describe the result.
  bool Utf8 = false;
};

class ScreenState {
 public:
  // The text buffer and the back copy are the run's; utf8Count receives the
  // lines each conversion decoded from UTF-8.
  ScreenState(RunReporter& window, Text& buffer, const Text& backCopy, int& utf8Count)
      : window_(window), buffer_(buffer), backCopy_(backCopy), utf8Count_(utf8Count) {}

  // Shows a text: the text buffer or another one.
  void Show(const Text& text);
  // Reads what the editor shows into a text: the text buffer (which then
  // holds the conversion waiting to be shown, made in place) or another
  // one. `edited`: the user changed the editor since it was given a text.
  void Read(Text& text, bool edited);
  // The text buffer is about to change while the editor shows it as it
  // was: the back copy holds that now.
  void BufferChanging() {
    if (source_ == Source::TextBuffer) source_ = Source::BackCopy;
  }

  // Records the conversion the editor is to show. It is made when the
  // window draws it (Flush) or when the editor is read.
  void SetPending(const BufferConversion& conversion);
  bool Pending() const { return source_ == Source::Pending; }
  // Shows the text buffer through the waiting conversion; the buffer stays
  // as it is.
  void Flush();

  const InPlaceConversion& LastInPlace() const { return lastInPlace_; }
  // Converts another text as the text buffer was last converted in place
  // (LastInPlace().Count above 0), line by line alike: a later piece of a
  // text too large to hold at once (startsText false) converts as its lines
  // would within the whole. A line that holds a break afterwards is left
  // whole. Gives the lines decoded from UTF-8.
  int ConvertLikeLast(Text& text, bool startsText);
  void ResetInPlace() { lastInPlace_ = InPlaceConversion{}; }

 private:
  enum class Source {
    Window,      // the window holds it
    Own,         // own_ (window without a display)
    TextBuffer,  // the text buffer as it stands (window without a display)
    BackCopy,    // the back copy (window without a display)
    Pending,     // the text buffer through pending_, not converted yet
  };

  // The text buffer through the waiting conversion, into a new text or in
  // place.
  Text Converted();
  void ConvertBufferInPlace();

  RunReporter& window_;
  Text& buffer_;
  const Text& backCopy_;
  int& utf8Count_;
  Source source_ = Source::Window;
  Text own_;
  BufferConversion pending_;
  BufferConversion applied_;  // the conversion the buffer was last converted in place with
  InPlaceConversion lastInPlace_;
};

}  // namespace kamvo
