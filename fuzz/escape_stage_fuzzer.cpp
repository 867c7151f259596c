// The quoted-printable, %XX, RTF escape and numeric reference stage on a line
// list: the single-pass decoder must give what the plain algorithm gives, and
// the stage run by a conversion must keep the text whole when Stop is pressed
// in the middle.
//
// Input: a flag byte (bits 0-2 the QP, RTF and HTML switches, bit 3 a count
// of numeric references carried in, bit 4 lines split at LF only, bits 5-7 the
// event at which Stop is pressed, 0 for never), then the text.
#include "decoders/mime.h"
#include "decoders/quoted_printable.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "stopped_run.h"
#include "support/headless_window.h"
#include "support/literal_quoted_printable.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  const EscapeSwitches switches{input.Bit(0), input.Bit(1), input.Bit(2)};
  EscapeCounters initial;
  initial.HtmlCount = input.Bit(3) ? 1 : 0;
  const Lines source = InputLines(input.text, input.Bit(4));

  Text decodedText;
  EscapeCounters counters = initial;
  const EscapeResult result =
      DecodeEscapedLines(Text::FromLines(source, LineEnd::CrLf), decodedText, switches, counters);
  FUZZ_CHECK(!result.Stopped);
  const Lines decoded = ToLines(decodedText);

  // The plain algorithm knows no mail; a mail is decoded by its structure.
  if (!ScanMime(Text::FromLines(source, LineEnd::CrLf)).IsMail) {
    const testing::LiteralEscapeResult literal = testing::LiteralDecodeEscapes(source, switches, initial);
    FUZZ_CHECK(decoded == literal.text);
    FUZZ_CHECK(result.Converted == literal.converted);
    FUZZ_CHECK(counters.QPCount == literal.counters.QPCount);
    FUZZ_CHECK(counters.SevenBitCount == literal.counters.SevenBitCount);
    FUZZ_CHECK(counters.RtfCount == literal.counters.RtfCount);
    FUZZ_CHECK(counters.HtmlCount == literal.counters.HtmlCount);
  }

  // The stage inside a conversion, with Stop pressed at some event.
  StoppedRun run(source, input.flags >> 5);
  run.converter.Options.Switches.QP = switches.QP;
  run.converter.Options.Switches.Rtf = switches.Rtf;
  run.converter.Options.Switches.Html = switches.Html;
  Converter& converter = run.converter;
  converter.Counters.HtmlCount = initial.HtmlCount;
  const bool converted = converter.RunStage(StandardStage("escapes"));
  // A run leaves numeric references to the HTML stage.
  Text stageText;
  EscapeCounters stageCounters = initial;
  const EscapeResult stageResult = DecodeEscapedLines(Text::FromLines(source, LineEnd::CrLf), stageText,
                                                      EscapeSwitches{switches.QP, switches.Rtf, false}, stageCounters);
  const Lines stageDecoded = ToLines(stageText);
  if (converter.UserBreak) {
    // Stop pressed at the stage's very last event comes after the work.
    FUZZ_CHECK(ToLines(converter.TextBuffer) == source || ToLines(converter.TextBuffer) == stageDecoded);
  } else {
    FUZZ_CHECK(ToLines(converter.TextBuffer) == stageDecoded);
    FUZZ_CHECK(converted == stageResult.Converted);
  }
  return 0;
}
