#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/kernel/kernel.h"
#include "tests/platform/kernel/kernel_test_support.h"

namespace {

bool IsSignalledNow(HANDLE object) { return WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

TEST(KernelEvents, ManualResetStaysSignalledAutoResetIsTakenByOneWaitBadOnesAreRefused) {
  Event manual(TRUE, FALSE), automatic(FALSE, TRUE);
  ASSERT_NE(manual.handle, nullptr);
  EXPECT_FALSE(IsSignalledNow(manual));
  EXPECT_TRUE(EventModify(manual, EVENT_SET));
  EXPECT_TRUE(IsSignalledNow(manual));
  EXPECT_TRUE(IsSignalledNow(manual));
  EXPECT_TRUE(EventModify(manual, EVENT_RESET));
  EXPECT_FALSE(IsSignalledNow(manual));

  EXPECT_TRUE(IsSignalledNow(automatic));
  EXPECT_FALSE(IsSignalledNow(automatic));
  SetEvent(automatic);
  SetEvent(automatic);  // not counted
  EXPECT_TRUE(IsSignalledNow(automatic));
  EXPECT_FALSE(IsSignalledNow(automatic));

  EXPECT_FALSE(EventModify(manual, 7));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(closed);
  EXPECT_FALSE(SetEvent(closed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(closed, INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(KernelEvents, PulseLeavesEventNonSignalledAndReleasesAWaiter) {
  Event event(TRUE, TRUE);
  EXPECT_TRUE(PulseEvent(event));
  EXPECT_FALSE(IsSignalledNow(event));

  std::function<DWORD()> body = [&] { return WaitForSingleObject(event, INFINITE); };
  HANDLE thread = StartThread(&body);
  // A pulse only reaches a thread that is waiting already; pulse until it was.
  while (WaitForSingleObject(thread, 1) == WAIT_TIMEOUT) EventModify(event, EVENT_PULSE);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, WAIT_OBJECT_0);
  EXPECT_FALSE(IsSignalledNow(event));
  CloseHandle(thread);
}

TEST(KernelWaits, AnyTakesTheFirstSignalledInListOrderAllTakesEveryObjectAtOnce) {
  Event a(FALSE, TRUE), b(FALSE, TRUE), m(TRUE, FALSE);
  HANDLE list[3] = {m, a, b};
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_TIMEOUT);
  SetEvent(m);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, INFINITE), WAIT_OBJECT_0);  // manual: still set
  ResetEvent(m);
  EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, INFINITE), WAIT_OBJECT_0 + 2);

  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, list + 1, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(IsSignalledNow(a)) << "a failed wait-all must not consume anything";
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, list + 1, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(IsSignalledNow(a));
  EXPECT_FALSE(IsSignalledNow(b));
}

TEST(KernelWaits, SetOfAutoResetEventReleasesOneWaiterManualReleasesAll) {
  Event automatic(FALSE, FALSE), manual(TRUE, FALSE);
  std::atomic<int> passed{0};
  std::function<DWORD()> body = [&] {
    WaitForSingleObject(automatic, INFINITE);
    ++passed;
    return WaitForSingleObject(manual, INFINITE);
  };
  HANDLE threads[3] = {StartThread(&body), StartThread(&body), StartThread(&body)};

  for (int round = 1; round <= 3; ++round) {
    SetEvent(automatic);
    // One more thread goes on to wait for the manual event; the others stay.
    while (passed.load() < round) WaitForMultipleObjects(3, threads, FALSE, 1);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, FALSE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(passed.load(), round);
  }
  SetEvent(manual);
  EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  for (HANDLE thread : threads) {
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, WAIT_OBJECT_0);
    CloseHandle(thread);
  }
}

TEST(KernelWaits, SleepsAndTimeoutsRunOnTheDeviceClockAndASignalEndsAWaitEarly) {
  EXPECT_EQ(GetClockSpeed(), 1.0);
  {
    ClockSpeedScope fast(1000);
    SetClockSpeed(0);  // not speeds: ignored
    SetClockSpeed(-2);
    EXPECT_EQ(GetClockSpeed(), 1000.0);
    Event a(FALSE, FALSE), b(TRUE, FALSE);
    HANDLE list[2] = {a, b};
    auto hostStart = std::chrono::steady_clock::now();
    DWORD tickStart = GetTickCount();
    Sleep(10'000);
    EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(a, 3000), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - tickStart, 18'000u);
    EXPECT_LT(std::chrono::steady_clock::now() - hostStart, std::chrono::seconds(9));
  }
  EXPECT_EQ(GetClockSpeed(), 1.0);
  Event event(FALSE, FALSE);
  std::function<DWORD()> body = [&] { return SetEvent(event) ? 0u : 1u; };
  HANDLE thread = StartThread(&body);
  EXPECT_EQ(WaitForSingleObject(event, 3'600'000), WAIT_OBJECT_0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(KernelWaits, SpeedChangeReachesAWaitInProgress) {
  Event event(FALSE, FALSE), waiting(TRUE, FALSE);
  std::function<DWORD()> body = [&] {
    SetEvent(waiting);
    return WaitForSingleObject(event, 3'600'000);  // an hour at the speed it started with
  };
  HANDLE thread = StartThread(&body);
  WaitForSingleObject(waiting, INFINITE);
  {
    ClockSpeedScope fast(1e7);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  }
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, WAIT_TIMEOUT);
  CloseHandle(thread);
}

}  // namespace
