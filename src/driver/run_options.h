// The choices a conversion run reads: fixed before the run starts and not
// read from anywhere else while it goes on.
#pragma once

#include <string>

namespace kamvo {

// The decoder switches (the window's check boxes, the command line's
// /BIN /QP /RTF /HTML /UTF /TL).
struct DecoderSwitches {
  bool QP = true;        // quoted-printable and 7-bit
  bool Rtf = true;       // RTF escapes
  bool Html = true;      // HTML entities and tags
  bool Base64 = true;    // Base64, UUE and XXE
  bool Utf8 = true;      // UTF-8
  bool Translit = false; // translit
};

struct RunOptions {
  DecoderSwitches Switches;
  // The translit table the translit stage reads (never empty: the settings'
  // table, or the default one).
  std::string TranslitTable;
};

}  // namespace kamvo
