// A whole run into a single-byte code page or into UTF-8 as a file
// conversion makes it: the characters a single-byte target cannot hold are
// spelt out, and UTF-8 lines become the target's. Every line a UTF-8 target
// writes is well-formed UTF-8; spelling never grows a line beyond what its
// characters' spellings take.
//
// Input: a flag byte (bits 0-2 the source, 0 Auto, 5-7 read as Auto too;
// bits 3-5 the target, 0-3 a code page, 4-7 UTF-8), then the text.
#include "codepages/code_tables.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "support/headless_window.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  TCfg cfg;
  HeadlessWindow window;
  window.hasDisplay = false;
  const int from = input.flags & 7;
  const int to = (input.flags >> 3) & 7;
  const bool utf8 = to >= 4;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Switches = DecoderSwitches{true, true, true, true, true, false};
  converter.Options.Source = from <= kCodeCount ? from : 0;
  converter.Options.Target = utf8 ? kWindows : to + 1;
  converter.Options.MaxChainLevels = 2;
  converter.KeepTextWhenNotRecognised = true;
  converter.KeepBackCopy = false;
  converter.Options.Utf8Target = utf8;

  const Text original = Text::FromBytes(std::string(input.text));
  converter.TextBuffer = original;
  const Utf8Lines kept = KeepUtf8Lines(original);
  for (std::size_t i = 0; i < kept.Index.size(); ++i) FUZZ_CHECK(kept.Lines[i] == original[kept.Index[i]]);
  converter.CopyTextToScreen();
  converter.Convert();
  if (utf8) {
    FinishUtf8Target(converter, kept);
    if (converter.RunInUse().Source != 0 || converter.Detection.Found)
      for (const std::string_view line : converter.TextBuffer) FUZZ_CHECK(IsWellFormedUtf8(line));
  } else {
    const std::size_t lines = converter.TextBuffer.size();
    const TargetFit fit = FitSingleByteTarget(converter, kept, to + 1);
    FUZZ_CHECK(converter.TextBuffer.size() == lines);
    FUZZ_CHECK(fit.Spelt == 0 || fit.Changed);
  }
  return 0;
}
