#include "platform/host/touch_device.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr auto kRetryPeriod = std::chrono::seconds(2);

// The range of one absolute axis of an event device; `fallback` when it has none.
AxisRange AxisOf(int fd, int axis, AxisRange fallback) {
  input_absinfo info {};
  if (ioctl(fd, EVIOCGABS(axis), &info) != 0 || info.maximum <= info.minimum) return fallback;
  return {info.minimum, info.maximum};
}

}  // namespace

std::unique_ptr<TouchDevice> TouchDevice::Open(const std::string& path, const TouchGeometry& geometry, std::string* error) {
  std::unique_ptr<TouchDevice> device(new TouchDevice(path, geometry));
  if (!device->OpenPath(error)) return nullptr;
  return device;
}

bool TouchDevice::OpenPath(std::string* error) {
  struct stat info {};
  if (stat(m_path.c_str(), &info) != 0) {
    *error = "cannot open " + m_path + ": " + std::strerror(errno);
    return false;
  }
  // A FIFO is opened for writing too, so that it never reads as ended between two writers.
  const int flags = S_ISFIFO(info.st_mode) ? O_RDWR : O_RDONLY;
  const int fd = open(m_path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *error = "cannot open " + m_path + ": " + std::strerror(errno);
    return false;
  }
  TouchGeometry geometry = m_geometry;
  // Raw records are in the panel's own pixels.
  geometry.x = geometry.mtX = {0, geometry.panel.PanelWidth() - 1};
  geometry.y = geometry.mtY = {0, geometry.panel.PanelHeight() - 1};
  if (S_ISCHR(info.st_mode)) {
    geometry.x = AxisOf(fd, ABS_X, geometry.x);
    geometry.y = AxisOf(fd, ABS_Y, geometry.y);
    geometry.mtX = AxisOf(fd, ABS_MT_POSITION_X, geometry.x);
    geometry.mtY = AxisOf(fd, ABS_MT_POSITION_Y, geometry.y);
  }
  m_fd = fd;
  m_pollable = !S_ISREG(info.st_mode);
  m_decoder = TouchDecoder(geometry);
  m_partial.clear();
  return true;
}

TouchDevice::~TouchDevice() {
  if (m_fd >= 0) close(m_fd);
  if (m_watch >= 0) close(m_watch);
}

int TouchDevice::PollFd() const {
  if (m_fd >= 0) return m_pollable ? m_fd : -1;
  return m_watch;
}

void TouchDevice::Lose(int error, std::vector<ScreenTouch>* touches) {
  std::fprintf(stderr, "vellumet: the touch device %s is gone (%s); touches come back with it\n", m_path.c_str(),
               std::strerror(error));
  m_decoder.Lift(touches);
  close(m_fd);
  m_fd = -1;
  m_watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  const std::string folder = std::filesystem::path(m_path).parent_path().string();
  if (m_watch >= 0 && inotify_add_watch(m_watch, folder.empty() ? "." : folder.c_str(),
                                        IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_ONLYDIR) < 0) {
    close(m_watch);
    m_watch = -1;
  }
  m_nextTry = std::chrono::steady_clock::now() + kRetryPeriod;
}

void TouchDevice::TryToTakeBack() {
  // The node's folder tells when something changes there; the slow tries cover a node that
  // was not ready yet when it told, and a folder that cannot be watched.
  alignas(inotify_event) char events[4096];
  const bool changed = m_watch >= 0 && read(m_watch, events, sizeof events) > 0;
  const auto now = std::chrono::steady_clock::now();
  if (!changed && now < m_nextTry) return;
  m_nextTry = now + kRetryPeriod;
  std::string ignored;
  if (!OpenPath(&ignored)) return;
  std::fprintf(stderr, "vellumet: the touch device %s is back\n", m_path.c_str());
  if (m_watch >= 0) close(m_watch);
  m_watch = -1;
}

void TouchDevice::Read(std::vector<ScreenTouch>* touches) {
  if (m_fd < 0) {
    TryToTakeBack();
    if (m_fd < 0) return;
  }
  char buffer[64 * sizeof(input_event)];
  for (;;) {
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    // A regular file that has no more is read again later; a device never ends.
    if ((n == 0 && !m_pollable) || (n < 0 && errno == EAGAIN)) return;
    if (n <= 0) {
      Lose(n == 0 ? ENODEV : errno, touches);
      return;
    }
    m_partial.insert(m_partial.end(), buffer, buffer + n);
    size_t used = 0;
    for (; used + sizeof(input_event) <= m_partial.size(); used += sizeof(input_event)) {
      input_event event;
      std::memcpy(&event, m_partial.data() + used, sizeof event);
      m_decoder.Feed(event, touches);
    }
    m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<std::ptrdiff_t>(used));
  }
}
