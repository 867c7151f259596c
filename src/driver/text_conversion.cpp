#include "driver/text_conversion.h"

#include "codepages/text.h"
#include "decoders/file_list.h"
#include "driver/utf8_output.h"

namespace kamvo {

TextConversion ConvertText(Converter& converter, std::string bytes) {
  TextConversion result;
  if (ExamineFileBytes(bytes).Control) {
    result.NotText = true;
    return result;
  }
  // No one can take the run back: it keeps no back copy.
  const bool keepBefore = converter.KeepTextWhenNotRecognised;
  const bool backBefore = converter.KeepBackCopy;
  converter.KeepTextWhenNotRecognised = true;
  converter.KeepBackCopy = false;
  converter.TextBuffer = Text::FromBytes(bytes);
  // An editor gives its lines back with breaks of its own.
  const bool display = converter.window().HasDisplay();
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
  // A UTF-8 text the run only decoded is given back exactly as it came.
  if (converter.Utf8Target && FinishUtf8Target(converter, Text::FromBytes(bytes))) {
    result.Same = true;
    result.Text = std::move(bytes);
    return result;
  }
  result.Text = converter.TextBuffer.TakeBytes();
  result.Same = result.Text == bytes;
  return result;
}

}  // namespace kamvo
