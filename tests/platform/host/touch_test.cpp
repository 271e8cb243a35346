// Touches from input event records: touch screens, tablets and mice, on panels turned and
// not; and a touch device that goes away and comes back, played by pseudo-terminals in raw
// mode behind a link, as a panel's node behind /dev/input/by-path/: closing the terminal's
// master makes reads fail as an unplugged device's do, and pointing the link at a new
// terminal is the node coming back.
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/host/touch_decoder.h"
#include "platform/host/touch_device.h"
#include "tests/support/temp_root.h"

namespace {

using Touches = std::vector<ScreenTouch>;
constexpr TouchKind kDown = TouchKind::Down, kMove = TouchKind::Move, kUp = TouchKind::Up;

input_event E(int type, int code, int value) {
  return input_event{{}, static_cast<__u16>(type), static_cast<__u16>(code), value};
}
const input_event kReport = E(EV_SYN, SYN_REPORT, 0);

Touches Feed(TouchDecoder& decoder, const std::vector<input_event>& events) {
  Touches touches;
  for (const input_event& e : events) decoder.Feed(e, &touches);
  return touches;
}

TEST(TouchDecoder, TouchScreensTabletsMiceAndMultiTouchFollowingSlotZeroOnly) {
  for (int button : {BTN_TOUCH, BTN_LEFT}) {
    TouchDecoder decoder(TouchGeometry{.x = {0, 4095}, .y = {100, 4195}});
    EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_X, 4095), E(EV_ABS, ABS_Y, 100), E(EV_KEY, button, 1), kReport}), (Touches{{kDown, 799, 0}}));
    // No change, no touch; outside the range is the edge; the up comes where it was last.
    EXPECT_TRUE(Feed(decoder, {kReport}).empty());
    EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_X, 2048), E(EV_ABS, ABS_Y, 9999), kReport}), (Touches{{kMove, 400, 479}}));
    EXPECT_TRUE(Feed(decoder, {E(EV_ABS, ABS_X, 0), E(EV_KEY, button, 0)}).empty());
    EXPECT_EQ(Feed(decoder, {kReport}), (Touches{{kUp, 400, 479}}));
  }

  // A mouse moves a pointer that stays on the screen.
  TouchDecoder decoder(TouchGeometry{.panel = {800, 480, 180}});  // over the picture as it is seen
  EXPECT_TRUE(Feed(decoder, {E(EV_REL, REL_X, -100), E(EV_REL, REL_Y, 20), kReport}).empty());  // no button: no touch
  EXPECT_EQ(Feed(decoder, {E(EV_KEY, BTN_LEFT, 1), kReport}), (Touches{{kDown, 300, 260}}));
  EXPECT_EQ(Feed(decoder, {E(EV_REL, REL_X, 5000), E(EV_REL, REL_Y, -5000), kReport}), (Touches{{kMove, 799, 0}}));
  EXPECT_EQ(Feed(decoder, {E(EV_REL, REL_X, -1), E(EV_KEY, BTN_LEFT, 0), kReport}), (Touches{{kUp, 799, 0}}));  // where it was last told

  // Multi-touch follows slot 0 only, and dropped records are left out.
  decoder = TouchDecoder{TouchGeometry{}};
  EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_MT_SLOT, 0), E(EV_ABS, ABS_MT_TRACKING_ID, 7), E(EV_ABS, ABS_MT_POSITION_X, 10),
                           E(EV_ABS, ABS_MT_POSITION_Y, 20), E(EV_KEY, BTN_TOUCH, 1), E(EV_ABS, ABS_X, 10), kReport}),
            (Touches{{kDown, 10, 20}}));
  // Slot 1 moves nothing; slot 0 lifting is the up (BTN_TOUCH stays 1); then a new touch.
  EXPECT_TRUE(Feed(decoder, {E(EV_ABS, ABS_MT_SLOT, 1), E(EV_ABS, ABS_MT_TRACKING_ID, 8), E(EV_ABS, ABS_MT_POSITION_X, 700), kReport}).empty());
  EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_MT_SLOT, 0), E(EV_ABS, ABS_MT_TRACKING_ID, -1), kReport}), (Touches{{kUp, 10, 20}}));
  EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_MT_TRACKING_ID, 9), E(EV_ABS, ABS_MT_POSITION_X, 30), kReport}), (Touches{{kDown, 30, 20}}));
  EXPECT_TRUE(Feed(decoder, {E(EV_ABS, ABS_MT_POSITION_X, 5), E(EV_SYN, SYN_DROPPED, 0), E(EV_ABS, ABS_MT_TRACKING_ID, -1), kReport}).empty());
  EXPECT_EQ(Feed(decoder, {E(EV_ABS, ABS_MT_POSITION_Y, 6), kReport}), (Touches{{kMove, 5, 6}}));
  // After SYN_DROPPED the rest of the report is left out; a device gone lifts the touch.
  Touches lifted;
  decoder.Lift(&lifted);
  EXPECT_EQ(lifted, (Touches{{kUp, 5, 6}}));
}

