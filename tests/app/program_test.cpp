// The program and the launcher stand-in as two real processes on one device root: the
// launcher's codes reach the main page, the program's messages reach the launcher, and the
// process ends as soon as the application has ended, whatever its script still holds, with
// an exit status that says how it ended.
#include <gtest/gtest.h>

#include "tests/app/two_processes.h"

namespace {

// An hour of device time: a program that waits it out misses the test's deadline.
const std::string kLongWait = "wait 3600000\n";

using ProgramTest = TwoProcessTest;

TEST_F(ProgramTest, TheLauncherHidesShowsAndClosesTheProgramAndASecondCopyIsRefused) {
  StartLauncher();
  std::unique_ptr<ChildProcess> program = StartProgram();
  ASSERT_TRUE(m_launcher->WaitForLine("0xcf02 0 0"));  // the main page has painted
  // Once all it draws after its first paint is there (a slow build draws it late): two shots
  // a second apart the same.
  int attempts = 30;
  for (std::string last; attempts-- > 0 && (Shot("opened").empty() || Shot("opened") != last);) {
    last = Shot("opened");
    Command(*program, "wait 1000\n");
    Command(*program, "shot opened\n");
  }

  // Hidden (10), the page keeps what it drew, and its buttons no longer take touches: pressing
  // where the exit button was shows no press. Shown again (8; the page's own tests look at its
  // repaint), the buttons are back and a press shows on the exit button.
  for (auto [code, shot, pressShows] : {std::tuple{"10", "hidden-press", false}, {"8", "shown-press", true}}) {
    ASSERT_EQ(Send(code), 0);
    Command(*program, "down 710 432\n");
    Command(*program, std::string("shot ") + shot + "\n");
    Command(*program, "up 0 0\n");  // released away from the button: nothing happens
    EXPECT_EQ(Shot(shot) != Shot("opened"), pressShows) << shot;
  }

  // A second copy ends at once whatever its script holds, and tells the launcher. Driven
  // through standard input, a command read before the refusal is answered "ended"; one that
  // comes after it is not read at all. Either way nothing is run.
  for (const std::string& script : {Script("long.txt", "shot refused\n" + kLongWait), Script("empty.txt", ""), std::string("-")}) {
    std::unique_ptr<ChildProcess> copy = StartProgram(script);
    if (script == "-") {
      copy->Write("shot refused\n");
      const std::string answer = copy->ReadLine();
      EXPECT_TRUE(answer == "ended" || answer.empty()) << answer;
    }
    EXPECT_EQ(copy->Wait(), kRefused) << script;
    EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));
  }
  EXPECT_FALSE(HasShot("refused"));

  ASSERT_EQ(Send("2"), 0);
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_NE(Send("8"), 0);  // the program's window is gone
}

// Ended by the application (the launcher's close, the exit button), by the host (the script
// ran out; SIGTERM: frame_buffer_host_test.cpp) or because the host failed; each time the
// launcher is told.
TEST_F(ProgramTest, TheStatusTellsHowTheApplicationEndedAndLinesLeftAreNotRun) {
  StartLauncher();
  auto ends = [&](std::unique_ptr<ChildProcess> program, int status) {
    EXPECT_EQ(program->Wait(), status);
    EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));
  };
  std::unique_ptr<ChildProcess> program = StartProgram(Script("wait.txt", kLongWait + "shot after\n"));
  ASSERT_TRUE(m_launcher->WaitForLine("0xcf02 0 0"));
  ASSERT_EQ(Send("2"), 0);
  ends(std::move(program), kEndedByItself);
  ends(StartProgram(Script("exit.txt", "tap 710 432\n" + kLongWait + "shot after\n")), kEndedByItself);

  // Through standard input: a line that is no command is answered with its own number and
  // changes nothing; the line that closed it is answered "ended", the next one is neither run
  // nor answered.
  program = StartProgram();
  program->Write("down 710 432\ntap 710\nup 710 432\nshot after\n");
  EXPECT_EQ(program->ReadLine(), "done");
  EXPECT_EQ(program->ReadLine(), "error: line 2: not a command: tap 710");
  EXPECT_EQ(program->ReadLine(), "ended");
  EXPECT_EQ(program->ReadLine(), "");  // the end of its output
  ends(std::move(program), kEndedByItself);
  EXPECT_FALSE(HasShot("after"));

  // A script that runs out ends the program. Missing display keys and backlight do not stop
  // the start: a box says so, and its OK button leads on to the page.
  m_root.WriteFile("registry.txt", "");
  program = StartProgram(Script("short.txt", "shot box\ntap 400 300\nwait 1000\nshot page\n"), {"--no-backlight"});
  EXPECT_TRUE(m_launcher->WaitForLine("0xcf02 0 0"));
  ends(std::move(program), kEndedByHost);
  EXPECT_TRUE(HasShot("page"));
  EXPECT_NE(Shot("box"), Shot("page"));
  EXPECT_NE(ReadAll(Log()).find("1 PAPI_SetLCDBright (inv h!)"), std::string::npos) << ReadAll(Log());
  m_root.WriteFile("registry.txt", kDisplayKeys);
  // A shot that cannot be written: the shots folder is a file.
  ends(StartProgram(Script("short.txt", "shot page\n"), {"--shots", Script("not-a-folder", "")}), kHostFailed);
}

}  // namespace
