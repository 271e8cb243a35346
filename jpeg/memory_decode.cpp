#include "jpeg/memory_decode.h"

#include <cstring>
#include <memory>

#include "jpeg/jpeg_state.h"

size_t MemoryStreamRead(void* buffer, size_t size, size_t count, void* stream) {
  MemoryStream& m = *static_cast<MemoryStream*>(stream);
  size_t want = size * count;
  size_t left = m.size - m.pos;
  size_t n = want < left ? want : left;
  if (n > 0) std::memcpy(buffer, m.data + m.pos, n);  // an empty stream may have no data pointer
  m.pos += n;
  return size == 0 ? 0 : n / size;
}

MemoryDecodeResult DecodeJpegFromMemory(const uint8_t* data, size_t size, int width, int height,
                                        uint16_t* surface, uint32_t maxCalcBufSize, PutPixelFunc writer) {
  MemoryDecodeResult result;
  MemoryStream stream{data, size, 0};
  int longer = width > height ? width : height;
  std::vector<int32_t> resize(size_t(longer > 0 ? longer : 1) * 2);
  if (TCCXXX_JPEGDEC_Init2(&stream, width, height, resize.data(), &result.info, MemoryStreamRead) != 0) {
    result.status = 1;
    return result;
  }
  result.level = gJpegState.level;
  if (result.info.CalcBufSize > maxCalcBufSize) {
    result.status = 1;
    return result;
  }
  std::unique_ptr<uint8_t[]> work(new uint8_t[result.info.CalcBufSize]);
  gOutSurface = surface;
  int rc;
  do {
    rc = TCCXXX_JPEGDEC_Decode(surface, work.get(), writer);
    ++result.calls;
  } while (rc > 0);
  if (rc < 0) result.status = 2;
  return result;
}