TEST(TouchDecoder, TouchesFollowTheTurnedPictureAndTheTouchPanelsOwnMounting) {
  // Where the raw corners (0, 0) and (max, 0) of the touch panel land on the frame.
  struct Case { int panelWidth, panelHeight, fbRotate, touchRotate; bool swap; std::vector<int> corners; };
  for (const Case& c : std::vector<Case>{
           {800, 480, 0, 0, false, {0, 0, 799, 0}}, {800, 480, 0, 90, false, {799, 0, 799, 479}},
           {800, 480, 0, 180, false, {799, 479, 0, 479}}, {800, 480, 0, 270, false, {0, 479, 0, 0}},
           {800, 480, 0, 0, true, {0, 0, 0, 479}}, {800, 480, 0, 90, true, {799, 0, 0, 0}},
           {800, 480, 180, 0, false, {799, 479, 0, 479}}, {800, 480, 180, 180, false, {0, 0, 799, 0}},
           {480, 800, 90, 0, false, {0, 479, 0, 0}}, {480, 800, 270, 0, false, {799, 0, 799, 479}},
           {480, 800, 90, 90, true, {0, 0, 0, 479}},
           {1024, 600, 0, 0, false, {0, 0, 799, 0}},  // borders: the nearest edge
           {400, 240, 0, 0, false, {1, 1, 799, 1}}}) {  // half size: a block's middle
    TouchGeometry g{.swapXY = c.swap, .rotate = c.touchRotate, .panel = {c.panelWidth, c.panelHeight, c.fbRotate}};
    std::vector<int> corners;
    for (int x : {0, 799}) {
      TouchDecoder decoder(g);
      const Touches t = Feed(decoder, {E(EV_ABS, ABS_X, x), E(EV_ABS, ABS_Y, 0), E(EV_KEY, BTN_TOUCH, 1), kReport});
      corners.insert(corners.end(), {t.at(0).x, t.at(0).y});
    }
    EXPECT_EQ(corners, c.corners) << c.panelWidth << "x" << c.panelHeight << " turned " << c.fbRotate << ", touch "
                                  << c.touchRotate << (c.swap ? " swapped" : "");
  }
}

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
  ~Terminal() {
    if (master >= 0) close(master);
  }
  void Send(const std::vector<input_event>& events) const {
    const size_t bytes = events.size() * sizeof(input_event);
    ASSERT_EQ(write(master, events.data(), bytes), static_cast<ssize_t>(bytes));
  }
  void Tap(int x, int y) const {
    Send({E(EV_ABS, ABS_X, x), E(EV_ABS, ABS_Y, y), E(EV_KEY, BTN_TOUCH, 1), kReport, E(EV_KEY, BTN_TOUCH, 0), kReport});
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
  first->Send({E(EV_KEY, BTN_TOUCH, 1), kReport});
  EXPECT_EQ(Next(*device), (std::vector<ScreenTouch>{{TouchKind::Down, 10, 20}}));
  first.reset();
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
