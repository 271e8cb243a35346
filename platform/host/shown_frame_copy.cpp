#include "platform/host/shown_frame_copy.h"

#include <cstring>

#include "platform/device/framebuffer.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#define IGNORE_READS_BEGIN() AnnotateIgnoreReadsBegin(__FILE__, __LINE__)
#define IGNORE_READS_END() AnnotateIgnoreReadsEnd(__FILE__, __LINE__)
#else
#define IGNORE_READS_BEGIN()
#define IGNORE_READS_END()
#endif

void CopyShownFrame(WORD* out) {
  IGNORE_READS_BEGIN();
  std::memcpy(out, GetShownFrame(), kFrameBytes);
  IGNORE_READS_END();
}
