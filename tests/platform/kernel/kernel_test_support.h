// Helpers shared by the kernel tests.
#pragma once

#include <functional>

#include "platform/kernel/kernel.h"

// Raises the clock speed for one test and puts it back afterwards.
class ClockSpeedScope {
 public:
  explicit ClockSpeedScope(double factor) : m_previous(GetClockSpeed()) { SetClockSpeed(factor); }
  ~ClockSpeedScope() { SetClockSpeed(m_previous); }

 private:
  double m_previous;
};

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
inline HANDLE StartThread(std::function<DWORD()>* body, DWORD flags = 0, LPDWORD id = nullptr) {
  return CreateThread(
      nullptr, 0, [](LPVOID p) { return (*static_cast<std::function<DWORD()>*>(p))(); }, body, flags, id);
}
