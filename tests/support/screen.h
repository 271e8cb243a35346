// What the screen tests share: the frame buffer read back, touches as a finger gives them,
// the window that stands behind the screen under test, a skin bitmap's pixels, a modal
// screen run on this (the window) thread while a driver thread acts on it, and the fixture
// that sets all this up.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/imaging/com.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/afx.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "tests/support/frame.h"
#include "tests/support/wait.h"

// A tap once the window thread is idle, handled before this returns: its time is the time
// it was made; whether the thread became idle after it. A tap that ends the screen under
// test gives up after timeoutMs (device time): the back window keeps the thread from being
// idle once its test has stopped pumping.
inline bool TapHandled(POINT p, DWORD timeoutMs = 60000) {
  WaitForWindowThreadIdle(timeoutMs);
  Tap(p);
  return WaitForWindowThreadIdle(timeoutMs);
}
// Where a finger taps the photo view's buttons, by their place from the left (previous,
// next, turn, original size, zoom in, zoom out, exit), and the volume dialog's, by their
// middles (exit, softer, louder, play or pause).
inline POINT ViewButton(int place) { return POINT{25 + 108 * place + 50, 432}; }
constexpr int kVolumeExitX = 64, kVolumeDownX = 174, kVolumeUpX = 634, kVolumePlayX = 729;
inline POINT VolumeButton(int middleX) { return POINT{middleX, 428}; }
// Two taps at one point, each handled before the next: a double tap.
inline void DoubleTapHandled(POINT p) {
  TapHandled(p);
  TapHandled(p);
}

// Waits (bounded) until done() holds with the window thread idle; whether it did.
inline bool AwaitIdle(const std::function<bool()>& done) {
  return Await([&] { return done() && WaitForWindowThreadIdle(60000) && done(); }, 60000, 10);
}

// COM for one test's imaging objects: the members declared after it are gone before it ends.
struct ComApartment {
  ComApartment() { EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  ~ComApartment() { CoUninitialize(); }
};

// A visible full-screen window that asks for no paint: the screen the one under test was
// opened from. It also keeps a window alive, so that a driver's idle waits do not end
// before the screen under test exists.
class BackWindow : public CWnd {
 public:
  BackWindow() {
    m_hWnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, kScreenWidth, kScreenHeight}, u"", 0, this);
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::ValidateRect(m_hWnd, nullptr);
  }
  ~BackWindow() override {
    ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
  // The screen read on the window thread, so that the copy is ordered with its drawing.
  Screen CopyScreen() {
    SendMessage(kCopyScreen);
    return m_copy;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != kCopyScreen) return CWnd::WindowProc(message, wParam, lParam);
    m_copy = ReadScreen();
    return 0;
  }

 private:
  static constexpr UINT kCopyScreen = WM_USER + 1;
  Screen m_copy;
};

// A skin bitmap and its pixels in the screen's format.
struct SkinPixels {
  CBitmap bitmap;
  const WORD* data = nullptr;
  int pitch = 0, width = 0, height = 0;
  explicit SkinPixels(UINT id) {
    LoadSkinBitmap(bitmap, id);
    data = BitmapPixels(bitmap, &pitch);
    BITMAP info{};
    bitmap.GetBitmap(&info);
    width = info.bmWidth;
    height = info.bmHeight;
  }
  WORD At(int x, int y) const { return data[y * pitch + x]; }
  // Whether the screen shows the whole bitmap with its top left corner at (x, y).
  bool ShownAt(int x, int y) const {
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i)
        if (Pixel(x + i, y + j) != At(i, j)) return false;
    return true;
  }
};

// Runs a modal screen on this (the window) thread while `drive` runs on another thread; the
// screen's result.
inline INT_PTR RunWithDriver(const std::function<INT_PTR()>& modal, const std::function<void()>& drive) {
  std::thread driver(drive);
  const INT_PTR result = modal();
  driver.join();
  return result;
}

// A screen test's ground: the skin installed, a black frame with the back window over it, no
// sound device; afterwards the back window gone, its messages handled and the device clock
// at its own speed again.
class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    InstallResources();
    FillFrame(0);
  }
  void TearDown() override {
    m_back.reset();
    PumpMessages();
    SetClockSpeed(1);
  }
  std::unique_ptr<BackWindow> m_back = std::make_unique<BackWindow>();
};
