// The panel that the frame-buffer host writes: a Linux frame-buffer device, its geometry and
// pixel layout read with the frame-buffer ioctls and its memory mapped, or a regular file
// (made when missing, but never under /dev/) taken as a raw RGB565 frame buffer of a panel
// that fits the picture as it is turned: 800 x 480 (1600 bytes a row), or 480 x 800 (960
// bytes a row) when the picture is turned by a quarter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/host/panel_writer.h"

class PanelDevice {
 public:
  // Nothing, with the reason in *error, when it cannot be opened, read or mapped, or when
  // its pixels are not ones the host can write. Nothing is shown yet. rotate: how the
  // picture is turned (it sizes a regular file).
  static std::unique_ptr<PanelDevice> Open(const std::string& path, int rotate, std::string* error);
  ~PanelDevice();
  PanelDevice(const PanelDevice&) = delete;
  PanelDevice& operator=(const PanelDevice&) = delete;

  const PanelFormat& Format() const { return m_format; }
  // Lights a panel that the console blanked.
  void Unblank() const;
  // The first byte of the visible picture.
  std::uint8_t* Visible() const { return m_memory + m_visibleOffset; }

 private:
  PanelDevice() = default;

  int m_fd = -1;
  bool m_device = false;  // a frame-buffer device, not a file
  std::uint8_t* m_memory = nullptr;
  size_t m_mappedBytes = 0;
  size_t m_visibleOffset = 0;
  PanelFormat m_format;
};
