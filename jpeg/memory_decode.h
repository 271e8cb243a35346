// Whole decodes of a JPEG held in memory into an RGB565 surface: the read callback over a
// byte buffer and the loop over TCCXXX_JPEGDEC_Decode, as the photo pipeline drives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_decoder.h"

// A read-only byte stream for the core's ReadFunc, with fread's result convention.
struct MemoryStream {
  const uint8_t* data;
  size_t size;
  size_t pos;
};
size_t MemoryStreamRead(void* buffer, size_t size, size_t count, void* stream);

struct MemoryDecodeResult {
  int status = 0;  // 0 decoded, 1 refused by TCCXXX_JPEGDEC_Init2, 2 a decode call failed
  JpegDecInfo info{};
  int level = 0;   // reduction level chosen for the box
  int calls = 0;   // decode calls made
};

// Decodes into `surface` (width x height pixels, left as it is where the picture does not
// reach) through `writer`. `maxCalcBufSize` refuses pictures whose work buffer would be larger.
MemoryDecodeResult DecodeJpegFromMemory(const uint8_t* data, size_t size, int width, int height,
                                        uint16_t* surface,
                                        uint32_t maxCalcBufSize = kJpegMaxCalcBufSize,
                                        PutPixelFunc writer = PutPixelRGB565);
