// The decoding stages a conversion runs, in their order.
#pragma once

#include "driver/converter.h"

namespace kamvo {

// The stages the program ships with.
DecoderStages StandardStages();

}  // namespace kamvo
