#include "host/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void PrintUsage() {
  std::fputs(
      "usage: vellumet [--root DIR | --card DIR [--state DIR]] [--headless] [--script FILE|-] [--shots DIR]\n"
      "                [--scale N] [--speed X] [--clock-start MS] [--log FILE] [--no-backlight] [--no-auto-rotate]\n"
      "                [--fb DEVICE [--fb-rotate 0|90|180|270] [--touch DEVICE]\n"
      "                     [--touch-rotate 0|90|180|270] [--touch-swap-xy]]\n"
      "                [--sys-backlight DIR|auto] [--sys-battery DIR|auto]\n",
      stderr);
}

// A quarter turn given as 0, 90, 180 or 270; false, having said so, for anything else.
bool ParseTurn(const std::string& option, const std::string& text, int& degrees) {
  if (text != "0" && text != "90" && text != "180" && text != "270") {
    std::fprintf(stderr, "vellumet: %s takes 0, 90, 180 or 270\n", option.c_str());
    return false;
  }
  degrees = std::atoi(text.c_str());
  return true;
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

std::optional<HostOptions> ParseHostOptions(int argc, char** argv) {
  HostOptions options;
  bool fbRotateGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    double number = 0;
    if (arg == "--root" && hasValue) {
      options.root = argv[++i];
      options.rootGiven = true;
    } else if (arg == "--card" && hasValue) {
      options.card = argv[++i];
    } else if (arg == "--state" && hasValue) {
      options.state = argv[++i];
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
      if (!ParseTurn(arg, argv[++i], options.screen.touchRotate)) return std::nullopt;
    } else if (arg == "--fb-rotate" && hasValue) {
      if (!ParseTurn(arg, argv[++i], options.screen.fbRotate)) return std::nullopt;
      fbRotateGiven = true;
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
    } else if (arg == "--no-auto-rotate") {
      options.autoRotate = false;
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
  if (options.screen.frameBuffer.empty() && (!options.screen.touch.empty() || fbRotateGiven)) {
    std::fprintf(stderr, "vellumet: --touch and --fb-rotate go with --fb\n");
    return std::nullopt;
  }
  if (!options.card.empty() && options.rootGiven) {
    std::fprintf(stderr, "vellumet: --card and --root name the storage two ways; give one of them\n");
    return std::nullopt;
  }
  if (options.card.empty() && !options.state.empty()) {
    std::fprintf(stderr, "vellumet: --state goes with --card\n");
    return std::nullopt;
  }
  if (!options.screen.script.empty()) options.screen.headless = true;
  return options;
}
