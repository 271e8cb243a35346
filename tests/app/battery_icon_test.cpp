#include "app/battery_icon.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/screen.h"

namespace {

constexpr int kX = 740, kY = 15;
const UINT kFrames[6] = {183, 184, 185, 186, 187, 188};

// The icon's 45 x 28 patch as it must look with the frame drawn over the background (id 0:
// the background only).
std::vector<WORD> Expected(UINT frameId) {
  const SkinPixels background(skin::kMainBackground), frame(frameId ? frameId : kFrames[0]);
  std::vector<WORD> patch;
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 45; ++x) {
      const WORD over = frameId ? frame.At(x, y) : ToRgb565(kSkinTransparent);
      patch.push_back(over != ToRgb565(kSkinTransparent) ? over : background.At(kX + x, kY + y));
    }
  return patch;
}

// Whether the screen shows the patch where the icon is.
bool Shows(const std::vector<WORD>& patch) {
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 45; ++x)
      if (Pixel(kX + x, kY + y) != patch[y * 45 + x]) return false;
  return true;
}

// Handles the window thread's messages until done() holds; whether it came to.
bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 20000; ++i) {
    if (done()) return true;
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessage(&msg);
    else
      Sleep(1);
  }
  return false;
}

using BatteryIconTest = ScreenTest;

}  // namespace

TEST_F(BatteryIconTest, StatesChooseFramesWithTheLastTwoSwappedAndStateTwoBlinks) {
  SetClockSpeed(20);
  CBatteryIcon icon(m_back.get(), 1, kFrames, skin::kMainBackground, kX, kY, kX, kY);
  EXPECT_EQ(std::pair(icon.State(), icon.PreviousState()), (std::pair<LONG, LONG>(3, 5)));
  const std::pair<LONG, UINT> frameOfState[] = {{-4, 183}, {1, 183}, {3, 184}, {4, 185}, {5, 186},
                                                 {6, 188},  {7, 187}, {9, 187}, {0, 183}, {200, 183}};
  for (const auto& [state, frame] : frameOfState) {
    icon.SetState(state, 1);
    EXPECT_TRUE(Shows(Expected(frame))) << "state " << state;
  }
  EXPECT_EQ(icon.PreviousState(), 0);
  icon.Draw(0);
  const std::vector<WORD> lit = Expected(183), bare = Expected(0);
  EXPECT_TRUE(Shows(bare));

  // State 2 blinks until another state comes.
  icon.SetState(2, 1);
  ASSERT_TRUE(PumpUntil([&] { return Shows(bare); }));
  ASSERT_TRUE(PumpUntil([&] { return Shows(lit); }));
  ASSERT_TRUE(PumpUntil([&] { return Shows(bare); }));

  icon.SetState(5, 1);
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start > 1200; });  // more than two blink periods
  EXPECT_TRUE(Shows(Expected(186)));
}
