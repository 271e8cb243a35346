#include "slideshow/effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "tests/slideshow/effect_recorder.h"

namespace {

// Fast device time: the waits are counted in sleeps and in device milliseconds, never in
// host time.
class EffectTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClockSpeed(1000.0); }
  void TearDown() override { SetClockSpeed(1.0); }

  int Run(int effect, EffectRecorder& recorder, int shownW = kW, int shownH = kH) {
    m_shown.width = shownW;
    m_shown.height = shownH;
    EffectTarget target{GetVisibleFrame(), &m_shown, &m_stop, &recorder};
    int result = RunEffect(effect, target);
    recorder.Finish();
    return result;
  }

  ShownSize m_shown;
  StopFlag m_stop{0};
};

// The step in which effect k clears pixel (x, y) of a picture shown w x h, worked out from
// the pixel's place (the effects work forwards from the step); -1 for a pixel it leaves.
int ExpectedStep(int k, int x, int y, int w, int h) {
  w = std::clamp(w, 0, kW);
  h = std::clamp(h, 0, kH);
  const int x0 = (kW - w) / 2;
  switch (k) {
    case 0: return y / 4;
    case 1: return (479 - y) / 4;
    case 2: {
      if (y >= h || x < x0) return -1;
      const int steps = (kW - 2 * x0 + 1) / 2;  // x0, x0 + 2, ... below 800 - x0
      return (x - x0) / 2 < steps ? (x - x0) / 2 : -1;
    }
    case 3: {
      if (y >= h || x > 799 - x0) return -1;
      const int s = (799 - x0 - x) / 2;
      return 798 - x0 - 2 * s >= x0 ? s : -1;
    }
    case 4: return (x % 40) / 4;
    case 5: return y % 24;
    case 6: return y <= 239 ? 239 - y : y - 240;
    case 7: {
      const int s = x <= 399 ? 399 - x : x - 400;
      return s < w / 2 ? s : -1;
    }
    case 8: return x < 400 ? x : 799 - x;
    case 9: return y < 240 ? y : 479 - y;
    case 12: return y % 8 < 4 ? x : 799 - x;
  }
  return -1;
}

struct Case {
  int effect;
  int w, h;
  int steps;  // expected number of steps
};

class EffectPattern : public EffectTest, public ::testing::WithParamInterface<Case> {};

