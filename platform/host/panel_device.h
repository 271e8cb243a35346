// The panel that the frame-buffer host writes: a Linux frame-buffer device, its geometry and
// pixel layout read with the frame-buffer ioctls and its memory mapped, or a regular file
// (made when missing) taken as a raw 800 x 480 RGB565 frame buffer, 1600 bytes a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/host/panel_writer.h"

class PanelDevice {
 public:
  // Nothing, with the reason in *error, when it cannot be opened, read or mapped, or when
  // its pixels are not ones the host can write.
  static std::unique_ptr<PanelDevice> Open(const std::string& path, std::string* error);
  ~PanelDevice();
  PanelDevice(const PanelDevice&) = delete;
  PanelDevice& operator=(const PanelDevice&) = delete;

  const PanelFormat& Format() const { return m_format; }
  // The first byte of the visible picture.
  std::uint8_t* Visible() const { return m_memory + m_visibleOffset; }

 private:
  PanelDevice() = default;

  int m_fd = -1;
  std::uint8_t* m_memory = nullptr;
  size_t m_mappedBytes = 0;
  size_t m_visibleOffset = 0;
  PanelFormat m_format;
};
