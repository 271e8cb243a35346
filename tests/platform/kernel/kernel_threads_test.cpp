#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <set>

#include "platform/kernel/kernel.h"
#include "tests/platform/kernel/kernel_test_support.h"

namespace {

TEST(KernelThreads, HandleIsSignalledWhenTheThreadEndsWithItsExitCode) {
  Event go(FALSE, FALSE);
  DWORD idInside = 0;
  std::function<DWORD()> body = [&] {
    idInside = GetCurrentThreadId();
    WaitForSingleObject(go, INFINITE);
    return 42u;
  };
  DWORD id = 0;
  HANDLE thread = StartThread(&body, 0, &id);
  ASSERT_NE(thread, nullptr);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

  HANDLE list[2] = {go, thread};
  SetEvent(go);
  // The thread takes the auto-reset event, so only its own handle can end this wait.
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(idInside, id);
  EXPECT_NE(id, GetCurrentThreadId());
  CloseHandle(thread);
}

TEST(KernelThreads, SuspendedThreadRunsOnlyAfterResumeAndAnyThreadOutlivesItsHandle) {
  std::atomic<bool> ran{false};
  std::function<DWORD()> body = [&] {
    ran = true;
    return 0u;
  };
  HANDLE thread = StartThread(&body, CREATE_SUSPENDED);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  EXPECT_FALSE(ran.load());
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(ResumeThread(thread), 0u);
  CloseHandle(thread);
  EXPECT_EQ(ResumeThread(thread), 0xFFFFFFFFu);

  // A thread outlives its closed handle.
  Event go(FALSE, FALSE), done(FALSE, FALSE);
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
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 51u);
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

}  // namespace
