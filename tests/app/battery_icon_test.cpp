#include "app/battery_icon.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/screen.h"

namespace {

constexpr int kX = 740, kY = 15;
const UINT kFrames[6] = {183, 184, 185, 186, 187, 188};

// Whether the icon's 45 x 28 patch of the screen shows the frame drawn over the background
// (id 0: the background only).
bool Shows(UINT frameId) {
  const SkinPixels background(skin::kMainBackground), frame(frameId ? frameId : kFrames[0]);
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 45; ++x) {
      const WORD over = frameId ? frame.At(x, y) : ToRgb565(kSkinTransparent);
      if (Pixel(kX + x, kY + y) != (over != ToRgb565(kSkinTransparent) ? over : background.At(kX + x, kY + y))) return false;
    }
  return true;
}

bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 20000 && !done(); ++i) {
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessage(&msg);
    else
      Sleep(1);
  }
  return done();
}

using BatteryIconTest = ScreenTest;

}  // namespace

TEST_F(BatteryIconTest, StatesChooseFramesWithTheLastTwoSwappedAndStateTwoBlinks) {
  SetClockSpeed(20);
  CBatteryIcon icon(m_back.get(), 1, kFrames, skin::kMainBackground, kX, kY, kX, kY);
  EXPECT_EQ(icon.State(), 3);
  EXPECT_EQ(icon.PreviousState(), 5);
  const struct {
    LONG state;
    UINT frame;
  } table[] = {{-4, 183}, {1, 183}, {3, 184}, {4, 185}, {5, 186}, {6, 188}, {7, 187}, {9, 187}, {0, 183}, {200, 183}};
  for (const auto& row : table) {
    icon.SetState(row.state, 1);
    EXPECT_TRUE(Shows(row.frame)) << "state " << row.state;
  }
  EXPECT_EQ(icon.PreviousState(), 0);
  icon.Draw(0);
  EXPECT_TRUE(Shows(0));

  // State 2 blinks until another state comes.
  icon.SetState(2, 1);
  ASSERT_TRUE(PumpUntil([] { return Shows(0); }));
  ASSERT_TRUE(PumpUntil([] { return Shows(183); }));
  ASSERT_TRUE(PumpUntil([] { return Shows(0); }));

  icon.SetState(5, 1);
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start > 1200; });  // more than two blink periods
  EXPECT_TRUE(Shows(186));
}
