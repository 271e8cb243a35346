// The device's kernel: events, waits, threads, time and random numbers.
#pragma once

#include "platform/kernel/handle.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/types.h"

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// ---- Events ------------------------------------------------------------------------

// A named event is shared by every process on the same device root: creating a name that
// a live process holds gives a handle and GetLastError() == ERROR_ALREADY_EXISTS. The name
// is free again once no live process holds it, also when its holder crashed.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL PulseEvent(HANDLE event);
constexpr DWORD EVENT_PULSE = 1;
constexpr DWORD EVENT_RESET = 2;
constexpr DWORD EVENT_SET = 3;
BOOL EventModify(HANDLE event, DWORD function);

// ---- Waits -------------------------------------------------------------------------

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Waits for any one object. Returns WAIT_OBJECT_0 + i for the first signalled in list order;
// only that object is consumed (an auto-reset event resets). With waitAll, waits until all
// are signalled at once and returns WAIT_OBJECT_0. Events and threads are waitable.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

// ---- Threads -----------------------------------------------------------------------

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
constexpr DWORD CREATE_SUSPENDED = 0x4;
// The handle is signalled when the thread ends.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
constexpr DWORD STILL_ACTIVE = 259;
// A pseudo-handle that names the calling thread; it needs no CloseHandle.
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();
// Device priorities: 0 highest to 7 idle (3 is normal, and every thread starts there). The
// level is kept and mapped onto the host's scheduling as far as the host permits (nice
// values, SCHED_IDLE for 7); a host refusal is not an error.
BOOL CeSetThreadPriority(HANDLE thread, int priority);
// THREAD_PRIORITY_ERROR_RETURN for a handle that is not a thread.
int CeGetThreadPriority(HANDLE thread);
constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

// ---- Time --------------------------------------------------------------------------

// Every delay runs on one clock (platform/clock.h). Its speed factor (1 by default) makes
// time pass faster for tests and the headless host; the order of events stays the same.
// Factors that are not positive and finite are ignored.
void SetClockSpeed(double factor);
double GetClockSpeed();
void Sleep(DWORD milliseconds);
// Milliseconds on the clock above, from 0 at process start or the value SetTickCount gave;
// wraps at 2^32 (after 49.7 days).
DWORD GetTickCount();
void SetTickCount(DWORD ticks);

// ---- Random numbers ----------------------------------------------------------------

// A 32-bit pseudo-random number; safe to call from any thread.
DWORD Random();
// Makes the following numbers repeat for the same seed (tests).
void SeedRandom(DWORD seed);
