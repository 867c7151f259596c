// Stage tables for tests: stages whose work a test writes itself.
#pragma once

#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/stages.h"

namespace kamvo::testing {

using StageBody = std::function<void(StageContext&)>;

// The standard table with the named stages' work replaced by the bodies
// given and every other stage left out: each kept stage keeps its place in
// the run and its switch, and has no quick check.
inline StageTable StagesDoing(const std::vector<std::pair<std::string_view, StageBody>>& bodies) {
  StageTable table;
  for (const Stage& stage : StandardStages()) {
    for (const auto& [name, body] : bodies) {
      if (name != stage.Name) continue;
      table.push_back(Stage{stage.Name,
                            stage.Enabled,
                            {},
                            [body](StageContext& context) {
                              body(context);
                              return true;
                            },
                            {},
                            {},
                            {}});
    }
  }
  return table;
}

}  // namespace kamvo::testing
