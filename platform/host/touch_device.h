// The touch screen the frame-buffer host reads: a Linux event device, whose axis ranges come
// from EVIOCGABS, or a FIFO or regular file of raw input_event records, whose ranges are the
// screen's own (0 to 799 and 0 to 479). A regular file is read as it grows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/touch_decoder.h"

class TouchDevice {
 public:
  // Nothing, with the reason in *error, when it cannot be opened. swapXY and rotate as in
  // TouchGeometry.
  static std::unique_ptr<TouchDevice> Open(const std::string& path, bool swapXY, int rotate, std::string* error);
  ~TouchDevice();
  TouchDevice(const TouchDevice&) = delete;
  TouchDevice& operator=(const TouchDevice&) = delete;

  // The descriptor to poll for records, or -1 when it is a regular file (read on every turn).
  int PollFd() const { return m_pollable ? m_fd : -1; }
  // Reads the records that have come and appends the touches they complete; false when the
  // device failed (it was unplugged, say) and gives nothing more.
  bool Read(std::vector<ScreenTouch>* touches);

 private:
  TouchDevice(int fd, bool pollable, const TouchGeometry& geometry) : m_fd(fd), m_pollable(pollable), m_decoder(geometry) {}

  int m_fd;
  bool m_pollable;
  TouchDecoder m_decoder;
  std::vector<char> m_partial;  // the start of a record not yet complete
};
