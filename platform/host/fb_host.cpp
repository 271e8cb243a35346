// The frame-buffer host: the device's screen on a Linux frame buffer and touch screen,
// without a desktop.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/host/console.h"
#include "platform/host/host_end.h"
#include "platform/host/hosts.h"
#include "platform/host/shown_frame_copy.h"
#include "platform/host/stop_signals.h"
#include "platform/windows/window.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFramePeriod = std::chrono::microseconds(1000000 / 60);  // at most 60 presents a second

}  // namespace

void RunFrameBufferHost(PanelDevice& panel, int rotate, TouchDevice* touch, BatteryWatch* battery) {
  TakeOverConsole();
  SetEmergencyCleanup(&RestoreConsole);
  panel.Unblank();
  const PanelWriter writer(panel.Format(), rotate);
  std::vector<WORD> current(kFrameBytes / sizeof(WORD)), shown(kFrameBytes / sizeof(WORD));
  bool presented = false;
  Clock::time_point nextFrame = Clock::now();
  std::vector<ScreenTouch> touches;
  while (!ApplicationHasEnded()) {
    const Clock::time_point now = Clock::now();
    if (now >= nextFrame) {
      CopyShownFrame(current.data());
      if (!presented || std::memcmp(current.data(), shown.data(), kFrameBytes) != 0) {
        writer.Write(current.data(), panel.Visible(), !presented);
        current.swap(shown);
        presented = true;
      }
      nextFrame = now + kFramePeriod;
      if (battery) battery->Poll();
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextFrame - Clock::now());
    pollfd fds[2] = {{ApplicationEndedFd(), POLLIN, 0}, {touch ? touch->PollFd() : -1, POLLIN, 0}};
    poll(fds, 2, static_cast<int>(std::max<long long>(0, wait.count())));
    if (touch && (fds[1].revents || touch->ReadsEveryTurn())) {
      touches.clear();
      touch->Read(&touches);
      for (const ScreenTouch& t : touches) PostTouch(t.kind, t.x, t.y);
    }
  }
  RestoreConsole();
  SetEmergencyCleanup(nullptr);
}
