// A plain transcription of the chain search, kept as the oracle that the
// fast search is compared with: eight nested loops, every word converted
// pair by pair.
#pragma once

#include <vector>

#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "recognition/detection.h"
#include "recognition/russian_word.h"

namespace kamvo::testing {

struct LiteralSearchResult {
  Chain Best{};
  int BestScore = 0;
  bool Utf8 = false;
  int BestPercent = -1;  // -1 while no chain improved
  std::vector<Chain> Improvements;
};

inline LiteralSearchResult LiteralSearch(const Sample& sample, bool utf8Step, int limit, int maxLevels) {
  LiteralSearchResult r;
  int c[9] = {};
  bool done = false;
  auto visit = [&] {
    int score = 0, utfScore = 0;
    for (int i = 0; i < sample.Count; ++i) {
      std::string w = sample.Words[i];
      for (int level = 1; level <= 8; ++level) w = ConvertByPair(w, c[level]);
      if (IsRussianWord(w)) ++score;
      std::string decoded;
      if (utf8Step && Utf8ToWin(w, decoded) && IsRussianWord(decoded)) ++utfScore;
    }
    bool utf = false;
    if (utfScore > score) {
      score = utfScore;
      utf = true;
    }
    if (score > r.BestScore) {
      r.Utf8 = utf;
      r.BestScore = score;
      for (int level = 1; level <= 8; ++level) r.Best[level - 1] = static_cast<std::uint8_t>(c[level]);
      r.BestPercent = (r.BestScore * 100 + sample.Count / 2) / sample.Count;
      r.Improvements.push_back(r.Best);
      if (r.BestPercent > limit) done = true;
    }
  };
  auto top = [&](int level) { return level <= maxLevels ? 12 : 0; };
  for (c[8] = 0; c[8] <= top(8) && !done; ++c[8])
    for (c[7] = c[8] ? 1 : 0; c[7] <= top(7) && !done; ++c[7])
      for (c[6] = c[7] ? 1 : 0; c[6] <= top(6) && !done; ++c[6])
        for (c[5] = c[6] ? 1 : 0; c[5] <= top(5) && !done; ++c[5])
          for (c[4] = c[5] ? 1 : 0; c[4] <= top(4) && !done; ++c[4])
            for (c[3] = c[4] ? 1 : 0; c[3] <= top(3) && !done; ++c[3])
              for (c[2] = c[3] ? 1 : 0; c[2] <= top(2) && !done; ++c[2])
                for (c[1] = c[2] ? 1 : 0; c[1] <= top(1) && !done; ++c[1]) visit();
  return r;
}

}  // namespace kamvo::testing
