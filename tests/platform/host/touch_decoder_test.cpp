// Touches from input event records.
#include <gtest/gtest.h>

#include <vector>

#include "platform/host/touch_decoder.h"

namespace {

input_event Event(int type, int code, int value) {
  input_event e {};
  e.type = static_cast<__u16>(type);
  e.code = static_cast<__u16>(code);
  e.value = value;
  return e;
}
const input_event kReport = Event(EV_SYN, SYN_REPORT, 0);

std::vector<ScreenTouch> Feed(TouchDecoder& decoder, const std::vector<input_event>& events) {
  std::vector<ScreenTouch> touches;
  for (const input_event& e : events) decoder.Feed(e, &touches);
  return touches;
}

TEST(TouchDecoder, SingleTouchScaledFromTheDevicesRanges) {
  TouchGeometry g;
  g.x = {0, 4095};
  g.y = {100, 4195};
  TouchDecoder decoder(g);
  EXPECT_EQ(Feed(decoder, {Event(EV_ABS, ABS_X, 4095), Event(EV_ABS, ABS_Y, 100), Event(EV_KEY, BTN_TOUCH, 1), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Down, 799, 0}}));
  // A report without a change says nothing; a new position is a move; values outside the
  // range stay on the screen's edge.
  EXPECT_TRUE(Feed(decoder, {kReport}).empty());
  EXPECT_EQ(Feed(decoder, {Event(EV_ABS, ABS_X, 2048), Event(EV_ABS, ABS_Y, 9999), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Move, 400, 479}}));
  // Nothing happens before the report; the up comes where the touch was last.
  EXPECT_TRUE(Feed(decoder, {Event(EV_ABS, ABS_X, 0), Event(EV_KEY, BTN_TOUCH, 0)}).empty());
  EXPECT_EQ(Feed(decoder, {kReport}), (std::vector<ScreenTouch>{{TouchKind::Up, 400, 479}}));
}

TEST(TouchDecoder, MultiTouchFollowsSlotZeroOnly) {
  TouchDecoder decoder{TouchGeometry{}};
  EXPECT_EQ(Feed(decoder, {Event(EV_ABS, ABS_MT_SLOT, 0), Event(EV_ABS, ABS_MT_TRACKING_ID, 7),
                           Event(EV_ABS, ABS_MT_POSITION_X, 10), Event(EV_ABS, ABS_MT_POSITION_Y, 20),
                           Event(EV_KEY, BTN_TOUCH, 1), Event(EV_ABS, ABS_X, 10), Event(EV_ABS, ABS_Y, 20), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Down, 10, 20}}));
  // A second finger in slot 1 moves nothing.
  EXPECT_TRUE(Feed(decoder, {Event(EV_ABS, ABS_MT_SLOT, 1), Event(EV_ABS, ABS_MT_TRACKING_ID, 8),
                             Event(EV_ABS, ABS_MT_POSITION_X, 700), Event(EV_ABS, ABS_MT_POSITION_Y, 400), kReport})
                  .empty());
  // Slot 0 lifts while slot 1 stays down (BTN_TOUCH stays 1): the touch is up.
  EXPECT_EQ(Feed(decoder, {Event(EV_ABS, ABS_MT_SLOT, 0), Event(EV_ABS, ABS_MT_TRACKING_ID, -1), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Up, 10, 20}}));
  // A new finger in slot 0.
  EXPECT_EQ(Feed(decoder, {Event(EV_ABS, ABS_MT_TRACKING_ID, 9), Event(EV_ABS, ABS_MT_POSITION_X, 30), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Down, 30, 20}}));
}

TEST(TouchDecoder, DroppedRecordsAreLeftOutUntilTheNextReport) {
  TouchDecoder decoder{TouchGeometry{}};
  EXPECT_TRUE(Feed(decoder, {Event(EV_ABS, ABS_X, 5), Event(EV_SYN, SYN_DROPPED, 0), Event(EV_KEY, BTN_TOUCH, 1), kReport})
                  .empty());
  EXPECT_EQ(Feed(decoder, {Event(EV_KEY, BTN_TOUCH, 1), Event(EV_ABS, ABS_Y, 6), kReport}),
            (std::vector<ScreenTouch>{{TouchKind::Down, 5, 6}}));
}

TEST(TouchDecoder, PanelsMountedAnotherWay) {
  // The raw top left corner, and the raw point (max x, 0), for each mounting.
  auto corners = [](int rotate, bool swap) {
    TouchGeometry g;
    g.rotate = rotate;
    g.swapXY = swap;
    std::vector<ScreenTouch> touches;
    for (int x : {0, 799}) {
      TouchDecoder decoder(g);
      for (const input_event& e :
           {Event(EV_ABS, ABS_X, x), Event(EV_ABS, ABS_Y, 0), Event(EV_KEY, BTN_TOUCH, 1), kReport})
        decoder.Feed(e, &touches);
    }
    return std::vector<int>{touches[0].x, touches[0].y, touches[1].x, touches[1].y};
  };
  EXPECT_EQ(corners(0, false), (std::vector<int>{0, 0, 799, 0}));
  EXPECT_EQ(corners(90, false), (std::vector<int>{799, 0, 799, 479}));
  EXPECT_EQ(corners(180, false), (std::vector<int>{799, 479, 0, 479}));
  EXPECT_EQ(corners(270, false), (std::vector<int>{0, 479, 0, 0}));
  EXPECT_EQ(corners(0, true), (std::vector<int>{0, 0, 0, 479}));
  EXPECT_EQ(corners(90, true), (std::vector<int>{799, 0, 0, 0}));
}

}  // namespace
