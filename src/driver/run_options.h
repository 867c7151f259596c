// The choices a conversion run reads: a plain value the front end (the
// window, the command line) builds, fixed when the run starts and not read
// from anywhere else while it goes on.
#pragma once

#include <string>

#include "codepages/code_tables.h"

namespace kamvo {

struct TCfg;

// The decoder switches (the window's check boxes, the command line's
// /BIN /QP /RTF /HTML /UTF /TL).
struct DecoderSwitches {
  bool QP = true;         // quoted-printable and 7-bit
  bool Rtf = true;        // RTF escapes
  bool Html = true;       // HTML entities and tags
  bool Base64 = true;     // Base64, UUE and XXE
  bool Utf8 = true;       // UTF-8
  bool Translit = false;  // translit
};

struct RunOptions {
  DecoderSwitches Switches;
  // The source code page: 0 for automatic detection, else the code number
  // (1..kLastCode). A UTF-8 source is Windows-1251 with the UTF-8 switch on.
  int Source = 0;
  // The code page the run converts into (1..kLastCode).
  int Target = kWindows;
  // The text is to be written as UTF-8: the run converts into Windows-1251
  // (Target kWindows) and the file or text conversion writes its lines as
  // UTF-8 (FinishUtf8Target).
  bool Utf8Target = false;
  // A character a single-byte target cannot hold fails a file or text
  // conversion (nothing is written) instead of being spelt out.
  bool StrictTarget = false;
  // Automatic detection accepts a result at this many percent of the
  // sample (ReachesDetectionLimit).
  int DetectionLimit = 80;
  // The longest chain detection tries; shorter only in tests and experiments.
  int MaxChainLevels = kChainLevels;
  // The translit table the translit stage reads (never empty: the settings'
  // table, or the default one).
  std::string TranslitTable;
  // The language of the pane and the reports: English or Russian.
  bool English = true;
};

// The options the settings give: their detection limit, translit table and
// language, and the decoder switches of their check boxes; automatic
// detection into Windows-1251.
RunOptions RunOptionsFrom(const TCfg& cfg);

}  // namespace kamvo
