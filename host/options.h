// The command line of the vellumet program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/host/screen_host.h"

struct HostOptions {
  std::string root = "demo-root";  // host folder holding the device's SDMMC/ and NAND/
  bool rootGiven = false;
  // --card: any host folder (a mount point, say) as the card; the rest of the device's
  // storage is then in the state folder, --state or the default one (state_folder.h).
  std::string card;
  std::string state;
  std::string logFile;             // debug output goes here instead of standard error
  double speed = 1.0;              // clock speed factor
  std::uint32_t clockStart = 0;    // what GetTickCount reads at start (it wraps after 2^32 ms)
  bool backlight = true;           // false: the device has no "BKL1:" driver
  bool autoRotate = true;          // false: photos are shown as stored, whatever their orientation tag
  // --headless, --script, --shots, --scale, the frame buffer and touch device (--fb,
  // --fb-rotate, --touch, --touch-rotate, --touch-swap-xy) and the /sys folders, as the
  // screen host takes them; main adds the tour.
  ScreenHostOptions screen;
};

// Parses argv; on a bad command line, prints why to standard error and returns nothing.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv);
