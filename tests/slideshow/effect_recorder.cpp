#include "tests/slideshow/effect_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr WORD kPicture = 0xFFFF;   // not yet cleared
constexpr WORD kRecorded = 0x0001;  // cleared, and seen to be
constexpr WORD kGuard = 0xA55A;
constexpr size_t kPixels = static_cast<size_t>(kW) * kH;

WORD* Frame() { return GetVisibleFrame(); }
WORD* AfterFrame() { return GetVisibleFrame() + kPixels; }
constexpr size_t kAfterPixels = kFrameMemoryBytes / sizeof(WORD) - kPixels;

}  // namespace

EffectRecorder::EffectRecorder() : m_stepOf(kPixels, -1) {
  std::fill_n(Frame(), kPixels, kPicture);
  std::fill_n(AfterFrame(), kAfterPixels, kGuard);
}

void EffectRecorder::StepDrawn(int step) {
  EXPECT_EQ(step, Steps()) << "steps are numbered from 0";
  if (!m_ticks.empty()) m_sleepsAfter.push_back(m_sleeps);
  m_sleeps = 0;
  m_ticks.push_back(GetTickCount());

  // Four pixels at a time: a word without a zero pixel holds nothing new.
  const WORD* frame = Frame();
  for (size_t i = 0; i < kPixels; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, frame + i, sizeof word);
    if (((word - 0x0001000100010001ull) & ~word & 0x8000800080008000ull) == 0) continue;
    for (size_t p = i; p < i + 4; ++p) {
      if (frame[p] != 0) continue;
      if (m_stepOf[p] != -1) ++m_clearedTwice;
      m_stepOf[p] = step;
      Frame()[p] = kRecorded;
    }
  }
  if (onStep) onStep(step);
}

void EffectRecorder::Finish() {
  if (!m_ticks.empty()) m_sleepsAfter.push_back(m_sleeps);
  m_sleeps = 0;
}

bool EffectRecorder::GuardIntact() const {
  const WORD* after = AfterFrame();
  return std::all_of(after, after + kAfterPixels, [](WORD w) { return w == kGuard; });
}
