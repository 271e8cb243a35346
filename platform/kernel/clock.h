// The device clock: one time base behind Sleep, GetTickCount, timed waits and timers.
//
// Device time runs at the speed factor of SetClockSpeed (platform/kernel.h) relative to the
// host's steady clock. A speed change keeps device time continuous and wakes every wait in
// progress on this clock so that it re-times itself against the new speed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Milliseconds of device time since the process started (GetTickCount without the wrap).
std::uint64_t DeviceTimeMs();

// Waits on cv with lock held until cv is notified, a clock speed change happens, or the
// device time reaches deadlineMs. Returns true when the deadline has been reached. Spurious
// returns are possible, as with any condition variable: callers re-check their state.
bool WaitUntilDeviceTime(std::condition_variable_any& cv, std::unique_lock<std::mutex>& lock,
                         std::uint64_t deadlineMs);

// Waits until done() holds or the deadline passes; returns done().
template <typename Predicate>
bool WaitUntilDeviceTime(std::condition_variable_any& cv, std::unique_lock<std::mutex>& lock,
                         std::uint64_t deadlineMs, Predicate done) {
  while (!done()) {
    if (WaitUntilDeviceTime(cv, lock, deadlineMs)) return done();
  }
  return true;
}
