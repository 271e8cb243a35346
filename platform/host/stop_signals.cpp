#include "platform/host/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/host/host_end.h"

namespace {

std::thread g_watch;
int g_stopPipe[2] = {-1, -1};
std::atomic<void (*)()> g_cleanup{nullptr};

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

bool StopSignalsBlocked() {
  sigset_t current;
  if (pthread_sigmask(SIG_BLOCK, nullptr, &current) != 0) return false;
  return sigismember(&current, SIGINT) == 1 && sigismember(&current, SIGTERM) == 1;
}

void Watch(int signals, int stop) {
  int received = 0;
  for (;;) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {stop, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) break;
    signalfd_siginfo info;
    if (!(fds[0].revents & POLLIN) || read(signals, &info, sizeof info) != sizeof info) continue;
    if (++received == 1) {
      EndApplicationFromHost();
      continue;
    }
    if (void (*cleanup)() = g_cleanup.load()) cleanup();
    _exit(128 + static_cast<int>(info.ssi_signo));
  }
  close(signals);
}

}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void StartStopSignalWatch() {
  if (g_watch.joinable() || !StopSignalsBlocked()) return;
  const sigset_t set = StopSignals();
  const int signals = signalfd(-1, &set, SFD_CLOEXEC);
  if (signals < 0) return;
  if (pipe2(g_stopPipe, O_CLOEXEC) != 0) {
    close(signals);
    return;
  }
  g_watch = std::thread(Watch, signals, g_stopPipe[0]);
}

void StopStopSignalWatch() {
  if (!g_watch.joinable()) return;
  const char byte = 1;
  if (write(g_stopPipe[1], &byte, 1) < 0) {
    // The watch reads nothing more; join waits for it all the same.
  }
  g_watch.join();
  close(g_stopPipe[0]);
  close(g_stopPipe[1]);
  g_stopPipe[0] = g_stopPipe[1] = -1;
}

void SetEmergencyCleanup(void (*cleanup)()) { g_cleanup = cleanup; }
