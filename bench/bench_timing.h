// Timing helpers shared by the benchmarks: wall-clock milliseconds and medians of runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// The middle value; the mean of the two middle ones for an even count; 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <typename F>
double TimeMs(F&& run) {
  const Clock::time_point start = Clock::now();
  run();
  return MsSince(start);
}

// The median time of `reps` runs.
template <typename F>
double MedianMs(int reps, F&& run) {
  std::vector<double> times;
  for (int i = 0; i < reps; ++i) times.push_back(TimeMs(run));
  return Median(times);
}

}  // namespace bench
