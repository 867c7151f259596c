#include "driver/text_conversion.h"

#include "driver/whole_text_run.h"

namespace kamvo {

TextConversion ConvertText(Converter& converter, std::string bytes) {
  // The run takes a copy: a text that is no text comes back as it was
  // given, and the result is compared with it.
  TextConversion result = ConvertTextInPlace(converter, bytes, &bytes);
  if (result.NotText) result.Text = std::move(bytes);
  return result;
}

TextConversion ConvertTextInPlace(Converter& converter, std::string bytes, const std::string* original) {
  TextConversion result;
  const WholeTextRun run = RunWholeText(converter, std::move(bytes));
  result.FromUtf16 = run.FromUtf16;
  if (run.NotText) {
    result.NotText = true;
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
  result.Same = original != nullptr && !result.FromUtf16 && result.Text == *original;
  return result;
}

}  // namespace kamvo
