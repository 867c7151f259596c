// What a run reports in the information pane below its status line: the
// decodings it applied and what automatic detection found, in the
// interface language (Windows-1251).
#pragma once

#include <string>
#include <vector>

#include "recognition/detection.h"
#include "recognition/outer_layer.h"
#include "recognition/reading.h"

namespace kamvo {

// How many times each kind of decoding was applied in the current run.
struct DecoderCounters {
  int QPCount = 0;
  int SevenBitCount = 0;
  int RtfCount = 0;
  int Base64Count = 0;
  int UUECount = 0;
  int XXECount = 0;
  int HtmlCount = 0;
  int TranslitCount = 0;
  int Utf8Count = 0;
};

// What automatic detection leaves behind for the report and the window.
struct DetectionState {
  Sample SampleWords;  // SampleWords.Count is the sample count
  Chain BestChain{};
  int BestScore = 0;
  int BestPercent = 0;
  bool DetectedUtf8 = false;
  // The code pages the text was taken out of UTF-8 into before the chain
  // (a UTF-8 text that holds a text read in a wrong code page).
  OuterLayer Layer;
  // The language the text read as when detection settled.
  TextLanguage Language = TextLanguage::Russian;
  bool DetectionDone = false;
  bool Found = false;  // the best chain reached the detection limit
  // The text read well as it stood: no chain was searched for.
  bool ReadsAsItStands = false;
  int LastLevel = 0;
  int LastPosition = 0;
};

// A line for each kind of decoding the run applied, in the pane's order.
std::vector<std::string> DecodingReport(const DecoderCounters& counters, bool english);

// What automatic detection found: that no Russian text was found, or the
// percentage recognised (naming the language when it is not Russian) and
// the way the text goes, as WayReport says it.
std::vector<std::string> DetectionReport(const DetectionState& detection, int target, bool english);

// What the text was found to be and what it is written as, in the code
// pages' usual names: "KOI8-R -> UTF-8", "already UTF-8",
// "Windows-1251 read as KOI8-R, saved as UTF-8 -> UTF-8". The damage is
// told in the order it happened, from the text as it was written first:
// the outer layers, the chain and the UTF-8 step are the way back.
std::string WayReport(const OuterLayer& layer, const Chain& chain, bool utf8, int target, bool english,
                      std::string_view arrow = " -> ");

// The same for a text whose code page the user named: "KOI8-R -> UTF-8",
// or "already UTF-8".
std::string ConversionReport(int source, int target, bool english, std::string_view arrow = " -> ");

}  // namespace kamvo
