#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/kernel/waitable.h"

namespace {

constexpr int kNormalPriority = 3;
constexpr int kIdlePriority = 7;

class ThreadObject : public Waitable {
 public:
  bool IsSignalled() const override { return finished; }

  // All under KernelStateLock.
  DWORD id = 0;
  DWORD exitCode = STILL_ACTIVE;
  bool finished = false;
  DWORD suspendCount = 0;
  std::condition_variable_any resumed;
  int priority = kNormalPriority;
  pid_t hostId = 0;  // 0 until the thread runs
};

std::atomic<DWORD> g_nextThreadId{1};

thread_local std::shared_ptr<ThreadObject> t_self;

// Device levels onto host scheduling, best-effort: raising priority usually needs privileges
// the host does not give, and then the thread simply keeps its host priority.
void ApplyHostPriority(pid_t hostId, int level) {
  static constexpr int kNice[8] = {-15, -10, -5, 0, 5, 10, 15, 19};
  sched_param param = {};
  if (level == kIdlePriority && sched_setscheduler(hostId, SCHED_IDLE, &param) == 0) return;
  if (level != kIdlePriority && sched_getscheduler(hostId) == SCHED_IDLE)
    (void)sched_setscheduler(hostId, SCHED_OTHER, &param);
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(hostId), kNice[level]);
}

ThreadObject& Self() {
  if (!t_self) {
    // A thread the kernel did not start (the process's main thread, a library's thread).
    t_self = std::make_shared<ThreadObject>();
    t_self->id = g_nextThreadId++;
    t_self->hostId = gettid();
  }
  return *t_self;
}

void RunThread(const std::shared_ptr<ThreadObject>& thread, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  t_self = thread;
  {
    std::unique_lock lock(KernelStateLock());
    thread->hostId = gettid();
    // A host thread inherits its creator's scheduling; the device starts it at its own level.
    ApplyHostPriority(thread->hostId, thread->priority);
    while (thread->suspendCount > 0) thread->resumed.wait(lock);
  }
  DWORD code = start(parameter);
  std::lock_guard guard(KernelStateLock());
  thread->exitCode = code;
  thread->finished = true;
  thread->WakeWaiters();
}

std::shared_ptr<ThreadObject> FindThread(HANDLE handle) {
  auto thread = std::dynamic_pointer_cast<ThreadObject>(FindWaitableLocked(handle));
  if (!thread) SetLastError(ERROR_INVALID_HANDLE);
  return thread;
}

}  // namespace

std::shared_ptr<Waitable> CurrentThreadObject() {
  Self();
  return t_self;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<ThreadObject>();
  thread->id = g_nextThreadId++;
  thread->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
  HANDLE handle = AddHandle(std::make_unique<WaitableHandle>(thread));
  try {
    // The thread holds its own reference: closing the handle does not end or free it.
    std::thread([thread, start, parameter] { RunThread(thread, start, parameter); }).detach();
  } catch (const std::system_error&) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = thread->id;
  return handle;
}

DWORD ResumeThread(HANDLE handle) {
  std::lock_guard guard(KernelStateLock());
  auto thread = FindThread(handle);
  if (!thread) return 0xFFFFFFFF;
  DWORD previous = thread->suspendCount;
  if (previous > 0 && --thread->suspendCount == 0) thread->resumed.notify_all();
  return previous;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  std::lock_guard guard(KernelStateLock());
  auto thread = FindThread(handle);
  if (!thread) return FALSE;
  if (!exitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *exitCode = thread->exitCode;
  return TRUE;
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(~std::uintptr_t{1}); }

DWORD GetCurrentThreadId() { return Self().id; }

BOOL CeSetThreadPriority(HANDLE handle, int priority) {
  if (priority < 0 || priority > kIdlePriority) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard guard(KernelStateLock());
  auto thread = FindThread(handle);
  if (!thread) return FALSE;
  thread->priority = priority;
  // Before it runs, the thread applies the level itself; after it ended its host id may
  // belong to another thread.
  if (thread->hostId != 0 && !thread->finished) ApplyHostPriority(thread->hostId, priority);
  return TRUE;
}

int CeGetThreadPriority(HANDLE handle) {
  std::lock_guard guard(KernelStateLock());
  auto thread = FindThread(handle);
  return thread ? thread->priority : THREAD_PRIORITY_ERROR_RETURN;
}
