// Small helpers for the benchmark programs: a clock and a report line.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace kamvo::bench {

// Runs fn once and gives the seconds it took.
template <typename Fn>
double Seconds(Fn&& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Prints "what: 1.234 s (56.7 MB/s), target: ..." for a run over bytes.
inline void Report(const std::string& what, double seconds, double bytes, const std::string& target) {
  std::printf("%-48s %8.3f s  %8.1f MB/s   target: %s\n", what.c_str(), seconds, bytes / seconds / 1e6, target.c_str());
}

}  // namespace kamvo::bench
