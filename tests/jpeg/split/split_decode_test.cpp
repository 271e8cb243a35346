// Pictures split between threads decode to exactly what the calling thread alone gives, on
// every road (progressive scans side by side, baseline restart intervals shared out, the
// baseline decode pipelined), and damaged streams end as they do on one thread; a decode
// left after any call leaves no thread working on it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "tests/jpeg/jpeg_test_support.h"

namespace {

struct Picture {
  std::string name;
  std::vector<uint8_t> jpeg;
  int w, h;
};

std::vector<Picture> Pictures() {
  // The codings: restart interval in MCUs, progressive, DC scans apart.
  const std::tuple<const char*, int, bool, bool> codings[] = {
      {"baseline", 0, false, false},   {"intervals", 1, false, false}, {"few intervals", 60, false, false},
      {"progressive", 0, true, false}, {"progressive restarts", 5, true, false}, {"DC scans apart", 0, true, true}};
  std::vector<Picture> pictures;
  const Rgb pic = MakePicture(301, 203, Content::Detailed, 6);
  for (const Layout& l : {kLayouts[0], kLayouts[3], kQuarterLayouts[0], kLayouts[4]}) {
    for (const auto& [name, restart, progressive, dcApart] : codings) {
      if (dcApart && l.gray) continue;
      EncodeOptions o = OptionsFor(l, progressive);
      o.restartInterval = restart;
      if (dcApart) o.scans = DcScansApart();
      pictures.push_back({std::string(l.name) + " " + name, EncodeJpeg(pic, o), pic.width, pic.height});
    }
  }
  // Large enough for several interval batches and several calls of scans.
  const Rgb large = MakePicture(1400, 900, Content::Detailed, 8);
  for (bool progressive : {false, true}) {
    EncodeOptions o = OptionsFor(kLayouts[0], progressive);
    o.restartInterval = 3;
    pictures.push_back({progressive ? "large progressive" : "large intervals", EncodeJpeg(large, o), large.width,
                        large.height});
  }
  return pictures;
}

TEST(JpegSplit, EveryRoadGivesTheCallingThreadsPicture) {
  for (const Picture& p : Pictures()) {
    // Enlarged, 3 to 8 times smaller, more than 8 times smaller (levels 0, 1 and 2).
    for (auto [tw, th] : {std::pair{p.w * 4 / 3, p.h * 4 / 3}, {p.w / 4, p.h / 4}, {p.w / 9, p.h / 9}}) {
      const CoreOutput one = DecodeSplit(p.jpeg, tw, th, 1, nullptr, 0x5A5A);
      ASSERT_EQ(one.result.status, 0) << p.name;
      for (int threads : {2, 4}) {
        int kept = 0;
        const CoreOutput split = DecodeSplit(p.jpeg, tw, th, threads, &kept, 0x5A5A);
        EXPECT_EQ(split.result.status, 0) << p.name;
        EXPECT_EQ(kept, threads) << p.name << " went back to the calling thread";
        EXPECT_TRUE(split.surface == one.surface) << p.name << " box " << tw << "x" << th << ", " << threads << " threads";
      }
    }
  }
}

// Cut short, bytes changed or put in, or something after the end: the split roads must
// notice where the calling thread's decode would read differently and give the same result,
// and the same picture when it decodes (a failed decode's box is thrown away).
TEST(JpegSplit, DamagedStreamsEndAsOnTheCallingThread) {
  int damaged = 0;
  for (const Picture& p : Pictures()) {
    if (p.w > 1000 || p.name.find("4:4:4") == std::string::npos) continue;
    const std::vector<uint8_t>& j = p.jpeg;
    std::vector<std::vector<uint8_t>> variants;
    for (size_t cut : {j.size() * 3 / 10, j.size() * 6 / 10, j.size() * 9 / 10, j.size() - 3})
      variants.emplace_back(j.begin(), j.begin() + std::ptrdiff_t(cut));
    for (int i = 1; i <= 6; ++i) {
      const size_t at = j.size() * size_t(i) / 7;
      for (uint8_t value : {uint8_t(j[at] ^ 0x24), uint8_t(0xFF)}) (variants.emplace_back(j))[at] = value;
      variants.emplace_back(j).insert(variants.back().begin() + std::ptrdiff_t(at), {0xFF, 0xD9});
    }
    variants.emplace_back(j).insert(variants.back().end(), 3000, 0x41);
    const std::vector<uint16_t> intact = DecodeSplit(j, 150, 100, 1, nullptr, 0x5A5A).surface;
    for (const std::vector<uint8_t>& v : variants) {
      const CoreOutput one = DecodeSplit(v, 150, 100, 1, nullptr, 0x5A5A);
      const CoreOutput two = DecodeSplit(v, 150, 100, 2, nullptr, 0x5A5A);
      EXPECT_EQ(two.result.status, one.result.status) << p.name;
      EXPECT_TRUE(one.result.status != 0 || two.surface == one.surface) << p.name << ", variant " << (&v - variants.data());
      damaged += one.result.status != 0 || one.surface != intact;
    }
  }
  EXPECT_GT(damaged, 0);
}

// A caller that stops after any call (a photo closed while it decodes) frees the buffers at
// once; nothing may still work on them, and the next picture decodes whole.
TEST(JpegSplit, ADecodeLeftAfterAnyCallLeavesNothingRunning) {
  for (const Picture& p : Pictures()) {
    if (p.w < 1000) continue;
    const int tw = p.w / 2, th = p.h / 2;
    const CoreOutput whole = DecodeSplit(p.jpeg, tw, th, 1);
    SplitThreads split(2);
    for (int stop = 1; stop <= 3; ++stop) {
      MemoryStream stream{p.jpeg.data(), p.jpeg.size(), 0};
      std::vector<int32_t> resize(size_t(tw) * 2);
      JpegDecInfo info;
      ASSERT_EQ(TCCXXX_JPEGDEC_Init2(&stream, tw, th, resize.data(), &info, MemoryStreamRead), 0);
      std::vector<uint8_t> work(info.CalcBufSize);
      std::vector<uint16_t> surface(size_t(tw) * th);
      gOutSurface = surface.data();
      for (int call = 0, rc = 1; call < stop && rc == 1; ++call)
        rc = TCCXXX_JPEGDEC_Decode(surface.data(), work.data(), PutPixelRGB565);
      std::memset(work.data(), 0xA5, work.size());
      std::memset(surface.data(), 0xA5, surface.size() * sizeof(uint16_t));
    }
    EXPECT_TRUE(DecodeWithCore(p.jpeg, tw, th).surface == whole.surface) << p.name;
  }
}

}  // namespace
