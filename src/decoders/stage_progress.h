// What a decoding stage tells the one who runs it, and how it learns that it
// is to stop. Every decoder takes one of these; the driver implements it over
// the window (status line, progress bar, events, the Stop button), tests and
// tools over whatever they watch.
#pragma once

#include <string>
#include <string_view>

namespace kamvo {

class StageProgress {
 public:
  virtual ~StageProgress() = default;
  // Writes the status line (Windows-1251); an empty text clears it.
  virtual void Status(std::string_view text) = 0;
  // Moves the progress bar to position within min..max and lets pending
  // events run.
  virtual void Progress(int min, int max, int position) = 0;
  // Lets pending events run (repaint, the Stop button).
  virtual void Pump() = 0;
  // True when the work is to stop (the user broke it off). Cheap: asked
  // between units of work.
  virtual bool StopRequested() = 0;
  // The language of the texts a stage writes: English or Russian.
  virtual bool English() const = 0;

  std::string Tr(std::string_view english, std::string_view russianUtf8) const;
};

// The English text, or the Russian one (given in UTF-8) in Windows-1251.
std::string InLanguage(bool english, std::string_view englishText, std::string_view russianUtf8);

// Reports to nobody and never stops: for work run outside a conversion.
class NoStageProgress final : public StageProgress {
 public:
  void Status(std::string_view) override {}
  void Progress(int, int, int) override {}
  void Pump() override {}
  bool StopRequested() override { return false; }
  bool English() const override { return true; }
};

// A NoStageProgress shared by every caller that has nothing to report to.
StageProgress& NoProgress();

}  // namespace kamvo
