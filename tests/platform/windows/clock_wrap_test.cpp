// The device's 32-bit tick count wraps after 49.7 days. Every interval the screens measure
// (sleeps, timed waits, timers of 1 ms to 4 s, a 500 ms blink) keeps its length when the wrap
// falls inside it, and the tick differences the screens take across it are right.
#include <gtest/gtest.h>

#include <functional>

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/window.h"

namespace {

constexpr double kSpeed = 10;
constexpr DWORD kSlack = 1500;  // device ms of host latency at that speed

struct Counter : WindowHandler {
  int ticks = 0;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER) ++ticks;
    return DefWindowProc(window, message, wParam, lParam);
  }
};

// Runs the window thread's loop until the window has seen `count` timer ticks; the tick count
// the last WM_TIMER carried.
DWORD RunTimer(DWORD periodMs, int count) {
  Counter counter;
  HWND window = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 10, 10}, u"", 0, &counter);
  SetTimer(window, 7, periodMs, nullptr);
  MSG msg{};
  while (counter.ticks < count && GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  DestroyWindow(window);
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

}  // namespace
