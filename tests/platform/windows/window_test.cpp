#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "platform/kernel/kernel.h"
#include "platform/windows/resources.h"
#include "tests/platform/windows/window_log.h"

namespace {

class Windows : public WindowTest {};
class Dialogs : public WindowTest {};

// Runs the window thread's loop until the condition holds or 2 s of device time pass.
template <typename F>
bool PumpUntil(F done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 2000) return false;
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    else Sleep(1);
  }
  return true;
}

TEST_F(Windows, PaintsCoalesceEraseOnRequestParentsFirst) {
  Painter parent(0x1111, &log, "parent"), child(0x2222, &log, "child");
  parent.Create(nullptr, RECT{0, 0, 200, 100}, false);
  child.Create(parent.m_hWnd, RECT{10, 10, 60, 40}, false);
  ShowWindow(child.m_hWnd, SW_SHOW);
  ShowWindow(parent.m_hWnd, SW_SHOW);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"parent:erase", "parent:paint", "child:erase", "child:paint"}));
  // The parent's paint left out its child.
  EXPECT_EQ(Pixel(5, 5), 0x1111);
  EXPECT_EQ(Pixel(15, 15), 0x2222);
  // So does a context of the parent, until the child is hidden.
  FillWhite(parent.m_hWnd);
  EXPECT_EQ((std::vector<WORD>{Pixel(5, 5), Pixel(15, 15)}), (std::vector<WORD>{0xFFFF, 0x2222}));
  child.ShowWindow(SW_HIDE);
  Pump();
  FillWhite(parent.m_hWnd);
  EXPECT_EQ(Pixel(15, 15), 0xFFFF);
  child.ShowWindow(SW_SHOW);
  Pump();

  log.clear();
  RECT a{0, 0, 5, 5}, b{100, 50, 120, 60};
  InvalidateRect(parent.m_hWnd, &a, FALSE);
  InvalidateRect(parent.m_hWnd, &b, FALSE);
  Pump();
  EXPECT_EQ(log, std::vector<std::string>{"parent:paint"});  // two requests, one paint, no erase
  log.clear();
  InvalidateRect(parent.m_hWnd, &a, FALSE);
  InvalidateRect(parent.m_hWnd, &b, TRUE);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"parent:erase", "parent:paint"}));
}

TEST_F(Windows, PaintIsClippedToTheUpdateRegionAndWindowsAbove) {
  Painter below(0x1111, &log, "below"), above(0x3333, &log, "above");
  below.Create(nullptr, RECT{0, 0, 800, 480});
  Pump();
  ClearScreen();
  RECT part{100, 100, 110, 110};
  InvalidateRect(below.m_hWnd, &part, FALSE);
  Pump();
  EXPECT_EQ(Pixel(105, 105), 0x1111);
  EXPECT_EQ(Pixel(99, 105), 0);
  EXPECT_EQ(Pixel(110, 105), 0);

  above.Create(nullptr, RECT{0, 0, 800, 480});
  Pump();
  log.clear();
  // Fully covered: invalidating asks for nothing and drawing through a DC reaches nothing.
  InvalidateRect(below.m_hWnd, nullptr, TRUE);
  Pump();
  EXPECT_TRUE(log.empty());
  FillWhite(below.m_hWnd);
  EXPECT_EQ(Pixel(400, 240), 0x3333);

  // Hiding the window above repaints what it uncovers, with erasing.
  ShowWindow(above.m_hWnd, SW_HIDE);
  Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"below:erase", "below:paint"}));
  EXPECT_EQ(Pixel(400, 240), 0x1111);
}

TEST_F(Windows, TimersIncludingOneMillisecondAndCallbacks) {
  Painter w(0, &log, "w");
  w.Create(nullptr, RECT{0, 0, 10, 10}, false);
  SetTimer(w.m_hWnd, 7, 1, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return log.size() >= 5; }));
  KillTimer(w.m_hWnd, 7);
  Pump();
  const size_t after = log.size();
  Sleep(20);
  Pump();
  EXPECT_EQ(log.size(), after);
  for (const std::string& entry : log) EXPECT_EQ(entry, "w:timer7");

  static std::atomic<int> ticks;
  static UINT_PTR seen;
  ticks = 0;
  SetTimer(w.m_hWnd, 3, 5, [](HWND, UINT message, UINT_PTR id, DWORD) {
    if (message == WM_TIMER) seen = id;
    ++ticks;
  });
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  KillTimer(w.m_hWnd, 3);
  EXPECT_EQ(seen, 3u);
  EXPECT_EQ(log.size(), after);  // the callback form sends no WM_TIMER
}

