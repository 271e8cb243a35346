#include "slideshow/effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr int kW = 800, kH = 480;
constexpr size_t kPixels = kW * kH;
constexpr WORD kPicture = 0xFFFF, kSeen = 0x0001, kGuard = 0xA55A;

// Watches an effect on the frame buffer: the step that cleared each pixel (a pixel cleared
// again counts as twice), the sleeps after each step, and the device clock at each step.
struct Recorder : EffectWatcher {
  std::vector<int> stepOf = std::vector<int>(kPixels, -1);
  std::vector<int> sleeps;  // after each step
  std::vector<DWORD> ticks;
  int twice = 0;
  std::function<void(int)> onStep;

  Recorder() {
    std::fill_n(GetVisibleFrame(), kPixels, kPicture);
    std::fill(GetVisibleFrame() + kPixels, GetVisibleFrame() + kFrameMemoryBytes / 2, kGuard);
  }
  void StepDrawn(int step) override {
    EXPECT_EQ(step, static_cast<int>(ticks.size()));
    ticks.push_back(GetTickCount());
    sleeps.push_back(0);
    WORD* frame = GetVisibleFrame();
    for (size_t i = 0; i < kPixels; i += 4) {
      std::uint64_t w;  // four pixels: skipped unless one of them is 0
      std::memcpy(&w, frame + i, 8);
      if (((w - 0x0001000100010001ull) & ~w & 0x8000800080008000ull) == 0) continue;
      for (size_t p = i; p < i + 4; ++p)
        if (frame[p] == 0) {
          twice += stepOf[p] != -1;
          stepOf[p] = step;
          frame[p] = kSeen;
        }
    }
    if (onStep) onStep(step);
  }
  void Slept() override { ++sleeps.back(); }
  int At(int x, int y) const { return stepOf[static_cast<size_t>(y) * kW + x]; }
  int Steps() const { return static_cast<int>(ticks.size()); }
};

// The device clock runs fast: waits are counted in sleeps and device milliseconds.
class EffectTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClockSpeed(1000.0); }
  void TearDown() override { SetClockSpeed(1.0); }
  int Run(int effect, Recorder& recorder, int w = kW, int h = kH) {
    m_shown.width = w;
    m_shown.height = h;
    return RunEffect(effect, EffectTarget{GetVisibleFrame(), &m_shown, &m_stop, &recorder});
  }
  ShownSize m_shown;
  StopFlag m_stop{0};
};

// The step in which effect k clears pixel (x, y) under a picture shown w x h, worked out
// backwards from the pixel; -1 for a pixel it leaves.
int ExpectedStep(int k, int x, int y, int w, int h) {
  w = std::clamp(w, 0, kW), h = std::clamp(h, 0, kH);
  const int x0 = (kW - w) / 2;
  switch (k) {
    case 0: return y / 4;
    case 1: return (479 - y) / 4;
    case 2: return y < h && x >= x0 && (x - x0) / 2 < (kW - 2 * x0 + 1) / 2 ? (x - x0) / 2 : -1;
    case 3: return y < h && x <= 799 - x0 && 798 - x0 - 2 * ((799 - x0 - x) / 2) >= x0 ? (799 - x0 - x) / 2 : -1;
    case 4: return (x % 40) / 4;
    case 5: return y % 24;
    case 6: return y <= 239 ? 239 - y : y - 240;
    case 7: return (x <= 399 ? 399 - x : x - 400) < w / 2 ? (x <= 399 ? 399 - x : x - 400) : -1;
    case 8: return x < 400 ? x : 799 - x;
    case 9: return y < 240 ? y : 479 - y;
    case 12: return y % 8 < 4 ? x : 799 - x;
  }
  return -1;
}

struct Case {
  int effect, w, h, steps;
};
class EffectPattern : public EffectTest, public ::testing::WithParamInterface<Case> {};

