// What the screen tests share: the frame buffer read back, touches as a finger gives them,
// the window that stands behind the screen under test, a skin bitmap's pixels, and a modal
// screen run on this (the window) thread while a driver thread acts on it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/imaging/com.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/afx.h"
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

// Waits (bounded, in host time) until done() holds, looking every millisecond; whether it did.
template <typename Condition>
bool Await(Condition done, int timeoutMs = 60000) {
  for (int i = 0; i < timeoutMs && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
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
    m_hWnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, kScreenWidth, kScreenHeight}, u"", 0, nullptr);
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::ValidateRect(m_hWnd, nullptr);
  }
  ~BackWindow() override {
    ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
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
