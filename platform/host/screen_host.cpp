// Chooses the screen host and runs it on a thread of its own.
#include "platform/host/screen_host.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/host/host_end.h"
#include "platform/host/hosts.h"
#include "platform/host/stop_signals.h"

namespace {

std::thread g_host;

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
    RunSdlHost(scale, [&](bool ok, const std::string& why) {
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

bool StartScreenHost(const ScreenHostOptions& options) {
  ResetHostEnd();
  const bool fromInput = options.headless && options.script == "-";
  std::optional<std::vector<ScreenCommand>> commands;
  if (!fromInput) {
    commands = LoadCommands(options.headless ? options.script : std::string(), options.tour);
    if (!commands) return false;
  }
  StartStopSignalWatch();
  if (!options.headless && StartWindow(options)) return true;
  if (fromInput) g_host = std::thread(RunStandardInputHost, options.shotsDir);
  else g_host = std::thread(RunScriptHost, std::move(*commands), options.shotsDir);
  return true;
}

void StopScreenHost() {
  MarkApplicationEnded();
  if (g_host.joinable()) g_host.join();
  StopStopSignalWatch();
}
