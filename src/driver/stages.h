// The decoding stages of a run: one table, in the order of the pipeline.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>
#include <vector>

#include "codepages/text.h"
#include "decoders/file_list.h"
#include "decoders/stage_progress.h"
#include "driver/run_options.h"
#include "driver/run_report.h"

namespace kamvo {

class Converter;

// What a stage is given, and all it may touch: the text, its progress and
// stop, the run's counters, the attachment list and the run's options.
struct StageContext {
  Text& Buffer;
  StageProgress& Progress;  // status line, progress bar, events, stop
  // The run's stop: set by the user (the Stop button, Ctrl-C); a stage that
  // gives up sets it too. Progress.StopRequested() reads it.
  std::atomic<bool>& Stop;
  DecoderCounters& Counters;
  TFileList& Attachments;
  const RunOptions& Options;
};

// One decoding stage. A stage rewrites the text in place, raises its
// counters, may write the status line and drive the progress bar, asks
// Progress.StopRequested() between units of work and stops with whole lines
// in the text.
struct Stage {
  std::string_view Name;
  // The stage runs in a run with these options.
  std::function<bool(const RunOptions&)> Enabled;
  // A quick look, changing nothing, that says the stage would leave the
  // text, the counters and the attachments as they are; the run then skips
  // it. Empty: the stage always runs.
  std::function<bool(const StageContext&)> Inert;
  // The stage itself; true when it changed or found anything.
  std::function<bool(StageContext&)> Run;
  // The part of Inert that looks at each line on its own (none: the stage
  // has no such part). A text whose first piece is neither a mail nor
  // anything else Inert looks at as a whole is inert when every piece of
  // it, split at line breaks, is inert by this check: a text too large to
  // hold is checked piece by piece.
  std::function<bool(const StageContext&)> LinesInert;
  // For a stage that, outside a mail, acts on each line as on that line
  // alone unless LineAlone says the line joins the next (a quoted-printable
  // soft break): the lines that LinesInert does not find inert, in order.
  // A piece is then run only over those lines, each alone.
  std::function<std::vector<std::size_t>(const StageContext&)> LinesNotInert;
  std::function<bool(std::string_view line)> LineAlone;
};

using StageTable = std::vector<Stage>;

// The stages the program ships with, in the order of a run: escapes
// (quoted-printable, 7-bit, RTF escapes, numeric references), binary
// (Base64, UUE and XXE, with attachments), html (entities and tags),
// translit.
const StageTable& StandardStages();

// The standard stage of that name; throws std::out_of_range for none.
const Stage& StandardStage(std::string_view name);

// The editor's "Encode translit" command: encodes the whole text (with the
// user's unsaved edits), shows it, and keeps the text from before so that
// Back undoes the encoding. A user break keeps the part not yet encoded as
// it was.
void EncodeTranslit(Converter& converter);

}  // namespace kamvo
