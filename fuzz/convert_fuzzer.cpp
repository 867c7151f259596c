// A whole conversion run with every decoder switched on (translit included):
// all stages, detection (chains of up to two levels, so that each input stays
// cheap; detection_full covers eight) or a chosen source, the code-page
// conversion and the UTF-8 step. Back must bring the text from before back,
// and a run that leaves Back disabled must have changed nothing.
//
// Input: a flag byte (bits 0-2 the source, 0 Auto, 5-7 read as Auto too;
// bits 3-4 the target; bit 5 lines split at LF only; bits 6-7 press Stop at
// an event), then the text.
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "support/headless_window.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  const Lines lines = InputLines(input.text, input.Bit(5));

  TCfg cfg;
  cfg.TranslitOn = true;
  HeadlessWindow window;
  const int from = input.flags & 7;
  Converter converter(window, cfg, StandardStages());
  converter.Options.Switches = DecoderSwitches{true, true, true, true, true, true};
  converter.Options.Source = from <= kCodeCount ? from : 0;
  converter.Options.Target = ((input.flags >> 3) & 3) + 1;
  converter.Options.MaxChainLevels = 2;
  const int stopMode = input.flags >> 6;
  int events = 0;
  window.onEvents = [&] {
    ++events;
    if (stopMode != 0 && events == stopMode * stopMode * 3) converter.UserBreak = true;
  };

  converter.TextBuffer = Text::FromLines(lines);
  converter.CopyTextToScreen();
  converter.Convert();
  FUZZ_CHECK(window.info == converter.Info());
  for (const TFileRec& file : converter.Attachments) {
    FUZZ_CHECK(!file.Name.empty() && file.Name != "." && file.Name != "..");
    FUZZ_CHECK(file.Name.find('/') == std::string::npos);
  }
  // What the window shows is what the buffer holds.
  if (!converter.UserBreak) FUZZ_CHECK(ToLines(Resplit(converter.TextBuffer)) == ToLines(window.screen));
  // Back brings the text from before back; without Back nothing changed.
  if (converter.BackAvailable) {
    converter.Back();
    FUZZ_CHECK(converter.Attachments.Empty());
  }
  FUZZ_CHECK(ToLines(converter.TextBuffer) == lines);
  return 0;
}
