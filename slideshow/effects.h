// The thirteen transition effects that wipe the picture on the screen to black.
//
// An effect writes black (0) straight into the frame buffer, one step at a time, and waits
// a few milliseconds of the device clock after each step. It ends at once when the stop
// flag is raised: the flag is read after every 1 ms sleep of a step's wait.
//
//   0  wipe down in bands of 4 rows        120 steps, wait 20
//   1  wipe up in bands of 4 rows          120 steps, wait 20
//   2  wipe right over the picture         2 columns a step, rows 0..H-1, wait 10
//   3  wipe left over the picture          2 columns a step, rows 0..H-1, wait 10
//   4  vertical blinds, 20 slats           10 steps of 4 columns a slat, wait 80
//   5  horizontal blinds                   24 steps of every 24th row, wait 50
//   6  open from the middle row            240 steps, wait 15
//   7  open from the middle column         W/2 steps, wait 15
//   8  close from the left and right       400 steps, wait 15
//   9  close from the top and bottom       240 steps, wait 15
//  10  random rows                         480 steps, wait 10
//  11  random columns                      800 steps, wait 5
//  12  interlaced comb                     800 steps, wait 10
//
// A wait of n lasts n + 1 sleeps of 1 ms.
#pragma once

#include <atomic>

#include "platform/kernel/types.h"

constexpr int kEffectCount = 13;

// The size W x H of the picture on the screen, as the slideshow scaled it. The slideshow's
// paint writes it on the window thread while effects 2, 3 and 7 read it on the picture
// thread at every step.
struct ShownSize {
  std::atomic<int> width{0};
  std::atomic<int> height{0};
};

// Raised (nonzero) when the slideshow must stop its picture thread. Written by the window
// and music threads, read by the effects.
using StopFlag = std::atomic<LONG>;

// Sees an effect run, step by step: tests check what each step cleared and how long it
// waited, tools save the frames, the benchmark times the writes. Called on the effect's
// thread.
class EffectWatcher {
 public:
  virtual ~EffectWatcher() = default;
  // Step `step` (from 0) has been written to the frame; its wait follows.
  virtual void StepDrawn(int step) = 0;
  // One 1 ms sleep of a step's wait has passed (the stop flag is read next).
  virtual void Slept() {}
};

// What an effect runs over.
struct EffectTarget {
  WORD* frame = nullptr;              // the visible frame: 800 x 480 RGB565, rows of 800 pixels
  const ShownSize* shown = nullptr;   // read by effects 2, 3 and 7
  const StopFlag* stop = nullptr;
  EffectWatcher* watcher = nullptr;   // optional
};

// Runs effect `index` (0..12) over the target: 0 when it ran to its end, -1 when the stop
// flag ended it. Any other index does nothing and returns 0.
int RunEffect(int index, const EffectTarget& target);

// The step wait: n < 0 returns 0 at once. Otherwise sleeps 1 ms at a time, n + 1 times,
// and returns -1 as soon as the stop flag is raised after a sleep, else 0.
int EffectStepWait(int n, const EffectTarget& target);

// The wait count after each step of effect `index` (-1 for an index out of range).
int EffectWaitCount(int index);
// A short name of effect `index` ("wipe down" ...), for tools and benchmarks.
const char* EffectName(int index);
