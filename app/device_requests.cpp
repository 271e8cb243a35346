#include "app/device_requests.h"

#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/storage/files.h"
#include "platform/device/framebuffer.h"

LONG ReadBatteryState() {
  HANDLE device = CreateFileW(u"BAT2:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  // A device that cannot be read reports a full battery, so that the icon shows no alarm.
  LONG in = 0;
  LONG state = 7;
  DWORD returned = 0;
  DeviceIoControl(device, kBatteryReadRequest, &in, sizeof in, &state, sizeof state, &returned, nullptr);
  printf("  m_GetValue = %d ", static_cast<int>(state));
  CloseHandle(device);
  return state;
}

void BacklightRequest(DWORD code, DWORD value) {
  HANDLE device = CreateFileW(u"BKL1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    printf("1 PAPI_SetLCDBright (inv h!)\n");
    return;
  }
  DWORD in = value;
  DWORD out = 0;
  DWORD returned = 0;
  if (!DeviceIoControl(device, code, &in, sizeof in, &out, sizeof out, &returned, nullptr))
    printf("1 PAPI_SetLCDBright (inv h!)\n");
  CloseHandle(device);
}

WORD ColourToRgb565(DWORD colour) {
  DWORD red = colour & 0xFF;
  DWORD green = (colour >> 8) & 0xFF;
  DWORD blue = (colour >> 16) & 0xFF;
  return static_cast<WORD>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | (blue >> 3));
}

void FillScreen(DWORD colour) {
  // Both halves of every 32-bit word get the pixel: the same as writing it to every pixel.
  WORD pixel = ColourToRgb565(colour);
  WORD* frame = GetVisibleFrame();
  for (size_t i = 0; i < kFrameMemoryBytes / sizeof(WORD); ++i) frame[i] = pixel;
  AnnounceFrameChange();
}
