// libFuzzer target: any input as an EXIF block and as a JPEG file whose segments hold one.
#include <cstdint>

#include "platform/imaging/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const int block = ExifOrientation(data, size);
  const int file = JpegOrientation(ReadFromMemory(data, size));
  if (block < 0 || block > 8 || file < 0 || file > 8) __builtin_trap();
  return 0;
}
