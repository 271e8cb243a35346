#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/kernel/kernel.h"
#include "tests/platform/kernel/kernel_test_support.h"

namespace {

bool IsSignalledNow(HANDLE object) { return WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

TEST(KernelEvents, ManualResetStaysSignalledAutoResetIsTakenByOneWait) {
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(manual, nullptr);
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
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(KernelEvents, PulseLeavesEventNonSignalledAndReleasesAWaiter) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
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
  CloseHandle(event);
}

TEST(KernelEvents, BadHandlesAndFunctionsAreRefused) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(EventModify(event, 7));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(event);
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(KernelWaits, FirstSignalledInListOrderWinsAndOnlyItIsConsumed) {
  HANDLE a = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE b = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE m = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
  for (HANDLE h : list) CloseHandle(h);
}

TEST(KernelWaits, WaitAllTakesEveryObjectAtOnce) {
  HANDLE a = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE b = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE list[2] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, list, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(IsSignalledNow(a)) << "a failed wait-all must not consume anything";
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, list, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(IsSignalledNow(a));
  EXPECT_FALSE(IsSignalledNow(b));
  CloseHandle(a);
  CloseHandle(b);
}

TEST(KernelWaits, SetOfAutoResetEventReleasesOneWaiterManualReleasesAll) {
  HANDLE automatic = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
  CloseHandle(automatic);
  CloseHandle(manual);
}

TEST(KernelWaits, TimeoutsRunOnTheDeviceClock) {
  ClockSpeedScope fast(1000);
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE list[2] = {a, b};
  auto hostStart = std::chrono::steady_clock::now();
  DWORD tickStart = GetTickCount();
  EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 5000), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(a, 3000), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - tickStart, 8000u);
  EXPECT_LT(std::chrono::steady_clock::now() - hostStart, std::chrono::seconds(4));
  CloseHandle(a);
  CloseHandle(b);
}

TEST(KernelWaits, SpeedChangeReachesAWaitInProgress) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
  CloseHandle(event);
  CloseHandle(waiting);
}

TEST(KernelWaits, SignalWakesATimedWaitBeforeItsTimeout) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::function<DWORD()> body = [&] { return SetEvent(event) ? 0u : 1u; };
  HANDLE thread = StartThread(&body);
  EXPECT_EQ(WaitForSingleObject(event, 3'600'000), WAIT_OBJECT_0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(event);
}

}  // namespace
