// The window layer: the paint cycle, z-order and uncovering, timers (also across the tick
// count's wrap), other threads' calls, and dialogs. The tests share a window that paints
// itself one colour and logs what it is asked to do, the frame buffer read back, and the
// window thread's queue run dry.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/afx.h"
#include "platform/windows/resources.h"
#include "tests/support/frame.h"

namespace {


// Fills the window white through a context of its own, as a screen draws outside its paint.
void FillWhite(HWND window) {
  HDC dc = GetDC(window);
  const RECT all{0, 0, kScreenWidth, kScreenHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(window, dc);
}

// Logs "name:erase", "name:paint", "name:down", "name:move X", "name:up" and "name:timerN";
// answers WM_USER + 1 with a hash of the thread that handles it. It can be told to invalidate
// itself again from inside its paint, or to paint without beginning one.
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
  void SetUp() override { FillFrame(0); }
  // Runs the window thread's queue dry and hands over what was logged until then.
  std::vector<std::string> Logged() {
    PumpMessages();
    return std::exchange(log, {});
  }
  std::vector<std::string> log;
};

class Windows : public WindowTest {};
class WindowOrder : public WindowTest {};
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

TEST_F(Windows, PaintsCoalesceEraseOnRequestParentsFirstAndAreNeitherLostNorAskedForever) {
  Painter parent(0x1111, &log, "parent"), child(0x2222, &log, "child");
  parent.Create(nullptr, RECT{0, 0, 200, 100}, false);
  child.Create(parent.m_hWnd, RECT{10, 10, 60, 40}, false);
  ShowWindow(child.m_hWnd, SW_SHOW);
  ShowWindow(parent.m_hWnd, SW_SHOW);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"parent:erase", "parent:paint", "child:erase", "child:paint"}));
  // The parent's paint left out its child.
  EXPECT_EQ((std::vector<WORD>{Pixel(5, 5), Pixel(15, 15)}), (std::vector<WORD>{0x1111, 0x2222}));
  // So does a context of the parent, until the child is hidden.
  FillWhite(parent.m_hWnd);
  EXPECT_EQ((std::vector<WORD>{Pixel(5, 5), Pixel(15, 15)}), (std::vector<WORD>{0xFFFF, 0x2222}));
  child.ShowWindow(SW_HIDE);
  PumpMessages();
  FillWhite(parent.m_hWnd);
  EXPECT_EQ(Pixel(15, 15), 0xFFFF);
  child.ShowWindow(SW_SHOW);
  Logged();

  RECT a{0, 0, 5, 5}, b{100, 50, 120, 60};
  InvalidateRect(parent.m_hWnd, &a, FALSE);
  InvalidateRect(parent.m_hWnd, &b, FALSE);
  EXPECT_EQ(Logged(), std::vector<std::string>{"parent:paint"});  // two requests, one paint, no erase
  InvalidateRect(parent.m_hWnd, &a, FALSE);
  InvalidateRect(parent.m_hWnd, &b, TRUE);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"parent:erase", "parent:paint"}));

  // Asked again from inside its paint, a window paints again; one that never begins a paint
  // is not asked forever.
  parent.m_againOnce = true;
  parent.Invalidate(FALSE);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"parent:paint", "parent:erase", "parent:paint"}));
  parent.m_skipBeginPaint = true;
  parent.Invalidate(FALSE);
  EXPECT_EQ(Logged(), std::vector<std::string>{"parent:paint"});
}

TEST_F(Windows, PaintIsClippedToTheUpdateRegionAndWindowsAbove) {
  Painter below(0x1111, &log, "below"), above(0x3333, &log, "above");
  below.Create(nullptr, RECT{0, 0, 800, 480});
  PumpMessages();
  FillFrame(0);
  RECT part{100, 100, 110, 110};
  InvalidateRect(below.m_hWnd, &part, FALSE);
  PumpMessages();
  EXPECT_EQ(Pixel(105, 105), 0x1111);
  EXPECT_EQ(Pixel(99, 105), 0);
  EXPECT_EQ(Pixel(110, 105), 0);

  above.Create(nullptr, RECT{0, 0, 800, 480});
  Logged();
  // Fully covered: invalidating asks for nothing and drawing through a DC reaches nothing.
  InvalidateRect(below.m_hWnd, nullptr, TRUE);
  EXPECT_TRUE(Logged().empty());
  FillWhite(below.m_hWnd);
  EXPECT_EQ(Pixel(400, 240), 0x3333);

  // Hiding the window above repaints what it uncovers, with erasing.
  ShowWindow(above.m_hWnd, SW_HIDE);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"below:erase", "below:paint"}));
  EXPECT_EQ(Pixel(400, 240), 0x1111);
}

