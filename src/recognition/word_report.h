// The word report: how the sample words of the last automatic detection
// read after the conversion that detection chose, split into the words the
// word test accepts as Russian and the others.
#pragma once

#include <string>

#include "codepages/code_tables.h"
#include "recognition/detection.h"

namespace kamvo {

// Each list holds its words in sample order, every word followed by one
// blank; both are empty when the sample is.
struct WordReport {
  std::string Recognised;
  std::string Unknown;

  bool Empty() const { return Recognised.empty() && Unknown.empty(); }
};

// Converts every sample word through `table` (then from UTF-8 when
// `detectedUtf8` is set and the word reads as UTF-8) and judges it with
// IsRussianWord.
WordReport MakeWordReport(const Sample& sample, const CodeTable& table, bool detectedUtf8);

}  // namespace kamvo
