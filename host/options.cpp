#include "host/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void PrintUsage() {
  std::fputs(
      "usage: vellumet [--root DIR] [--headless] [--script FILE|-] [--shots DIR] [--scale N]\n"
      "                [--speed X] [--clock-start MS] [--log FILE] [--no-backlight]\n"
      "                [--fb DEVICE [--touch DEVICE] [--touch-rotate 0|90|180|270] [--touch-swap-xy]]\n"
      "                [--sys-backlight DIR|auto] [--sys-battery DIR|auto]\n",
      stderr);
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

std::optional<HostOptions> ParseHostOptions(int argc, char** argv) {
  HostOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    double number = 0;
    if (arg == "--root" && hasValue) {
      options.root = argv[++i];
    } else if (arg == "--log" && hasValue) {
      options.logFile = argv[++i];
    } else if (arg == "--script" && hasValue) {
      options.screen.script = argv[++i];
    } else if (arg == "--shots" && hasValue) {
      options.screen.shotsDir = argv[++i];
    } else if (arg == "--fb" && hasValue) {
      options.screen.frameBuffer = argv[++i];
    } else if (arg == "--touch" && hasValue) {
      options.screen.touch = argv[++i];
    } else if (arg == "--touch-rotate" && hasValue) {
      const std::string turn = argv[++i];
      if (turn != "0" && turn != "90" && turn != "180" && turn != "270") {
        std::fprintf(stderr, "vellumet: --touch-rotate takes 0, 90, 180 or 270\n");
        return std::nullopt;
      }
      options.screen.touchRotate = std::atoi(turn.c_str());
    } else if (arg == "--touch-swap-xy") {
      options.screen.touchSwapXY = true;
    } else if (arg == "--sys-backlight" && hasValue) {
      options.screen.sysBacklight = argv[++i];
    } else if (arg == "--sys-battery" && hasValue) {
      options.screen.sysBattery = argv[++i];
    } else if (arg == "--headless") {
      options.screen.headless = true;
    } else if (arg == "--no-backlight") {
      options.backlight = false;
    } else if (arg == "--speed" && hasValue) {
      if (!ParseNumber(argv[++i], options.speed) || !(options.speed > 0.0)) {
        std::fprintf(stderr, "vellumet: --speed needs a positive number\n");
        return std::nullopt;
      }
    } else if (arg == "--clock-start" && hasValue) {
      char* end = nullptr;
      const char* text = argv[++i];
      const unsigned long long start = std::strtoull(text, &end, 0);
      if (end == text || *end != '\0' || *text == '-' || start > 0xFFFFFFFFull) {
        std::fprintf(stderr, "vellumet: --clock-start needs a number of milliseconds from 0 to 4294967295\n");
        return std::nullopt;
      }
      options.clockStart = static_cast<std::uint32_t>(start);
    } else if (arg == "--scale" && hasValue) {
      if (!ParseNumber(argv[++i], number) || number < 1 || number > 8 || number != static_cast<int>(number)) {
        std::fprintf(stderr, "vellumet: --scale needs a whole number from 1 to 8\n");
        return std::nullopt;
      }
      options.screen.scale = static_cast<int>(number);
    } else {
      PrintUsage();
      return std::nullopt;
    }
  }
  if (!options.screen.frameBuffer.empty() && (options.screen.headless || !options.screen.script.empty())) {
    std::fprintf(stderr, "vellumet: --fb shows the screen on a panel; it takes no --headless or --script\n");
    return std::nullopt;
  }
  if (options.screen.frameBuffer.empty() && !options.screen.touch.empty()) {
    std::fprintf(stderr, "vellumet: --touch goes with --fb\n");
    return std::nullopt;
  }
  if (!options.screen.script.empty()) options.screen.headless = true;
  return options;
}
