#include "driver/stages.h"

#include "decoders/binary.h"
#include "decoders/html.h"
#include "decoders/quoted_printable.h"
#include "decoders/translit.h"

namespace kamvo {

DecoderStages StandardStages() {
  DecoderStages stages;
  stages.QuotedPrintable = ConvQuotedPrintable;
  stages.Binary = ConvBinary;
  stages.Html = ConvHTML;
  stages.Translit = ConvTranslit;
  // Each decoder takes its place here as it is built:
  //   stages.QuotedPrintable: quoted-printable, 7-bit, RTF escapes, numeric references
  //   stages.Binary:          Base64, UUE and XXE blocks and their attachments
  //   stages.Html:            HTML entities and tags
  //   stages.Translit:        translit
  return stages;
}

}  // namespace kamvo
