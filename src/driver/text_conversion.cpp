#include "driver/text_conversion.h"

#include "codepages/lines.h"
#include "decoders/file_list.h"
#include "driver/utf8_output.h"

namespace kamvo {

TextConversion ConvertText(Converter& converter, std::string bytes) {
  TextConversion result;
  if (ExamineFileBytes(bytes).Control) {
    result.NotText = true;
    return result;
  }
  const bool keepBefore = converter.KeepTextWhenNotRecognised;
  converter.KeepTextWhenNotRecognised = true;
  const LineBreakStyle style = DetectLineBreakStyle(bytes);
  converter.TextBuffer = SplitLines(bytes);
  converter.CopyTextToScreen();
  converter.Convert();
  converter.KeepTextWhenNotRecognised = keepBefore;
  if (converter.UserBreak) {
    result.UserBreak = true;
    return result;
  }
  // A UTF-8 text the run only decoded is given back exactly as it came.
  if (converter.Utf8Target && FinishUtf8Target(converter, SplitLines(bytes))) {
    result.Same = true;
    result.Text = std::move(bytes);
    return result;
  }
  // Each line keeps its own break while the run keeps the number of lines;
  // otherwise the text takes the style of its first break.
  std::vector<LineEnd> ends = LineEndsOf(bytes);
  if (converter.TextBuffer.size() == ends.size())
    result.Text = TakeJoinedLines(converter.TextBuffer, ends);
  else
    result.Text = TakeJoinedLines(converter.TextBuffer, style);
  result.Same = result.Text == bytes;
  return result;
}

}  // namespace kamvo
