#include <algorithm>
#include <unordered_map>

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/waitable.h"

namespace {

// Handles of waitable objects, for lookups that must not race with CloseHandle.
std::unordered_map<const KernelObject*, std::shared_ptr<Waitable>>& Registry() {
  static auto* registry = new std::unordered_map<const KernelObject*, std::shared_ptr<Waitable>>;
  return *registry;
}

// The index of the object that satisfies the wait, or -1. Consumes what it takes.
int TryComplete(const std::vector<std::shared_ptr<Waitable>>& objects, const Waiter& waiter) {
  if (waiter.pulsedBy >= 0) return waiter.pulsedBy;
  if (waiter.waitAll) {
    for (const auto& object : objects)
      if (!object->IsSignalled()) return -1;
    for (const auto& object : objects) object->Acquire();
    return 0;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->IsSignalled()) {
      objects[i]->Acquire();
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

std::mutex& KernelStateLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

void Waitable::AddWaiter(Waiter* waiter, int index) { m_waiters.push_back({waiter, index}); }

void Waitable::RemoveWaiter(Waiter* waiter) {
  std::erase_if(m_waiters, [waiter](const Entry& entry) { return entry.waiter == waiter; });
}

void Waitable::WakeWaiters() {
  for (const Entry& entry : m_waiters) entry.waiter->wake.notify_all();
}

void Waitable::ReleaseWaiters(bool all) {
  for (const Entry& entry : m_waiters) {
    Waiter* waiter = entry.waiter;
    if (waiter->waitAll || waiter->pulsedBy >= 0) continue;
    waiter->pulsedBy = entry.index;
    waiter->wake.notify_all();
    if (!all) return;
  }
}

WaitableHandle::WaitableHandle(std::shared_ptr<Waitable> object) : object(std::move(object)) {
  std::lock_guard guard(KernelStateLock());
  Registry()[this] = this->object;
}

WaitableHandle::~WaitableHandle() {
  std::lock_guard guard(KernelStateLock());
  Registry().erase(this);
}

std::shared_ptr<Waitable> FindWaitableLocked(HANDLE handle) {
  if (handle == GetCurrentThread()) return CurrentThreadObject();
  auto& registry = Registry();
  auto it = registry.find(handle);
  if (it == registry.end()) return nullptr;
  return it->second;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::uint64_t deadline = milliseconds == INFINITE ? 0 : DeviceTimeMs() + milliseconds;

  std::unique_lock lock(KernelStateLock());
  std::vector<std::shared_ptr<Waitable>> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    std::shared_ptr<Waitable> object = FindWaitableLocked(handles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }

  Waiter waiter;
  waiter.waitAll = waitAll != FALSE;
  bool registered = false;
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    int index = TryComplete(objects, waiter);
    if (index >= 0) {
      result = WAIT_OBJECT_0 + static_cast<DWORD>(index);
      break;
    }
    if (milliseconds == 0) break;
    if (!registered) {
      for (size_t i = 0; i < objects.size(); ++i) objects[i]->AddWaiter(&waiter, static_cast<int>(i));
      registered = true;
    }
    if (milliseconds == INFINITE) {
      waiter.wake.wait(lock);
    } else if (WaitUntilDeviceTime(waiter.wake, lock, deadline)) {
      // The deadline passed; an object signalled at the same moment still counts.
      index = TryComplete(objects, waiter);
      if (index >= 0) result = WAIT_OBJECT_0 + static_cast<DWORD>(index);
      break;
    }
  }
  if (registered)
    for (const auto& object : objects) object->RemoveWaiter(&waiter);
  return result;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}
