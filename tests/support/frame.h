// The frame buffer read back and written, touches as a finger gives them, and the window
// thread's queue run dry: what the window tests and the screens' tests share. Platform only,
// so that the platform's own tests can use it.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/windows/window.h"

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

// Handles every message queued for this thread.
inline void PumpMessages() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}
