#include "driver/stages.h"

#include "decoders/binary.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "decoders/stage_progress.h"
#include "decoders/translit.h"
#include "settings/settings.h"

namespace kamvo {

// Every stage reads the whole text, and most of them copy it line by line
// while they do, yet an ordinary text holds nothing that any of them
// decodes. Before a stage runs, its decoder's quick check looks for what
// the stage needs to act at all; when that is missing the stage would leave
// the text, the counters and the attachments as they are, and it is skipped.
// The window is left as the stage leaves it: an empty status line and the
// progress bar at 0 of 0..1. Whenever the check finds something the stage
// might act on, the stage itself runs and decides.

namespace {

// A stage's progress shown in the converter's window: the status line, the
// progress bar, its events and its user break.
class ConverterProgress final : public StageProgress {
 public:
  explicit ConverterProgress(Converter& converter) : converter_(converter) {}

  void Status(std::string_view text) override { converter_.WriteStatusInfo(text); }
  void Progress(int min, int max, int position) override { converter_.Progress(min, max, position); }
  void Pump() override { converter_.Pump(); }
  bool StopRequested() override { return converter_.UserBreak.load(); }
  bool English() const override { return converter_.English(); }

 private:
  Converter& converter_;
};

// Numeric character references are the HTML stage's: it decodes them only
// where they can be meant (HTML, or characters beyond ASCII) and in the
// text's own encoding (UTF-8 in a UTF-8 text).
EscapeSwitches EscapeSwitchesOf(const DecoderSwitches& boxes) { return {boxes.QP, boxes.Rtf, false}; }

// The translit table of the settings, or the default one when that is empty.
std::string TranslitTableOf(const Converter& converter) {
  const std::string& stored = converter.cfg().TranslitTable;
  return stored.empty() ? DefaultTranslitTable() : stored;
}

void AsSkipped(Converter& converter) {
  converter.StageSkipped();
  converter.Progress(0, 1, 0);
  converter.WriteStatusInfo("");
}

}  // namespace

bool ConvQuotedPrintable(Converter& converter) {
  ConverterProgress progress(converter);
  DecoderCounters& shared = converter.Counters;
  EscapeCounters counters{shared.QPCount, shared.SevenBitCount, shared.RtfCount, shared.HtmlCount};
  const EscapeSwitches switches = EscapeSwitchesOf(converter.window().Switches());
  const bool converted =
      DecodeEscapes(converter.TextBuffer, switches, counters, progress);
  shared.QPCount = counters.QPCount;
  shared.SevenBitCount = counters.SevenBitCount;
  shared.RtfCount = counters.RtfCount;
  shared.HtmlCount = counters.HtmlCount;
  return converted;
}

bool ConvBinary(Converter& converter) {
  ConverterProgress progress(converter);
  const BinaryScan seen = DecodeBinary(converter.TextBuffer, converter.Attachments, progress);
  if (seen.Base64) ++converter.Counters.Base64Count;
  if (seen.UUE) ++converter.Counters.UUECount;
  if (seen.XXE) ++converter.Counters.XXECount;
  return seen.Any();
}

bool ConvHTML(Converter& converter) {
  ConverterProgress progress(converter);
  const bool changed = DecodeHtml(converter.TextBuffer, progress);
  if (changed) ++converter.Counters.HtmlCount;
  return changed;
}

void ConvTranslit(Converter& converter) {
  ConverterProgress progress(converter);
  if (DecodeTranslit(converter.TextBuffer, TranslitTableOf(converter), progress)) ++converter.Counters.TranslitCount;
}

void EncodeTranslit(Converter& converter) {
  converter.UserBreak = false;
  converter.ClearInfo();
  converter.SetButtonsRun();
  converter.WriteStatusInfo(converter.Tr("Encoding translit...", "Кодирование транслита..."));
  if (converter.ScreenChanged) converter.CopyTextFromScreen();

  // Encoded on a copy: the text buffer is the text from before until the
  // encoding is known to have changed something.
  Text encoded = converter.TextBuffer;
  ConverterProgress progress(converter);
  const TranslitOutcome outcome = EncodeTranslitLines(encoded, TranslitTableOf(converter), progress);
  converter.Progress(0, 1, 0);
  converter.ClearInfo();
  if (outcome.Changed) {
    converter.BackCopy = std::move(converter.TextBuffer);
    converter.TextBuffer = Resplit(std::move(encoded));
    converter.BackAvailable = true;
    converter.CopyTextToScreen();
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

void QuotedPrintableStage(Converter& converter) {
  const EscapeCounters counters{0, 0, 0, converter.Counters.HtmlCount};
  if (EscapesInert(converter.TextBuffer, EscapeSwitchesOf(converter.window().Switches()), counters))
    return AsSkipped(converter);
  ConvQuotedPrintable(converter);
}

void BinaryStage(Converter& converter) {
  if (BinaryInert(converter.TextBuffer, converter.Attachments)) return AsSkipped(converter);
  ConvBinary(converter);
}

void HtmlStage(Converter& converter) {
  if (HtmlInert(converter.TextBuffer)) return AsSkipped(converter);
  ConvHTML(converter);
}

DecoderStages StandardStages() {
  DecoderStages stages;
  stages.QuotedPrintable = QuotedPrintableStage;  // quoted-printable, 7-bit, RTF escapes, numeric references
  stages.Binary = BinaryStage;                    // Base64, UUE and XXE blocks and their attachments
  stages.Html = HtmlStage;                        // HTML entities and tags
  stages.Translit = ConvTranslit;                 // translit
  return stages;
}

}  // namespace kamvo
