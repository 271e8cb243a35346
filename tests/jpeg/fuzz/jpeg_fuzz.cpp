// libFuzzer target: TCCXXX_JPEGDEC_Init2 and the whole decode of any input into a small box.
// Pictures are capped (work buffer, area) so that one input stays well under a second;
// the core itself accepts larger ones.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_decode.h"

namespace {
constexpr uint32_t kMaxWork = 4u << 20;
constexpr int64_t kMaxArea = 2000000;
constexpr int kMaxCalls = 1000000;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int boxes[][2] = {{48, 36}, {13, 7}, {160, 120}};
  const int* box = boxes[size % 3];
  MemoryStream stream{data, size, 0};
  std::vector<int32_t> resize(size_t(box[0] > box[1] ? box[0] : box[1]) * 2);
  JpegDecInfo info;
  if (TCCXXX_JPEGDEC_Init2(&stream, box[0], box[1], resize.data(), &info, MemoryStreamRead) != 0) return 0;
  if (info.CalcBufSize > kMaxWork || int64_t(info.ImageWidth) * info.ImageHeight > kMaxArea) return 0;
  // Left uninitialised on purpose: the decoder must not depend on its contents.
  uint8_t* work = static_cast<uint8_t*>(std::malloc(info.CalcBufSize));
  std::vector<uint16_t> surface(size_t(box[0]) * box[1]);
  gOutSurface = surface.data();
  int calls = 0, rc;
  do {
    rc = TCCXXX_JPEGDEC_Decode(surface.data(), work, PutPixelRGB565);
    if (++calls > kMaxCalls) std::abort();  // a decode that never ends
  } while (rc > 0);
  std::free(work);
  return 0;
}
