// The vellumet program: chooses the device root and the host that shows the screen, then
// runs the photo application on it as the device does.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/photo_app.h"
#include "host/options.h"
#include "host/tour.h"
#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/storage/files.h"
#include "platform/kernel/kernel.h"
#include "platform/host/screen_host.h"
#include "platform/windows/window_link.h"
#include "res/resources.h"
#include "thumbs/thumb_index.h"

#undef printf

namespace {

constexpr const char* kTourShots = "vellumet-shots";

ScreenHostOptions ScreenOptions(const HostOptions& options) {
  ScreenHostOptions screen;
  screen.headless = options.headless;
  screen.script = options.script;
  screen.shotsDir = options.shotsDir;
  screen.scale = options.scale;
  screen.tour = kHeadlessTour;
  const bool tour = !options.headless || options.script.empty();
  if (tour && screen.shotsDir.empty()) screen.shotsDir = kTourShots;
  if (!screen.shotsDir.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(screen.shotsDir, ignored);
  }
  if (options.headless && options.script.empty())
    std::fprintf(stderr, "vellumet: headless tour, screenshots in %s/\n", screen.shotsDir.c_str());
  return screen;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<HostOptions> options = ParseHostOptions(argc, argv);
  if (!options) return 2;
  if (!options->logFile.empty() && !DebugSinkToFile(options->logFile)) {
    std::fprintf(stderr, "vellumet: cannot write the log file %s\n", options->logFile.c_str());
    return 2;
  }
  SetClockSpeed(options->speed);
  SetDeviceRoot(options->root);
  SetBacklightPresent(options->backlight);
  if (!IsCardMounted()) std::fprintf(stderr, "vellumet: no card in %s\n", options->root.c_str());
  InstallResources();
  // Without the link the launcher cannot reach the program; it still runs on its own.
  if (!StartWindowLink()) std::fprintf(stderr, "vellumet: the launcher link could not be opened\n");

  TheThumbIndex();  // loaded before the application starts, saved at exit
  if (!StartScreenHost(ScreenOptions(*options))) return 2;
  int result = 0;
  {
    CPhotoApp app;
    result = AfxWinMain();
  }
  StopScreenHost();
  StopWindowLink();
  return result;
}
