// Watches an effect on the frame buffer: which step cleared each pixel, how many 1 ms sleeps
// followed each step, and the device clock at each step.
#pragma once

#include <functional>
#include <vector>

#include "slideshow/effects.h"

constexpr int kW = 800;
constexpr int kH = 480;

class EffectRecorder : public EffectWatcher {
 public:
  // Fills the visible frame with a picture no effect writes, and the memory after it with a
  // guard pattern.
  EffectRecorder();

  void StepDrawn(int step) override;
  void Slept() override { ++m_sleeps; }

  // Call after the effect has returned.
  void Finish();

  // The step that cleared (x, y), -1 when none did.
  int StepOf(int x, int y) const { return m_stepOf[static_cast<size_t>(y) * kW + x]; }
  int Steps() const { return static_cast<int>(m_ticks.size()); }
  // The sleeps that followed each step.
  const std::vector<int>& SleepsAfter() const { return m_sleepsAfter; }
  // GetTickCount when each step had been drawn.
  const std::vector<DWORD>& Ticks() const { return m_ticks; }
  // Pixels cleared in two steps, or cleared again after the frame said so.
  int ClearedTwice() const { return m_clearedTwice; }
  // True when the memory after the visible frame is as it was.
  bool GuardIntact() const;

  // Runs after each step has been recorded (to change the shown size, raise the flag...).
  std::function<void(int step)> onStep;

 private:
  std::vector<int> m_stepOf;
  std::vector<int> m_sleepsAfter;
  std::vector<DWORD> m_ticks;
  int m_sleeps = 0;
  int m_clearedTwice = 0;
};
