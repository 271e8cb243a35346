#include "platform/host/panel_device.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "platform/device/framebuffer.h"

namespace {

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

PanelChannel ChannelOf(const fb_bitfield& field) {
  return {static_cast<int>(field.offset), static_cast<int>(field.length)};
}

}  // namespace

std::unique_ptr<PanelDevice> PanelDevice::Open(const std::string& path, int rotate, std::string* error) {
  std::unique_ptr<PanelDevice> panel(new PanelDevice);
  struct stat info {};
  const bool exists = stat(path.c_str(), &info) == 0;
  // A missing device node is a panel whose driver is not there, never a file to make.
  if (!exists && path.rfind("/dev/", 0) == 0) {
    *error = "no frame buffer at " + path + " (" + std::strerror(errno) + "): is the panel's driver loaded?";
    return nullptr;
  }
  const bool rawFile = !exists || S_ISREG(info.st_mode);
  panel->m_fd = open(path.c_str(), rawFile ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDWR | O_CLOEXEC, 0644);
  if (panel->m_fd < 0) {
    *error = Failed("cannot open " + path);
    return nullptr;
  }
  if (rawFile) {
    panel->m_format = NativePanelFormat();
    if (rotate == 90 || rotate == 270) {
      std::swap(panel->m_format.width, panel->m_format.height);
      panel->m_format.stride = static_cast<size_t>(kScreenHeight) * 2;
    }
    panel->m_mappedBytes = kFrameBytes;
    const bool sized = exists && info.st_size == static_cast<off_t>(kFrameBytes);
    if (!sized && ftruncate(panel->m_fd, static_cast<off_t>(kFrameBytes)) != 0) {
      *error = Failed("cannot size " + path);
      return nullptr;
    }
  } else {
    fb_var_screeninfo var {};
    fb_fix_screeninfo fix {};
    if (ioctl(panel->m_fd, FBIOGET_VSCREENINFO, &var) != 0 || ioctl(panel->m_fd, FBIOGET_FSCREENINFO, &fix) != 0) {
      *error = Failed(path + " is not a frame-buffer device");
      return nullptr;
    }
    if (fix.type != FB_TYPE_PACKED_PIXELS || (fix.visual != FB_VISUAL_TRUECOLOR && fix.visual != FB_VISUAL_DIRECTCOLOR) ||
        var.grayscale != 0) {
      *error = path + ": not a panel of packed true-colour pixels";
      return nullptr;
    }
    PanelFormat& f = panel->m_format;
    f.width = static_cast<int>(var.xres);
    f.height = static_cast<int>(var.yres);
    f.bitsPerPixel = static_cast<int>(var.bits_per_pixel);
    f.stride = fix.line_length;
    f.red = ChannelOf(var.red);
    f.green = ChannelOf(var.green);
    f.blue = ChannelOf(var.blue);
    panel->m_mappedBytes = fix.smem_len ? fix.smem_len : static_cast<size_t>(fix.line_length) * var.yres_virtual;
    panel->m_visibleOffset = static_cast<size_t>(var.yoffset) * fix.line_length +
                             static_cast<size_t>(var.xoffset) * static_cast<size_t>(var.bits_per_pixel / 8);
    panel->m_device = true;
  }
  const PanelFormat& f = panel->m_format;
  if (const char* why = UnusablePanel(f); *why) {
    *error = path + ": " + why;
    return nullptr;
  }
  const size_t lastByte = panel->m_visibleOffset + (static_cast<size_t>(f.height) - 1) * f.stride +
                          static_cast<size_t>(f.width) * static_cast<size_t>(f.bitsPerPixel / 8);
  if (lastByte > panel->m_mappedBytes) {
    *error = path + ": the visible picture lies outside the device's memory";
    return nullptr;
  }
  void* memory = mmap(nullptr, panel->m_mappedBytes, PROT_READ | PROT_WRITE, MAP_SHARED, panel->m_fd, 0);
  if (memory == MAP_FAILED) {
    *error = Failed("cannot map " + path);
    return nullptr;
  }
  panel->m_memory = static_cast<std::uint8_t*>(memory);
  return panel;
}

void PanelDevice::Unblank() const {
  if (m_device) ioctl(m_fd, FBIOBLANK, FB_BLANK_UNBLANK);
}

PanelDevice::~PanelDevice() {
  if (m_memory) munmap(m_memory, m_mappedBytes);
  if (m_fd >= 0) close(m_fd);
}
