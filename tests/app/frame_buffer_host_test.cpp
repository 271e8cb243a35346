// The frame-buffer host of the real program, with a regular file as its frame buffer and a
// FIFO of input events as its touch screen: the frames it writes are the screenshots of the
// headless host, byte for byte (turned as the picture is turned), and the touches written as
// events work the screen.
#include <fcntl.h>
#include <linux/input.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "platform/gdi/png_file.h"
#include "tests/app/two_processes.h"
#include "tests/support/wait.h"

namespace {

// Where a clockwise turn of the picture takes the frame's point (x, y) on the panel.
std::pair<int, int> Turned(int x, int y, int r) {
  return r == 90 ? std::pair{479 - y, x} : r == 180 ? std::pair{799 - x, 479 - y} : r == 270 ? std::pair{y, 799 - x} : std::pair{x, y};
}

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
  void TearDown() override {
    close(m_events);
    TwoProcessTest::TearDown();
  }

  std::unique_ptr<ChildProcess> StartOnPanel(int inputFd = -1, std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--fb", m_frame, "--touch", m_fifo});
    return Start(extra, {}, inputFd);
  }

  // Whether the frame buffer file comes to hold the picture of the shot, turned by `rotate`,
  // within 20 s (asked every 20 ms: the host presents at most 60 times a second): its pixels,
  // turned back and written as PNG the way shots are, give the shot's very bytes.
  bool PanelShows(const std::string& shot, int rotate = 0) {
    const std::string png = (m_root.Path() / "panel.png").string();
    const std::string expected = Shot(shot);
    std::vector<WORD> frame(800 * 480);
    return Await([&] {
      const std::string panel = ReadAll(m_frame);
      if (panel.size() != 768000) return false;
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 800; ++x) {
          const auto [tx, ty] = Turned(x, y, rotate);
          std::memcpy(&frame[y * 800 + x], panel.data() + 2 * (ty * (rotate % 180 ? 480 : 800) + tx), 2);
        }
      WritePng565(png, frame.data(), 800, 480, 800);
      return ReadAll(png) == expected;
    }, 20000, 20);
  }

  void Touch(const std::vector<input_event>& records) {
    const ssize_t bytes = static_cast<ssize_t>(records.size() * sizeof(input_event));
    ASSERT_EQ(write(m_events, records.data(), static_cast<size_t>(bytes)), bytes);
  }

  std::string m_frame, m_fifo;
  int m_events = -1;
};

// A pseudo-terminal as a program's standard input: its master end (not blocking) and the
// terminal; `seen` gathers what the program writes to it.
struct Terminal {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  int terminal = grantpt(master) == 0 && unlockpt(master) == 0 ? open(ptsname(master), O_RDWR | O_NOCTTY) : -1;
  std::string seen;
  ~Terminal() {
    close(master);
    close(terminal);
  }
  bool Gets(const std::string& text) {
    return Await([&] {
      char buffer[256];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) seen.append(buffer, static_cast<size_t>(n));
      return seen.find(text) != std::string::npos;
    }, 20000, 20);
  }
};

TEST_F(FrameBufferHostTest, ThePageAndATapReachThePanelTurnedEachWayARefusedCopyShowsNothingAndSigtermEnds) {
  m_root.WriteFile("battery.txt", "4");  // the headless shots show battery state 4
  // The headless host's shots of the main page, as opened and with its exit button held.
  ASSERT_EQ(StartProgram(Script("shots.txt", "shot main\ndown 710 432\nshot pressed\n"))->Wait(), kEndedByHost);
  // On the panel, state 4 comes from a /sys battery at 50 %, and a /sys backlight follows
  // the backlight driver.
  m_root.WriteFile("battery.txt", "7");
  m_root.WriteFile("sys/BAT0/capacity", "50\n");
  m_root.WriteFile("sys/panel/brightness", "40\n");
  m_root.WriteFile("sys/panel/max_brightness", "255\n");
  StartLauncher();
  for (int rotate : {0, 90, 180, 270}) {
    SCOPED_TRACE(rotate);
    std::unique_ptr<ChildProcess> program = StartOnPanel(
        -1, {"--fb-rotate", std::to_string(rotate), "--sys-battery", Root() + "/sys/BAT0", "--sys-backlight", Root() + "/sys/panel"});
    ASSERT_TRUE(m_launcher->WaitForLine("0xcf02 0 0"));
    EXPECT_TRUE(PanelShows("main", rotate));
    EXPECT_EQ(m_root.ReadFile("sys/panel/brightness"), "255\n");
    // A finger down where the turned exit button is shows its press; lifting it ends it.
    const auto [x, y] = Turned(710, 432, rotate);
    Touch({{{}, EV_ABS, ABS_X, x}, {{}, EV_ABS, ABS_Y, y}, {{}, EV_KEY, BTN_TOUCH, 1}, {{}, EV_SYN, SYN_REPORT, 0}});
    EXPECT_TRUE(PanelShows("pressed", rotate));
    Touch({{{}, EV_KEY, BTN_TOUCH, 0}, {{}, EV_SYN, SYN_REPORT, 0}});
    EXPECT_EQ(program->Wait(), kEndedByItself);
    EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));
    EXPECT_EQ(m_root.ReadFile("sys/panel/brightness"), "40\n");  // the brightness it found
  }

  m_root.WriteFile("battery.txt", "4");  // now the state the shots show, without a /sys battery
  Terminal console, copyConsole;
  std::unique_ptr<ChildProcess> program = StartOnPanel(console.terminal);
  EXPECT_TRUE(console.Gets("\033[?25l\033[9;0]"));  // cursor and blanking off
  ASSERT_TRUE(m_launcher->WaitForLine("0xcf02 0 0"));
  ASSERT_TRUE(PanelShows("main"));
  const std::string page = ReadAll(m_frame);

  // A second copy is refused before it shows anything: on the panel it leaves the page and
  // its console as they are; in a window SDL is not even asked (its offscreen driver would
  // have it say that it shows nothing). Each says nothing and tells the launcher.
  for (bool panel : {true, false}) {
    std::unique_ptr<ChildProcess> copy = panel ? StartOnPanel(copyConsole.terminal)
                                               : Start({"--shots", m_shots.string()}, {"SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(copy->Wait(), kRefused);
    EXPECT_EQ(copy->ReadAllErrors(), "");
    EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));
  }
  EXPECT_TRUE(ReadAll(m_frame) == page);
  char written;
  EXPECT_LE(read(copyConsole.master, &written, 1), 0);

  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(), kEndedByHost);
  EXPECT_TRUE(console.Gets("\033[?25h\033[9;"));  // and back on
  EXPECT_TRUE(m_launcher->WaitForLine("0x0bfb 35 4"));  // the application closed properly
}

TEST_F(FrameBufferHostTest, DevicesThatCannotBeUsedStopTheStart) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--fb", "/dev/null"},                  // not a frame buffer
           {"--fb", "/dev/fb-vellumet-none"},      // no such device: no file is made there either
           {"--fb", m_frame, "--fb-rotate", "45"}, {"--fb", m_frame, "--touch", Root() + "/missing"},
           {"--fb", Root() + "/missing/fb.raw"}, {"--fb", m_frame, "--sys-battery", Root()}})  // no capacity there
    EXPECT_EQ(Start(args)->Wait(), 2) << args[1];
  EXPECT_FALSE(std::filesystem::exists("/dev/fb-vellumet-none"));
}

}  // namespace
