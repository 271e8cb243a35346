#include "app/device_requests.h"

#include <gtest/gtest.h>

#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "tests/support/temp_root.h"

TEST(FillScreen, FillsBothFramesWithTheStartColour) {
  EXPECT_EQ(ColourToRgb565(0x6E6334), 0x330D);
  EXPECT_EQ(ColourToRgb565(0xFFFFFF), 0xFFFF);
  EXPECT_EQ(ColourToRgb565(0x0000FF), 0xF800);  // red lives in the low byte

  FillScreen(0x6E6334);
  const WORD* memory = GetVisibleFrame();
  for (size_t i = 0; i < kFrameMemoryBytes / 2; ++i)
    if (memory[i] != 0x330D) FAIL() << "pixel " << i << " is " << memory[i];
}

TEST(Battery, ReadsTheDriverState) {
  TempDeviceRoot root;
  SetBatteryState(3);
  DebugCapture log;
  EXPECT_EQ(ReadBatteryState(), 3);
  EXPECT_EQ(log.Text(), "  m_GetValue = 3 ");
}
