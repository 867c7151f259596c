// A StageProgress for tests: records the bar's moves and asks a stage to
// stop from the n-th time it asks on (never, for n = 0).
#pragma once

#include <vector>

#include "decoders/stage_progress.h"

namespace kamvo::testing {

struct BarMove {
  int Min, Max, Position;
  bool operator==(const BarMove&) const = default;
};

class RecordingProgress : public StageProgress {
 public:
  explicit RecordingProgress(int stopAt = 0) : stopAt_(stopAt) {}

  void Status(std::string_view) override {}
  void Progress(int min, int max, int position) override { Moves.push_back({min, max, position}); }
  void Pump() override {}
  // Once asked to stop, the stage stays asked, as after a user break.
  bool StopRequested() override {
    ++Asked;
    return stopAt_ > 0 && Asked >= stopAt_;
  }
  bool English() const override { return true; }

  std::vector<BarMove> Moves;
  int Asked = 0;

 private:
  int stopAt_;
};

}  // namespace kamvo::testing
