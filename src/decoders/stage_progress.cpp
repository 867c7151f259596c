#include "decoders/stage_progress.h"

#include "codepages/unicode.h"

namespace kamvo {

std::string InLanguage(bool english, std::string_view englishText, std::string_view russianUtf8) {
  return english ? std::string(englishText) : WinFromUtf8(russianUtf8);
}

StageProgress& NoProgress() {
  static NoStageProgress none;
  return none;
}

std::string StageProgress::Tr(std::string_view english, std::string_view russianUtf8) const {
  return InLanguage(English(), english, russianUtf8);
}

}  // namespace kamvo
