// The vellumet program: chooses the device's storage (a device root, or a card folder and a
// state folder) and the host that shows the screen, then runs the photo application on it
// as the device does. The process ends as soon as the application has ended, and its exit
// status says how:
//   0  the application ended by itself: its exit button, or the launcher closed it
//   2  nothing ran: a bad command line, or a script, log file, state folder, frame buffer,
//      touch device or /sys folder that cannot be used
//   3  refused: another copy runs on this device root or state folder; nothing was shown
//      (the launcher was still told)
//   4  the host ended the application: the script or standard input ran out, the window
//      was closed, or SIGINT or SIGTERM came
//   5  a screenshot could not be written (the run went on to its end)
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/photo_app.h"
#include "host/options.h"
#include "host/state_folder.h"
#include "host/tour.h"
#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/storage/card_watch.h"
#include "platform/storage/files.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/local_memory.h"
#include "platform/host/host_end.h"
#include "platform/host/screen_host.h"
#include "platform/host/stop_signals.h"
#include "platform/imaging/orientation.h"
#include "platform/media/audio_output.h"
#include "platform/windows/window.h"
#include "platform/windows/window_link.h"
#include "res/resources.h"
#include "thumbs/thumb_index.h"

#undef printf

namespace {

constexpr const char* kTourShots = "vellumet-shots";

enum ExitStatus {
  kEndedByItself = 0,
  kNothingRan = 2,
  kRefused = 3,
  kEndedByHost = 4,
  kHostFailed = 5,
};

ScreenHostOptions ScreenOptions(const HostOptions& options) {
  ScreenHostOptions screen = options.screen;
  screen.tour = kHeadlessTour;
  if (!screen.frameBuffer.empty()) return screen;  // a panel: no tour, no screenshots
  const bool tour = !screen.headless || screen.script.empty();
  if (tour && screen.shotsDir.empty()) screen.shotsDir = kTourShots;
  if (!screen.shotsDir.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(screen.shotsDir, ignored);
  }
  if (screen.headless && screen.script.empty())
    std::fprintf(stderr, "vellumet: headless tour, screenshots in %s/\n", screen.shotsDir.c_str());
  return screen;
}

}  // namespace

int main(int argc, char** argv) {
  MapLargeBlocksOnTheirOwn();
  KeepOffAnUnnamedSessionBus();
  BlockStopSignals();  // before any thread starts: the screen host's watch receives them
  std::optional<HostOptions> options = ParseHostOptions(argc, argv);
  if (!options) return kNothingRan;
  if (!options->logFile.empty() && !DebugSinkToFile(options->logFile)) {
    std::fprintf(stderr, "vellumet: cannot write the log file %s\n", options->logFile.c_str());
    return kNothingRan;
  }
  SetClockSpeed(options->speed);
  SetTickCount(options->clockStart);
  if (options->card.empty()) {
    SetDeviceRoot(options->root);
    if (!IsCardMounted()) std::fprintf(stderr, "vellumet: no card in %s\n", options->root.c_str());
  } else if (!UseStateFolder(ChooseStateFolder(options->state), options->card)) {
    return kNothingRan;
  }
  SetBacklightPresent(options->backlight);
  SetAutoRotate(options->autoRotate);
  InstallResources();
  // Without the link the launcher cannot reach the program; it still runs on its own.
  if (!StartWindowLink()) std::fprintf(stderr, "vellumet: the launcher link could not be opened\n");

  TheThumbIndex();  // loaded before the application starts, saved at exit
  if (!OpenScreenHost(ScreenOptions(*options))) {
    StopWindowLink();
    return kNothingRan;
  }
  bool refused = false;
  {
    CPhotoApp app;
    // A refused copy shows nothing: its screen host does not start (a headless one still
    // answers its script), and the card it would show is not watched.
    refused = !CPhotoApp::ClaimInstance();
    if (!refused) StartCardWatch();
    StartOpenedScreenHost(!refused);
    AfxWinMain();
  }
  StopScreenHost();
  StopCardWatch();
  CloseAudioSystem();
  StopWindowLink();
  if (refused) return kRefused;
  if (HostFailed()) return kHostFailed;
  return HostEndedApplication() ? kEndedByHost : kEndedByItself;
}
