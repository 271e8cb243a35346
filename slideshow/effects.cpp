#include "slideshow/effects.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 480;

// Writes straight into the frame: rows with one block fill, columns pixel by pixel.
class Frame {
 public:
  explicit Frame(WORD* pixels) : m_pixels(pixels) {}

  // Rows [first, first + count), whole width.
  void ClearRows(int first, int count) {
    std::memset(m_pixels + first * kWidth, 0, static_cast<size_t>(count) * kWidth * sizeof(WORD));
  }
  // Column x in rows [top, bottom).
  void ClearColumn(int x, int top, int bottom) {
    for (WORD* p = m_pixels + top * kWidth + x; top < bottom; ++top, p += kWidth) *p = 0;
  }

 private:
  WORD* m_pixels;
};

// A fitted size may come out a few pixels larger than the screen; the effects keep to it.
int ShownWidth(const EffectTarget& t) {
  return t.shown ? std::clamp(t.shown->width.load(std::memory_order_relaxed), 0, kWidth) : 0;
}
int ShownHeight(const EffectTarget& t) {
  return t.shown ? std::clamp(t.shown->height.load(std::memory_order_relaxed), 0, kHeight) : 0;
}

// Ends a step: tells the watcher, then waits. -1 when the effect must stop.
int EndStep(const EffectTarget& t, int step, int wait) {
  if (t.watcher) t.watcher->StepDrawn(step);
  return EffectStepWait(wait, t);
}

// A random order of 0..N-1: from a random start, `swaps` times swap the entry there with a
// random one and move on to that one.
template <int N>
std::array<int, N> RandomOrder(int swaps) {
  std::array<int, N> order;
  std::iota(order.begin(), order.end(), 0);
  int a = static_cast<int>(Random() % N);
  for (int i = 0; i < swaps; ++i) {
    int b = static_cast<int>(Random() % N);
    std::swap(order[a], order[b]);
    a = b;
  }
  return order;
}

int WipeDown(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 120; ++i) {
    frame.ClearRows(4 * i, 4);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

int WipeUp(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 120; ++i) {
    frame.ClearRows(476 - 4 * i, 4);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

// Two columns a step over the picture's width, from the top row down to row H - 1.
int WipeRight(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  const int x0 = (kWidth - ShownWidth(t)) / 2;
  const int end = kWidth - x0;
  int step = 0;
  for (int x = x0; x < end; x += 2) {
    const int h = ShownHeight(t);
    frame.ClearColumn(x, 0, h);
    frame.ClearColumn(x + 1, 0, h);
    if (EndStep(t, step++, wait) < 0) return -1;
  }
  return 0;
}

int WipeLeft(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  const int x0 = (kWidth - ShownWidth(t)) / 2;
  int step = 0;
  for (int x = 798 - x0; x >= x0; x -= 2) {
    const int h = ShownHeight(t);
    frame.ClearColumn(x, 0, h);
    frame.ClearColumn(x + 1, 0, h);
    if (EndStep(t, step++, wait) < 0) return -1;
  }
  return 0;
}

// Twenty slats of 40 columns, each closing 4 columns a step from its left edge.
int VerticalBlinds(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 10; ++i) {
    for (int slat = 0; slat < 20; ++slat) {
      for (int x = 40 * slat + 4 * i; x < 40 * slat + 4 * i + 4; ++x) frame.ClearColumn(x, 0, kHeight);
    }
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

// Twenty bands of 24 rows, each closing one row a step from its top.
int HorizontalBlinds(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 24; ++i) {
    for (int band = 0; band < 20; ++band) frame.ClearRows(i + 24 * band, 1);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

int OpenFromMiddleRow(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 240; ++i) {
    frame.ClearRows(239 - i, 1);
    frame.ClearRows(240 + i, 1);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

// As many steps as half the picture's width, which is read again at every step.
int OpenFromMiddleColumn(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < ShownWidth(t) / 2; ++i) {
    frame.ClearColumn(399 - i, 0, kHeight);
    frame.ClearColumn(400 + i, 0, kHeight);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

int CloseFromLeftAndRight(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 400; ++i) {
    frame.ClearColumn(i, 0, kHeight);
    frame.ClearColumn(799 - i, 0, kHeight);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

int CloseFromTopAndBottom(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < 240; ++i) {
    frame.ClearRows(i, 1);
    frame.ClearRows(479 - i, 1);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

// The order is drawn before the first step, so that drawing it costs no step any time.
int RandomRows(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  const std::array<int, kHeight> order = RandomOrder<kHeight>(500);
  for (int i = 0; i < kHeight; ++i) {
    frame.ClearRows(order[i], 1);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

int RandomColumns(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  const std::array<int, kWidth> order = RandomOrder<kWidth>(1000);
  for (int i = 0; i < kWidth; ++i) {
    frame.ClearColumn(order[i], 0, kHeight);
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

// Bands of 4 rows, alternately closed from the left and from the right.
int InterlacedComb(const EffectTarget& t, int wait) {
  Frame frame(t.frame);
  for (int i = 0; i < kWidth; ++i) {
    for (int band = 0; band < 60; ++band) {
      frame.ClearColumn(i, 8 * band, 8 * band + 4);
      frame.ClearColumn(799 - i, 8 * band + 4, 8 * band + 8);
    }
    if (EndStep(t, i, wait) < 0) return -1;
  }
  return 0;
}

struct Effect {
  const char* name;
  int (*run)(const EffectTarget& t, int wait);
  int wait;
};

constexpr std::array<Effect, kEffectCount> kEffects = {{
    {"wipe down", WipeDown, 20},
    {"wipe up", WipeUp, 20},
    {"wipe right", WipeRight, 10},
    {"wipe left", WipeLeft, 10},
    {"vertical blinds", VerticalBlinds, 80},
    {"horizontal blinds", HorizontalBlinds, 50},
    {"open from the middle row", OpenFromMiddleRow, 15},
    {"open from the middle column", OpenFromMiddleColumn, 15},
    {"close from the left and right", CloseFromLeftAndRight, 15},
    {"close from the top and bottom", CloseFromTopAndBottom, 15},
    {"random rows", RandomRows, 10},
    {"random columns", RandomColumns, 5},
    {"interlaced comb", InterlacedComb, 10},
}};

bool Valid(int index) { return index >= 0 && index < kEffectCount; }

}  // namespace

int EffectStepWait(int n, const EffectTarget& target) {
  AnnounceFrameChange();  // the step just written is to be shown
  if (n < 0) return 0;
  for (int slept = 0;;) {
    Sleep(1);
    ++slept;
    if (target.watcher) target.watcher->Slept();
    if (target.stop && target.stop->load(std::memory_order_relaxed) != 0) return -1;
    if (slept > n) return 0;
  }
}

int RunEffect(int index, const EffectTarget& target) {
  if (!Valid(index) || !target.frame) return 0;
  const Effect& effect = kEffects[static_cast<size_t>(index)];
  return effect.run(target, effect.wait);
}

int EffectWaitCount(int index) { return Valid(index) ? kEffects[static_cast<size_t>(index)].wait : -1; }

const char* EffectName(int index) { return Valid(index) ? kEffects[static_cast<size_t>(index)].name : ""; }
