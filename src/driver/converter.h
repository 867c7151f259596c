// One conversion run and the services every stage shares: the options of
// the run (RunOptions), the text buffer and its back copy, the information
// pane (InfoPane, with the lines of run_report.h), the progress bar, the
// user break, the decoder counters, the attachment list and automatic
// detection, all reported through a RunReporter. What the editor shows, and
// the conversion waiting to be shown there, is ScreenState's.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/text.h"
#include "decoders/file_list.h"
#include "driver/info_pane.h"
#include "driver/run_options.h"
#include "driver/run_report.h"
#include "driver/run_reporter.h"
#include "driver/screen_state.h"
#include "driver/stages.h"
#include "recognition/detection.h"
#include "recognition/outer_layer.h"
#include "recognition/reading.h"
#include "recognition/short_ways.h"

namespace kamvo {

struct TCfg;

class Converter;

// A stage's progress shown through the converter's reporter: the status line, the
// progress bar, its events and its user break.
class ConverterProgress final : public StageProgress {
 public:
  explicit ConverterProgress(Converter& converter) : converter_(converter) {}

  void Status(std::string_view text) override;
  void Progress(int min, int max, int position) override;
  void Pump() override;
  bool StopRequested() override;
  bool English() const override;

 private:
  Converter& converter_;
};

class Converter {
 public:
  // The stages run in the order of the table (StandardStages(), or none).
  // Options start as the settings give them (RunOptionsFrom).
  Converter(RunReporter& reporter, const TCfg& cfg, StageTable stages = {});

  // What the next run reads; the front end sets it before the run.
  RunOptions Options;
  // The options of the run going on, or of the last one: Options as the
  // run found them when it started.
  const RunOptions& RunInUse() const { return run_; }

  // Converts the text buffer in place with Options and shows the result.
  void Convert();
  // False when some decoding stage of the last Convert went over the text
  // (it may have changed it); true when every stage was off or skipped it.
  bool StagesLeftText() const { return stagesRun_ == 0; }
  // What the last Convert did to the text buffer after the stages.
  const InPlaceConversion& LastInPlaceConversion() const { return screen_.LastInPlace(); }

  // A text too large to hold at once is converted piece by piece (whole
  // lines each) after a Convert over its first piece that no stage acted on
  // (StagesLeftText) and that converted the buffer in place:
  // True when every stage the run turns on leaves the piece as it is: by
  // the check of its lines (Stage::LinesInert), or else run over a copy of
  // the piece, changing and finding nothing; the names of the stages that
  // had to run are added to `ran` (whether they would change nothing in the
  // whole text too is the caller's to judge). A piece that does not start
  // the text is run behind an empty line, as no text's start (a mail's
  // header is looked for there).
  bool StagesLeavePiece(const Text& piece, bool startsText, std::vector<std::string_view>& ran);
  // Converts the piece as the run converted the text buffer; startsText:
  // its first line is the text's. Gives the lines decoded from UTF-8.
  int ConvertPiece(Text& piece, bool startsText) { return screen_.ConvertLikeLast(piece, startsText); }

  // Restores the text from before the last conversion.
  void Back();
  // Replaces the text with one the user may take back (the editor's
  // commands): the text from before is kept for Back, the new one shown.
  void ReplaceText(Text text);

  // Runs one stage over the text, without its quick check, with Options;
  // true when it changed or found anything.
  bool RunStage(const Stage& stage);
  // The decoding part of a run: the stages of the table that the options
  // turn on, in order, each skipped when its quick check says it is inert
  // (the reporter then shows an empty status line and the bar at 0 of 0..1);
  // stops at a user break.
  void RunStages(const RunOptions& options);
  // The progress a stage or an editor command reports through.
  StageProgress& RunProgress() { return progress_; }

  // The information pane.
  void WriteStatusInfo(std::string_view text);
  void AddInfo(std::string_view text);
  void ClearInfo();
  void WriteMimeInfo();
  std::string Info() const { return pane_.Caption(); }
  const std::string& LastStatus() const { return pane_.LastStatus(); }

  void Progress(int min, int max, int position);
  void SetButtonsRun();
  void SetButtonsStop();
  void UpdateFileView();

  // The editor (through ScreenState).
  void CopyToScreen(const Text& text);
  void CopyTextToScreen() { CopyToScreen(TextBuffer); }
  void CopyFromScreen(Text& text);
  void CopyTextFromScreen() { CopyFromScreen(TextBuffer); }
  // The editor's change event.
  void ScreenEdited() { ScreenChanged = true; }

