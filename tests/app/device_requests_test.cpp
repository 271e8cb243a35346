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

TEST(Backlight, RequestsReachTheDriverAndAMissingDriverOnlyLogs) {
  TempDeviceRoot root;
  SetBacklightPresent(true);
  ClearBacklightCalls();
  BacklightRequest(kBacklightRequestA, 0);
  BacklightRequest(kBacklightRequestB, 1);
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].code, 0x223490u);
  EXPECT_EQ(calls[0].value, 0u);
  EXPECT_EQ(calls[1].code, 0x223494u);
  EXPECT_EQ(calls[1].value, 1u);

  SetBacklightPresent(false);
  {
    DebugCapture log;
    BacklightRequest(kBacklightRequestA, 1);
    EXPECT_EQ(log.Text(), "1 PAPI_SetLCDBright (inv h!)\n");
  }
  SetBacklightPresent(true);
  EXPECT_EQ(GetBacklightCalls().size(), 2u);
}

TEST(Battery, ReadsTheDriverState) {
  TempDeviceRoot root;
  SetBatteryState(3);
  DebugCapture log;
  EXPECT_EQ(ReadBatteryState(), 3);
  EXPECT_EQ(log.Text(), "  m_GetValue = 3 ");
}
