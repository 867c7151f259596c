// A plain transcription of the chain search, kept as the oracle that the
// fast search is compared with: eight nested loops, every word converted
// pair by pair.
#pragma once

#include <vector>

#include "codepages/code_page_unicode.h"
#include "codepages/code_tables.h"
#include "codepages/unicode.h"
#include "recognition/detection.h"
#include "recognition/outer_layer.h"
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

// A plain transcription of the search through outer UTF-8 layers: each
// layer text converted whole, character by character with the code pages'
// published tables scanned byte by byte, sampled and searched with the
// literal search; the results compared as the layers' rules say.

// The line as UTF-8 characters (empty with ok false when it is not valid
// UTF-8 of one- to three-byte shortest forms).
inline std::vector<std::uint32_t> LiteralUtf8Chars(const std::string& line, bool textStart, bool& ok) {
  std::vector<std::uint32_t> chars;
  std::size_t i = textStart && line.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  ok = true;
  while (i < line.size()) {
    const unsigned b0 = static_cast<unsigned char>(line[i]);
    auto cont = [&](std::size_t k) {
      return i + k < line.size() && (static_cast<unsigned char>(line[i + k]) & 0xC0) == 0x80;
    };
    auto low = [&](std::size_t k) { return static_cast<unsigned char>(line[i + k]) & 0x3Fu; };
    std::uint32_t c;
    if (b0 < 0x80) {
      c = b0;
      i += 1;
    } else if (b0 >= 0xC0 && b0 < 0xE0 && cont(1)) {
      c = (b0 & 0x1F) * 64 + low(1);
      if (c < 0x80) ok = false;
      i += 2;
    } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
      c = (b0 & 0x0F) * 4096 + low(1) * 64 + low(2);
      if (c < 0x800 || (c >= 0xD800 && c < 0xE000)) ok = false;
      i += 3;
    } else {
      ok = false;
      break;
    }
    chars.push_back(c);
  }
  return chars;
}

// The text taken out of UTF-8 into the code page; false when some line is not
// UTF-8 or some character has no byte there.
inline bool LiteralOutOfUtf8(const Lines& text, int code, Lines& out) {
  out.clear();
  for (std::size_t l = 0; l < text.size(); ++l) {
    bool ok = false;
    std::string line;
    for (std::uint32_t c : LiteralUtf8Chars(text[l], l == 0, ok)) {
      int found = -1;
      for (int b = 0; b < 256 && found < 0; ++b)
        if (CodePageToUnicode(code, static_cast<Byte>(b)) == c) found = b;
      if (found < 0) return false;
      line.push_back(static_cast<char>(found));
    }
    if (!ok) return false;
    out.push_back(line);
  }
  return true;
}

inline bool LiteralHasMultibyte(const Lines& text) {
  for (const auto& line : text)
    for (char ch : line)
      if (static_cast<unsigned char>(ch) >= 0x80) return true;
  return false;
}

struct LiteralLayerResult {
  bool Found = false;
  OuterLayer Layer;
  LiteralSearchResult Search;
  int Percent = 0;
};

inline LiteralLayerResult LiteralLayerSearch(const Lines& text, bool utf8Step, int limit, int maxLevels,
                                             const WrittenResult& written) {
  LiteralLayerResult best;
  int bestPercent = written.Percent, bestScore = written.Score, bestSteps = 0;
  auto consider = [&](const OuterLayer& layer, const Lines& layerText) {
    const Text readText = Text::FromLines(layerText);
    WordReader reader(readText);
    const Sample sample = TakeSample(reader);
    if (sample.Count == 0) return;
    const LiteralSearchResult r = LiteralSearch(sample, utf8Step, limit, maxLevels);
    if (r.BestPercent < 0) return;
    int steps = layer.Size() + (r.Utf8 ? 1 : 0);
    for (auto pair : r.Best) steps += pair != 0;
    // At the limit, the result explaining more words wins; otherwise the
    // higher percentage, then more words, then fewer conversions.
    bool better = false;
    if (r.BestPercent >= limit && r.BestScore > bestScore)
      better = true;
    else if (bestPercent >= limit && bestScore > r.BestScore)
      better = false;
    else
      better = r.BestPercent > bestPercent ||
               (r.BestPercent == bestPercent && bestPercent > 0 &&
                (r.BestScore > bestScore || (best.Found && r.BestScore == bestScore && steps < bestSteps)));
    if (!better) return;
    // The same conversion as the written result's UTF-8 step alone.
    if (!best.Found && written.Utf8Alone && layer == OuterLayer{{1, 0}} && !r.Utf8 && r.Best == Chain{}) {
      bestPercent = r.BestPercent;
      bestScore = r.BestScore;
      return;
    }
    best = {true, layer, r, r.BestPercent};
    bestPercent = r.BestPercent;
    bestScore = r.BestScore;
    bestSteps = steps;
  };
  if (!LiteralHasMultibyte(text)) return best;
  for (int x = 1; x <= 4; ++x) {
    Lines once;
    if (LiteralOutOfUtf8(text, x, once)) consider(OuterLayer{{static_cast<std::uint8_t>(x), 0}}, once);
  }
  for (int x = 1; x <= 4; ++x) {
    Lines once, twice;
    if (!LiteralOutOfUtf8(text, x, once) || !LiteralHasMultibyte(once)) continue;
    for (int y = 1; y <= 4; ++y)
      if (LiteralOutOfUtf8(once, y, twice))
        consider(OuterLayer{{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)}}, twice);
  }
  return best;
}

}  // namespace kamvo::testing
