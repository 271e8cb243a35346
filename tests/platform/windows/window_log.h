// What the window tests share: a window that paints itself one colour and logs what it is
// asked to do, the frame buffer read back, and the window thread's queue run dry.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/windows/afx.h"

inline WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }
inline void ClearScreen() { std::fill(GetVisibleFrame(), GetVisibleFrame() + kFrameBytes / 2, WORD{0}); }

// Fills the window white through a context of its own, as a screen draws outside its paint.
inline void FillWhite(HWND window) {
  HDC dc = GetDC(window);
  const RECT all{0, 0, kScreenWidth, kScreenHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(window, dc);
}

inline void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

// Logs "name:erase", "name:paint", "name:down", "name:move X", "name:up", "name:timerN" and
// "name:command N"; answers WM_USER + 1 with a hash of the thread that handles it. It can be
// told to invalidate itself again from inside its paint, or to paint without beginning one.
class Painter : public CWnd {
 public:
  Painter(WORD colour, std::vector<std::string>* log, std::string name)
      : m_colour(colour), m_log(log), m_name(std::move(name)) {}
  ~Painter() override {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
  }
  HWND Create(HWND parent, RECT r, bool show = true) {
    m_hWnd = CreateWindowObject(WindowKind::Plain, parent, r, u"", 0, this);
    if (show) ::ShowWindow(m_hWnd, SW_SHOW);
    return m_hWnd;
  }
  BOOL OnEraseBkgnd(CDC*) override {
    Log("erase");
    return TRUE;
  }
  void OnPaint() override {
    if (m_skipBeginPaint) return Log("paint");
    CPaintDC dc(this);  // erases first when asked
    Log("paint");
    RECT r;
    GetClientRect(&r);
    dc.FillSolidRect(&r, FromRgb565(m_colour));
    if (m_againOnce) {
      m_againOnce = false;
      Invalidate(TRUE);  // asked again from inside the paint: must not be lost
    }
  }
  void OnLButtonDown(UINT, CPoint) override { Log("down"); }
  void OnMouseMove(UINT, CPoint p) override { Log("move " + std::to_string(p.x)); }
  void OnLButtonUp(UINT, CPoint) override { Log("up"); }
  void OnTimer(UINT_PTR id) override { Log("timer" + std::to_string(id)); }
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == WM_USER + 1) return static_cast<LRESULT>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    if (message == WM_COMMAND) Log("command " + std::to_string(LOWORD(w)));
    return CWnd::WindowProc(message, w, l);
  }

  WORD m_colour;
  bool m_againOnce = false;
  bool m_skipBeginPaint = false;

 private:
  void Log(const std::string& what) { m_log->push_back(m_name + ":" + what); }
  std::vector<std::string>* m_log;
  std::string m_name;
};

// A cleared screen and a log for each test.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearScreen(); }
  std::vector<std::string> log;
};
