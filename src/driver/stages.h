// The decoding stages a conversion runs, in their order.
#pragma once

#include "driver/converter.h"

namespace kamvo {

// The stages over the converter: each decodes the text buffer with the
// window's switches and the settings, shows its progress in the window,
// stops on a user break, and raises the run's counters (and fills its
// attachment list). Each returns whether it changed or found anything.
bool ConvQuotedPrintable(Converter& converter);
bool ConvBinary(Converter& converter);
bool ConvHTML(Converter& converter);
void ConvTranslit(Converter& converter);

// The editor's "Encode translit" command: encodes the whole text (with the
// user's unsaved edits), shows it, and keeps the text from before in the
// back copy so that Back undoes the encoding. A user break keeps the part
// not yet encoded as it was.
void EncodeTranslit(Converter& converter);

// The stages the program ships with.
DecoderStages StandardStages();

// The escape, binary and HTML stages as a run calls them: each first checks
// quickly whether the text holds anything it could decode, and is skipped,
// with the same outcome, when it does not.
void QuotedPrintableStage(Converter& converter);
void BinaryStage(Converter& converter);
void HtmlStage(Converter& converter);

}  // namespace kamvo