// Every pixel is cleared in the step the pattern gives, once; each step is followed by
// n + 1 sleeps of 1 ms, n being the effect's wait count, which the device clock shows too.
TEST_P(EffectPattern, ClearsEachPixelInItsStepAndWaitsAfterEachStep) {
  const Case c = GetParam();
  EffectRecorder recorder;
  EXPECT_EQ(Run(c.effect, recorder, c.w, c.h), 0);
  ASSERT_EQ(recorder.Steps(), c.steps);
  EXPECT_EQ(recorder.ClearedTwice(), 0);
  EXPECT_TRUE(recorder.GuardIntact());

  int wrong = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (recorder.StepOf(x, y) != ExpectedStep(c.effect, x, y, c.w, c.h) && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") cleared in step " << recorder.StepOf(x, y)
                      << ", expected " << ExpectedStep(c.effect, x, y, c.w, c.h);
  EXPECT_EQ(wrong, 0);

  const int wait = EffectWaitCount(c.effect);
  std::vector<int> expectedSleeps(static_cast<size_t>(c.steps), wait + 1);
  EXPECT_EQ(recorder.SleepsAfter(), expectedSleeps);
  // Each sleep moves the device clock on by at least a millisecond.
  for (size_t i = 1; i < recorder.Ticks().size(); ++i)
    ASSERT_GE(recorder.Ticks()[i] - recorder.Ticks()[i - 1], static_cast<DWORD>(wait + 1)) << "after step " << i - 1;
}

INSTANTIATE_TEST_SUITE_P(
    Effects, EffectPattern,
    ::testing::Values(Case{0, 800, 480, 120}, Case{1, 800, 480, 120}, Case{2, 800, 480, 400},
                      Case{3, 800, 480, 400}, Case{4, 800, 480, 10}, Case{5, 800, 480, 24},
                      Case{6, 800, 480, 240}, Case{7, 800, 480, 400}, Case{8, 800, 480, 400},
                      Case{9, 800, 480, 240}, Case{12, 800, 480, 800},
                      // Narrow pictures: the margins beside them stay.
                      Case{2, 640, 480, 320}, Case{3, 640, 480, 320}, Case{7, 640, 480, 320},
                      // Odd widths, and pictures lower than the screen (cleared from the top).
                      Case{2, 641, 300, 321}, Case{3, 641, 300, 321}, Case{7, 641, 300, 320},
                      Case{2, 1, 480, 1}, Case{3, 1, 480, 1},
                      // No picture: nothing to do.
                      Case{2, 0, 0, 0}, Case{3, 0, 480, 0}, Case{7, 1, 480, 0},
                      // A fitted size a few pixels past the screen stays on it.
                      Case{2, 804, 483, 400}, Case{3, 804, 483, 400}, Case{7, 805, 480, 400}),
    [](const auto& info) {
      return "Effect" + std::to_string(info.param.effect) + "_" + std::to_string(info.param.w) + "x" +
             std::to_string(info.param.h);
    });

// Each row (10) or column (11) is cleared whole, in a step of its own, all of them; the
// order differs from one run to the next.
TEST_F(EffectTest, RandomRowsAndColumnsClearEachLineOnceInANewOrderEachRun) {
  for (int effect : {10, 11}) {
    const int lines = effect == 10 ? kH : kW;
    std::vector<std::vector<int>> orders;
    for (int run = 0; run < 2; ++run) {
      EffectRecorder recorder;
      EXPECT_EQ(Run(effect, recorder), 0);
      ASSERT_EQ(recorder.Steps(), lines);
      EXPECT_EQ(recorder.ClearedTwice(), 0);
      EXPECT_EQ(recorder.SleepsAfter(), std::vector<int>(static_cast<size_t>(lines), effect == 10 ? 11 : 6));
      std::vector<int> lineOfStep(static_cast<size_t>(lines), -1);
      for (int line = 0; line < lines; ++line) {
        const int step = effect == 10 ? recorder.StepOf(0, line) : recorder.StepOf(line, 0);
        ASSERT_GE(step, 0) << "line " << line << " was not cleared";
        for (int along = 0; along < (effect == 10 ? kW : kH); ++along)
          ASSERT_EQ(effect == 10 ? recorder.StepOf(along, line) : recorder.StepOf(line, along), step);
        ASSERT_EQ(lineOfStep[static_cast<size_t>(step)], -1) << "two lines in step " << step;
        lineOfStep[static_cast<size_t>(step)] = line;
      }
      orders.push_back(lineOfStep);
    }
    EXPECT_NE(orders[0], orders[1]) << "effect " << effect;
  }
}

// A flag raised before the effect starts: the first step is drawn, one sleep, and -1.
TEST_F(EffectTest, ARaisedStopFlagEndsEveryEffectAfterItsFirstStep) {
  for (int effect = 0; effect < kEffectCount; ++effect) {
    SCOPED_TRACE("effect " + std::to_string(effect));
    m_stop = 1;
    EffectRecorder recorder;
    EXPECT_EQ(Run(effect, recorder), -1);
    EXPECT_EQ(recorder.Steps(), 1);
    EXPECT_EQ(recorder.SleepsAfter(), std::vector<int>{1});
    int cleared = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int step = recorder.StepOf(x, y);
        ASSERT_LE(step, 0);
        cleared += step == 0;
        if (effect != 10 && effect != 11) {
          ASSERT_EQ(step == 0, ExpectedStep(effect, x, y, kW, kH) == 0);
        }
      }
    EXPECT_GT(cleared, 0);
  }
}

