// The JPEG core: decodes baseline and progressive JPEG streams (Huffman coding, 8-bit
// samples, one or three components) straight into a caller's box, scaling while it decodes.
// All decoding state is one static record: one picture at a time in the whole process.
#pragma once

#include <cstddef>
#include <cstdint>

// Filled by TCCXXX_JPEGDEC_Init2 on success.
struct JpegDecInfo {
  uint32_t ColorFormat;  // 0 YCbCr, 1 RGB, 2 other
  uint8_t Sampling[6];   // H1, V1, H2, V2, H3, V3 (0 for an absent component)
  uint32_t CalcBufSize;  // bytes the caller allocates for Calc_Buf
  int32_t ImageWidth;
  int32_t ImageHeight;
};

// Shaped like fread: called as readFunc(buffer, 1024, 1, stream).
using ReadFunc = size_t (*)(void* buffer, size_t size, size_t count, void* stream);
// Receives one target pixel: samples (Y, Cb, Cr) or (R, G, B), index = width * y + x.
using PutPixelFunc = void (*)(int c0, int c1, int c2, int index, int x, int y, int colorFormat);

// 0 on success, -1 when the stream is not supported or its headers are bad.
int TCCXXX_JPEGDEC_Init2(void* stream, int targetWidth, int targetHeight, int32_t* lcd_resize_buf,
                         JpegDecInfo* info, ReadFunc readFunc);
// 1 while more calls are needed, 0 when the picture is finished, -1 on failure.
int TCCXXX_JPEGDEC_Decode(void* outSurface, void* Calc_Buf, PutPixelFunc putPixel);

// The writer the photo pipeline installs: YCbCr (or RGB) to RGB565 at gOutSurface[index].
void PutPixelRGB565(int c0, int c1, int c2, int index, int x, int y, int colorFormat);
extern uint16_t* gOutSurface;

// How many threads (the caller's included, 1 to kJpegMaxThreads) may decode one picture. A
// large picture is then split between them; small pictures and a count of 1 stay on the
// calling thread. The default is the machine's cores, at most kJpegMaxThreads. Takes effect
// at the next TCCXXX_JPEGDEC_Init2; not to be called while a picture decodes.
constexpr int kJpegMaxThreads = 4;
void JpegSetThreads(int count);
int JpegThreads();

// Largest work buffer a progressive picture may ask for.
constexpr uint32_t kJpegMaxCalcBufSize = 512u * 1024u * 1024u;