  // Shows the text buffer converted through the code table (and the UTF-8
  // step where required); the buffer stays as it was. The conversion itself
  // waits until the window draws it or the screen is read back, so that a
  // search that improves its result many times converts a large text once.
  void ConvBuffer();

  // Automatic detection of the source code page.
  // Detection alone, outside a run, with Options (for tests and tools).
  bool AutoCodeDetect();
  void AutoConvert();
  void WriteDetectionInfo();
  void UpdateProgressBar(const Chain& chain);
  void WriteUtf8Info();

  // Lets pending events run; a conversion waiting to be shown is drawn first
  // when the window is ready for it.
  void Pump();

  bool English() const;
  // The English text, or the Russian one (given in UTF-8) in Windows-1251.
  std::string Tr(std::string_view english, std::string_view russianUtf8) const;

  Text TextBuffer;
  // The text from before the last conversion, for Back.
  Text BackCopy;
  // False for a run that no one can take back (a file converted on disk):
  // it keeps no back copy, so the text is held once.
  bool KeepBackCopy = true;
  bool ScreenChanged = false;
  bool BackAvailable = false;
  std::atomic<bool> UserBreak{false};
  DecoderCounters Counters;
  TFileList Attachments;
  // The code table: into Windows-1251 (through the source code page or the
  // chain), then out to the target. Set through SetCodeTable.
  CodeTable Table = IdentityCodeTable();
  // Sets the code table from its way into Windows-1251 and its target code
  // page; the UTF-8 step, where required, goes between the two.
  void SetCodeTable(const CodeTable& intoWindows, int target);
  DetectionState Detection;
  // What a run does when automatic detection finds no chain that reaches
  // the limit: false shows the best chain found (the window, where the user
  // sees it and decides), true keeps the text as the decoding stages left it
  // (a file converted on disk is never rewritten on a guess).
  bool KeepTextWhenNotRecognised = false;
  // The code page the text of the run in use is written in.
  int WrittenCode() const { return run_.Utf8Target ? kUtf8Code : run_.Target; }

  RunReporter& reporter() { return reporter_; }

 private:
  StageContext ContextFor(const RunOptions& options);
  // Automatic detection as a run does it, with the run's options.
  bool DetectSource();
  // Decides detection's result by how the whole text reads: the search's
  // result (found: it reached the limit), a single pair that reads as well,
  // or the text as it stands (fair: it reads fairly well). True when the
  // text is to be converted.
  bool SettleByReading(const Reading& asItStands, bool found, bool fair);
  // How many good words in every hundred a single pair may read worse than
  // a longer way and still win.
  static constexpr int kShortWayMargin = 5;
  // The levels the search goes on to at least when its chain leaves some
  // sample words unread.
  static constexpr int kSearchedFurther = 4;
  // The short way whose reading of the text replaces it as it stands (a
  // fair text: outreads it) and reads best, at the detection limit at
  // least; none (Read.Words 0) when none does.
  WayReading BestShortWay(const Reading& asItStands, bool fair) const;
  // Detection's result: a short way that reads as given.
  bool AcceptWay(const Way& way, const Reading& reading);
  // Detection's result for a text that reads well as it stands.
  bool AcceptAsItStands(const Reading& reading, bool utf8);
  // The conversion detection found, into Windows-1251.
  ReadingConversion DetectedConversion() const;
  // Takes a chain that reads the sample as well as the found one but in
  // lower case, when it reads the whole text better.
  void TakeLowerCaseSibling(int maxLevels, SearchObserver& observer);
  void EndWithUserBreak();
  // Records the conversion the editor is to show: the code table as it
  // stands, with the UTF-8 step and the outer layer the run asks for.
  void SetPending();

  RunReporter& reporter_;
  RunOptions run_;  // the options of the run going on, fixed at its start
  StageTable stages_;
  ConverterProgress progress_{*this};
  InfoPane pane_;
  int progressMin_ = 0, progressMax_ = 100;

  ScreenState screen_{reporter_, TextBuffer, BackCopy, Counters.Utf8Count};
  int stagesRun_ = 0;                            // stages of the run that went over the text
  CodeTable intoWindows_ = IdentityCodeTable();  // Table's way into Windows-1251
  CodeTable fromWindows_ = IdentityCodeTable();  // and its way out to the target
};

}  // namespace kamvo
