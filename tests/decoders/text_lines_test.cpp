#include "decoders/text_lines.h"

#include <gtest/gtest.h>

#include <random>

#include "codepages/byte_scan.h"
#include "support/mixed_breaks.h"

namespace kamvo {
namespace {

// Random lines of a few bytes, some holding breaks of their own.
Lines RandomLines(std::mt19937& random, bool breaksInside) {
  static const std::string pieces[] = {"a", "bc", "", "x y", "\r", "\n", "\r\n"};
  Lines lines(1 + random() % 12);
  for (auto& line : lines)
    for (int n = random() % 4; n > 0; --n) line += pieces[random() % (breaksInside ? 7 : 4)];
  return lines;
}

TEST(TextLines, EveryLineHoldingAPositionIsJudgedOnceAndWhole) {
  // The lines a search through the whole block points at are those a walk
  // over every line finds, whatever breaks end the lines or lie inside them.
  std::mt19937 random(12);
  for (int round = 0; round < 500; ++round) {
    const Text text = testing::MixedBreaks(RandomLines(random, round % 2 == 0));
    const auto find = [](std::string_view bytes, std::size_t from) { return FindAnyByte(bytes, "xc", from); };
    Lines judged;
    EveryTextLineHolding(text, find, [&](std::string_view line) {
      judged.emplace_back(line);
      return true;
    });
    Lines holding;
    for (std::string_view line : text)
      if (line.find_first_of("xc") != std::string_view::npos) holding.emplace_back(line);
    ASSERT_EQ(judged, holding) << round;
    for (std::size_t i = 0; i < text.size(); ++i)
      for (std::size_t at = text.Begin(i); at < text.ContentEnd(i); ++at)
        ASSERT_EQ(LineAt(text, at, random() % (i + 1)), i);
  }
}

}  // namespace
}  // namespace kamvo
