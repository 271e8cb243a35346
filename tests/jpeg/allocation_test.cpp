// A whole decode allocates nothing: the core works only in the caller's buffers and its one
// static state. Every allocation of this test program goes through the counter below.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "jpeg/jpeg_state.h"
#include "jpeg/memory_decode.h"
#include "tests/jpeg/jpeg_test_support.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replacements pair malloc with free on purpose; GCC cannot see that across them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// On one thread and split between two (the threads are started once, by the first picture
// that uses them): pipelined and in restart intervals for baseline pictures, scans side by
// side for progressive ones.
TEST(JpegAllocation, ADecodeAllocatesNothing) {
  StartThreads(2);
  for (int threads : {1, 2}) {
    SplitThreads split(threads);
    for (bool progressive : {false, true}) {
      for (int restartInterval : {0, 3}) {
        const std::vector<uint8_t> jpeg = EncodeJpeg(MakePicture(203, 117, Content::Detailed),
                                                     {.progressive = progressive, .restartInterval = restartInterval});
        std::vector<int32_t> resize(2 * 160);
        std::vector<uint16_t> surface(160 * 120);
        std::vector<uint8_t> work(8u << 20);
        MemoryStream stream{jpeg.data(), jpeg.size(), 0};
        JpegDecInfo info{};
        const long allocations = g_allocations.load();
        ASSERT_EQ(TCCXXX_JPEGDEC_Init2(&stream, 160, 120, resize.data(), &info, MemoryStreamRead), 0);
        ASSERT_LE(info.CalcBufSize, work.size());
        gOutSurface = surface.data();
        int rc;
        do rc = TCCXXX_JPEGDEC_Decode(surface.data(), work.data(), PutPixelRGB565);
        while (rc > 0);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(gJpegState.threads, threads);
        EXPECT_EQ(g_allocations.load(), allocations) << threads << " threads, progressive " << progressive;
      }
    }
  }
}

}  // namespace
