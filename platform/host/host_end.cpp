#include "platform/host/host_end.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/kernel/kernel.h"
#include "platform/windows/window.h"

namespace {

struct EndState {
  std::mutex lock;
  std::atomic<bool> ended{false};
  bool hostEnded = false;
  std::atomic<bool> failed{false};
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int pipe[2] = {-1, -1};
  EndState() {
    if (pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) pipe[0] = pipe[1] = -1;
  }
};

EndState& State() {
  static auto* state = new EndState;  // used until the last host thread has ended
  return *state;
}

void DrainPipe(int fd) {
  char buffer[16];
  while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

void ResetHostEnd() {
  EndState& s = State();
  std::lock_guard guard(s.lock);
  s.ended = false;
  s.hostEnded = false;
  s.failed = false;
  ResetEvent(s.event);
  DrainPipe(s.pipe[0]);
}

void MarkApplicationEnded() {
  EndState& s = State();
  std::lock_guard guard(s.lock);
  if (s.ended) return;
  s.ended = true;
  SetEvent(s.event);
  const char byte = 1;
  if (s.pipe[1] >= 0 && write(s.pipe[1], &byte, 1) < 0) {
    // The pipe holds a byte already; it stays readable.
  }
}

bool ApplicationHasEnded() { return State().ended; }
HANDLE ApplicationEndedEvent() { return State().event; }
int ApplicationEndedFd() { return State().pipe[0]; }

void EndApplicationFromHost() {
  EndState& s = State();
  std::lock_guard guard(s.lock);
  if (s.ended) return;
  // With no window left on the screen the application is closing itself; before its first
  // window is shown it is still starting, and the end is the host's.
  if (!HasWindowThread() || GetForegroundWindow() || !WindowWasShown()) s.hostEnded = true;
  PostQuitToWindowThread(0);
}

bool HostEndedApplication() {
  EndState& s = State();
  std::lock_guard guard(s.lock);
  return s.hostEnded;
}

void NoteHostFailure() { State().failed = true; }
bool HostFailed() { return State().failed; }
