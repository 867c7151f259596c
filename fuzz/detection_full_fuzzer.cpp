// The real default detection, all eight levels of chains, inside a whole
// conversion. Meant for tiny inputs (fuzz/run gives it a short -max_len): a
// sample that no chain recognises makes the search visit every chain.
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "support/headless_window.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Lines lines = InputLines(AsText(data, size), false);
  TCfg cfg;
  HeadlessWindow window;
  Converter converter(window, cfg, StandardStages());
  FUZZ_CHECK(converter.Options.MaxChainLevels == kChainLevels);
  converter.TextBuffer = Text::FromLines(lines);
  converter.CopyTextToScreen();
  converter.Convert();
  FUZZ_CHECK(converter.Detection.BestScore <= converter.Detection.SampleWords.Count);
  FUZZ_CHECK(converter.Detection.BestPercent <= 100);
  if (converter.BackAvailable) converter.Back();
  FUZZ_CHECK(ToLines(converter.TextBuffer) == lines);
  return 0;
}
