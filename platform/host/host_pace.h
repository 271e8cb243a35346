// The pace of the screen hosts' loops: how often they present at most, and how long a loop
// sleeps until the next thing it has to do.
#pragma once

#include <algorithm>
#include <chrono>

constexpr auto kFramePeriod = std::chrono::microseconds(1000000 / 60);  // at most 60 presents a second

// The milliseconds a wait lasts to wake at `wakeAt`: rounded up, never below 0; -1 (no time
// limit) for time_point::max(), when there is nothing to wake for.
inline int WaitMsUntil(std::chrono::steady_clock::time_point wakeAt) {
  if (wakeAt == std::chrono::steady_clock::time_point::max()) return -1;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, wait.count()));
}
