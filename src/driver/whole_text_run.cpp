#include "driver/whole_text_run.h"

#include <vector>

#include "codepages/byte_scan.h"
#include "codepages/text.h"
#include "codepages/unicode.h"
#include "driver/utf8_output.h"

namespace kamvo {

WholeTextRun RunWholeText(Converter& converter, std::string bytes) {
  WholeTextRun run;
  // UTF-16 with its byte order mark is text: it is read as UTF-8.
  run.FromUtf16 = Utf16WithMarkToUtf8(bytes);
  if (HasControlBytes(bytes)) {
    run.NotText = true;
    return run;
  }
  const UnattendedRun unattended(converter);
  const RunOptions& options = converter.Options;
  // A single-byte target spells out the characters it cannot hold, the
  // lines of a UTF-8 text from their own characters; a UTF-8 target
  // compares each line with the one it came from. Only the lines that are
  // UTF-8 are kept aside, not a second copy of the text.
  const int target = options.Target;
  const bool singleByte = !options.Utf8Target && IsSingleByteCode(target);
  const bool keepUtf8 = options.Utf8Target || (singleByte && HasHighByte(bytes));

  // The bytes become the text itself, each line with its own break; the
  // run converts it in place.
  converter.TextBuffer = Text::FromBytes(std::move(bytes));
  // An editor gives its lines back with breaks of its own: they are set
  // back to the text's afterwards.
  const bool display = converter.reporter().HasDisplay();
  const std::vector<LineEnd> ends = display ? BreaksOf(converter.TextBuffer) : std::vector<LineEnd>();
  const Utf8Lines kept = keepUtf8 ? KeepUtf8Lines(converter.TextBuffer) : Utf8Lines();
  converter.CopyTextToScreen();
  converter.Convert();
  if (converter.UserBreak) {
    run.UserBreak = true;
    return run;
  }
  if (display) SetBreaks(converter.TextBuffer, ends);
  if (singleByte) {
    run.Fit = FitSingleByteTarget(converter, kept, target);
    if (run.Fit.Spelt > 0 && options.StrictTarget) {
      converter.TextBuffer.clear();
      run.StrictFailed = true;
      return run;
    }
  }
  // A UTF-8 text the run only decoded comes out exactly as it came.
  if (options.Utf8Target) FinishUtf8Target(converter, kept);
  return run;
}

}  // namespace kamvo
