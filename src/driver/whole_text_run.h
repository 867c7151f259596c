// One run over a whole text that no one watches line by line: the steps a
// file's bytes and a text held in memory share.
#pragma once

#include <string>

#include "driver/converter.h"
#include "driver/target_fit.h"

namespace kamvo {

// For the time of a run that no one can take back (a file converted on
// disk, text from a pipe): the run keeps no back copy, so the text is held
// once, and a text automatic detection does not recognise is taken as the
// decoding stages left it, never rewritten on a guess. The converter's own
// choices come back when the guard ends, however it ends.
class UnattendedRun {
 public:
  explicit UnattendedRun(Converter& converter)
      : converter_(converter), keepText_(converter.KeepTextWhenNotRecognised), keepBack_(converter.KeepBackCopy) {
    converter_.KeepTextWhenNotRecognised = true;
    converter_.KeepBackCopy = false;
  }
  ~UnattendedRun() {
    converter_.KeepTextWhenNotRecognised = keepText_;
    converter_.KeepBackCopy = keepBack_;
  }
  UnattendedRun(const UnattendedRun&) = delete;
  UnattendedRun& operator=(const UnattendedRun&) = delete;

 private:
  Converter& converter_;
  const bool keepText_;
  const bool keepBack_;
};

// What RunWholeText did.
struct WholeTextRun {
  bool NotText = false;       // control bytes: nothing was converted
  bool FromUtf16 = false;     // the bytes were UTF-16 with a byte order mark, read as UTF-8
  bool UserBreak = false;     // the run was broken off: the text buffer holds no result
  TargetFit Fit;              // a single-byte target: the characters it could not hold, spelt out
  bool StrictFailed = false;  // ...and the target is strict: the text buffer is empty
};

// Converts `bytes` with the converter's Options, under an UnattendedRun:
// UTF-16 with a byte order mark is read as UTF-8, control bytes refuse the
// text, every line keeps its own break (a line a stage makes takes the
// break of the line it comes from; an editor's own breaks are put back), a
// single-byte target spells out what it cannot hold (FitSingleByteTarget)
// and a UTF-8 target writes the lines as UTF-8 (FinishUtf8Target). The
// result is the converter's text buffer.
WholeTextRun RunWholeText(Converter& converter, std::string bytes);

}  // namespace kamvo
