// Translit decoding and encoding: the line-by-line single passes must give
// what the plain whole-text algorithms give, for any table; the stage and the
// encode command inside a conversion must survive Stop at any event, and Back
// must undo the encoding.
//
// Input: a flag byte (bit 0 use the default table, bit 1 lines split at LF
// only, bits 4-7 the event at which Stop is pressed), then, without the
// default table, the table up to the first NUL byte, then the text.
#include "decoders/translit.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "support/headless_window.h"
#include "support/literal_translit.h"
#include "support/plain_lines.h"
#include "support/recording_progress.h"

using namespace kamvo;
using namespace kamvo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  std::string table = DefaultTranslitTable();
  std::string_view text = input.text;
  if (!input.Bit(0)) {
    const std::size_t nul = text.find('\0');
    table = std::string(text.substr(0, nul));
    text = nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1);
  }
  const Lines source = InputLines(text, input.Bit(1));

  Text decodedText = Text::FromLines(source, LineEnd::CrLf);
  const TranslitOutcome outcome = DecodeTranslitLines(decodedText, table);
  FUZZ_CHECK(!outcome.Stopped);
  const Lines decoded = ToLines(decodedText);
  Text encodedText = Text::FromLines(source, LineEnd::CrLf);
  const TranslitOutcome encodeOutcome = EncodeTranslitLines(encodedText, table);
  FUZZ_CHECK(!encodeOutcome.Stopped);
  const Lines encoded = ToLines(encodedText);
  // The plain algorithms see the text as one string, so a line that holds a
  // CR or LF of its own would be read differently; they only judge the rest.
  if (!HasBreakInside(source)) {
    const auto literal = testing::LiteralDecodeTranslit(JoinLines(source), table);
    FUZZ_CHECK(JoinLines(decoded) == literal.Text);
    FUZZ_CHECK(outcome.Changed == literal.Changed);
    FUZZ_CHECK(outcome.Replacements == literal.Replacements);
    const auto literalEncoded = testing::LiteralEncodeTranslit(JoinLines(source), table);
    FUZZ_CHECK(JoinLines(encoded) == literalEncoded.Text);
    FUZZ_CHECK(encodeOutcome.Changed == literalEncoded.Changed);
  }

  // Stopping early after a few bytes of work loses nothing: the lines are
  // still as many, and an unfinished encoding keeps the rest of the text.
  Text partly = Text::FromLines(source, LineEnd::CrLf);
  testing::RecordingProgress stop(3);
  DecodeTranslitLines(partly, table, stop, 7);
  FUZZ_CHECK(partly.size() == source.size());

  TCfg cfg;
  cfg.TranslitTable = table;
  cfg.TranslitOn = true;
  HeadlessWindow window;
  Converter converter(window, cfg);
  converter.Options.Switches.Translit = true;
  const int stopAt = input.flags >> 4;
  int events = 0;
  window.onEvents = [&] {
    if (++events == stopAt) converter.UserBreak = true;
  };
  converter.TextBuffer = Text::FromLines(source);
  converter.RunStage(StandardStage("translit"));
  if (!converter.UserBreak && !cfg.TranslitTable.empty())
    FUZZ_CHECK(ToLines(converter.TextBuffer) == (outcome.Changed ? Resplit(decoded) : source));

  events = 0;
  converter.TextBuffer = Text::FromLines(source);
  converter.CopyTextToScreen();
  EncodeTranslit(converter);
  if (converter.BackAvailable) {
    converter.Back();
    FUZZ_CHECK(ToLines(converter.TextBuffer) == source);
  } else {
    FUZZ_CHECK(ToLines(converter.TextBuffer) == source);
  }
  return 0;
}
