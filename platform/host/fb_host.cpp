// The frame-buffer host: the device's screen on a Linux frame buffer and touch screen,
// without a desktop.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/host/console.h"
#include "platform/host/frame_change_fd.h"
#include "platform/host/host_end.h"
#include "platform/host/host_pace.h"
#include "platform/host/hosts.h"
#include "platform/host/shown_frame_copy.h"
#include "platform/host/stop_signals.h"
#include "platform/windows/window.h"

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

void RunFrameBufferHost(PanelDevice& panel, int rotate, TouchDevice* touch, BatteryWatch* battery) {
  TakeOverConsole();
  SetEmergencyCleanup(&RestoreConsole);
  panel.Unblank();
  const PanelWriter writer(panel.Format(), rotate);
  std::vector<WORD> current(kFrameBytes / sizeof(WORD)), shown(kFrameBytes / sizeof(WORD));
  bool presented = false;
  // The panel is written only when the frame has changed; the thread sleeps otherwise.
  const int changes = FrameChangeFd();
  bool changed = true;
  Clock::time_point nextFrame = Clock::now();
  std::vector<ScreenTouch> touches;
  while (!ApplicationHasEnded()) {
    const Clock::time_point now = Clock::now();
    if (changed && now >= nextFrame) {
      changed = false;
      // Taken before the copy: whatever is drawn after it is announced again.
      if (TakeFrameChange()) {
        CopyShownFrame(current.data());
        if (!presented || std::memcmp(current.data(), shown.data(), kFrameBytes) != 0) {
          writer.Write(current.data(), panel.Visible(), !presented);
          current.swap(shown);
          presented = true;
        }
      }
      nextFrame = now + kFramePeriod;
    }
    if (battery) battery->Poll();
    // Sleep until a touch, the end, a change (presented when the next frame is due) or the
    // battery's next reading. A touch device read on every turn (a regular file, or one that
    // is gone) is read every frame period.
    Clock::time_point wakeAt = changed ? nextFrame : Clock::time_point::max();
    if (battery) wakeAt = std::min(wakeAt, battery->NextPoll());
    if (touch && touch->ReadsEveryTurn()) wakeAt = std::min(wakeAt, Clock::now() + kFramePeriod);
    const int wait = WaitMsUntil(wakeAt);
    pollfd fds[3] = {{ApplicationEndedFd(), POLLIN, 0}, {touch ? touch->PollFd() : -1, POLLIN, 0}, {changed ? -1 : changes, POLLIN, 0}};
    poll(fds, 3, wait);
    if (fds[2].revents) {
      ClearFrameChangeFd();
      changed = true;
    }
    if (touch && (fds[1].revents || touch->ReadsEveryTurn())) {
      touches.clear();
      touch->Read(&touches);
      for (const ScreenTouch& t : touches) PostTouch(t.kind, t.x, t.y);
    }
  }
  RestoreConsole();
  SetEmergencyCleanup(nullptr);
}
