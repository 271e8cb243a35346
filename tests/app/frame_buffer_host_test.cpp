// The frame-buffer host of the real program, with a regular file as its frame buffer and a
// FIFO of input events as its touch screen: the frames it writes are the screenshots of the
// headless host, byte for byte, and the touches written as events work the screen.
#include <fcntl.h>
#include <linux/input.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>

#include "platform/gdi/png_file.h"
#include "tests/app/two_processes.h"

namespace {

class FrameBufferHostTest : public TwoProcessTest {
 protected:
  void SetUp() override {
    TwoProcessTest::SetUp();
    m_frame = (m_root.Path() / "fb.raw").string();
    m_fifo = (m_root.Path() / "touch").string();
    ASSERT_EQ(mkfifo(m_fifo.c_str(), 0600), 0);
    // Opened for writing too, so that neither end waits for the other.
    m_events = open(m_fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(m_events, 0);
  }
  void TearDown() override { close(m_events); }

  // The headless host's shots of the main page, as opened and with its exit button held.
  void TakeHeadlessShots() {
    std::unique_ptr<ChildProcess> headless = StartProgram();
    Command(*headless, "shot main\n");
    Command(*headless, "down 710 432\n");
    Command(*headless, "shot pressed\n");
    headless->CloseInput();
    ASSERT_EQ(headless->Wait(), kEndedByHost);
  }

  std::unique_ptr<ChildProcess> StartOnPanel(int inputFd = -1, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{kBin + "/vellumet", "--root", Root(), "--fb", m_frame, "--touch", m_fifo, "--log", Log()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(argv, std::vector<std::string>{}, inputFd);
  }

  // Whether the frame buffer file comes to hold the picture of the shot, within the deadline:
  // its pixels, written as PNG the way shots are, give the shot's very bytes.
  bool PanelShows(const std::string& shot) {
    const std::string expected = Shot(shot);
    const std::string png = (m_root.Path() / "panel.png").string();
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::string frame = ReadAll(m_frame);
      if (frame.size() == 768000) {
        WritePng565(png, reinterpret_cast<const WORD*>(frame.data()), 800, 480, 800);
        if (ReadAll(png) == expected) return true;
      }
      const timespec pause{0, 20 * 1000 * 1000};  // the host presents at most 60 times a second
      nanosleep(&pause, nullptr);
    }
    return false;
  }

  void Touch(const std::vector<std::array<int, 3>>& events) {
    std::vector<input_event> records;
    for (const auto& [type, code, value] : events) {
      input_event e {};
      e.type = static_cast<__u16>(type);
      e.code = static_cast<__u16>(code);
      e.value = value;
      records.push_back(e);
    }
    const ssize_t bytes = static_cast<ssize_t>(records.size() * sizeof(input_event));
    ASSERT_EQ(write(m_events, records.data(), static_cast<size_t>(bytes)), bytes);
  }

  std::string m_frame, m_fifo;
  int m_events = -1;
};

TEST_F(FrameBufferHostTest, TheMainPageAndATapReachThePanel) {
  m_root.WriteFile("battery.txt", "4");  // the headless shots show battery state 4
  TakeHeadlessShots();
  // On the panel, state 4 comes from a /sys battery at 50 %, and a /sys backlight follows
  // the backlight driver.
  m_root.WriteFile("battery.txt", "7");
  m_root.WriteFile("sys/BAT0/capacity", "50\n");
  m_root.WriteFile("sys/panel/brightness", "40\n");
  m_root.WriteFile("sys/panel/max_brightness", "255\n");
  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> program =
      StartOnPanel(-1, {"--sys-battery", Root() + "/sys/BAT0", "--sys-backlight", Root() + "/sys/panel"});
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));
  EXPECT_TRUE(PanelShows("main"));
  EXPECT_EQ(m_root.ReadFile("sys/panel/brightness"), "255\n");

  // A finger down on the exit button shows its press; lifting it ends the program.
  Touch({{EV_ABS, ABS_X, 710}, {EV_ABS, ABS_Y, 432}, {EV_KEY, BTN_TOUCH, 1}, {EV_SYN, SYN_REPORT, 0}});
  EXPECT_TRUE(PanelShows("pressed"));
  Touch({{EV_KEY, BTN_TOUCH, 0}, {EV_SYN, SYN_REPORT, 0}});
  EXPECT_EQ(program->Wait(), kEndedByItself);
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));
  EXPECT_EQ(m_root.ReadFile("sys/panel/brightness"), "40\n");  // the brightness it found
  StopLauncher(*launcher);
}

// Reads what the program wrote to its terminal until `text` has come; false at the deadline.
bool TerminalGets(int master, const std::string& text, std::string* seen) {
  for (int attempt = 0; attempt < 300 && seen->find(text) == std::string::npos; ++attempt) {
    char buffer[256];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) seen->append(buffer, static_cast<size_t>(n));
    else {
      const timespec pause{0, 20 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  return seen->find(text) != std::string::npos;
}

TEST_F(FrameBufferHostTest, SigtermGivesTheConsoleBackAndEnds) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);

  std::unique_ptr<ChildProcess> launcher = StartLauncher();
  std::unique_ptr<ChildProcess> program = StartOnPanel(terminal);
  close(terminal);
  std::string seen;
  EXPECT_TRUE(TerminalGets(master, "\033[?25l\033[9;0]", &seen));  // cursor and blanking off
  ASSERT_TRUE(launcher->WaitForLine("0xcf02 0 0"));

  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(), kEndedByHost);
  EXPECT_TRUE(TerminalGets(master, "\033[?25h\033[9;", &seen));  // and back on
  EXPECT_TRUE(launcher->WaitForLine("0x0bfb 35 4"));  // the application closed properly
  StopLauncher(*launcher);
  close(master);
}

TEST_F(FrameBufferHostTest, DevicesThatCannotBeUsedStopTheStart) {
  auto status = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv{kBin + "/vellumet", "--root", Root(), "--log", Log()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess program(argv);
    return program.Wait();
  };
  EXPECT_EQ(status({"--fb", "/dev/null"}), 2);  // not a frame buffer
  EXPECT_EQ(status({"--fb", m_frame, "--touch", Root() + "/missing"}), 2);
  EXPECT_EQ(status({"--fb", Root() + "/missing/fb.raw"}), 2);
  EXPECT_EQ(status({"--fb", m_frame, "--sys-battery", Root()}), 2);  // no capacity there
}

}  // namespace
