// The process ends as soon as the application has ended, whatever its script still holds,
// and its exit status says how it ended.
#include <gtest/gtest.h>

#include "tests/app/two_processes.h"

namespace {

// An hour of device time: a program that waits it out misses the test's deadline.
const std::string kLongWait = "wait 3600000\n";

using ProgramEndTest = TwoProcessTest;

TEST_F(ProgramEndTest, ARefusedCopyEndsAtOnceWhateverItsScriptHolds) {
  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> first = StartProgram();
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));

  for (const std::string& script : {Script("long.txt", "shot refused\n" + kLongWait), Script("empty.txt", "")}) {
    std::unique_ptr<ChildProcess> copy = StartProgram(script);
    EXPECT_EQ(copy->Wait(), kRefused) << script;
    EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  }
  // Driven through standard input, the command it got is answered and nothing more is read.
  std::unique_ptr<ChildProcess> copy = StartProgram();
  copy->Write("shot refused\n");
  EXPECT_EQ(copy->ReadLine(), "ended");
  EXPECT_EQ(copy->Wait(), kRefused);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_FALSE(HasShot("refused"));

  ASSERT_EQ(Send("2"), 0);
  EXPECT_EQ(first->Wait(), kEndedByItself);
  StopLauncher(*launcher);
}

TEST_F(ProgramEndTest, AClosedApplicationEndsTheProgramWithLinesLeft) {
  std::unique_ptr<ChildProcess> launcher = StartLauncher();

  // Closed by the launcher while the script waits.
  std::unique_ptr<ChildProcess> program = StartProgram(Script("wait.txt", kLongWait + "shot after\n"));
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));
  ASSERT_EQ(Send("2"), 0);
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));

  // Closed by its exit button, with lines after the tap.
  program = StartProgram(Script("exit.txt", "tap 710 432\n" + kLongWait + "shot after\n"));
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));

  // Through standard input: the line that closed it is answered "ended", the next one is
  // neither run nor answered.
  // A line that is no command is answered with its own number and changes nothing.
  program = StartProgram();
  program->Write("down 710 432\ntap 710\nup 710 432\nshot after\n");
  EXPECT_EQ(program->ReadLine(), "done");
  EXPECT_EQ(program->ReadLine(), "error: line 2: not a command: tap 710");
  EXPECT_EQ(program->ReadLine(), "ended");
  EXPECT_EQ(program->ReadLine(), "");  // the end of its output
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));

  EXPECT_FALSE(HasShot("after"));
  StopLauncher(*launcher);
}

TEST_F(ProgramEndTest, TheStatusTellsWhenTheHostEndedTheApplication) {
  std::unique_ptr<ChildProcess> launcher = StartLauncher();

  // The script runs out while the application runs: the host closes it.
  std::unique_ptr<ChildProcess> program = StartProgram(Script("short.txt", "shot page\n"));
  EXPECT_EQ(program->Wait(), kEndedByHost);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_TRUE(HasShot("page"));

  // A shot that cannot be written: the shots folder is a file.
  const std::string notAFolder = Script("not-a-folder", "");
  program = StartProgram(Script("short.txt", "shot page\n"), {"--shots", notAFolder});
  EXPECT_EQ(program->Wait(), kHostFailed);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));

  // SIGTERM closes the application the same way: its exit step still tells the launcher.
  program = StartProgram();
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));
  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(), kEndedByHost);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  StopLauncher(*launcher);
}

}  // namespace
