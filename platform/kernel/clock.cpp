#include "platform/kernel/clock.h"

#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"

namespace {

using HostClock = std::chrono::steady_clock;

// The longest single host wait; longer ones are split so that huge deadlines at tiny speeds
// cannot overflow the host clock's arithmetic.
constexpr double kMaxHostWaitNs = 3600e9;

struct Clock {
  std::mutex lock;
  double speed = 1.0;
  // Device time equals baseDeviceNs + (host now - baseHost) * speed.
  HostClock::time_point baseHost = HostClock::now();
  double baseDeviceNs = 0.0;
  // Condition variables of the waits in progress, woken when the speed changes.
  std::vector<std::condition_variable_any*> waiting;

  double DeviceNs(HostClock::time_point host) const {
    return baseDeviceNs + std::chrono::duration<double, std::nano>(host - baseHost).count() * speed;
  }
};

Clock& TheClock() {
  static Clock* clock = new Clock;  // never destroyed: detached threads may still sleep at exit
  return *clock;
}

// Device time counts from process start, not from the first call.
[[maybe_unused]] const bool kClockStarted = (TheClock(), true);

// Locks the caller's mutex and the clock's together, in that order, so that a wait releases
// both at once: a speed change (which holds the clock's lock to notify) cannot slip between
// a waiter timing itself and blocking.
class BothLocks {
 public:
  BothLocks(std::mutex& outer, std::mutex& clock) : m_outer(outer), m_clock(clock) {}
  void lock() {
    m_outer.lock();
    m_clock.lock();
  }
  void unlock() {
    m_clock.unlock();
    m_outer.unlock();
  }

 private:
  std::mutex& m_outer;
  std::mutex& m_clock;
};

}  // namespace

std::uint64_t DeviceTimeMs() {
  Clock& clock = TheClock();
  std::lock_guard guard(clock.lock);
  return static_cast<std::uint64_t>(clock.DeviceNs(HostClock::now()) / 1e6);
}

bool WaitUntilDeviceTime(std::condition_variable_any& cv, std::unique_lock<std::mutex>& lock,
                         std::uint64_t deadlineMs) {
  // The host rounds timed waits up by the thread's timer slack (50 us by default), which at a
  // fast device clock stretches every 1 ms sleep several times over.
  static thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
  (void)precise;
  Clock& clock = TheClock();
  std::unique_lock clockLock(clock.lock);
  HostClock::time_point now = HostClock::now();
  double remainingNs = static_cast<double>(deadlineMs) * 1e6 - clock.DeviceNs(now);
  if (remainingNs <= 0) return true;
  double hostNs = std::min(std::ceil(remainingNs / clock.speed), kMaxHostWaitNs);
  HostClock::time_point hostDeadline =
      now + std::chrono::duration_cast<HostClock::duration>(std::chrono::duration<double, std::nano>(hostNs));

  clock.waiting.push_back(&cv);
  BothLocks both(*lock.mutex(), clock.lock);
  cv.wait_until(both, hostDeadline);
  clock.waiting.erase(std::find(clock.waiting.begin(), clock.waiting.end(), &cv));
  return clock.DeviceNs(HostClock::now()) >= static_cast<double>(deadlineMs) * 1e6;
}

void SetClockSpeed(double factor) {
  if (!std::isfinite(factor) || factor <= 0) return;
  Clock& clock = TheClock();
  std::lock_guard guard(clock.lock);
  HostClock::time_point now = HostClock::now();
  clock.baseDeviceNs = clock.DeviceNs(now);
  clock.baseHost = now;
  clock.speed = factor;
  for (std::condition_variable_any* cv : clock.waiting) cv->notify_all();
}

double GetClockSpeed() {
  Clock& clock = TheClock();
  std::lock_guard guard(clock.lock);
  return clock.speed;
}

namespace {

// What GetTickCount adds to the device time (modulo 2^32).
std::atomic<DWORD> g_tickOffset{0};

}  // namespace

void SetTickCount(DWORD ticks) { g_tickOffset = ticks - static_cast<DWORD>(DeviceTimeMs()); }

DWORD TickCountAt(std::uint64_t deviceMs) { return static_cast<DWORD>(deviceMs) + g_tickOffset.load(); }

DWORD GetTickCount() { return TickCountAt(DeviceTimeMs()); }

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::mutex mutex;
  std::condition_variable_any cv;
  std::unique_lock lock(mutex);
  if (milliseconds == INFINITE) {
    for (;;) cv.wait(lock);
  }
  std::uint64_t deadline = DeviceTimeMs() + milliseconds;
  while (!WaitUntilDeviceTime(cv, lock, deadline)) {
  }
}
