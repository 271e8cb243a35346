// The command line of the vellumet program.
#pragma once

#include <optional>
#include <string>

struct HostOptions {
  std::string root = "demo-root";  // host folder holding the device's SDMMC/ and NAND/
  std::string logFile;             // debug output goes here instead of standard error
  double speed = 1.0;              // clock speed factor
  bool headless = false;           // no window: a script (or the built-in tour) drives the screen
  std::string script;              // headless commands; "-" reads them from standard input
  std::string shotsDir;            // where "shot NAME" writes NAME.png
  int scale = 1;                   // window size factor
  bool backlight = true;           // false: the device has no "BKL1:" driver
  // The frame-buffer host: a frame-buffer device (or a regular file taken as a raw frame),
  // an input device (or a FIFO or file of raw events), and how the touch panel is mounted.
  std::string frameBuffer;
  std::string touch;
  int touchRotate = 0;
  bool touchSwapXY = false;
  // /sys folders, or "auto", that the backlight driver follows and the battery driver reads.
  std::string sysBacklight;
  std::string sysBattery;
};

// Parses argv; on a bad command line, prints why to standard error and returns nothing.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv);
