// The HTML stage: entities, tag rows and tags in single passes must give what
// the plain step-by-step algorithm gives; the quick check before the stages
// must never leave alone a text the stage changes; the stage inside a
// conversion must survive Stop pressed at any event.
//
// Input: a flag byte (bit 0 lines split at LF only, bits 4-7 the event at
// which Stop is pressed, 0 for never), then the text.
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "stopped_run.h"
#include "support/headless_window.h"
#include "support/literal_html.h"
#include "support/plain_lines.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  const Lines source = InputLines(input.text, input.Bit(0));

  const std::string joined = JoinLines(source);
  const HtmlResult result = HtmlToText(joined);
  FUZZ_CHECK(!result.Broken);
  // What the HTML stage changes, its own quick check or the escape stage's
  // for numeric references must see.
  const Text joinedText = Text::FromBytes(joined);
  if (result.Changed)
    FUZZ_CHECK(!HtmlInert(joinedText) ||
               !EscapesInert(joinedText, EscapeSwitches{false, false, true}, EscapeCounters{}));
  const Lines lines = result.Changed ? SplitLines(result.Text) : source;
  // The plain algorithm works on lines as a file gives them.
  if (!HasBreakInside(source)) {
    const testing::LiteralHtmlResult literal = testing::LiteralHtml(source);
    FUZZ_CHECK(lines == literal.Text);
    FUZZ_CHECK(result.Changed == literal.Changed);
  }

  StoppedRun run(source, input.flags >> 4);
  Converter& converter = run.converter;
  const bool changed = converter.RunStage(StandardStage("html"));
  if (!converter.UserBreak) {
    FUZZ_CHECK(changed == result.Changed);
    FUZZ_CHECK(ToLines(converter.TextBuffer) == lines);
  }
  return 0;
}
