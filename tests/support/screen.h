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

using Screen = std::vector<WORD>;

inline WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }
inline Screen ReadScreen() { return Screen(GetVisibleFrame(), GetVisibleFrame() + kScreenWidth * kScreenHeight); }
inline void FillFrame(WORD colour) {
  std::fill(GetVisibleFrame(), GetVisibleFrame() + kScreenWidth * kScreenHeight, colour);
}

// A finger down and up at one point, queued together.
inline void Tap(int x, int y) {
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
}
inline void Tap(POINT p) { Tap(p.x, p.y); }
// A tap once the window thread is idle, handled before this returns: its time is the time
// it was made. A tap that ends the screen under test gives up after timeoutMs (device time):
// the back window keeps the thread from being idle once its test has stopped pumping.
inline void TapHandled(POINT p, DWORD timeoutMs = 60000) {
  WaitForWindowThreadIdle(timeoutMs);
  Tap(p);
  WaitForWindowThreadIdle(timeoutMs);
}

// Waits (bounded, in host time) until done() holds, looking every pollMs; whether it did.
// The answer is that of the look that saw it: a second look may catch a screen mid-write.
template <typename Condition>
bool Await(Condition done, int timeoutMs = 60000, int pollMs = 1) {
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
}
// Waits (bounded) until done() holds with the window thread idle; whether it did.
inline bool AwaitIdle(const std::function<bool()>& done) {
  for (int i = 0; i < 6000; ++i, Sleep(10)) {
    if (!done()) continue;
    if (!WaitForWindowThreadIdle(60000)) return false;
    if (done()) return true;
  }
  return false;
}

// How many times a text (a debug trace, say) holds `what`.
inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
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
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    SetClockSpeed(1);
  }
  std::unique_ptr<BackWindow> m_back = std::make_unique<BackWindow>();
};
