// Kernel threads, events and waits, the device clock the waits run on, and debug output.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"

namespace {

// An event closed with the scope.
struct Event {
  HANDLE handle;
  Event(BOOL manual, BOOL initial) : handle(CreateEventW(nullptr, manual, initial, nullptr)) {}
  ~Event() { CloseHandle(handle); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  operator HANDLE() const { return handle; }
};

// Runs body on a kernel thread; the thread's exit code is what body returns.
HANDLE StartThread(std::function<DWORD()>* body, DWORD flags = 0, LPDWORD id = nullptr) {
  return CreateThread(
      nullptr, 0, [](LPVOID p) { return (*static_cast<std::function<DWORD()>*>(p))(); }, body, flags, id);
}

// A thread's exit code (STILL_ACTIVE while it runs), or 0xDEAD when the handle is not one.
DWORD ExitCode(HANDLE thread) {
  DWORD code = 0;
  return GetExitCodeThread(thread, &code) ? code : 0xDEAD;
}

TEST(KernelThreads, ASuspendedThreadRunsOnResumeAndItsHandleIsSignalledWithItsExitCode) {
  Event go(FALSE, FALSE), done(FALSE, FALSE);
  DWORD idInside = 0;
  std::function<DWORD()> body = [&] {
    idInside = GetCurrentThreadId();
    WaitForSingleObject(go, INFINITE);
    return 42u;
  };
  DWORD id = 0;
  HANDLE thread = StartThread(&body, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  EXPECT_EQ(idInside, 0u) << "ran before it was resumed";
  EXPECT_EQ(ResumeThread(thread), 1u);

  HANDLE list[2] = {go, thread};
  SetEvent(go);
  // The thread takes the auto-reset event, so only its own handle can end this wait.
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(ExitCode(thread), 42u);
  EXPECT_EQ(idInside, id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(ResumeThread(thread), 0u);
  CloseHandle(thread);
  EXPECT_EQ(ResumeThread(thread), 0xFFFFFFFFu);

  // A thread outlives its closed handle.
  std::function<DWORD()> waiter = [&] {
    WaitForSingleObject(go, INFINITE);
    SetEvent(done);
    return 0u;
  };
  EXPECT_TRUE(CloseHandle(StartThread(&waiter)));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done, INFINITE), WAIT_OBJECT_0);
}

TEST(KernelThreads, PriorityLevelIsKeptAndReachesTheHost) {
  std::function<DWORD()> body = [&] {
    // The level seen from inside, and whether the host lowered the thread (raising nice is
    // always permitted).
    bool hostLowered = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())) >= 10;
    return static_cast<DWORD>(CeGetThreadPriority(GetCurrentThread()) * 10 + (hostLowered ? 1 : 0));
  };
  HANDLE thread = StartThread(&body, CREATE_SUSPENDED);
  EXPECT_EQ(CeGetThreadPriority(thread), 3);
  EXPECT_TRUE(CeSetThreadPriority(thread, 5));
  EXPECT_EQ(CeGetThreadPriority(thread), 5);
  SetLastError(0);
  EXPECT_FALSE(CeSetThreadPriority(thread, 8));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(CeSetThreadPriority(thread, -1));
  EXPECT_EQ(CeGetThreadPriority(thread), 5);
  ResumeThread(thread);
  WaitForSingleObject(thread, INFINITE);
  EXPECT_EQ(ExitCode(thread), 51u);
  EXPECT_TRUE(CeSetThreadPriority(thread, 7));  // an ended thread still keeps its level
  EXPECT_EQ(CeGetThreadPriority(thread), 7);
  CloseHandle(thread);
  EXPECT_EQ(CeGetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(CeGetThreadPriority(GetCurrentThread()), 3);
}

TEST(KernelRandom, SeedRepeatsTheSequenceAndValuesUseAllBits) {
  SeedRandom(7);
  DWORD first[64];
  for (DWORD& value : first) value = Random();
  SeedRandom(7);
  DWORD ored = 0, anded = ~0u;
  for (DWORD value : first) {
    EXPECT_EQ(Random(), value);
    ored |= value;
    anded &= value;
  }
  EXPECT_EQ(std::set<DWORD>(std::begin(first), std::end(first)).size(), 64u);
  EXPECT_EQ(ored, ~0u);
  EXPECT_EQ(anded, 0u);
}

bool IsSignalledNow(HANDLE object) { return WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

TEST(KernelEvents, ResetKindsPulsesAndBadCallsWaitsForAnyOrAllAndSetsReleasingOneOrAllWaiters) {
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

  // A pulse leaves the event unsignalled, and reaches only a thread that is waiting already:
  // pulse until one was.
  SetEvent(manual);
  EXPECT_TRUE(PulseEvent(manual));
  EXPECT_FALSE(IsSignalledNow(manual));
  std::function<DWORD()> body = [&] { return WaitForSingleObject(manual, INFINITE); };
  HANDLE thread = StartThread(&body);
  while (WaitForSingleObject(thread, 1) == WAIT_TIMEOUT) EventModify(manual, EVENT_PULSE);
  EXPECT_EQ(ExitCode(thread), WAIT_OBJECT_0);
  EXPECT_FALSE(IsSignalledNow(manual));
  CloseHandle(thread);

  EXPECT_FALSE(EventModify(manual, 7));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(closed);
  EXPECT_FALSE(SetEvent(closed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(closed, INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Waits for any take the first signalled object in list order, waits for all every object at once.
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

  // Setting an auto-reset event releases one waiter, a manual-reset one all.
  std::atomic<int> passed{0};
  std::function<DWORD()> waiter = [&] {
    WaitForSingleObject(automatic, INFINITE);
    ++passed;
    return WaitForSingleObject(manual, INFINITE);
  };
  HANDLE threads[3] = {StartThread(&waiter), StartThread(&waiter), StartThread(&waiter)};

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
    EXPECT_EQ(ExitCode(thread), WAIT_OBJECT_0);
    CloseHandle(thread);
  }
}

TEST(KernelWaits, SleepsAndTimeoutsRunOnTheDeviceClockASignalOrASpeedChangeReachesAWait) {
  EXPECT_EQ(GetClockSpeed(), 1.0);
  SetClockSpeed(1000);
  SetClockSpeed(0);  // not speeds: ignored
  SetClockSpeed(-2);
  EXPECT_EQ(GetClockSpeed(), 1000.0);
  Event event(FALSE, FALSE), waiting(TRUE, FALSE);
  HANDLE list[2] = {event, waiting};
  auto hostStart = std::chrono::steady_clock::now();
  DWORD tickStart = GetTickCount();
  Sleep(10'000);
  EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 5000), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(event, 3000), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - tickStart, 18'000u);
  EXPECT_LT(std::chrono::steady_clock::now() - hostStart, std::chrono::seconds(9));
  SetClockSpeed(1);

  // A signal ends a wait early; a change of speed reaches a wait in progress.
  std::function<DWORD()> setter = [&] { return SetEvent(event) ? 0u : 1u; };
  HANDLE thread = StartThread(&setter);
  EXPECT_EQ(WaitForSingleObject(event, 3'600'000), WAIT_OBJECT_0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  std::function<DWORD()> waiter = [&] {
    SetEvent(waiting);
    return WaitForSingleObject(event, 3'600'000);  // an hour at the speed it started with
  };
  thread = StartThread(&waiter);
  WaitForSingleObject(waiting, INFINITE);
  SetClockSpeed(1e7);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  SetClockSpeed(1);
  EXPECT_EQ(ExitCode(thread), WAIT_TIMEOUT);
  CloseHandle(thread);
}

using Lines = std::vector<std::string>;

class DebugSink : public ::testing::Test {
 protected:
  void SetUp() override { DebugSinkSilence(); }
  void TearDown() override { DebugSinkToStderr(); }
};

TEST_F(DebugSink, PrintsFormatCutAndKeepToTheirZonesCapturesSplitLinesAndSeeWhatCameWhileOpen) {
  DebugCapture capture;
  // %s is wide and %S narrow in a wide format.
  NKDbgPrintfW(u"[%s] [%S] [%hs] [%ls] %d %u %c %5s|%-4d|\r\n", u"w\u00e9de", "narrow", "h", u"l", -3, 4u,
               u'\u20ac', u"ab", 9);
  EXPECT_EQ(capture.Lines(), Lines{"[w\xc3\xa9" "de] [narrow] [h] [l] -3 4 \xe2\x82\xac    ab|9   |"});
  capture.Clear();
  DebugPrintW(u"%s\r\n", WString(1500, u'x').c_str());
  EXPECT_EQ(capture.Text(), std::string(1023, 'x')) << "the cut also drops the line end";
  capture.Clear();
  DebugPrintW(u"short %d\r\n", 1);
  EXPECT_EQ(capture.Text(), "short 1\r\n");
  capture.Clear();

  // Zone prints: only for zones in the mask, cut at 255 units.
  DebugZonePrint(1, u"zone one\r\n");
  DebugZonePrint(8, u"zone eight\r\n");
  EXPECT_EQ(capture.Text(), "");
  DebugZonePrint(4, u"zone %d\r\n", 4);
  DebugZonePrint(6, u"zones two and four\r\n");
  EXPECT_EQ(capture.Lines(), (Lines{"zone 4", "zones two and four"}));
  capture.Clear();
  DebugZonePrint(4, u"%s", WString(300, u'z').c_str());
  EXPECT_EQ(capture.Text(), std::string(255, 'z'));

  // Captures split lines on CR LF and LF, and each sees what came while it was open.
  capture.Clear();
  OutputDebugStringW(u"one\r\ntwo\nthree\r\n\r\nlast");
  EXPECT_EQ(capture.Lines(), (Lines{"one", "two", "three", "", "last"}));
  EXPECT_TRUE(capture.Contains("two\nthree"));
  capture.Clear();
  OutputDebugStringW(u"a\rb\r\n");
  EXPECT_EQ(capture.Lines(), Lines{"a\rb"}) << "a lone carriage return does not end a line";

  // The printf macro writes narrow text; every open capture sees what is written while it exists.
  capture.Clear();
  EXPECT_EQ(printf("%s %d 0x%08x\n", "before", 7, 0x2a), 20);
  {
    DebugCapture inner;
    printf("during\n");
    EXPECT_EQ(inner.Lines(), Lines{"during"});
  }
  printf("after\n");
  EXPECT_EQ(capture.Lines(), (Lines{"before 7 0x0000002a", "during", "after"}));
}

}  // namespace
