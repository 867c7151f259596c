#include "recognition/case_sibling.h"

#include <algorithm>

#include "recognition/chain_scoring.h"

namespace kamvo {
namespace {

// The most levels the siblings are looked for in: 12 * 11^3 chains, a few
// tens of milliseconds.
constexpr int kMostSiblingLevels = 4;

bool IsUpperLetter(Byte b) { return b == 0xA8 || (b >= 0xC0 && b <= 0xDF); }
bool IsLowerLetter(Byte b) { return b == 0xB8 || b >= 0xE0; }

struct CaseCount {
  int Capitals = 0;   // words of two letters or more in capitals only
  int LowerCase = 0;  // words holding a lower-case letter
};

CaseCount CountCase(const Sample& sample, const CodeTable& table) {
  CaseCount count;
  for (int i = 0; i < sample.Count; ++i) {
    int upper = 0, lower = 0;
    for (char c : sample.Words[i]) {
      const Byte b = table[static_cast<Byte>(c)];
      upper += IsUpperLetter(b) ? 1 : 0;
      lower += IsLowerLetter(b) ? 1 : 0;
    }
    if (lower > 0)
      ++count.LowerCase;
    else if (upper >= 2)
      ++count.Capitals;
  }
  return count;
}

// Calls visit for every chain of exactly `levels` levels whose adjacent
// levels do not merge.
template <typename Visit>
void ForEachChain(Chain& chain, int level, int levels, Visit& visit) {
  if (level == levels) {
    visit(chain);
    return;
  }
  for (int pair = 1; pair < kPairCount; ++pair) {
    if (level > 0 && Merges(chain[level - 1], pair)) continue;
    chain[level] = static_cast<std::uint8_t>(pair);
    ForEachChain(chain, level + 1, levels, visit);
  }
  chain[level] = 0;
}

}  // namespace

bool ReadsSampleInCapitals(const Sample& sample, const Chain& chain) {
  const CaseCount count = CountCase(sample, MakeCodeTable(chain, true, kWindows));
  return count.Capitals >= 3 && count.LowerCase * 5 < count.Capitals;
}

std::vector<Chain> CaseSiblings(const Sample& sample, const Chain& found, int score, int maxLevels) {
  std::vector<Chain> siblings;
  if (!ReadsSampleInCapitals(sample, found)) return siblings;
  const int levels = std::min(maxLevels, kMostSiblingLevels);
  auto visit = [&](const Chain& chain) {
    if (chain == found) return;
    const CodeTable table = MakeCodeTable(chain, true, kWindows);
    const CaseCount count = CountCase(sample, table);
    if (count.LowerCase <= count.Capitals) return;
    if (ScoreThroughTable(sample, table, false).Score >= score) siblings.push_back(chain);
  };
  for (int length = 1; length <= levels; ++length) {
    Chain chain{};
    ForEachChain(chain, 0, length, visit);
  }
  return siblings;
}

}  // namespace kamvo
