#include "driver/text_conversion.h"

#include "driver/whole_text_run.h"

namespace kamvo {

TextConversion ConvertText(Converter& converter, std::string bytes) {
  TextConversion result;
  // The run takes a copy: a text that is no text comes back as it was
  // given, and the result is compared with it.
  const WholeTextRun run = RunWholeText(converter, bytes);
  result.FromUtf16 = run.FromUtf16;
  if (run.NotText) {
    result.NotText = true;
    result.Text = std::move(bytes);
    return result;
  }
  if (run.UserBreak) {
    result.UserBreak = true;
    return result;
  }
  result.Transliterated = run.Fit.Spelt;
  if (run.StrictFailed) {
    result.StrictFailed = true;
    return result;
  }
  result.Text = converter.TextBuffer.TakeBytes();
  result.Same = !result.FromUtf16 && result.Text == bytes;
  return result;
}

}  // namespace kamvo