TEST_F(Windows, TimersIncludingOneMillisecondAndCallbacksAndOtherThreadsSendingAndInvalidating) {
  Painter w(0, &log, "w");
  w.Create(nullptr, RECT{0, 0, 10, 10}, false);
  SetTimer(w.m_hWnd, 7, 1, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return log.size() >= 5; }));
  KillTimer(w.m_hWnd, 7);
  const std::vector<std::string> sevens = Logged();
  EXPECT_EQ(sevens, std::vector<std::string>(sevens.size(), "w:timer7"));

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
  // Timer 7 killed has not ticked again meanwhile, and the callback form sends no WM_TIMER.
  EXPECT_TRUE(Logged().empty());

  // Other threads send (and wait for the window thread) and invalidate.
  w.ShowWindow(SW_SHOW);
  Logged();
  std::atomic<LRESULT> answer{0};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    answer = SendMessage(w.m_hWnd, WM_USER + 1, 0, 0);
    InvalidateRect(w.m_hWnd, nullptr, FALSE);
    finished = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return finished.load() && !log.empty(); }));
  worker.join();
  EXPECT_EQ(answer.load(), static_cast<LRESULT>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  EXPECT_EQ(log, std::vector<std::string>{"w:paint"});
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
  EXPECT_TRUE(settled && finishedWhenSettled) << settled << finishedWhenSettled;
}

// Hidden windows neither paint nor take touches.
TEST_F(WindowOrder, TopmostStaysAboveLaterWindowsAndTouchesFollowTheWindowTheyWentDownOn) {
  Painter top(0x1111, &log, "top"), later(0x2222, &log, "later"), hidden(0x3333, &log, "hidden"),
      hiddenChild(0x4444, &log, "hidden child");
  top.Create(nullptr, RECT{0, 0, 100, 100});
  ::SetWindowPos(top.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  later.Create(nullptr, RECT{50, 50, 150, 150});
  hidden.Create(nullptr, RECT{100, 100, 150, 150});
  hidden.ShowWindow(SW_HIDE);  // before its first paint, which is then dropped
  hiddenChild.Create(later.m_hWnd, RECT{0, 0, 100, 100}, false);
  Logged();
  hidden.Invalidate(TRUE);
  EXPECT_EQ((std::vector<WORD>{Pixel(75, 75), Pixel(125, 125)}), (std::vector<WORD>{0x1111, 0x2222}));
  EXPECT_EQ(GetForegroundWindow(), top.m_hWnd);
  Tap(75, 75);
  PostTouch(TouchKind::Down, 10, 10);
  PostTouch(TouchKind::Move, 125, 10);  // dragged off: the touch stays with the window it went down on
  PostTouch(TouchKind::Move, 125, 125);  // over the other window
  PostTouch(TouchKind::Up, 125, 125);
  PostTouch(TouchKind::Down, 125, 125);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"top:down", "top:up", "top:down", "top:move 125", "top:move 125", "top:up",
                                           "later:down"}));
  PostTouch(TouchKind::Up, 125, 125);
  PumpMessages();
}

TEST_F(WindowOrder, MovingAndDestroyingUncoverWhatLiesBelow) {
  Painter below(0x1111, &log, "below");
  below.Create(nullptr, RECT{0, 0, 300, 200});
  auto* child = new Painter(0x3333, &log, "child");
  child->Create(below.m_hWnd, RECT{10, 10, 60, 60});
  Logged();
  EXPECT_EQ(Pixel(20, 20), 0x3333);
  child->MoveWindow(100, 100, 50, 50);
  // The parent repaints where the child was; the child paints where it is now.
  EXPECT_EQ(Logged(), (std::vector<std::string>{"below:erase", "below:paint", "child:erase", "child:paint"}));
  EXPECT_EQ((std::vector<WORD>{Pixel(20, 20), Pixel(120, 120)}), (std::vector<WORD>{0x1111, 0x3333}));
  delete child;
  EXPECT_EQ(Logged(), (std::vector<std::string>{"below:erase", "below:paint"}));
  EXPECT_EQ(Pixel(120, 120), 0x1111);
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
  EXPECT_EQ(std::vector<BYTE>(out, out + 4), (std::vector<BYTE>{9, 4, 4, 4}));
}

// The device's 32-bit tick count wraps after 49.7 days. Every interval the screens measure
// (sleeps, timed waits, timers of 1 ms to 4 s, a 500 ms blink) keeps its length when the wrap
// falls inside it, and the tick differences the screens take across it are right.
constexpr double kSpeed = 10;
constexpr DWORD kSlack = 1500;  // device ms of host latency at that speed

