// The program and the launcher stand-in as two real processes on one device root: the
// launcher's codes reach the main page, and the program's messages reach the launcher.
#include <gtest/gtest.h>

#include "tests/app/two_processes.h"

namespace {

// The main page's exit button.
const char* kExitDown = "down 710 432\n";

using LauncherLinkTest = TwoProcessTest;

TEST_F(LauncherLinkTest, TheLauncherHidesShowsAndClosesTheProgram) {
  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> program = StartProgram();
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));  // the main page has painted
  Command(*program, "shot opened\n");

  // Hidden, the page keeps what it drew, and its buttons no longer take touches: pressing
  // where the exit button was shows no press.
  ASSERT_EQ(Send("10"), 0);
  Command(*program, kExitDown);
  Command(*program, "shot hidden-press\n");
  Command(*program, "up 0 0\n");
  EXPECT_EQ(Shot("hidden-press"), Shot("opened"));

  // Shown again, the buttons are back and a press shows on the exit button.
  ASSERT_EQ(Send("8"), 0);
  Command(*program, "shot shown\n");
  EXPECT_EQ(Shot("shown"), Shot("opened"));
  Command(*program, kExitDown);
  Command(*program, "shot shown-press\n");
  Command(*program, "up 0 0\n");  // released away from the button: nothing happens
  EXPECT_NE(Shot("shown-press"), Shot("opened"));

  ASSERT_EQ(Send("2"), 0);
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_NE(Send("8"), 0);  // the program's window is gone
  StopLauncher(*launcher);
}

TEST_F(LauncherLinkTest, MissingDisplayKeysAndBacklightDoNotStopTheStart) {
  m_root.WriteFile("registry.txt", "");
  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> program = StartProgram("-", {"--no-backlight"});
  Command(*program, "shot box\n");
  Command(*program, "tap 400 300\n");  // the box's OK button
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));
  Command(*program, "shot page\n");
  EXPECT_NE(Shot("box"), Shot("page"));
  program->CloseInput();  // the end of the script ends the program
  EXPECT_EQ(program->Wait(), kEndedByHost);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  StopLauncher(*launcher);

  const std::string log = ReadAll(m_root.Path() / "debug.log");
  EXPECT_NE(log.find("1 PAPI_SetLCDBright (inv h!)"), std::string::npos) << log;
}

}  // namespace
