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

std::string Name(int code) { return std::string(CharsetName(code)); }

// The story of a text's damage, step by step: each step is a text read as
// one code page and saved as another. A step that reads the text as the
// code page it is in converts it correctly.
class DamageStory {
 public:
  DamageStory(int firstCode, bool english) : code_(firstCode), english_(english) {}

  void ReadAndSaved(int readAs, int savedAs) {
    if (readAs == code_) {
      if (!story_.empty()) story_ += InLanguage(english_, ", converted to ", ", перекодирован в ") + Name(savedAs);
    } else {
      story_ += story_.empty() ? Name(code_) : InLanguage(english_, ", then", ", затем");
      story_ += InLanguage(english_, " read as ", " прочитан как ") + Name(readAs) +
                InLanguage(english_, ", saved as ", ", сохранён в ") + Name(savedAs);
    }
    code_ = savedAs;
  }

  // True when the text is plainly in the target already.
  bool Already(int target) const { return story_.empty() && code_ == target; }

  std::string Ending(int target, std::string_view arrow = " -> ") const {
    if (Already(target)) return InLanguage(english_, "already ", "уже ") + Name(target);
    return (story_.empty() ? Name(code_) : story_) + std::string(arrow) + Name(target);
  }

 private:
  int code_;           // the code page the text's bytes are in now
  std::string story_;  // empty while the text is plainly in code_
  bool english_;
};

std::string_view LanguageName(TextLanguage language, bool english) {
  switch (language) {
    case TextLanguage::Ukrainian:
      return english ? "Ukrainian" : "Украинский";
    case TextLanguage::Belarusian:
      return english ? "Belarusian" : "Белорусский";
    case TextLanguage::Serbian:
      return english ? "Serbian" : "Сербский";
    case TextLanguage::Macedonian:
      return english ? "Macedonian" : "Македонский";
    case TextLanguage::Russian:
      break;
  }
  return english ? "Russian" : "Русский";
}

DamageStory StoryOf(const OuterLayer& layer, const Chain& chain, bool utf8, bool english) {
  // The way back ends in Windows-1251, or in UTF-8 with the UTF-8 step;
  // undoing a pair From -> To undoes a text in To read as From.
  DamageStory story(utf8 ? kUtf8Code : kWindows, english);
  for (int level = kChainLevels - 1; level >= 0; --level)
    if (chain[level] != 0) story.ReadAndSaved(PairTo(chain[level]), PairFrom(chain[level]));
  for (int i = static_cast<int>(layer.Codes.size()) - 1; i >= 0; --i)
    if (layer.Codes[i] != 0) story.ReadAndSaved(layer.Codes[i], kUtf8Code);
  return story;
}

}  // namespace

std::string WayReport(const OuterLayer& layer, const Chain& chain, bool utf8, int target, bool english,
                      std::string_view arrow) {
  return StoryOf(layer, chain, utf8, english).Ending(target, arrow);
}

std::string ConversionReport(int source, int target, bool english, std::string_view arrow) {
  return DamageStory(source, english).Ending(target, arrow);
}

std::vector<std::string> DetectionReport(const DetectionState& state, int target, bool english) {
  std::vector<std::string> lines;
  if (state.SampleWords.Count == 0 && !state.ReadsAsItStands) {
    lines.push_back(InLanguage(english, "Russian text not found.", "Русский текст не найден."));
    return lines;
  }
  const std::string percent = std::to_string(state.BestPercent);
  const DamageStory story = StoryOf(state.Layer, state.BestChain, state.DetectedUtf8, english);
  const bool converted = !story.Already(target);
  const std::string language(LanguageName(state.Language, english));
  lines.push_back(english ? language + " text detected " + percent +
                                (converted ? "% when converted:" : "% without conversion")
                          : WinFromUtf8(language + " текст распознан на " + percent +
                                        (converted ? "% при перекодировке:" : "% без перекодировки")));
  lines.push_back("    " + story.Ending(target));
  return lines;
}

}  // namespace kamvo
