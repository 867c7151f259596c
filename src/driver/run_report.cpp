#include "driver/run_report.h"

#include "codepages/code_page_list.h"

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "decoders/stage_progress.h"

namespace kamvo {

std::vector<std::string> DecodingReport(const DecoderCounters& c, bool english) {
  std::vector<std::string> lines;
  const auto add = [&](std::string_view englishText, std::string_view russianUtf8) {
    lines.push_back(InLanguage(english, englishText, russianUtf8));
  };
  if (c.Base64Count > 0) add("Base64 converted.", "Преобразовано base64.");
  if (c.UUECount > 0) add("UUEncoding converted.", "Преобразовано UUEncoding.");
  if (c.XXECount > 0) add("XXEncoding converted.", "Преобразовано XXEncoding.");
  if (c.QPCount > 0) add("Quoted-printable converted.", "Преобразовано quoted-printable.");
  if (c.SevenBitCount > 0) add("7-bit converted.", "Преобразована 7-битная кодировка.");
  if (c.RtfCount > 0) add("RTF converted.", "Преобразовано RTF.");
  if (c.HtmlCount > 0) add("HTML converted.", "Преобразовано HTML.");
  if (c.TranslitCount > 0) add("Translit converted.", "Преобразован транслит.");
  return lines;
}

namespace {

// The name of a code page an outer layer takes a text into.
std::string_view LayerCodeName(int code) { return code == kWindows1252 ? "Windows-1252" : CodePageName(code); }

}  // namespace

std::vector<std::string> DetectionReport(const DetectionState& state, bool english) {
  std::vector<std::string> lines;
  if (state.SampleWords.Count == 0 && !state.ReadsAsItStands) {
    lines.push_back(InLanguage(english, "Russian text not found.", "Русский текст не найден."));
    return lines;
  }
  const std::string percent = std::to_string(state.BestPercent);
  lines.push_back(english ? "Russian text detected " + percent + "% when converted:"
                          : WinFromUtf8("Русский текст распознан на " + percent + "% при перекодировке:"));
  // The outer layer is undone first.
  for (const int code : state.Layer.Codes)
    if (code != 0) lines.push_back("    UTF-8  ->  " + std::string(LayerCodeName(code)));
  for (int level = 0; level < kChainLevels; ++level) {
    const int pair = state.BestChain[level];
    if (pair != 0)
      lines.push_back("    " + std::string(CodeNames[PairFrom(pair)]) + "  ->  " + std::string(CodeNames[PairTo(pair)]));
  }
  if (state.DetectedUtf8) lines.push_back("    UTF8  ->  ASCII");
  // Without a conversion the header says so itself.
  if (lines.size() == 1)
    lines.front() = english ? "Russian text detected " + percent + "% without conversion"
                            : WinFromUtf8("Русский текст распознан на " + percent + "% без перекодировки");
  return lines;
}

}  // namespace kamvo
