#include "platform/host/frame_change_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/device/framebuffer.h"

namespace {

int g_fd = -1;

void Wake() {
  const std::uint64_t one = 1;
  (void)!write(g_fd, &one, sizeof one);
}

}  // namespace

int FrameChangeFd() {
  static const int fd = [] {
    g_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (g_fd >= 0) SetFrameChangeWake(&Wake);
    return g_fd;
  }();
  return fd;
}

void ClearFrameChangeFd() {
  std::uint64_t count = 0;
  if (g_fd >= 0) (void)!read(g_fd, &count, sizeof count);
}
