// Z-order, uncovering and the paint cycle's corner cases.
#include <gtest/gtest.h>

#include "platform/windows/resources.h"
#include "tests/platform/windows/window_log.h"

namespace {

class WindowOrder : public WindowTest {};

TEST_F(WindowOrder, TopmostStaysAboveLaterWindowsAndTouchesFollowTheWindowTheyWentDownOn) {
  Painter top(0x1111, &log, "top"), later(0x2222, &log, "later");
  top.Create(nullptr, RECT{0, 0, 100, 100});
  ::SetWindowPos(top.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  later.Create(nullptr, RECT{50, 50, 150, 150});
  Pump();
  EXPECT_EQ(Pixel(75, 75), 0x1111);
  EXPECT_EQ(Pixel(125, 125), 0x2222);
  EXPECT_EQ(GetForegroundWindow(), top.m_hWnd);
  log.clear();
  PostTouch(TouchKind::Down, 75, 75);
  PostTouch(TouchKind::Up, 75, 75);
  PostTouch(TouchKind::Down, 10, 10);
  PostTouch(TouchKind::Move, 125, 10);  // dragged off: the touch stays with the window it went down on
  PostTouch(TouchKind::Move, 125, 125);  // over the other window
  PostTouch(TouchKind::Up, 125, 125);
  PostTouch(TouchKind::Down, 125, 125);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"top:down", "top:up", "top:down", "top:move 125", "top:move 125", "top:up",
                                           "later:down"}));
  PostTouch(TouchKind::Up, 125, 125);
  Pump();
}

TEST_F(WindowOrder, MovingAndDestroyingUncoverWhatLiesBelow) {
  Painter below(0x1111, &log, "below");
  below.Create(nullptr, RECT{0, 0, 300, 200});
  auto* child = new Painter(0x3333, &log, "child");
  child->Create(below.m_hWnd, RECT{10, 10, 60, 60});
  Pump();
  EXPECT_EQ(Pixel(20, 20), 0x3333);
  log.clear();
  child->MoveWindow(100, 100, 50, 50);
  Pump();
  // The parent repaints where the child was; the child paints where it is now.
  EXPECT_EQ(log, (std::vector<std::string>{"below:erase", "below:paint", "child:erase", "child:paint"}));
  EXPECT_EQ(Pixel(20, 20), 0x1111);
  EXPECT_EQ(Pixel(120, 120), 0x3333);
  log.clear();
  delete child;
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"below:erase", "below:paint"}));
  EXPECT_EQ(Pixel(120, 120), 0x1111);
}

TEST_F(WindowOrder, InvalidatingInsidePaintIsKeptAndPaintsThatNeverBeginEnd) {
  Painter w(0x1111, &log, "w");
  w.Create(nullptr, RECT{0, 0, 50, 50});
  Pump();
  log.clear();
  w.m_againOnce = true;
  w.Invalidate(FALSE);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"w:paint", "w:erase", "w:paint"}));

  log.clear();
  w.m_skipBeginPaint = true;
  w.Invalidate(FALSE);
  Pump();  // a paint handler that never begins a paint is not asked forever
  EXPECT_EQ(log, std::vector<std::string>{"w:paint"});
}

TEST_F(WindowOrder, HiddenWindowsNeitherPaintNorTakeTouches) {
  Painter under(0x1111, &log, "under"), over(0x2222, &log, "over");
  under.Create(nullptr, RECT{0, 0, 100, 100});
  over.Create(nullptr, RECT{0, 0, 100, 100});
  over.ShowWindow(SW_HIDE);
  Pump();
  log.clear();
  over.Invalidate(TRUE);
  PostTouch(TouchKind::Down, 10, 10);
  PostTouch(TouchKind::Up, 10, 10);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"under:down", "under:up"}));
  EXPECT_EQ(Pixel(10, 10), 0x1111);
}

TEST(Resources, CorruptRunsAreRefused) {
  const BYTE palette[768] = {};
  const BYTE tooLong[] = {130, 7};       // 4 pixels for a 1 x 3 bitmap
  const BYTE cutShort[] = {3, 1, 2};     // 4 literal bytes announced, 2 there
  const BYTE exact[] = {0, 9, 129, 4};  // 1 literal, then 3 repeats
  BYTE out[4];
  EXPECT_FALSE(DecodeResourcePixels(ResourceBitmap{1, 1, 3, palette, tooLong, sizeof tooLong}, out));
  EXPECT_FALSE(DecodeResourcePixels(ResourceBitmap{1, 4, 1, palette, cutShort, sizeof cutShort}, out));
  ASSERT_TRUE(DecodeResourcePixels(ResourceBitmap{1, 2, 2, palette, exact, sizeof exact}, out));
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[3], 4);
}

}  // namespace