// Screens finish their drawing from a 1 ms timer that their paint starts; a host that waits
// for the screen to settle must not take its picture between the paint and that timer.
TEST_F(Windows, SettlingWaitsForTheTimerAPaintStarted) {
  class TwoStep : public CWnd {
   public:
    std::atomic<bool> finished{false};
    void OnPaint() override {
      CPaintDC dc(this);
      SetTimer(2, 1, nullptr);
    }
    void OnTimer(UINT_PTR id) override {
      KillTimer(id);
      finished = true;
    }
  } window;
  window.m_hWnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 10, 10}, u"", 0, &window);
  ShowWindow(window.m_hWnd, SW_SHOW);
  InvalidateRect(window.m_hWnd, nullptr, FALSE);
  bool settled = false, finishedWhenSettled = false;
  std::thread host([&] {
    settled = WaitForWindowThreadIdle(2000);
    finishedWhenSettled = window.finished;
    PostQuitToWindowThread(0);
  });
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  host.join();
  ::DestroyWindow(window.m_hWnd);
  EXPECT_TRUE(settled);
  EXPECT_TRUE(finishedWhenSettled);
}

TEST_F(Windows, OtherThreadsSendPostAndInvalidate) {
  Painter w(0x4444, &log, "w");
  w.Create(nullptr, RECT{0, 0, 50, 50});
  Pump();
  log.clear();
  std::atomic<LRESULT> answer{0};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    answer = SendMessage(w.m_hWnd, WM_USER + 1, 0, 0);  // waits for the window thread
    InvalidateRect(w.m_hWnd, nullptr, FALSE);
    finished = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return finished.load() && !log.empty(); }));
  worker.join();
  EXPECT_EQ(answer.load(), static_cast<LRESULT>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  EXPECT_EQ(log, std::vector<std::string>{"w:paint"});
}

// Test bitmaps: an up and a down picture of one colour each.
const BYTE kUpPalette[768] = {10, 20, 30};
const BYTE kDownPalette[768] = {250, 0, 0};
const BYTE kPixels[] = {254, 0, 254, 0, 254, 0, 254, 0, 254, 0, 254, 0, 254, 0,
                        254, 0, 254, 0, 254, 0, 254, 0, 254, 0, 254, 0, 254, 0,
                        254, 0, 254, 0, 254, 0, 254, 0, 254, 0, 254, 0};  // 20 runs of 128
const ResourceBitmap kBitmaps[] = {{1, 64, 40, kUpPalette, kPixels, sizeof kPixels},
                                   {2, 64, 40, kDownPalette, kPixels, sizeof kPixels}};
const DialogControl kControls[] = {{50, ControlKind::Button, u"go", RECT{100, 100, 164, 140}, true, true},
                                   {51, ControlKind::Button, u"off", RECT{200, 100, 264, 140}, false, false},
                                   {52, ControlKind::Static, u"", RECT{0, 0, 800, 90}, true, true}};
const DialogTemplate kDialogs[] = {{900, u"test", RECT{0, 0, 800, 480}, kControls, std::size(kControls)},
                                   {901, u"inner", RECT{0, 0, 800, 480}, nullptr, 0}};

struct TestResources : ::testing::Environment {
  void SetUp() override { RegisterResources(ResourceTables{kBitmaps, 2, nullptr, 0, kDialogs, 2}); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TestResources);

// Feeds touches from another thread once the window thread has drawn everything.
void TouchLater(std::vector<std::tuple<TouchKind, int, int>> touches) {
  std::thread([touches] {
    for (auto [kind, x, y] : touches) {
      WaitForWindowThreadIdle(2000);
      PostTouch(kind, x, y);
    }
  }).detach();
}

class TestDialog : public CDialog {
 public:
  TestDialog(UINT id, std::vector<std::string>* log) : CDialog(id), m_log(log) {}
  BOOL OnInitDialog() override {
    m_button.SubclassDlgItem(50, this);
    m_button.LoadBitmaps(1, 2);
    if (onInit) onInit(*this);
    return TRUE;
  }
  BOOL OnCommand(WPARAM w, LPARAM l) override {
    m_log->push_back("command " + std::to_string(LOWORD(w)));
    if (onCommand) onCommand(*this, LOWORD(w));
    return CDialog::OnCommand(w, l);
  }
  void OnLButtonDown(UINT, CPoint p) override {
    m_log->push_back("dialog down " + std::to_string(p.x) + "," + std::to_string(p.y));
  }
  void OnTimer(UINT_PTR id) override {
    if (onTimer) onTimer(*this, id);
  }
  std::function<void(TestDialog&)> onInit;
  std::function<void(TestDialog&, int)> onCommand;
  std::function<void(TestDialog&, UINT_PTR)> onTimer;
  CBitmapButton m_button;