// Runs the window thread's loop until a window has seen `count` ticks of a timer; the tick
// count the last WM_TIMER carried.
DWORD RunTimer(DWORD periodMs, int count) {
  std::vector<std::string> ticks;
  Painter window(0, &ticks, "w");
  window.Create(nullptr, RECT{0, 0, 10, 10}, false);
  SetTimer(window.m_hWnd, 7, periodMs, nullptr);
  MSG msg{};
  while (ticks.size() < static_cast<size_t>(count) && GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  return msg.time;
}

TEST(ClockWrap, EveryIntervalKeepsItsLengthWhenTheTickCountWrapsInsideIt) {
  SetClockSpeed(kSpeed);
  HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  struct Interval {
    const char* what;
    DWORD ms;  // the whole interval
    std::function<DWORD(DWORD)> run;  // the tick count its end reports, or 0 for "now"
  };
  const Interval intervals[] = {
      {"Sleep", 500, [](DWORD ms) { return Sleep(ms), 0u; }},
      {"a timed wait", 400, [&](DWORD ms) { return WaitForSingleObject(events[0], ms) == WAIT_TIMEOUT ? 0u : 1u; }},
      {"a timed wait for two", 3000,
       [&](DWORD ms) { return WaitForMultipleObjects(2, events, FALSE, ms) == WAIT_TIMEOUT ? 0u : 1u; }},
      {"a 1 ms timer", 1, [](DWORD ms) { return RunTimer(ms, 1); }},
      {"a 3 s timer", 3000, [](DWORD ms) { return RunTimer(ms, 1); }},
      {"a 4 s timer", 4000, [](DWORD ms) { return RunTimer(ms, 1); }},
      {"four blinks of 500 ms", 2000, [](DWORD ms) { return RunTimer(ms / 4, 4); }},
  };
  for (const Interval& interval : intervals) {
    SCOPED_TRACE(interval.what);
    // The wrap comes half-way (for 1 ms: right after the start).
    // The interval is measured from the count set: a slow machine may read it past the wrap.
    const DWORD start = 0u - interval.ms / 2 - 1;
    SetTickCount(start);
    EXPECT_LT(GetTickCount() - start, kSlack) << "the count starts where it is told";
    const std::uint64_t deviceStart = DeviceTimeMs();
    const DWORD reported = interval.run(interval.ms);
    const DWORD end = reported ? reported : GetTickCount();
    EXPECT_LT(end, 0x80000000u);  // the wrap came
    EXPECT_GE(end - start, interval.ms);
    EXPECT_LT(end - start, interval.ms + kSlack);
    EXPECT_GE(DeviceTimeMs() - deviceStart, interval.ms);
  }
  for (HANDLE event : events) CloseHandle(event);
  SetTickCount(0);
  SetClockSpeed(1);
  EXPECT_EQ(TickCountAt(DeviceTimeMs()) - GetTickCount(), 0u) << "the tick count of a device time";
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

// Touches go to the window under them, through statics and disabled controls; a pressed
// bitmap button shows its down picture, and clicks only when released over it.
TEST_F(Dialogs, TouchesReachTheWindowUnderThemAndABitmapButtonClicksOnlyWhenReleasedOver) {
  TestDialog dialog(900, &log);
  std::atomic<WORD> down{0}, movedAway{0};
  std::thread feeder;
  dialog.onInit = [&](TestDialog& d) {
    EXPECT_FALSE(d.GetDlgItem(51)->IsWindowVisible());
    EXPECT_FALSE(d.GetDlgItem(51)->IsWindowEnabled());
    d.GetDlgItem(51)->ShowWindow(SW_SHOW);  // shown but still disabled
    // Timers ticking while the touches wait for the screen to settle, the first ticks to come.
    d.SetTimer(2, 10, nullptr);
    d.SetTimer(3, 5, nullptr);
    feeder = std::thread([&] {
      // On the static, on the disabled button and on nothing: the dialog gets each.
      for (POINT p : {POINT{10, 20}, POINT{210, 110}, POINT{500, 300}}) {
        WaitForWindowThreadIdle(2000);
        Tap(p);
      }
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
  };
  dialog.onCommand = [&](TestDialog& d, int id) {
    if (id == 50) d.EndDialog(77);
  };
  EXPECT_EQ(dialog.DoModal(), 77);
  EXPECT_EQ(log, (std::vector<std::string>{"dialog down 10,20", "dialog down 210,110", "dialog down 500,300", "command 50"}));
  feeder.join();
  EXPECT_EQ(down.load(), ToRgb565(RGB(250, 0, 0)));
  EXPECT_EQ(movedAway.load(), ToRgb565(RGB(10, 20, 30)));  // sliding off shows it up again
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
    Tap(400, 300);  // the OK button
  });
  EXPECT_EQ(MessageBoxW(nullptr, u"Couldn't get LCD size from registry", u"", MB_OK), IDOK);
  watcher.join();
  EXPECT_GT(bright.load(), 100);  // the text and the frame
}

}  // namespace
