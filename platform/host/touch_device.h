// The touch screen the frame-buffer host reads: a Linux event device (a touch screen, a
// tablet or a mouse), whose axis ranges come from EVIOCGABS, or a FIFO or regular file of
// raw input_event records, whose ranges are the panel's own pixels (0 to 799 and 0 to 479 on
// the device's panel). A regular file is read as it grows.
//
// A device that fails (unplugged: its reads give ENODEV) is said so in one line and closed;
// the host goes on without touches, and the device is taken back when its node is there
// again: inotify on the node's folder tells when it comes (or changes its permissions), and
// where there is no such folder an open is tried every two seconds.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/touch_decoder.h"

class TouchDevice {
 public:
  // Nothing, with the reason in *error, when it cannot be opened. The geometry's ranges are
  // the device's own where it has them.
  static std::unique_ptr<TouchDevice> Open(const std::string& path, const TouchGeometry& geometry, std::string* error);
  ~TouchDevice();
  TouchDevice(const TouchDevice&) = delete;
  TouchDevice& operator=(const TouchDevice&) = delete;

  // The descriptor to poll: the device's, or while it is gone the watch for its return (-1
  // when its folder cannot be watched). Read is to be called when it is ready, and on every
  // turn while ReadsEveryTurn.
  int PollFd() const;
  // A regular file (it has no readiness to wait for), or a device that is gone (it is tried
  // again every two seconds).
  bool ReadsEveryTurn() const { return m_fd < 0 || !m_pollable; }
  // Reads the records that have come and appends the touches they complete. A device that
  // fails ends a touch in progress (an up) and is closed; while it is gone, Read takes it
  // back once it is there again.
  void Read(std::vector<ScreenTouch>* touches);

 private:
  TouchDevice(std::string path, const TouchGeometry& geometry) : m_path(std::move(path)), m_geometry(geometry), m_decoder(geometry) {}
  // Opens the path, with the ranges of the device there; false with the reason.
  bool OpenPath(std::string* error);
  void Lose(int error, std::vector<ScreenTouch>* touches);
  void TryToTakeBack();

  const std::string m_path;
  const TouchGeometry m_geometry;
  int m_fd = -1;
  bool m_pollable = false;
  TouchDecoder m_decoder;
  std::vector<char> m_partial;  // the start of a record not yet complete
  // While the device is gone.
  int m_watch = -1;  // inotify on the node's folder
  std::chrono::steady_clock::time_point m_nextTry;
};
