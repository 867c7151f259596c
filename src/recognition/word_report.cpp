#include "recognition/word_report.h"

#include "codepages/unicode.h"
#include "recognition/russian_word.h"

namespace kamvo {

WordReport MakeWordReport(const Sample& sample, const CodeTable& table, bool detectedUtf8) {
  WordReport report;
  for (int i = 0; i < sample.Count && i < kSampleSize; ++i) {
    std::string word = ConvertByTable(sample.Words[i], table);
    std::string decoded;
    if (detectedUtf8 && Utf8ToWin(word, decoded)) word = std::move(decoded);
    std::string& list = IsRussianWord(word) ? report.Recognised : report.Unknown;
    list += word;
    list += ' ';
  }
  return report;
}

}  // namespace kamvo
