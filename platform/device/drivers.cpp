#include "platform/device/drivers.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/wide.h"

namespace {

constexpr LONG kFullBattery = 7;

struct DriverState {
  std::mutex lock;
  LONG battery = kFullBattery;
  bool backlightPresent = true;
  std::vector<BacklightCall> backlightCalls;
  std::function<void(DWORD, DWORD)> backlightFollower;
};

DriverState& State() {
  static auto* state = new DriverState;
  return *state;
}

enum class DriverKind { Battery, Backlight };

struct Driver : KernelObject {
  DriverKind kind;
  explicit Driver(DriverKind k) : kind(k) {}
};

bool SameName(LPCWSTR name, WStringView device) {
  return name && FoldCase(WStringView(name, WideLength(name))) == FoldCase(device);
}

// Every program that reaches a driver links this file, so this runs before its main().
const bool g_pluggedIn = [] {
  SetStreamDevices({IsDriverName, OpenDriver, LoadBatteryStateFromRoot});
  return true;
}();

}  // namespace

bool IsDriverName(LPCWSTR name) { return SameName(name, u"BAT2:") || SameName(name, u"BKL1:"); }

HANDLE OpenDriver(LPCWSTR name) {
  if (SameName(name, u"BAT2:")) return AddHandle(std::make_unique<Driver>(DriverKind::Battery));
  if (SameName(name, u"BKL1:")) {
    bool present;
    {
      std::lock_guard guard(State().lock);
      present = State().backlightPresent;
    }
    if (present) return AddHandle(std::make_unique<Driver>(DriverKind::Backlight));
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPVOID) {
  if (returned) *returned = 0;
  Driver* driver = HandleAs<Driver>(device);
  if (!driver) return FALSE;
  DriverState& state = State();
  std::unique_lock guard(state.lock);
  if (driver->kind == DriverKind::Battery) {
    if (code != IOCTL_BATTERY_READ_STATE || !out || outSize < sizeof(LONG)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    *static_cast<LONG*>(out) = state.battery;
    if (returned) *returned = sizeof(LONG);
    return TRUE;
  }
  if (!in || inSize < sizeof(DWORD)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD value = *static_cast<const DWORD*>(in);
  state.backlightCalls.push_back({code, value});
  const std::function<void(DWORD, DWORD)> follower = state.backlightFollower;
  guard.unlock();
  if (follower) follower(code, value);
  return TRUE;
}

void SetBatteryState(LONG batteryState) {
  std::lock_guard guard(State().lock);
  State().battery = batteryState;
}

LONG GetSimulatedBatteryState() {
  std::lock_guard guard(State().lock);
  return State().battery;
}

void LoadBatteryStateFromRoot() {
  LONG value = kFullBattery;
  std::ifstream in(GetDeviceRoot() + "/battery.txt");
  std::string text;
  if (in >> text) {
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (end && *end == '\0' && parsed >= -1000 && parsed <= 1000) value = static_cast<LONG>(parsed);
  }
  SetBatteryState(value);
}

std::vector<BacklightCall> GetBacklightCalls() {
  std::lock_guard guard(State().lock);
  return State().backlightCalls;
}

void ClearBacklightCalls() {
  std::lock_guard guard(State().lock);
  State().backlightCalls.clear();
}

void SetBacklightPresent(bool present) {
  std::lock_guard guard(State().lock);
  State().backlightPresent = present;
}

void SetBacklightFollower(std::function<void(DWORD code, DWORD value)> follower) {
  std::lock_guard guard(State().lock);
  State().backlightFollower = std::move(follower);
}
