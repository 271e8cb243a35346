// Waiting for a condition from outside (a screen, a child program's output) and counting a
// text in what was seen: what the screen tests and the two-process tests share.
#pragma once

#include <chrono>
#include <string>
#include <thread>

// Waits (bounded, in host time) until done() holds, looking every pollMs; whether it did.
// The answer is that of the look that saw it: a second look may catch a screen mid-write.
template <typename Condition>
bool Await(Condition done, int timeoutMs = 60000, int pollMs = 1) {
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
}

// How many times a text (a debug trace, say) holds `what`.
inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}
