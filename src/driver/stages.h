// The decoding stages a conversion runs, in their order.
#pragma once

#include "driver/converter.h"

namespace kamvo {

// The stages the program ships with.
DecoderStages StandardStages();

// The escape, binary and HTML stages as a run calls them: each first checks
// quickly whether the text holds anything it could decode, and is skipped,
// with the same outcome, when it does not.
void QuotedPrintableStage(Converter& converter);
void BinaryStage(Converter& converter);
void HtmlStage(Converter& converter);

}  // namespace kamvo
