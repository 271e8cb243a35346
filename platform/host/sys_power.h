// The backlight and the battery of a real Linux device, through /sys.
//
// A backlight folder (/sys/class/backlight/NAME) has "brightness" and "max_brightness"; a
// battery folder (/sys/class/power_supply/NAME) has "capacity" (percent) and "status".
// Both are used only when the program is asked to (see the options); otherwise the drivers
// stay simulated.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/kernel/types.h"

// `choice` itself when it is a folder holding `file`; for "auto", the first folder of
// classFolder (in name order) that holds it; "" when there is none.
std::string FindSysFolder(const std::string& choice, const std::string& classFolder, const std::string& file);

// Follows the backlight driver's requests on a /sys backlight: the application's start
// (request A with 0) notes the brightness and lights the panel fully, its end (request A
// with 1) puts the noted brightness back, and a click or a slideshow's end (request B with
// 1) lights it fully again. Other requests change nothing.
class SysBacklight {
 public:
  explicit SysBacklight(std::string folder) : m_folder(std::move(folder)) {}
  void Follow(DWORD code, DWORD value);

 private:
  std::optional<long> Read(const char* file) const;
  void Write(long brightness) const;

  std::string m_folder;
  std::optional<long> m_noted;
};

// The battery driver's state for a charge: 7 full (95 % and more), 5, 4 and 3 for less,
// 2 low (the icon blinks, under 15 %), 1 empty (under 5 %), and 6 while charging.
LONG BatteryStateFor(int percent, bool charging);
// The state a /sys battery folder shows now; nothing when it cannot be read.
std::optional<LONG> ReadSysBattery(const std::string& folder);

// Keeps the battery driver's state in step with a /sys battery. Made before the application
// starts, it sets the driver's state from the battery; later, Poll reads the battery at most
// every ten seconds, and on a change sets the driver's state and pushes it to the main page,
// as the launcher pushes a state (code 7).
class BatteryWatch {
 public:
  explicit BatteryWatch(std::string folder);
  void Poll();
  // When Poll will next read the battery: a host that sleeps wakes then.
  std::chrono::steady_clock::time_point NextPoll() const { return m_next; }

 private:
  std::string m_folder;
  std::optional<LONG> m_state;
  std::chrono::steady_clock::time_point m_next;
};
