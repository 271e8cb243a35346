#include "platform/host/touch_device.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// The range of one absolute axis of an event device; `fallback` when it has none.
AxisRange AxisOf(int fd, int axis, AxisRange fallback) {
  input_absinfo info {};
  if (ioctl(fd, EVIOCGABS(axis), &info) != 0 || info.maximum <= info.minimum) return fallback;
  return {info.minimum, info.maximum};
}

}  // namespace

std::unique_ptr<TouchDevice> TouchDevice::Open(const std::string& path, bool swapXY, int rotate, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  // A FIFO is opened for writing too, so that it never reads as ended between two writers.
  const int flags = S_ISFIFO(info.st_mode) ? O_RDWR : O_RDONLY;
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  TouchGeometry geometry;
  geometry.swapXY = swapXY;
  geometry.rotate = rotate;
  if (S_ISCHR(info.st_mode)) {
    geometry.x = AxisOf(fd, ABS_X, geometry.x);
    geometry.y = AxisOf(fd, ABS_Y, geometry.y);
    geometry.mtX = AxisOf(fd, ABS_MT_POSITION_X, geometry.x);
    geometry.mtY = AxisOf(fd, ABS_MT_POSITION_Y, geometry.y);
  }
  return std::unique_ptr<TouchDevice>(new TouchDevice(fd, !S_ISREG(info.st_mode), geometry));
}

TouchDevice::~TouchDevice() { close(m_fd); }

bool TouchDevice::Read(std::vector<ScreenTouch>* touches) {
  char buffer[64 * sizeof(input_event)];
  for (;;) {
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (n < 0 && errno == EAGAIN)) return true;  // nothing more for now
    if (n < 0) return false;
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
