// Chooses the screen host and runs it on a thread of its own.
#include "platform/host/screen_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/device/drivers.h"
#include "platform/host/host_end.h"
#include "platform/host/hosts.h"
#include "platform/host/stop_signals.h"

namespace {

std::thread g_host;
// What the frame-buffer host and the /sys drivers use, from the start to the stop.
std::unique_ptr<PanelDevice> g_panel;
std::unique_ptr<TouchDevice> g_touch;
std::unique_ptr<BatteryWatch> g_battery;
std::unique_ptr<SysBacklight> g_backlight;
// What OpenScreenHost got ready for StartOpenedScreenHost.
ScreenHostOptions g_options;
std::optional<std::vector<ScreenCommand>> g_commands;  // none: standard input, or a panel

// The /sys backlight and battery the options ask for; false when one cannot be found.
bool StartSysDrivers(const ScreenHostOptions& options) {
  if (!options.sysBacklight.empty()) {
    const std::string folder = FindSysFolder(options.sysBacklight, "/sys/class/backlight", "max_brightness");
    if (folder.empty()) {
      std::fprintf(stderr, "vellumet: no backlight at %s\n", options.sysBacklight.c_str());
      return false;
    }
    g_backlight = std::make_unique<SysBacklight>(folder);
    SetBacklightFollower([light = g_backlight.get()](DWORD code, DWORD value) { light->Follow(code, value); });
  }
  if (!options.sysBattery.empty()) {
    const std::string folder = FindSysFolder(options.sysBattery, "/sys/class/power_supply", "capacity");
    if (folder.empty()) {
      std::fprintf(stderr, "vellumet: no battery at %s\n", options.sysBattery.c_str());
      return false;
    }
    g_battery = std::make_unique<BatteryWatch>(folder);
  }
  return true;
}

// The panel and the touch device; false, having said why, when one cannot be opened.
bool OpenFrameBufferDevices(const ScreenHostOptions& options) {
  std::string error;
  g_panel = PanelDevice::Open(options.frameBuffer, options.fbRotate, &error);
  if (g_panel && !options.touch.empty()) {
    TouchGeometry geometry;
    geometry.swapXY = options.touchSwapXY;
    geometry.rotate = options.touchRotate;
    geometry.panel = PanelLayout(g_panel->Format().width, g_panel->Format().height, options.fbRotate);
    g_touch = TouchDevice::Open(options.touch, geometry, &error);
  }
  if (!g_panel || (!options.touch.empty() && !g_touch)) {
    std::fprintf(stderr, "vellumet: %s\n", error.c_str());
    return false;
  }
  return true;
}

void CloseDevices() {
  SetBacklightFollower({});
  g_backlight.reset();
  g_battery.reset();
  g_touch.reset();
  g_panel.reset();
}

// The commands of a script file or of the tour text; nothing when they cannot be read.
std::optional<std::vector<ScreenCommand>> LoadCommands(const std::string& path, const std::string& text) {
  std::string source = text;
  if (!path.empty()) {
    std::ifstream in(path);
    if (!in) {
      std::fprintf(stderr, "vellumet: cannot read the script %s\n", path.c_str());
      return std::nullopt;
    }
    std::stringstream content;
    content << in.rdbuf();
    source = content.str();
  }
  std::string error;
  std::optional<std::vector<ScreenCommand>> parsed = ParseScreenScript(source, &error);
  if (!parsed) std::fprintf(stderr, "vellumet: %s: %s\n", path.empty() ? "the tour" : path.c_str(), error.c_str());
  return parsed;
}

// True when the window opened; otherwise the host's thread has ended and the reason is told.
bool StartWindow(const ScreenHostOptions& options) {
  const int scale = std::max(1, options.scale);
  auto opened = std::make_shared<std::promise<bool>>();  // shared: set_value may outlast our wait
  std::future<bool> result = opened->get_future();
  g_host = std::thread([scale, opened, shots = options.shotsDir] {
    RunSdlHost(scale, g_battery.get(), [&](bool ok, const std::string& why) {
      if (!ok)
        std::fprintf(stderr, "vellumet: no display (%s): headless tour, screenshots in %s/\n", why.c_str(),
                     shots.empty() ? "." : shots.c_str());
      opened->set_value(ok);
    });
  });
  if (result.get()) return true;
  g_host.join();
  return false;
}

}  // namespace

void KeepOffAnUnnamedSessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address) setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

bool OpenScreenHost(const ScreenHostOptions& options) {
  ResetHostEnd();
  g_options = options;
  g_commands.reset();
  bool ready = StartSysDrivers(options);
  if (ready && !options.frameBuffer.empty()) {
    ready = OpenFrameBufferDevices(options);
  } else if (ready && !(options.headless && options.script == "-")) {
    g_commands = LoadCommands(options.headless ? options.script : std::string(), options.tour);
    ready = g_commands.has_value();
  }
  if (!ready) CloseDevices();
  return ready;
}

void StartOpenedScreenHost(bool show) {
  const ScreenHostOptions& options = g_options;
  const bool panel = !options.frameBuffer.empty();
  if (!show && (panel || !options.headless)) {
    CloseDevices();
    return;
  }
  StartStopSignalWatch();
  if (panel) {
    g_host = std::thread(RunFrameBufferHost, std::ref(*g_panel), options.fbRotate, g_touch.get(), g_battery.get());
    return;
  }
  if (!options.headless && StartWindow(options)) return;
  if (!g_commands) g_host = std::thread(RunStandardInputHost, options.shotsDir);
  else g_host = std::thread(RunScriptHost, std::move(*g_commands), options.shotsDir);
}

bool StartScreenHost(const ScreenHostOptions& options) {
  if (!OpenScreenHost(options)) return false;
  StartOpenedScreenHost();
  return true;
}

void StopScreenHost() {
  MarkApplicationEnded();
  if (g_host.joinable()) g_host.join();
  StopStopSignalWatch();
  CloseDevices();
}