 private:
  std::vector<std::string>* m_log;
};

TEST_F(Dialogs, BitmapButtonShowsItsDownStateAndClicksOnlyWhenReleasedOver) {
  TestDialog dialog(900, &log);
  std::atomic<WORD> down{0}, movedAway{0};
  dialog.onInit = [&](TestDialog& d) {
    EXPECT_FALSE(d.GetDlgItem(51)->IsWindowVisible());
    EXPECT_FALSE(d.GetDlgItem(51)->IsWindowEnabled());
  };
  // A press released outside does nothing; a press released over the button clicks it.
  std::thread feeder([&] {
    WaitForWindowThreadIdle(2000);
    PostTouch(TouchKind::Down, 120, 120);
    WaitForWindowThreadIdle(2000);
    down = Pixel(120, 120);
    PostTouch(TouchKind::Move, 300, 300);
    WaitForWindowThreadIdle(2000);
    movedAway = Pixel(120, 120);
    PostTouch(TouchKind::Up, 300, 300);
    PostTouch(TouchKind::Down, 130, 110);
    PostTouch(TouchKind::Up, 131, 111);
  });
  dialog.onCommand = [&](TestDialog& d, int id) {
    if (id == 50) d.EndDialog(77);
  };
  EXPECT_EQ(dialog.DoModal(), 77);
  EXPECT_EQ(log, std::vector<std::string>{"command 50"});
  feeder.join();
  EXPECT_EQ(down.load(), ToRgb565(RGB(250, 0, 0)));
  EXPECT_EQ(movedAway.load(), ToRgb565(RGB(10, 20, 30)));  // sliding off shows it up again
}

TEST_F(Dialogs, TouchesGoToTheWindowUnderThemThroughStaticsAndDisabledControls) {
  TestDialog dialog(900, &log);
  dialog.onInit = [&](TestDialog& d) {
    d.GetDlgItem(51)->ShowWindow(SW_SHOW);  // shown but still disabled
    d.SetTimer(2, 1, nullptr);
  };
  TouchLater({{TouchKind::Down, 10, 20}, {TouchKind::Up, 10, 20},       // on the static: the dialog gets it
              {TouchKind::Down, 210, 110}, {TouchKind::Up, 210, 110},   // disabled button: the dialog
              {TouchKind::Down, 500, 300}, {TouchKind::Up, 500, 300}});
  dialog.onTimer = [&](TestDialog& d, UINT_PTR) {
    if (log.size() == 3) d.EndDialog(1);
  };
  dialog.DoModal();
  EXPECT_EQ(log, (std::vector<std::string>{"dialog down 10,20", "dialog down 210,110", "dialog down 500,300"}));
}

TEST_F(Dialogs, ModalLoopsNestReturnTheirResultsAndAQuitEndsEveryLoopInTurn) {
  TestDialog outer(900, &log);
  INT_PTR innerResult = 0, quitResult = 0;
  bool outerVisibleAfterInner = false;
  outer.onInit = [&](TestDialog& d) { d.SetTimer(1, 1, nullptr); };
  outer.onTimer = [&](TestDialog& d, UINT_PTR) {
    d.KillTimer(1);
    TestDialog inner(901, &log);
    inner.onInit = [](TestDialog& i) { i.SetTimer(5, 1, nullptr); };
    inner.onTimer = [&](TestDialog& i, UINT_PTR) {
      EXPECT_FALSE(d.IsWindowEnabled());  // the owner is disabled while the inner loop runs
      i.EndDialog(34);
    };
    innerResult = inner.DoModal();
    outerVisibleAfterInner = d.IsWindowVisible() && d.IsWindowEnabled();
    // A quit in a second inner loop ends that loop, then the outer one.
    TestDialog second(901, &log);
    second.onInit = [](TestDialog&) { PostQuitToWindowThread(3); };
    quitResult = second.DoModal();
  };
  EXPECT_EQ(outer.DoModal(), -1);
  EXPECT_EQ((std::pair{innerResult, quitResult}), (std::pair<INT_PTR, INT_PTR>{34, -1}));
  EXPECT_TRUE(outerVisibleAfterInner);
  EXPECT_EQ(outer.m_hWnd, nullptr);
  MSG msg;
  EXPECT_FALSE(GetMessage(&msg, nullptr, 0, 0));  // the last loop still sees the quit
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Dialogs, MessageBoxDrawsItsTextAndIsAnsweredByATap) {
  std::atomic<int> bright{0};
  std::thread watcher([&] {
    WaitForWindowThreadIdle(2000);
    int n = 0;
    for (int y = 140; y < 340; ++y)
      for (int x = 180; x < 620; ++x) n += Pixel(x, y) == 0xFFFF;
    bright = n;
    PostTouch(TouchKind::Down, 400, 300);  // the OK button
    PostTouch(TouchKind::Up, 400, 300);
  });
  EXPECT_EQ(MessageBoxW(nullptr, u"Couldn't get LCD size from registry", u"", MB_OK), IDOK);
  watcher.join();
  EXPECT_GT(bright.load(), 100);  // the text and the frame
}

}  // namespace
