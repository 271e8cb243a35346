// The program and the launcher stand-in as two processes: message 52999 sent by the launcher
// tool (or by the script's pause command) to the front screen pauses a running slideshow, the
// show code resumes it, and the launcher's close reaches it and ends the program.
#include <gtest/gtest.h>

#include "tests/app/two_processes.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/platform/media/media_files.h"

namespace {

using SlideshowAndLauncher = TwoProcessTest;

TEST_F(SlideshowAndLauncher, Message52999FromTheLauncherPausesTheShowUntilItIsShownAgain) {
  for (auto [name, colour] : {std::pair{"a.jpg", Rgb{220, 30, 30}}, {"b.jpg", Rgb{30, 30, 220}}})
    m_root.WriteFile(std::string("SDMMC/") + name, MakeJpeg(Picture{200, 100, std::vector<Rgb>(200 * 100, colour)}, 95));
  ASSERT_EQ(WriteSteppedTrack((m_root.Path() / "SDMMC" / "tune.wma").string(), 30), "");
  std::unique_ptr<ChildProcess> program = StartProgram("-", {"--speed", "4"});
  auto command = [&](const std::string& line) { Command(*program, line + "\n"); };
  ASSERT_TRUE(Logged(*program, "ThumbDecThreads: m_CurPage = 0"));  // the main page has listed the card
  command("tap 210 432");                                           // its slideshow button
  ASSERT_TRUE(Logged(*program, " dwResult = 0"));                   // the second picture is loaded
  EXPECT_EQ(Send("0", "0xCF07", true), 0);
  command("shot paused");
  command("wait 5000");  // longer than a picture is held
  command("shot still-paused");
  EXPECT_EQ(Shot("paused"), Shot("still-paused"));

  EXPECT_EQ(Send("8", "0x0bfb", true), 0);  // shown again: the next picture comes
  command("wait 500");
  command("shot resumed");
  EXPECT_NE(Shot("paused"), Shot("resumed"));
  command("pause");  // the script's own way to post message 52999 to the front screen
  command("shot paused-again");
  command("wait 5000");
  command("shot still-paused-again");
  EXPECT_EQ(Shot("paused-again"), Shot("still-paused-again"));

  EXPECT_EQ(Send("34", "0x0bfb", true), 0);  // the slideshow ends with 34, and the main page with it
  EXPECT_EQ(program->Wait(), kEndedByItself);  // by itself, with its input still open
}

}  // namespace
