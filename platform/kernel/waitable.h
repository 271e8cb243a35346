// Objects a thread can wait for (events and threads), shared by the kernel's source files.
//
// One kernel-wide mutex guards the state of every waitable object and the lists of waits in
// progress. A wait registers one Waiter with each object it waits for; an object that becomes
// signalled wakes its waiters, which re-check their objects in list order.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/kernel/handle.h"
#include "platform/kernel/types.h"

std::mutex& KernelStateLock();

// One thread's wait in progress.
struct Waiter {
  std::condition_variable_any wake;
  bool waitAll = false;
  // Index in the wait's list of an object that released this wait by a pulse, or -1.
  int pulsedBy = -1;
};

class Waitable {
 public:
  virtual ~Waitable() = default;

  // Both under KernelStateLock.
  virtual bool IsSignalled() const = 0;
  // This object satisfied a wait: an auto-reset event resets here.
  virtual void Acquire() {}

  // Under KernelStateLock.
  void AddWaiter(Waiter* waiter, int index);
  void RemoveWaiter(Waiter* waiter);
  void WakeWaiters();
  // Releases waits in progress without leaving the object signalled: every "wait for any"
  // when all is true, else only the longest-waiting one.
  void ReleaseWaiters(bool all);

 private:
  struct Entry {
    Waiter* waiter;
    int index;
  };
  std::vector<Entry> m_waiters;
};

// The KernelObject behind an event or thread handle. The object's state is shared, so a wait
// or a running thread keeps it alive after the handle is closed.
struct WaitableHandle : KernelObject {
  explicit WaitableHandle(std::shared_ptr<Waitable> object);
  ~WaitableHandle() override;
  std::shared_ptr<Waitable> object;
};

// The object behind a handle, or nullptr. Unlike HandleAs, the result stays valid when another
// thread closes the handle meanwhile. Under KernelStateLock.
std::shared_ptr<Waitable> FindWaitableLocked(HANDLE handle);

template <typename T>
std::shared_ptr<T> FindWaitableAs(HANDLE handle) {
  std::lock_guard guard(KernelStateLock());
  return std::dynamic_pointer_cast<T>(FindWaitableLocked(handle));
}

// The calling thread's own object, also for threads the kernel did not start (threads.cpp).
std::shared_ptr<Waitable> CurrentThreadObject();
