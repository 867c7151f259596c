// What a run reports in the information pane below its status line: the
// decodings it applied and what automatic detection found, in the
// interface language (Windows-1251).
#pragma once

#include <string>
#include <vector>

#include "recognition/detection.h"
#include "recognition/outer_layer.h"

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
// percentage recognised and each conversion of the way there (the outer
// UTF-8 layer first, then the chain, then the UTF-8 step).
std::vector<std::string> DetectionReport(const DetectionState& detection, bool english);

}  // namespace kamvo
