#include "driver/converter.h"

#include <algorithm>
#include <climits>

#include "codepages/unicode.h"
#include "decoders/stage_progress.h"
#include "recognition/case_sibling.h"
#include "recognition/mac_sibling.h"
#include "recognition/reading.h"
#include "recognition/word_reader.h"
#include "settings/settings.h"

namespace kamvo {

namespace {

// True when both texts hold the same lines, whatever their breaks (the
// editor gives its lines back with breaks of its own).
bool SameLines(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Reports the search's progress to the converter.
class DetectionObserver : public SearchObserver {
 public:
  explicit DetectionObserver(Converter& converter) : converter_(converter) {}

  void Improved(const Chain& chain, int score, int percent, bool utf8) override {
    DetectionState& state = converter_.Detection;
    state.DetectedUtf8 = utf8;
    state.BestScore = score;
    state.BestChain = chain;
    state.BestPercent = percent;
    converter_.AutoConvert();
  }
  bool StopRequested() override { return converter_.UserBreak; }
  void UpdateProgress(const Chain& chain) override { converter_.UpdateProgressBar(chain); }
  void Pump() override { converter_.Pump(); }

 private:
  Converter& converter_;
};

// Reports the searches through outer UTF-8 layers: each result that beats
// every one before it becomes the detection's result.
class LayerDetectionObserver : public LayerObserver {
 public:
  explicit LayerDetectionObserver(Converter& converter) : converter_(converter) {}

  void Improved(const LayerResult& result) override {
    DetectionState& state = converter_.Detection;
    state.SampleWords = result.Words;
    state.Layer = result.Layer;
    state.DetectedUtf8 = result.Utf8;
    state.BestScore = result.BestScore;
    state.BestChain = result.Best;
    state.BestPercent = result.Percent;
    converter_.AutoConvert();
  }
  bool StopRequested() override { return converter_.UserBreak; }
  void UpdateProgress(const Chain& chain) override {
    ProgressShown = true;
    converter_.UpdateProgressBar(chain);
  }
  void Pump() override { converter_.Pump(); }

  bool ProgressShown = false;

 private:
  Converter& converter_;
};

}  // namespace

void ConverterProgress::Status(std::string_view text) { converter_.WriteStatusInfo(text); }
void ConverterProgress::Progress(int min, int max, int position) { converter_.Progress(min, max, position); }
void ConverterProgress::Pump() { converter_.Pump(); }
bool ConverterProgress::StopRequested() { return converter_.UserBreak.load(); }
bool ConverterProgress::English() const { return converter_.English(); }

Converter::Converter(RunReporter& reporter, const TCfg& cfg, StageTable stages)
    : Options(RunOptionsFrom(cfg)), reporter_(reporter), run_(Options), stages_(std::move(stages)) {}

bool Converter::English() const { return Options.English; }

std::string Converter::Tr(std::string_view english, std::string_view russianUtf8) const {
  return InLanguage(English(), english, russianUtf8);
}

StageContext Converter::ContextFor(const RunOptions& options) {
  return StageContext{TextBuffer, progress_, UserBreak, Counters, Attachments, options};
}

bool Converter::RunStage(const Stage& stage) {
  StageContext context = ContextFor(Options);
  return stage.Run(context);
}

void Converter::RunStages(const RunOptions& options) {
  for (const Stage& stage : stages_) {
    if (UserBreak) return;
    if (stage.Enabled && !stage.Enabled(options)) continue;
    StageContext context = ContextFor(options);
    if (stage.Inert && stage.Inert(context)) {
      // The window is left as the stage would leave it: an empty status
      // line and the progress bar at 0 of 0..1.
      Progress(0, 1, 0);
      WriteStatusInfo("");
      continue;
    }
    ++stagesRun_;
    stage.Run(context);
  }
}

bool Converter::StagesLeavePiece(const Text& piece, bool startsText, std::vector<std::string_view>& ran) {
  // Runs the stage over a copy of the text; true when it changed and
  // found nothing.
  const auto leaves = [&](const Stage& stage, const Text& text) {
    Text copy = text;
    DecoderCounters counters;
    TFileList files;
    std::atomic<bool> stop{false};
    StageContext context{copy, NoProgress(), stop, counters, files, run_};
    const bool acted = stage.Run(context);
    counters.Utf8Count = 0;
    return !acted && !stop && files.Empty() && copy == text && counters.QPCount == 0 && counters.SevenBitCount == 0 &&
           counters.RtfCount == 0 && counters.Base64Count == 0 && counters.UUECount == 0 && counters.XXECount == 0 &&
           counters.HtmlCount == 0 && counters.TranslitCount == 0;
  };
  Text behind;  // the piece, behind an empty line when it does not start the text
  for (const Stage& stage : stages_) {
    if (stage.Enabled && !stage.Enabled(run_)) continue;
    Text& lines = const_cast<Text&>(piece);  // the checks only read it
    const StageContext context{lines, progress_, UserBreak, Counters, Attachments, run_};
    if (stage.LinesNotInert && stage.LineAlone) {
      // The lines that the check does not find inert, each alone.
      const std::vector<std::size_t> touched = stage.LinesNotInert(context);
      if (touched.empty()) continue;
      ran.push_back(stage.Name);
      if (std::all_of(touched.begin(), touched.end(), [&](std::size_t i) { return stage.LineAlone(piece[i]); })) {
        for (const std::size_t i : touched) {
          Text one;
          one.AddLine("", LineEnd::Lf);
          one.AddLine(piece[i], piece.End(i));
          if (!leaves(stage, one)) return false;
        }
        continue;
      }
    } else {
      if (stage.LinesInert && stage.LinesInert(context)) continue;
      ran.push_back(stage.Name);
    }
    if (behind.empty()) {
      if (!startsText) behind.AddLine("", LineEnd::Lf);
      behind.AppendLines(piece, 0, piece.size());
    }
    if (!leaves(stage, behind)) return false;
  }
  return true;
}

void Converter::EndWithUserBreak() {
  WriteStatusInfo(Tr("User break.", "Прервано."));
  CopyTextToScreen();
  SetButtonsStop();
}

void Converter::Convert() {
  run_ = Options;
  UserBreak = false;
  Detection.DetectionDone = false;
  Detection.Found = false;
  Attachments.Clear();
  Counters = DecoderCounters{};
  screen_.ResetInPlace();
  stagesRun_ = 0;

  if (ScreenChanged) CopyTextFromScreen();
  if (KeepBackCopy) {
    BackCopy = TextBuffer;
    // The stages may now change the buffer; the editor still shows what the
    // back copy holds.
    screen_.BufferChanging();
  } else {
    BackCopy.clear();
  }
  BackAvailable = KeepBackCopy;

  SetButtonsRun();
  WriteStatusInfo("");
  ClearInfo();

  RunStages(run_);
  if (UserBreak) return EndWithUserBreak();

  // Decoded text is shown, so that a detection that finds nothing takes
  // the decoded text back from the screen, not the text from before.
  // (%XX and RTF escapes count too: otherwise their decoding would be lost
  // while the pane reports it.)
  const DecoderCounters& c = Counters;
  if (c.QPCount > 0 || c.SevenBitCount > 0 || c.RtfCount > 0 || c.Base64Count > 0 || c.HtmlCount > 0 ||
      c.UUECount > 0 || c.XXECount > 0 || c.TranslitCount > 0)
    CopyTextToScreen();

  UpdateFileView();
  WriteMimeInfo();

  bool found = false;
  if (run_.Source == 0) {
    found = DetectSource();
    if (!found) {
      if (KeepTextWhenNotRecognised)
        CopyTextToScreen();
      else
        CopyTextFromScreen();
      BackAvailable = KeepBackCopy && !SameLines(BackCopy, TextBuffer);
      SetButtonsStop();
      return;
    }
  } else {
    SetCodeTable(BuildCodeTable(run_.Source, kWindows), run_.Target);
  }

  // The conversion is taken back at once: it is made in the buffer itself.
  if (!found || run_.Target != kWindows) SetPending();
  CopyTextFromScreen();
  BackAvailable = KeepBackCopy && !SameLines(BackCopy, TextBuffer);
  SetButtonsStop();
  WriteDetectionInfo();
  if (run_.Source != 0) WriteUtf8Info();
}

void Converter::Back() {
  if (!BackAvailable) return;
  TextBuffer = BackCopy;
  Attachments.Clear();
  UpdateFileView();
  CopyTextToScreen();
  BackAvailable = false;
  SetButtonsStop();
}

void Converter::ReplaceText(Text text) {
  BackCopy = std::move(TextBuffer);
  TextBuffer = std::move(text);
  BackAvailable = true;
  CopyTextToScreen();
}

void Converter::ConvBuffer() {
  SetPending();
  if (reporter_.HasDisplay() && reporter_.ReadyToRedraw()) screen_.Flush();
}

void Converter::SetCodeTable(const CodeTable& intoWindows, int target) {
  intoWindows_ = intoWindows;
  fromWindows_ = BuildCodeTable(kWindows, target);
  for (int b = 0; b < 256; ++b) Table[b] = fromWindows_[intoWindows_[b]];
}

void Converter::SetPending() {
  BufferConversion conversion;
  conversion.Table = Table;
  conversion.IntoWindows = intoWindows_;
  conversion.FromWindows = fromWindows_;
  conversion.Utf8 = run_.Source == 0 ? Detection.DetectedUtf8 : run_.Switches.Utf8;
  conversion.Layer = run_.Source == 0 ? Detection.Layer : OuterLayer{};
  screen_.SetPending(conversion);
}

void Converter::Pump() {
  if (screen_.Pending() && reporter_.HasDisplay() && reporter_.ReadyToRedraw()) screen_.Flush();
  reporter_.ProcessEvents();
}

void Converter::CopyToScreen(const Text& text) {
  screen_.Show(text);
  if (&text == &TextBuffer) ScreenChanged = false;
}

void Converter::CopyFromScreen(Text& text) {
  screen_.Read(text, ScreenChanged);
  Pump();
  if (&text == &TextBuffer) ScreenChanged = false;
}

void Converter::WriteStatusInfo(std::string_view text) {
  pane_.SetStatus(text);
  reporter_.ShowInfo(pane_.Caption());
}

void Converter::AddInfo(std::string_view text) {
  pane_.AddReport(text);
  reporter_.ShowInfo(pane_.Caption());
}

void Converter::ClearInfo() {
  pane_.Clear();
  reporter_.ShowInfo(pane_.Caption());
}

void Converter::WriteMimeInfo() {
  ClearInfo();
  WriteStatusInfo(std::string(pane_.LastStatus()));
  for (const std::string& line : DecodingReport(Counters, English())) AddInfo(line);
}

void Converter::WriteUtf8Info() {
  if (Counters.Utf8Count > 0) AddInfo(Tr("UTF-8 converted.", "Преобразовано UTF-8."));
}

void Converter::Progress(int min, int max, int position) {
  // A bar accepts new bounds in either order once its range is the widest.
  if (min != progressMin_ || max != progressMax_) {
    progressMin_ = INT_MIN;
    progressMax_ = INT_MAX;
  }
  progressMin_ = min;
  progressMax_ = std::max(min, max);
  reporter_.ShowProgress(progressMin_, progressMax_, position);
  Pump();
}

void Converter::SetButtonsRun() { reporter_.ShowRunState(true, false); }

void Converter::SetButtonsStop() { reporter_.ShowRunState(false, BackAvailable); }

void Converter::UpdateFileView() { reporter_.ShowAttachments(Attachments); }

bool Converter::AutoCodeDetect() {
  run_ = Options;
  return DetectSource();
}

bool Converter::DetectSource() {
  DetectionState& state = Detection;
  state.DetectedUtf8 = false;
  state.Layer = OuterLayer{};
  state.SampleWords = Sample{};
  state.DetectionDone = true;
  state.Found = false;
  state.ReadsAsItStands = false;
  state.Language = TextLanguage::Russian;
  WordReader reader(TextBuffer);
  state.SampleWords = TakeSample(reader);
  const int count = state.SampleWords.Count;
  state.BestScore = 0;
  state.BestChain = Chain{};

  SearchOptions options;
  options.Utf8Step = run_.Switches.Utf8;
  options.DetectionLimit = run_.DetectionLimit;
  options.MaxLevels = run_.MaxChainLevels;

  // Correct text is left as it is: a text that reads surely well as it
  // stands is never put through a chain, however many sample words a chain
  // explains. One that reads only fairly well may still be in a wrong code
  // page whose letters pass for words here and there (ўбс is всё in Dos read
  // as Windows-1251): only a way of one or two conversions that reads it
  // almost perfectly replaces it.
  bool standsInUtf8 = false;
  const Reading asItStands = ReadAsItStands(TextBuffer, options.Utf8Step, &standsInUtf8);
  // A Mac text reads well or fairly as Windows-1251 but for its capitals
  // and я (see mac_sibling.h).
  if (asItStands.Readable() && !standsInUtf8 && LooksLikeMac(CountMacMarks(TextBuffer))) {
    const Way mac{OuterLayer{}, Chain{kMacToWindowsPair}, false};
    const Reading reading = ReadThrough(TextBuffer, ChainReading(mac.Layer, mac.Pairs, mac.Utf8));
    if (reading.Sure() && reading.Percent() >= asItStands.Percent()) return AcceptWay(mac, reading);
  }
  if (asItStands.Sure()) return AcceptAsItStands(asItStands, standsInUtf8);
  const bool fair = asItStands.Readable();
  if (fair) options.MaxLevels = std::min(options.MaxLevels, kUsualSteps);
  bool broken = false;
  bool progressShown = false;
  if (count > 0) {
    DetectionObserver observer(*this);
    broken = SearchChains(state.SampleWords, options, observer).Broken;
    progressShown = true;
    // The search ends at the first chain above the limit. One that explains
    // the sample but turns the rest of the text into nonsense is no answer:
    // the search then goes on to a chain that explains more of the sample.
    if (!broken && !fair && options.DetectionLimit < 100 &&
        ReachesDetectionLimit(PercentOf(state.BestScore, count), run_.DetectionLimit) &&
        !ReplacesTextAsItStands(asItStands, ReadThrough(TextBuffer, DetectedConversion()),
                                ConversionSteps(state.Layer, state.BestChain, state.DetectedUtf8))) {
      SearchOptions further = options;
      further.DetectionLimit = 100;
      further.MustBeat = state.BestScore;
      broken = SearchChains(state.SampleWords, further, observer).Broken;
    }
    // A chain that leaves some sample words unread may be a step or two
    // short of the right one: a chain of one level more (of up to four
    // levels, a few thousandths of a second) that reads more of the sample
    // is then the answer.
    if (!broken && !fair && state.BestChain != Chain{} && state.BestScore < count) {
      SearchOptions further = options;
      further.DetectionLimit = 100;
      further.MustBeat = state.BestScore;
      further.MaxLevels = std::min(options.MaxLevels, std::max(ChainLength(state.BestChain) + 1, kSearchedFurther));
      broken = SearchChains(state.SampleWords, further, observer).Broken;
    }
    // One that reads the sample in capitals may be the case-turned sibling
    // of the right one (see case_sibling.h).
    if (!broken && !fair && !state.DetectedUtf8) TakeLowerCaseSibling(options.MaxLevels, observer);
  }
  // A UTF-8 text may hold a text read in a wrong code page: unless the
  // search recognised a full sample, it runs again through each outer layer
  // the text allows (none for a text that is not UTF-8).
  WrittenResult written;
  written.Percent = count > 0 ? PercentOf(state.BestScore, count) : 0;
  written.Score = state.BestScore;
  written.Utf8Alone = count > 0 && state.DetectedUtf8 && state.BestChain == Chain{};
  if (!broken && options.Utf8Step && (written.Percent < 100 || written.Score < kSampleSize)) {
    LayerDetectionObserver observer(*this);
    broken = SearchOuterLayers(TextBuffer, options, written, observer).Broken;
    progressShown |= observer.ProgressShown;
  }

  const int finalCount = state.SampleWords.Count;
  // A text without a word of Russian letters may still be one read as
  // Western European and saved as UTF-8 (Ïðèâåò): a short way may read it.
  if (finalCount == 0 && !fair && !broken && !UserBreak) {
    const WayReading shortWay = BestShortWay(asItStands, false);
    if (shortWay.Read.Words > 0) {
      AcceptWay(shortWay.Route, shortWay.Read);
      if (progressShown) Progress(0, 1, 0);
      WriteStatusInfo("");
      return true;
    }
  }
  if (finalCount == 0 && fair) {
    if (progressShown) Progress(0, 1, 0);
    return AcceptAsItStands(asItStands, standsInUtf8);
  }
  if (finalCount == 0) {
    if (progressShown) {
      if (!UserBreak) WriteStatusInfo("");
      Progress(0, 1, 0);
    }
    WriteDetectionInfo();
    if (broken) WriteStatusInfo(Tr("User break.", "Прервано."));
    return false;
  }
  const bool found = SettleByReading(
      asItStands, ReachesDetectionLimit(PercentOf(state.BestScore, finalCount), run_.DetectionLimit), fair);
  if (fair && !found) {
    AcceptAsItStands(asItStands, standsInUtf8);
    if (broken || UserBreak) WriteStatusInfo(Tr("User break.", "Прервано."));
    if (!UserBreak) WriteStatusInfo("");
    Progress(0, 1, 0);
    return true;
  }
  if (broken || UserBreak) {
    AutoConvert();
    WriteStatusInfo(Tr("User break.", "Прервано."));
  }
  state.Found = found;
  if (found) SetCodeTable(MakeCodeTable(state.BestChain, true, run_.Target), run_.Target);
  if (!UserBreak) WriteStatusInfo("");
  Progress(0, 1, 0);
  return found;
}

WayReading Converter::BestShortWay(const Reading& asItStands, bool fair) const {
  return kamvo::BestShortWay(TextBuffer, run_.Switches.Utf8, [&](const Way& way, const Reading& reading) {
    const bool replaces = fair ? way.Steps() <= kUsualSteps && OutreadsFairText(asItStands, reading)
                               : ReplacesTextAsItStands(asItStands, reading, way.Steps());
    return replaces && ReachesDetectionLimit(reading.Percent(), run_.DetectionLimit);
  });
}

bool Converter::AcceptWay(const Way& way, const Reading& reading) {
  DetectionState& state = Detection;
  state.BestChain = way.Pairs;
  state.Layer = way.Layer;
  state.DetectedUtf8 = way.Utf8;
  // A layer's words are those of the text the layer gives.
  if (!way.Layer.Empty()) state.SampleWords = TakeSampleThroughLayer(TextBuffer, way.Layer);
  state.BestScore = state.SampleWords.Count > 0 ? ScoreChain(state.SampleWords, way.Pairs, way.Utf8).Score : 0;
  state.BestPercent = reading.Percent();
  state.Language = reading.Language;
  state.Found = true;
  AutoConvert();
  SetCodeTable(MakeCodeTable(way.Pairs, true, run_.Target), run_.Target);
  return true;
}

bool Converter::SettleByReading(const Reading& asItStands, bool found, bool fair) {
  DetectionState& state = Detection;
  // A chain replaces the text only when the whole text reads clearly better
  // through it: a sample of a few words can be explained by a chain that
  // turns the rest of the text into nonsense.
  Reading searched;
  bool searchedReplaces = false;
  const bool converts = state.BestChain != Chain{} || !state.Layer.Empty() || state.DetectedUtf8;
  if (converts) {
    searched = ReadThrough(TextBuffer, DetectedConversion());
    const int steps = ConversionSteps(state.Layer, state.BestChain, state.DetectedUtf8);
    searchedReplaces = fair ? steps <= kUsualSteps && OutreadsFairText(asItStands, searched)
                            : ReplacesTextAsItStands(asItStands, searched, steps);
  }
  // One wrong code page, or one with UTF-8 around it, is by far the most
  // common damage: the short way that reads best (at the detection limit at
  // least) wins over a longer way that reads hardly better (a sample can
  // miss the right pair where signs and box drawing make up many of its
  // words, or explain a long chain that breaks the letters it leaves out).
  // A short way that reads in capitals a text the chain reads in lower case
  // is the chain's case-turned sibling (see case_sibling.h): it wins only
  // by reading better.
  const WayReading shortWay = BestShortWay(asItStands, fair);
  const bool caseTurned = shortWay.Read.MostlyCapitals() && !searched.MostlyCapitals();
  const bool shortWayReadsAsWell = caseTurned ? shortWay.Read.Percent() > searched.Percent()
                                              : shortWay.Read.Percent() + kShortWayMargin >= searched.Percent();
  if (shortWay.Read.Words > 0 && (!found || !searchedReplaces || shortWayReadsAsWell)) {
    const Way detected{state.Layer, state.BestChain, state.DetectedUtf8};
    if (!found || !(detected == shortWay.Route)) AcceptWay(shortWay.Route, shortWay.Read);
    return true;
  }
  // A result that reads well but stayed below the detection limit is shown
  // as the best found (the window's editor), not applied.
  if (searchedReplaces) {
    state.Language = searched.Language;
    return found;
  }
  if (converts) {
    state.BestChain = Chain{};
    state.Layer = OuterLayer{};
    state.DetectedUtf8 = false;
    state.BestScore = 0;
    state.BestPercent = asItStands.Percent();
    AutoConvert();
  }
  return false;
}

bool Converter::AcceptAsItStands(const Reading& reading, bool utf8) {
  DetectionState& state = Detection;
  state.ReadsAsItStands = true;
  state.Found = true;
  state.BestChain = Chain{};
  state.Layer = OuterLayer{};
  state.DetectedUtf8 = utf8;
  state.BestScore = state.SampleWords.Count > 0 ? ScoreChain(state.SampleWords, Chain{}, utf8).Score : 0;
  state.BestPercent = reading.Percent();
  state.Language = reading.Language;
  AutoConvert();
  SetCodeTable(MakeCodeTable(Chain{}, true, run_.Target), run_.Target);
  return true;
}

void Converter::TakeLowerCaseSibling(int maxLevels, SearchObserver& observer) {
  DetectionState& state = Detection;
  const Reading found = ReadThrough(TextBuffer, DetectedConversion());
  Reading best = found;
  Chain bestChain{};
  for (const Chain& sibling : CaseSiblings(state.SampleWords, state.BestChain, state.BestScore, maxLevels)) {
    const Reading reading = ReadThrough(TextBuffer, ChainReading(OuterLayer{}, sibling, false));
    if (reading.Good > best.Good || (reading.Good == best.Good && reading.Glued < best.Glued)) {
      best = reading;
      bestChain = sibling;
    }
  }
  if (bestChain == Chain{}) return;
  const int score = ScoreChain(state.SampleWords, bestChain, false).Score;
  observer.Improved(bestChain, score, PercentOf(score, state.SampleWords.Count), false);
}

ReadingConversion Converter::DetectedConversion() const {
  return ChainReading(Detection.Layer, Detection.BestChain, Detection.DetectedUtf8);
}

void Converter::AutoConvert() {
  WriteDetectionInfo();
  SetCodeTable(MakeCodeTable(Detection.BestChain, true, run_.Target), kWindows);
  ConvBuffer();
}

void Converter::UpdateProgressBar(const Chain& chain) {
  const int n = ChainLength(chain);
  if (n != Detection.LastLevel) {
    const std::string level = std::to_string(n);
    WriteStatusInfo(English() ? "Checking " + level + "-x coding..."
                              : WinFromUtf8("Проверка " + level + " - кратных перекодировок..."));
    Detection.LastLevel = n;
    Pump();
  }
  int position = (chain[n - 1] - 1) * 12;
  if (n > 1) position += chain[n - 2];
  if (position != Detection.LastPosition) {
    Progress(1, 144, position);
    Detection.LastPosition = position;
  }
}

void Converter::WriteDetectionInfo() {
  WriteMimeInfo();
  // A code page the user chose is named with the target it goes to; one
  // chosen as its own target adds nothing to the decoders' lines.
  if (run_.Source != 0) {
    if (run_.Source != WrittenCode()) AddInfo("    " + ConversionReport(run_.Source, WrittenCode(), English()));
    return;
  }
  for (const std::string& line : DetectionReport(Detection, WrittenCode(), English())) AddInfo(line);
}

}  // namespace kamvo
