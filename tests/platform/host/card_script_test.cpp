#include <gtest/gtest.h>

#include "platform/host/screen_host.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

TEST(CardScript, TakesTheCardOutWriteProtectsItAndPutsItBack) {
  EXPECT_FALSE(ParseScreenScript("card sideways\n", nullptr));
  TempDeviceRoot root;
  SetClockSpeed(1000.0);  // no window thread to settle here: each command's wait runs out at once
  auto commands = ParseScreenScript("card out\n", nullptr);
  ASSERT_TRUE(commands);
  RunScreenScript(*commands, "");
  EXPECT_FALSE(IsCardMounted());
  RunScreenScript(*ParseScreenScript("card readonly\n", nullptr), "");
  EXPECT_TRUE(IsCardMounted() && IsCardReadOnly());
  RunScreenScript(*ParseScreenScript("card in\n", nullptr), "");
  EXPECT_FALSE(IsCardReadOnly());
  SetClockSpeed(1.0);
}

TEST(SpeedScript, SetsTheClockSpeedFromThenOn) {
  for (const char* bad : {"speed 0\n", "speed -2\n", "speed fast\n", "speed inf\n", "speed\n"})
    EXPECT_FALSE(ParseScreenScript(bad, nullptr)) << bad;
  ASSERT_TRUE(ParseScreenScript("speed 2.5\n", nullptr));
  SetClockSpeed(1000.0);
  RunScreenScript(*ParseScreenScript("speed 2000\n", nullptr), "");
  EXPECT_EQ(GetClockSpeed(), 2000.0);
  SetClockSpeed(1.0);
}
