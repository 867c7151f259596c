#include "driver/text_conversion.h"

#include "codepages/text.h"
#include "codepages/unicode.h"
#include "decoders/file_list.h"
#include "codepages/byte_scan.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"

namespace kamvo {

TextConversion ConvertText(Converter& converter, std::string bytes) {
  TextConversion result;
  // UTF-16 with its byte order mark is text: it is read as UTF-8.
  std::string asGiven;
  if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
    asGiven = bytes;
    result.FromUtf16 = Utf16WithMarkToUtf8(bytes);
  }
  if (ExamineFileBytes(bytes).Control) {
    // Not text: the bytes come back as they were given.
    result.NotText = true;
    result.Text = result.FromUtf16 ? std::move(asGiven) : std::move(bytes);
    return result;
  }
  // No one can take the run back: it keeps no back copy.
  const bool keepBefore = converter.KeepTextWhenNotRecognised;
  const bool backBefore = converter.KeepBackCopy;
  converter.KeepTextWhenNotRecognised = true;
  converter.KeepBackCopy = false;
  converter.TextBuffer = Text::FromBytes(bytes);
  // The lines that are UTF-8, for a UTF-8 target to keep and a single-byte
  // one to spell from their characters.
  const int target = converter.Options.Target;
  const bool singleByte = !converter.Options.Utf8Target && IsSingleByteCode(target);
  const Utf8Lines kept = converter.Options.Utf8Target || (singleByte && HasHighByte(bytes))
                             ? KeepUtf8Lines(converter.TextBuffer)
                             : Utf8Lines();
  // An editor gives its lines back with breaks of its own.
  const bool display = converter.reporter().HasDisplay();
  const std::vector<LineEnd> ends = display ? BreaksOf(converter.TextBuffer) : std::vector<LineEnd>();
  converter.CopyTextToScreen();
  converter.Convert();
  converter.KeepTextWhenNotRecognised = keepBefore;
  converter.KeepBackCopy = backBefore;
  if (converter.UserBreak) {
    result.UserBreak = true;
    return result;
  }
  // Each line keeps its own break (a line a stage makes takes the break of
  // the line it comes from).
  if (display) SetBreaks(converter.TextBuffer, ends);
  // A single-byte target spells out the characters it cannot hold.
  if (singleByte) {
    const TargetFit fit = FitSingleByteTarget(converter, kept, target);
    result.Transliterated = fit.Spelt;
    if (fit.Spelt > 0 && converter.Options.StrictTarget) {
      converter.TextBuffer.clear();
      result.StrictFailed = true;
      return result;
    }
  }
  // A UTF-8 text the run only decoded comes out exactly as it came.
  if (converter.Options.Utf8Target) FinishUtf8Target(converter, kept);
  result.Text = converter.TextBuffer.TakeBytes();
  result.Same = !result.FromUtf16 && result.Text == bytes;
  return result;
}

}  // namespace kamvo
