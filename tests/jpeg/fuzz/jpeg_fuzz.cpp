// libFuzzer target: TCCXXX_JPEGDEC_Init2 and the whole decode of any input into a small box
// on the calling thread; every other input is then decoded again split between two threads,
// which must end the same way and, when the picture decodes, give the same box. Pictures
// are capped (work buffer, area) so that one input stays well under a second; the core
// itself accepts larger ones.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "jpeg/jpeg_state.h"
#include "jpeg/memory_decode.h"

namespace {
constexpr uint32_t kMaxWork = 4u << 20;
constexpr int64_t kMaxArea = 2000000;
constexpr int kMaxCalls = 1000000;

// The decode's last result (1 when refused or above the caps), and the box.
int Decode(const uint8_t* data, size_t size, const int box[2], std::vector<uint16_t>& surface, bool capped) {
  MemoryStream stream{data, size, 0};
  std::vector<int32_t> resize(size_t(box[0] > box[1] ? box[0] : box[1]) * 2);
  JpegDecInfo info;
  if (TCCXXX_JPEGDEC_Init2(&stream, box[0], box[1], resize.data(), &info, MemoryStreamRead) != 0) return 1;
  if (capped && (info.CalcBufSize > kMaxWork || int64_t(info.ImageWidth) * info.ImageHeight > kMaxArea)) return 1;
  // Left uninitialised on purpose: the decoder must not depend on its contents.
  uint8_t* work = static_cast<uint8_t*>(std::malloc(info.CalcBufSize));
  surface.assign(size_t(box[0]) * box[1], 0);
  gOutSurface = surface.data();
  int calls = 0, rc;
  do {
    rc = TCCXXX_JPEGDEC_Decode(surface.data(), work, PutPixelRGB565);
    if (++calls > kMaxCalls) std::abort();  // a decode that never ends
  } while (rc > 0);
  std::free(work);
  return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int boxes[][2] = {{48, 36}, {13, 7}, {160, 120}};
  const int* box = boxes[size % 3];
  gJpegSplitMinBlocks = 0;
  std::vector<uint16_t> one, two;
  JpegSetThreads(1);
  const int rcOne = Decode(data, size, box, one, true);
  if (rcOne == 1 || size % 2 != 0) return 0;
  JpegSetThreads(2);
  const int rcTwo = Decode(data, size, box, two, false);
  if (rcTwo != rcOne || (rcOne == 0 && one != two)) std::abort();  // the split decode differs
  return 0;
}
