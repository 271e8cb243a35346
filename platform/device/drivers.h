// Stream drivers of the device: the battery ("BAT2:") and the backlight ("BKL1:").
// CreateFileW opens them by name; DeviceIoControl sends requests; CloseHandle closes.
// Their simulated state is set by the device root, the host or tests.
#pragma once

#include <functional>
#include <vector>

#include "platform/kernel/handle.h"
#include "platform/kernel/types.h"

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPVOID overlapped);

// ---- Battery ("BAT2:") -------------------------------------------------------------
constexpr DWORD IOCTL_BATTERY_READ_STATE = 0x223548;
// The state the battery request answers. It starts from the device root's battery file
// ("battery.txt": one decimal number) when there is one, and may change at any time.
void SetBatteryState(LONG state);
LONG GetSimulatedBatteryState();
// Reads the battery file of the current device root again (missing file: state 7).
void LoadBatteryStateFromRoot();

// ---- Backlight ("BKL1:") -----------------------------------------------------------
struct BacklightCall {
  DWORD code;
  DWORD value;
};
// Every request the backlight driver received, in order.
std::vector<BacklightCall> GetBacklightCalls();
void ClearBacklightCalls();
// An absent driver cannot be opened.
void SetBacklightPresent(bool present);
// Called with every request the backlight driver takes, after it has recorded it, so that
// a real panel's backlight can follow (an empty function: none). Runs on the caller's thread.
void SetBacklightFollower(std::function<void(DWORD code, DWORD value)> follower);

// Opens a driver by device name ("BAT2:", "BKL1:"); nullptr when the name is not a driver
// (CreateFileW then treats it as a file). Sets ERROR_FILE_NOT_FOUND for absent drivers.
// The drivers plug themselves into the file layer when the program starts, so that
// CreateFileW reaches them.
bool IsDriverName(LPCWSTR name);
HANDLE OpenDriver(LPCWSTR name);
