// The decoding stages a conversion runs, in their order.
#pragma once

#include "driver/converter.h"

namespace kamvo {

// True when none of the stages the switches enable would change the text
// (CR LF, LF and CR break its lines) or its run's counters and attachments:
// each enabled stage's quick check passes every line, so a run would skip
// them all. False also whenever translit is on. The answer for a text is
// the answers for its lines together, so a text may be judged in parts that
// end in line breaks (a large file is judged piece by piece as it is read).
bool StagesLeaveTextAlone(std::string_view text, const DecoderSwitches& switches);

// The stages the program ships with.
DecoderStages StandardStages();

// The escape, binary and HTML stages as a run calls them: each first checks
// quickly whether the text holds anything it could decode, and is skipped,
// with the same outcome, when it does not.
void QuotedPrintableStage(Converter& converter);
void BinaryStage(Converter& converter);
void HtmlStage(Converter& converter);

}  // namespace kamvo
