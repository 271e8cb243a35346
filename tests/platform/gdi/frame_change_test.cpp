// Hosts show a new frame only when something announced a change: drawing through a context on
// the frame buffer does so when the context is released, drawing elsewhere does not, and the
// host is woken once however many changes come before it takes them.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/device/framebuffer.h"
#include "platform/gdi/gdi.h"

namespace {

std::atomic<int> g_wakes{0};

TEST(FrameChanges, ContextsOnTheFrameAnnounceWhatTheyDrewAndTheHostIsWokenOnce) {
  SetFrameChangeWake([] { ++g_wakes; });
  TakeFrameChange();
  const RECT box{10, 10, 20, 20};
  HBRUSH brush = CreateSolidBrush(RGB(200, 0, 0));

  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(memory, 32, 32);
  HGDIOBJ old = SelectObject(memory, bitmap);
  FillRect(memory, &box, brush);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  EXPECT_FALSE(TakeFrameChange());  // nothing of the frame was drawn
  EXPECT_EQ(g_wakes, 0);

  HDC screen = CreateScreenDC();
  FillRect(screen, &box, brush);
  EXPECT_FALSE(TakeFrameChange());  // not while the context is still drawing
  DeleteDC(screen);
  AnnounceFrameChange();  // a direct write on top
  EXPECT_EQ(g_wakes, 1);
  EXPECT_TRUE(TakeFrameChange());
  EXPECT_FALSE(TakeFrameChange());
  AnnounceFrameChange();
  EXPECT_EQ(g_wakes, 2);

  SetFrameChangeWake(nullptr);
  DeleteObject(brush);
  TakeFrameChange();
}

}  // namespace