// The window thread raises the flag while the picture thread runs an effect: the effect
// ends after the sleep that follows.
TEST_F(EffectTest, AFlagRaisedByAnotherThreadEndsTheEffectAtOnce) {
  std::mutex lock;
  std::condition_variable changed;
  bool stepSeen = false, raised = false;
  std::thread window([&] {
    std::unique_lock guard(lock);
    changed.wait(guard, [&] { return stepSeen; });
    m_stop = 1;
    raised = true;
    changed.notify_all();
  });
  EffectRecorder recorder;
  recorder.onStep = [&](int step) {
    if (step != 100) return;
    std::unique_lock guard(lock);
    stepSeen = true;
    changed.notify_all();
    changed.wait(guard, [&] { return raised; });
  };
  EXPECT_EQ(Run(12, recorder), -1);
  window.join();
  EXPECT_EQ(recorder.Steps(), 101);
  EXPECT_EQ(recorder.SleepsAfter().back(), 1);
}

// Effects 2 and 3 take the height again at every step, effect 7 the width.
TEST_F(EffectTest, TheShownSizeIsReadAgainAtEveryStep) {
  for (int effect : {2, 3}) {
    EffectRecorder recorder;
    recorder.onStep = [&](int step) {
      if (step == 9) m_shown.height = 200;
    };
    EXPECT_EQ(Run(effect, recorder), 0);
    EXPECT_EQ(recorder.Steps(), 400);
    const int firstColumn = effect == 2 ? 0 : 798;
    const int laterColumn = effect == 2 ? 20 : 778;  // step 10
    EXPECT_EQ(recorder.StepOf(firstColumn, 479), 0);
    EXPECT_EQ(recorder.StepOf(laterColumn, 199), 10);
    EXPECT_EQ(recorder.StepOf(laterColumn, 200), -1);
  }
  EffectRecorder recorder;
  recorder.onStep = [&](int step) {
    if (step == 9) m_shown.width = 40;  // 20 steps in all
  };
  EXPECT_EQ(Run(7, recorder), 0);
  EXPECT_EQ(recorder.Steps(), 20);
  EXPECT_EQ(recorder.StepOf(380, 0), 19);
  EXPECT_EQ(recorder.StepOf(379, 0), -1);
}

TEST_F(EffectTest, TheStepWaitSleepsCountPlusOneTimesAndStopsOnTheFlag) {
  struct Counter : EffectWatcher {
    void StepDrawn(int) override {}
    void Slept() override { ++sleeps; }
    int sleeps = 0;
  };
  for (int n : {-5, -1, 0, 3}) {
    Counter counter;
    EffectTarget target{GetVisibleFrame(), &m_shown, &m_stop, &counter};
    const DWORD start = GetTickCount();
    EXPECT_EQ(EffectStepWait(n, target), 0);
    EXPECT_EQ(counter.sleeps, std::max(n + 1, 0));
    EXPECT_GE(GetTickCount() - start, static_cast<DWORD>(std::max(n + 1, 0)));
  }
  m_stop = 1;
  Counter counter;
  EffectTarget target{GetVisibleFrame(), &m_shown, &m_stop, &counter};
  EXPECT_EQ(EffectStepWait(50, target), -1);
  EXPECT_EQ(counter.sleeps, 1);
  EXPECT_EQ(EffectStepWait(-1, target), 0);  // no sleep, so no look at the flag
}

TEST_F(EffectTest, AnIndexOutsideTheTableDoesNothing) {
  for (int effect : {-1, 13, 1000}) {
    EffectRecorder recorder;
    EXPECT_EQ(Run(effect, recorder), 0);
    EXPECT_EQ(recorder.Steps(), 0);
    EXPECT_EQ(EffectWaitCount(effect), -1);
  }
  EXPECT_EQ(std::count(GetVisibleFrame(), GetVisibleFrame() + kW * kH, WORD{0}), 0);
}

}  // namespace
