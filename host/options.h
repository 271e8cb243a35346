// The command line of the vellumet program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/host/screen_host.h"

struct HostOptions {
  std::string root = "demo-root";  // host folder holding the device's SDMMC/ and NAND/
  std::string logFile;             // debug output goes here instead of standard error
  double speed = 1.0;              // clock speed factor
  std::uint32_t clockStart = 0;    // what GetTickCount reads at start (it wraps after 2^32 ms)
  bool backlight = true;           // false: the device has no "BKL1:" driver
  // --headless, --script, --shots, --scale, the frame buffer and touch device (--fb,
  // --touch, --touch-rotate, --touch-swap-xy) and the /sys folders, as the screen host
  // takes them; main adds the tour.
  ScreenHostOptions screen;
};

// Parses argv; on a bad command line, prints why to standard error and returns nothing.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv);
