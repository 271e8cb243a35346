// The device clock: one time base behind Sleep, GetTickCount, timed waits and timers.
//
// Device time runs at the speed factor of SetClockSpeed (platform/kernel.h) relative to the
// host's steady clock. A speed change keeps device time continuous and wakes every wait in
// progress on this clock so that it re-times itself against the new speed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/kernel/types.h"

// Milliseconds of device time since the process started. Sleep, timed waits and timers run
// on it; being 64 bits wide, it never wraps.
std::uint64_t DeviceTimeMs();

// GetTickCount is a 32-bit count of device milliseconds that wraps after 49.7 days, as on the
// device. It starts at 0 unless told otherwise: SetTickCount makes it read `ticks` now and
// count on from there (the program's --clock-start, and tests that put the wrap where they
// want it; declared in kernel.h). The device time above does not move.
// The tick count at a device time of DeviceTimeMs's.
DWORD TickCountAt(std::uint64_t deviceMs);

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
