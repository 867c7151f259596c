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

EscapeSwitches EscapeSwitchesOf(const DecoderSwitches& boxes) { return {boxes.QP, boxes.Rtf, boxes.Html}; }

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

// adapter until the decoders take a Text
// The text again from the lines a decoder gave back. While the decoder kept
// the number of lines each line keeps its own break; otherwise every line
// takes the break of the text's first line (LF when it has none), and the
// last line keeps no break when the text's last line had none.
Text TextOfLines(const Text& before, const Lines& lines) {
  std::vector<LineEnd> ends;
  if (lines.size() == before.size()) {
    ends.reserve(before.size());
    for (std::size_t i = 0; i < before.size(); ++i) ends.push_back(before.End(i));
  } else {
    const LineEnd style = before.empty() || before.End(0) == LineEnd::None ? LineEnd::Lf : before.End(0);
    ends.assign(lines.size(), style);
    if (!ends.empty() && !before.empty() && before.End(before.size() - 1) == LineEnd::None)
      ends.back() = LineEnd::None;
  }
  std::size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 2;
  Text text;
  text.Reserve(bytes, lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) text.AddLine(lines[i], ends[i]);
  return text;
}

// adapter until the decoders take a Text
// Runs a decoder that works on a line list over the text buffer.
template <typename Decode>
auto OnLines(Converter& converter, Decode decode) {
  Lines lines = ToLines(converter.TextBuffer);
  auto result = decode(lines);
  converter.TextBuffer = TextOfLines(converter.TextBuffer, lines);
  return result;
}

// The quick checks over the whole text's bytes judge it as split at its
// breaks: they stand for the checks over its lines while no line holds a
// break of its own.
bool PlainLines(const Text& text) { return !HasBreakInside(text); }

}  // namespace

bool ConvQuotedPrintable(Converter& converter) {
  ConverterProgress progress(converter);
  DecoderCounters& shared = converter.Counters;
  EscapeCounters counters{shared.QPCount, shared.SevenBitCount, shared.RtfCount, shared.HtmlCount};
  const EscapeSwitches switches = EscapeSwitchesOf(converter.window().Switches());
  const bool converted =
      OnLines(converter, [&](Lines& lines) { return DecodeEscapes(lines, switches, counters, progress); });
  shared.QPCount = counters.QPCount;
  shared.SevenBitCount = counters.SevenBitCount;
  shared.RtfCount = counters.RtfCount;
  shared.HtmlCount = counters.HtmlCount;
  return converted;
}

bool ConvBinary(Converter& converter) {
  ConverterProgress progress(converter);
  const BinaryScan seen =
      OnLines(converter, [&](Lines& lines) { return DecodeBinary(lines, converter.Attachments, progress); });
  if (seen.Base64) ++converter.Counters.Base64Count;
  if (seen.UUE) ++converter.Counters.UUECount;
  if (seen.XXE) ++converter.Counters.XXECount;
  return seen.Any();
}

bool ConvHTML(Converter& converter) {
  ConverterProgress progress(converter);
  const bool changed = OnLines(converter, [&](Lines& lines) { return DecodeHtml(lines, progress); });
  if (changed) ++converter.Counters.HtmlCount;
  return changed;
}

void ConvTranslit(Converter& converter) {
  ConverterProgress progress(converter);
  const std::string table = TranslitTableOf(converter);
  if (OnLines(converter, [&](Lines& lines) { return DecodeTranslit(lines, table, progress); }))
    ++converter.Counters.TranslitCount;
}

void EncodeTranslit(Converter& converter) {
  converter.UserBreak = false;
  converter.ClearInfo();
  converter.SetButtonsRun();
  converter.WriteStatusInfo(converter.Tr("Encoding translit...", "Кодирование транслита..."));
  if (converter.ScreenChanged) converter.CopyTextFromScreen();

  // Encoded on a copy: the text buffer is the text from before until the
  // encoding is known to have changed something.
  // adapter until the decoders take a Text
  Lines encoded = ToLines(converter.TextBuffer);
  ConverterProgress progress(converter);
  const TranslitOutcome outcome = EncodeTranslitLines(encoded, TranslitTableOf(converter), progress);
  converter.Progress(0, 1, 0);
  converter.ClearInfo();
  if (outcome.Changed) {
    Text text = TextOfLines(converter.TextBuffer, encoded);
    converter.BackCopy = std::move(converter.TextBuffer);
    converter.TextBuffer = Resplit(std::move(text));
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

bool StagesLeaveTextAlone(std::string_view text, const DecoderSwitches& switches) {
  // Translit has no quick check: it runs whenever it is switched on.
  if (switches.Translit) return false;
  // A run starts with no HTML decoded and no attachment, which the escape
  // and binary stages' checks require.
  const bool escapes = switches.QP || switches.Rtf || switches.Html;
  // One search settles the escape and HTML checks for a text that holds
  // none of the bytes either of them looks for ("&" is among the escape
  // leads; an HTML tag starts with "<").
  static const std::string escapesOrTags = std::string(kEscapeLeads) + "<";
  const bool quiet =
      escapes && FindAnyByte(text, switches.Html ? std::string_view(escapesOrTags) : kEscapeLeads) == std::string_view::npos;
  if (escapes && !quiet && !EscapeTextInert(text, EscapeSwitchesOf(switches))) return false;
  if (switches.Html && !quiet && !HtmlTextInert(text)) return false;
  if (switches.Base64 && !BinaryTextInert(text)) return false;
  return true;
}

void QuotedPrintableStage(Converter& converter) {
  const Text& text = converter.TextBuffer;
  const EscapeSwitches switches = EscapeSwitchesOf(converter.window().Switches());
  const EscapeCounters counters{0, 0, 0, converter.Counters.HtmlCount};
  const bool inert = counters.HtmlCount == 0 && PlainLines(text)
                         ? EscapeTextInert(text.Bytes(), switches)
                         : EscapesInert(ToLines(text), switches, counters);  // adapter until the decoders take a Text
  if (inert) return AsSkipped(converter);
  ConvQuotedPrintable(converter);
}

void BinaryStage(Converter& converter) {
  const Text& text = converter.TextBuffer;
  const bool inert = converter.Attachments.Count() == 0 && PlainLines(text)
                         ? BinaryTextInert(text.Bytes())
                         : BinaryInert(ToLines(text), converter.Attachments);  // adapter until the decoders take a Text
  if (inert) return AsSkipped(converter);
  ConvBinary(converter);
}

void HtmlStage(Converter& converter) {
  const Text& text = converter.TextBuffer;
  const bool inert = PlainLines(text) ? HtmlTextInert(text.Bytes())
                                      : HtmlInert(ToLines(text));  // adapter until the decoders take a Text
  if (inert) return AsSkipped(converter);
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