// Every pixel is cleared once, in the step the pattern gives; each step is followed by n + 1
// sleeps of 1 ms (n from the table), which the device clock shows too.
TEST_P(EffectPattern, ClearsEachPixelInItsStepAndWaitsAfterEachStep) {
  const auto [effect, w, h, steps] = GetParam();
  Recorder r;
  EXPECT_EQ(Run(effect, r, w, h), 0);
  ASSERT_EQ(r.Steps(), steps);
  EXPECT_EQ(r.twice, 0);
  // Nothing written past the frame.
  EXPECT_EQ(std::count(GetVisibleFrame() + kPixels, GetVisibleFrame() + kFrameMemoryBytes / 2, kGuard),
            static_cast<long>(kFrameMemoryBytes / 2 - kPixels));
  int wrong = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (r.At(x, y) != ExpectedStep(effect, x, y, w, h) && ++wrong < 5)
        ADD_FAILURE() << "(" << x << ", " << y << ") in step " << r.At(x, y) << ", not " << ExpectedStep(effect, x, y, w, h);
  const int wait = EffectWaitCount(effect);
  EXPECT_EQ(r.sleeps, std::vector<int>(static_cast<size_t>(steps), wait + 1));
  for (size_t i = 1; i < r.ticks.size(); ++i) ASSERT_GE(r.ticks[i] - r.ticks[i - 1], static_cast<DWORD>(wait + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Effects, EffectPattern,
    ::testing::Values(Case{0, 800, 480, 120}, Case{1, 800, 480, 120}, Case{2, 800, 480, 400}, Case{3, 800, 480, 400},
                      Case{4, 800, 480, 10}, Case{5, 800, 480, 24}, Case{6, 800, 480, 240}, Case{7, 800, 480, 400},
                      Case{8, 800, 480, 400}, Case{9, 800, 480, 240}, Case{12, 800, 480, 800},
                      // Narrow and low pictures: margins left, rows cleared from the top.
                      Case{2, 640, 480, 320}, Case{3, 640, 480, 320}, Case{7, 640, 480, 320},
                      Case{2, 641, 300, 321}, Case{3, 641, 300, 321}, Case{7, 641, 300, 320},
                      Case{3, 1, 480, 1}, Case{2, 0, 0, 0}, Case{7, 1, 480, 0},
                      // A fitted size a few pixels past the screen stays on it.
                      Case{2, 804, 483, 400}, Case{3, 804, 483, 400}, Case{7, 805, 480, 400}),
    [](const auto& info) {
      const Case& c = info.param;
      return "Effect" + std::to_string(c.effect) + "_" + std::to_string(c.w) + "x" + std::to_string(c.h);
    });

// Each row (10) or column (11) is cleared whole in a step of its own, every one of them, in
// an order that differs from one run to the next.
TEST_F(EffectTest, RandomRowsAndColumnsClearEachLineOnceInANewOrderEachRun) {
  for (int effect : {10, 11}) {
    const int lines = effect == 10 ? kH : kW, along = effect == 10 ? kW : kH;
    std::vector<int> orders[2];
    for (std::vector<int>& lineOfStep : orders) {
      Recorder r;
      EXPECT_EQ(Run(effect, r), 0);
      ASSERT_EQ(r.Steps(), lines);
      EXPECT_EQ(r.sleeps, std::vector<int>(static_cast<size_t>(lines), effect == 10 ? 11 : 6));
      lineOfStep.assign(static_cast<size_t>(lines), -1);
      for (int line = 0; line < lines; ++line) {
        const int step = effect == 10 ? r.At(0, line) : r.At(line, 0);
        ASSERT_GE(step, 0);
        for (int i = 0; i < along; ++i) ASSERT_EQ(effect == 10 ? r.At(i, line) : r.At(line, i), step);
        ASSERT_EQ(lineOfStep[static_cast<size_t>(step)], -1) << "two lines in step " << step;
        lineOfStep[static_cast<size_t>(step)] = line;
      }
    }
    EXPECT_NE(orders[0], orders[1]) << "effect " << effect;
  }
}

// Raised before the start, the flag lets each effect draw its first step and sleep once.
TEST_F(EffectTest, ARaisedStopFlagEndsEveryEffectAfterTheStepItWasRaisedIn) {
  m_stop = 1;
  for (int effect = 0; effect < kEffectCount; ++effect) {
    Recorder r;
    EXPECT_EQ(Run(effect, r), -1);
    EXPECT_EQ(r.sleeps, std::vector<int>{1}) << "effect " << effect;
    EXPECT_GT(std::count(r.stepOf.begin(), r.stepOf.end(), 0), 0);
    for (int y = 0; effect != 10 && effect != 11 && y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(r.At(x, y) == 0, ExpectedStep(effect, x, y, kW, kH) == 0);
  }
  Recorder r;  // no sleep at all for a negative count, so no look at the flag
  EXPECT_EQ(EffectStepWait(-1, EffectTarget{GetVisibleFrame(), &m_shown, &m_stop, &r}), 0);

  // Raised by another thread (the window thread) during a step, it ends the effect after the
  // sleep that follows.
  m_stop = 0;
  Recorder raised;
  raised.onStep = [&](int step) {
    if (step == 100) std::thread([&] { m_stop = 1; }).join();
  };
  EXPECT_EQ(Run(12, raised), -1);
  EXPECT_EQ(raised.Steps(), 101);
  EXPECT_EQ(raised.sleeps.back(), 1);
}

// Effects 2 and 3 take the height again at every step, effect 7 the width.
TEST_F(EffectTest, TheShownSizeIsReadAgainAtEveryStep) {
  for (int effect : {2, 3}) {
    Recorder r;
    r.onStep = [&](int step) { m_shown.height = step == 9 ? 200 : m_shown.height.load(); };
    EXPECT_EQ(Run(effect, r), 0);
    const int x10 = effect == 2 ? 20 : 778;  // a column of step 10
    EXPECT_EQ(r.At(x10, 199), 10);
    EXPECT_EQ(r.At(x10, 200), -1);
    EXPECT_EQ(r.At(effect == 2 ? 0 : 799, 479), 0);
  }
  Recorder r;
  r.onStep = [&](int step) { m_shown.width = step == 9 ? 40 : m_shown.width.load(); };
  EXPECT_EQ(Run(7, r), 0);
  EXPECT_EQ(r.Steps(), 20);
  EXPECT_EQ(r.At(419, 0), 19);
}

}  // namespace
