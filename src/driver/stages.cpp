#include "driver/stages.h"

#include <stdexcept>

#include "codepages/ascii.h"
#include "decoders/binary.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "decoders/translit.h"
#include "driver/converter.h"

namespace kamvo {

// Every stage reads the whole text, and most of them copy it line by line
// while they do, yet an ordinary text holds nothing that any of them
// decodes. Before a stage runs, its decoder's quick check looks for what
// the stage needs to act at all; when that is missing the stage would leave
// the text, the counters and the attachments as they are, and it is skipped.
// Whenever the check finds something the stage might act on, the stage
// itself runs and decides.

namespace {

// Numeric character references are the HTML stage's: it decodes them only
// where they can be meant (HTML, or characters beyond ASCII) and in the
// text's own encoding (UTF-8 in a UTF-8 text).
EscapeSwitches EscapeSwitchesOf(const DecoderSwitches& boxes) { return {boxes.QP, boxes.Rtf, false}; }

bool DecodeEscapesStage(StageContext& context) {
  DecoderCounters& shared = context.Counters;
  EscapeCounters counters{shared.QPCount, shared.SevenBitCount, shared.RtfCount, shared.HtmlCount};
  const bool converted =
      DecodeEscapes(context.Buffer, EscapeSwitchesOf(context.Options.Switches), counters, context.Progress);
  shared.QPCount = counters.QPCount;
  shared.SevenBitCount = counters.SevenBitCount;
  shared.RtfCount = counters.RtfCount;
  shared.HtmlCount = counters.HtmlCount;
  return converted;
}

bool DecodeBinaryStage(StageContext& context) {
  const BinaryScan seen = DecodeBinary(context.Buffer, context.Attachments, context.Progress);
  if (seen.Base64) ++context.Counters.Base64Count;
  if (seen.UUE) ++context.Counters.UUECount;
  if (seen.XXE) ++context.Counters.XXECount;
  return seen.Any();
}

bool DecodeHtmlStage(StageContext& context) {
  const bool changed = DecodeHtml(context.Buffer, context.Progress);
  if (changed) ++context.Counters.HtmlCount;
  return changed;
}

bool DecodeTranslitStage(StageContext& context) {
  const bool changed = DecodeTranslit(context.Buffer, context.Options.TranslitTable, context.Progress);
  if (changed) ++context.Counters.TranslitCount;
  return changed;
}

}  // namespace

const StageTable& StandardStages() {
  static const StageTable table = {
      {"escapes", [](const RunOptions& o) { return o.Switches.QP || o.Switches.Rtf || o.Switches.Html; },
       [](const StageContext& c) {
         return EscapesInert(c.Buffer, EscapeSwitchesOf(c.Options.Switches),
                             EscapeCounters{0, 0, 0, c.Counters.HtmlCount});
       },
       DecodeEscapesStage,
       [](const StageContext& c) { return EscapeLinesInert(c.Buffer, EscapeSwitchesOf(c.Options.Switches)); },
       [](const StageContext& c) { return EscapeLinesNotInert(c.Buffer, EscapeSwitchesOf(c.Options.Switches)); },
       [](std::string_view line) { return !TrimTrailingControls(line).ends_with('='); }},
      {"binary",
       [](const RunOptions& o) { return o.Switches.Base64; },
       [](const StageContext& c) { return BinaryInert(c.Buffer, c.Attachments); },
       DecodeBinaryStage,
       [](const StageContext& c) { return BinaryLinesInert(c.Buffer); },
       {},
       {}},
      {"html",
       [](const RunOptions& o) { return o.Switches.Html; },
       [](const StageContext& c) { return HtmlInert(c.Buffer); },
       DecodeHtmlStage,
       [](const StageContext& c) { return HtmlInert(c.Buffer); },
       {},
       {}},
      {"translit", [](const RunOptions& o) { return o.Switches.Translit; }, {}, DecodeTranslitStage, {}, {}, {}},
  };
  return table;
}

const Stage& StandardStage(std::string_view name) {
  for (const Stage& stage : StandardStages())
    if (stage.Name == name) return stage;
  throw std::out_of_range("no stage named " + std::string(name));
}

void EncodeTranslit(Converter& converter) {
  converter.UserBreak = false;
  converter.ClearInfo();
  converter.SetButtonsRun();
  converter.WriteStatusInfo(converter.Tr("Encoding translit...", "Кодирование транслита..."));
  if (converter.ScreenChanged) converter.CopyTextFromScreen();

  // Encoded on a copy: the text is the text from before until the encoding
  // is known to have changed something.
  Text encoded = converter.TextBuffer;
  const TranslitOutcome outcome =
      EncodeTranslitLines(encoded, converter.Options.TranslitTable, converter.RunProgress());
  converter.Progress(0, 1, 0);
  converter.ClearInfo();
  if (outcome.Changed) {
    converter.ReplaceText(Resplit(std::move(encoded)));
    converter.AddInfo(converter.Tr("Translit encoded", "Закодирован транслит"));
  } else {
    converter.AddInfo(converter.Tr("Russian text not found.", "Русский текст не найден."));
  }
  if (converter.UserBreak) {
    converter.ClearInfo();
    converter.AddInfo(converter.Tr("User break", "Прервано"));
  }
  converter.SetButtonsStop();
}

}  // namespace kamvo
