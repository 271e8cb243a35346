#include <gtest/gtest.h>

#include "platform/host/screen_host.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

TEST(CardScript, TakesTheCardOutWriteProtectsItAndPutsItBack) {
  std::string error;
  EXPECT_FALSE(ParseScreenScript("card\n", &error));
  EXPECT_FALSE(ParseScreenScript("card sideways\n", &error));
  EXPECT_FALSE(ParseScreenScript("card out now\n", &error));

  TempDeviceRoot root;
  SetClockSpeed(1000.0);  // no window thread here: each command's settling runs out at once
  auto run = [](const char* line) {
    std::string why;
    auto commands = ParseScreenScript(line, &why);
    ASSERT_TRUE(commands) << why;
    ASSERT_EQ(commands->size(), 1u);
    EXPECT_EQ((*commands)[0].kind, ScreenCommand::Card);
    RunScreenScript(*commands, "");
  };
  run("card out\n");
  EXPECT_FALSE(IsCardMounted());
  run("card in\n");
  EXPECT_TRUE(IsCardMounted());
  EXPECT_FALSE(IsCardReadOnly());
  run("card readonly\n");
  EXPECT_TRUE(IsCardMounted());
  EXPECT_TRUE(IsCardReadOnly());
  run("card in\n");
  EXPECT_FALSE(IsCardReadOnly());
  SetClockSpeed(1.0);
}

}  // namespace
