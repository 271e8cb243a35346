// A touch device that goes away and comes back, played by pseudo-terminals in raw mode behind
// a link, as a panel's node behind /dev/input/by-path/: closing the terminal's master makes
// reads fail as an unplugged device's do, and pointing the link at a new terminal is the
// node coming back.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/touch_device.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

struct Terminal {
  int master = -1;
  std::string node;
  Terminal() {
    int slave = -1;
    char name[256];
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) == 0) close(slave);
    node = name;
  }
  ~Terminal() { Close(); }
  void Close() {
    if (master >= 0) close(master);
    master = -1;
  }
  void Tap(int x, int y) const {
    const input_event events[] = {{{}, EV_ABS, ABS_X, x}, {{}, EV_ABS, ABS_Y, y}, {{}, EV_KEY, BTN_TOUCH, 1},
                                  {{}, EV_SYN, SYN_REPORT, 0}, {{}, EV_KEY, BTN_TOUCH, 0}, {{}, EV_SYN, SYN_REPORT, 0}};
    ASSERT_EQ(write(master, events, sizeof events), static_cast<ssize_t>(sizeof events));
  }
};

// Waits (at most 10 s) for the device to have something, then reads it.
std::vector<ScreenTouch> Next(TouchDevice& device) {
  pollfd fd{device.PollFd(), POLLIN, 0};
  EXPECT_EQ(poll(&fd, 1, 10000), 1);
  std::vector<ScreenTouch> touches;
  device.Read(&touches);
  return touches;
}

TEST(TouchDevice, AnUnpluggedDeviceLiftsTheTouchAndIsTakenBackWhenItsNodeReturns) {
  TempDeviceRoot input;  // the folder of the device's link
  const fs::path folder = input.Path();
  const fs::path link = folder / "touchscreen-event";
  auto first = std::make_unique<Terminal>();
  fs::create_symlink(first->node, link);
  std::string error;
  std::unique_ptr<TouchDevice> device = TouchDevice::Open(link.string(), TouchGeometry{}, &error);
  ASSERT_TRUE(device) << error;
  const int deviceFd = device->PollFd();

  first->Tap(10, 20);
  EXPECT_EQ(Next(*device), (std::vector<ScreenTouch>{{TouchKind::Down, 10, 20}, {TouchKind::Up, 10, 20}}));
  // Unplugged with a finger down: the touch ends, and the device is waited for.
  const input_event down[] = {{{}, EV_KEY, BTN_TOUCH, 1}, {{}, EV_SYN, SYN_REPORT, 0}};
  ASSERT_EQ(write(first->master, down, sizeof down), static_cast<ssize_t>(sizeof down));
  EXPECT_EQ(Next(*device), (std::vector<ScreenTouch>{{TouchKind::Down, 10, 20}}));
  first->Close();
  EXPECT_EQ(Next(*device), (std::vector<ScreenTouch>{{TouchKind::Up, 10, 20}}));
  EXPECT_NE(device->PollFd(), deviceFd);
  EXPECT_TRUE(device->ReadsEveryTurn());

  // The node back: the link replaced at once, as udev does.
  Terminal second;
  fs::create_symlink(second.node, folder / "new");
  fs::rename(folder / "new", link);
  EXPECT_TRUE(Next(*device).empty());
  EXPECT_FALSE(device->ReadsEveryTurn());
  second.Tap(30, 40);
  EXPECT_EQ(Next(*device), (std::vector<ScreenTouch>{{TouchKind::Down, 30, 40}, {TouchKind::Up, 30, 40}}));
  device.reset();  // before the terminal goes
}

}  // namespace
