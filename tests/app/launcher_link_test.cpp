// The program and the launcher stand-in as two real processes on one device root: the
// launcher's codes reach the main page, and the program's messages reach the launcher.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

namespace {

const std::string kBin = VELLUMET_BIN_DIR;
const char* kDisplayKeys =
    "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n\"LCD_Width\"=dword:00000320\n"
    "\"LCD_Height\"=dword:000001e0\n";
// The main page's exit button.
const char* kExitDown = "down 710 432\n";

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LauncherLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root.WriteFile("registry.txt", kDisplayKeys);
    m_shots = m_root.Path() / "shots";
    std::filesystem::create_directories(m_shots);
  }

  std::string Root() const { return m_root.Path().string(); }

  // The launcher stand-in, listening once its window is reachable.
  std::unique_ptr<ChildProcess> StartLauncher() {
    auto launcher = std::make_unique<ChildProcess>(std::vector<std::string>{kBin + "/vellumet-launcher", "--root", Root(), "listen"});
    EXPECT_EQ(launcher->ReadErrorLine(), "vellumet-launcher: listening");
    return launcher;
  }
  // The program, driven line by line through its standard input.
  std::unique_ptr<ChildProcess> StartProgram(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{kBin + "/vellumet", "--root", Root(), "--headless", "--script", "-",
                                  "--shots", m_shots.string(), "--log", (m_root.Path() / "debug.log").string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(argv);
  }
  // Runs one screen command in the program and waits until it has been carried out.
  static void Command(ChildProcess& program, const std::string& line) {
    program.Write(line);
    EXPECT_EQ(program.ReadLine(), "done") << line;
  }
  int Send(const std::string& code) {
    ChildProcess send({kBin + "/vellumet-launcher", "--root", Root(), "send", "photo", "0x0bfb", code, "0", "--wait"});
    return send.Wait();
  }
  std::string Shot(const std::string& name) const { return ReadAll(m_shots / (name + ".png")); }

  TempDeviceRoot m_root;
  std::filesystem::path m_shots;
};

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

  // A second copy on the same root ends at once, and it too tells the launcher it ended.
  std::unique_ptr<ChildProcess> second = StartProgram();
  second->CloseInput();
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));

  ASSERT_EQ(Send("2"), 0);
  EXPECT_EQ(program->Wait(), 0);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_NE(Send("8"), 0);  // the program's window is gone
  launcher->Signal(SIGTERM);
  EXPECT_EQ(launcher->Wait(), 0);
}

TEST_F(LauncherLinkTest, MissingDisplayKeysAndBacklightDoNotStopTheStart) {
  m_root.WriteFile("registry.txt", "");
  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> program = StartProgram({"--no-backlight"});
  Command(*program, "shot box\n");
  Command(*program, "tap 400 300\n");  // the box's OK button
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));
  Command(*program, "shot page\n");
  EXPECT_NE(Shot("box"), Shot("page"));
  program->CloseInput();  // the end of the script ends the program
  EXPECT_EQ(program->Wait(), 0);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  launcher->Signal(SIGTERM);
  launcher->Wait();

  const std::string log = ReadAll(m_root.Path() / "debug.log");
  EXPECT_NE(log.find("1 PAPI_SetLCDBright (inv h!)"), std::string::npos) << log;
}

}  // namespace
