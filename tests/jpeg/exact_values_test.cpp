// Values the decoder must give exactly: scaled quantisation tables, header facts, the
// range-limit table, the mapping into the box, call counts, restarts and Huffman tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/jpeg/jpeg_test_support.h"
#include "tests/jpeg/stream_builder.h"

namespace {

const JpegDecoderState& S() { return gJpegState; }
const uint8_t kRst0[2] = {0xFF, 0xD0};

TEST(JpegExact, QuantisationScalingAndTheZeroRule) {
  StreamSpec s;
  s.dqt = false;
  // Two tables in one segment: table 0 all ones (8-bit), table 1 with 16-bit values and a
  // zero first value.
  Bytes q = Quant8(0, 1);
  Append(q, {0x11, 0x00, 0x00});
  for (int k = 1; k < 64; ++k) Append(q, {0x03, 0xE8});  // 1000
  s.beforeFrame = Segment(0xDB, q);
  ASSERT_EQ(InitResult(BuildStream(s)), 0);
  const int16_t* t = S().quant[0];
  EXPECT_EQ(t[0], 4);          // 16384 >> 12
  EXPECT_EQ(t[9], 31521 >> 12);
  EXPECT_EQ(t[1], 22725 >> 12);
  // Natural 63 (zigzag 63, factor 1247) scales to 0 and takes zigzag 62's entry (natural 62).
  EXPECT_EQ(t[62], 2446 >> 12 == 0 ? t[55] : 2446 >> 12);
  EXPECT_EQ(t[63], t[62]);
  // Natural 7 (zigzag 6, factor 4520) stays 1; natural 15 (zigzag 28, factor 6270) stays 1.
  EXPECT_EQ(t[7], 1);
  const int16_t* u = S().quant[1];
  EXPECT_EQ(u[0], 64);  // a zero first value counts as 16
  EXPECT_EQ(u[1], int16_t((1000 * 22725) >> 12));
  EXPECT_EQ(u[63], (1000 * 1247) >> 12);
}

TEST(JpegExact, HeaderFactsColourFormatAndRangeLimit) {
  InitRun run;
  RunInit(run, BuildStream(GraySpec()));
  ASSERT_EQ(run.rc, 0);
  EXPECT_EQ(run.info.CalcBufSize, 1540u);
  EXPECT_EQ(0, memcmp(run.info.Sampling, "\1\1\0\0\0\0", 6));
  RunInit(run, BuildStream({.sof = 0xC2, .width = 640, .height = 480, .se = 0}));
  ASSERT_EQ(run.rc, 0);
  EXPECT_EQ(run.info.CalcBufSize, 921604u);  // 6 blocks x 30 rows x 40 MCUs x 128 + 4
  EXPECT_EQ(0, memcmp(run.info.Sampling, "\2\2\1\1\1\1", 6));
  EXPECT_EQ(run.info.ImageWidth * 1000 + run.info.ImageHeight, 640480);
  const uint8_t* t = S().rangeLimit;
  for (auto [i, v] : {std::pair{0, 128}, {127, 255}, {128, 255}, {511, 255}, {512, 0}, {895, 0}, {896, 0}, {1023, 127}})
    EXPECT_EQ(t[i], v) << i;

  // Component identifiers, and whether an APP0 segment came first.
  struct Ids {
    int a, b, c;
    bool app0;
    uint32_t format;
  };
  for (const Ids& f : {Ids{1, 2, 3, false, 0}, {0, 1, 2, false, 0}, {'R', 'G', 'B', false, 1}, {'R', 'G', 'B', true, 0},
                       {'Y', 'C', 'c', false, 2}}) {
    StreamSpec s;
    s.app0 = f.app0;
    s.comps = {{f.a, 2, 2, 0}, {f.b, 1, 1, 1}, {f.c, 1, 1, 1}};
    s.scan = {{f.a, 0, 0}, {f.b, 1, 1}, {f.c, 1, 1}};
    RunInit(run, BuildStream(s));
    EXPECT_EQ(run.info.ColorFormat, f.format) << char(f.a);
  }
}

TEST(JpegExact, MappingIntoTheBoxAndReductionLevel) {
  struct Fit {
    int w, h, tw, th;
    int outW, outH, offX, offY, level;
  };
  const Fit fits[] = {
      {3200, 2400, 640, 480, 640, 480, 0, 0, 1},  // equal ratios: the height decides
      {1000, 1000, 800, 480, 480, 480, 160, 0, 0}, {1, 10000, 800, 480, 1, 480, 400, 0, 2},
      {299, 100, 100, 100, 100, 33, 0, 33, 0},     {300, 100, 100, 100, 100, 33, 0, 33, 1},
      {799, 100, 100, 100, 100, 12, 0, 44, 1},     {800, 100, 100, 100, 100, 12, 0, 44, 2},
      {300, 300, 100, 100, 100, 100, 0, 0, 1},     {100, 240, 100, 80, 33, 80, 33, 0, 1}};
  for (const Fit& f : fits) {
    InitRun run;
    RunInit(run, BuildStream({.width = f.w, .height = f.h}), f.tw, f.th);
    ASSERT_EQ(run.rc, 0);
    EXPECT_EQ((std::vector<int>{S().outWidth, S().outHeight, S().offX, S().offY, S().level}),
              (std::vector<int>{f.outW, f.outH, f.offX, f.offY, f.level}))
        << f.w << "x" << f.h;
    // Block table first, coordinate table second: (i x R) >> 19 and >> 16.
    EXPECT_EQ(S().invRatio, uint32_t((268435456 / S().ratio) << 4));
    for (int i : {1, 7, f.tw - 1}) {
      EXPECT_EQ(run.resize[size_t(i)], int32_t((int64_t(i) * S().ratio) >> 19));
      EXPECT_EQ(run.resize[size_t(std::max(f.tw, f.th) + i)], int32_t((int64_t(i) * S().ratio) >> 16));
    }
  }
}

// A 1000 x 1000 picture in an 800 x 480 box: columns 160 to 639 are written, once each
// (index = width * y + x), the others stay as they were.
TEST(JpegExact, UncoveredPixelsStayAndEachCoveredPixelIsWrittenOnce) {
  std::vector<uint8_t> jpeg = EncodeJpeg(MakePicture(1000, 1000, Content::Smooth), EncodeOptions{});
  CoreOutput core = DecodeWithCore(jpeg, 800, 480, 0x1234);
  ASSERT_EQ(core.result.status, 0);
  static std::vector<int> seen;
  seen.assign(size_t(800) * 480, 0);
  DecodeWithCore(jpeg, 800, 480, 0, [](int, int, int, int index, int x, int y, int colorFormat) {
    EXPECT_EQ(index, 800 * y + x);
    EXPECT_EQ(colorFormat, 0);
    seen[size_t(index)]++;
  });
  for (size_t i = 0; i < seen.size() && !HasFailure(); ++i) {
    const bool inside = i % 800 >= 160 && i % 800 < 640;
    EXPECT_EQ(seen[i], inside ? 1 : 0) << i;
    EXPECT_EQ(core.surface[i] == 0x1234, !inside) << i;
  }
}

TEST(JpegExact, PixelWriter) {
  uint16_t px[4] = {0, 0, 0, 0};
  gOutSurface = px;
  PutPixelRGB565(128, 128, 128, 0, 0, 0, 0);
  EXPECT_EQ(px[0], 0x8410);
  PutPixelRGB565(200, 128, 128, 1, 1, 0, 0);  // grey: R = G = B = Y
  EXPECT_EQ(px[1], Pack565(200, 200, 200));
  PutPixelRGB565(10, 100, 250, 2, 2, 0, 1);  // RGB taken as it is
  EXPECT_EQ(px[2], Pack565(10, 100, 250));
  PutPixelRGB565(255, 255, 0, 3, 3, 0, 0);  // Y 255, Cb 255, Cr 0: clamped channels
  int r = 255 + ((-128 * 1470103) >> 20), g = 255 - ((-128 * 748830) >> 20) - ((127 * 360857) >> 20);
  EXPECT_EQ(px[3], Pack565(r, g > 255 ? 255 : g, 255));
}

TEST(JpegExact, DecodeCallCounts) {
  // 10 x 8 = 80 MCUs take one call, 81 two.
  EncodeOptions o{.h1 = 1, .v1 = 1};
  EXPECT_EQ(DecodeWithCore(EncodeJpeg(MakePicture(80, 64, Content::Detailed), o), 80, 64).result.calls, 1);
  EXPECT_EQ(DecodeWithCore(EncodeJpeg(MakePicture(648, 8, Content::Detailed), o), 648, 8).result.calls, 2);
  // libjpeg's progressive script has 10 scans for colour and 6 for grey; the scans take
  // one call each, then ceil(MCUs / 80) calls give the output.
  o.progressive = true;
  for (auto [gray, scans] : {std::pair{false, 10}, {true, 6}}) {
    o.gray = gray;
    const CoreOutput p = DecodeWithCore(EncodeJpeg(MakePicture(200, 100, Content::Detailed), o), 100, 50);
    EXPECT_EQ(p.result.calls, scans + (25 * 13 + 79) / 80) << p.result.status;
  }
}

// Restart markers, wherever the DRI segment stands, a DNL marker (skipped with two bytes)
// where a restart marker is expected, optimised Huffman tables, a comment and quantisation
// tables merged into one segment leave the coefficients, so the picture, as they were.
TEST(JpegExact, HeaderVariantsAndRestartMarkersDoNotChangeThePicture) {
  Rgb pic = MakePicture(77, 45, Content::Detailed);
  for (bool progressive : {false, true}) {
    EncodeOptions o{.progressive = progressive};
    const std::vector<uint16_t> want = DecodeWithCore(EncodeJpeg(pic, o), 77, 45).surface;
    EncodeOptions variant{.progressive = progressive, .optimize = true, .comment = "made \xFF\x00 with a stuffed-looking pair"};
    EXPECT_EQ(DecodeWithCore(MergeDqtSegments(EncodeJpeg(pic, variant)), 77, 45).surface, want) << progressive;
    for (int interval : {1, 3, 5}) {
      o.restartInterval = interval;
      std::vector<uint8_t> rst = EncodeJpeg(pic, o);
      EXPECT_EQ(DecodeWithCore(rst, 77, 45).surface, want) << progressive << " interval " << interval;
      EXPECT_EQ(DecodeWithCore(MoveDriBeforeFrame(rst), 77, 45).surface, want);
      if (progressive || interval != 1) continue;
      const size_t at = size_t(std::search(rst.begin() + 600, rst.end(), kRst0, kRst0 + 2) - rst.begin());
      ASSERT_LT(at, rst.size());
      rst.erase(rst.begin() + std::ptrdiff_t(at), rst.begin() + std::ptrdiff_t(at) + 2);
      rst.insert(rst.begin() + std::ptrdiff_t(at), {0xFF, 0xDC, 0x00, 0x04});
      EXPECT_EQ(DecodeWithCore(rst, 77, 45).surface, want);
    }
  }
}

TEST(JpegExact, HuffmanTables) {
  // A table whose codes are all at most 8 bits takes exactly the 256 root entries.
  StreamSpec s;
  s.beforeFrame = Segment(0xC4, HuffTableBody(0, 2, {0, 1, 5, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  ASSERT_EQ(InitResult(BuildStream(s)), 0);
  EXPECT_EQ(S().huff[2].used, 256);
  EXPECT_EQ(S().huff[2].rootBits, 8u);
  // Code "00" (symbol 0) fills the first 64 root entries with length 2.
  for (int i = 0; i < 64; ++i) EXPECT_TRUE(S().huff[2].entries[i].value == 0 && S().huff[2].entries[i].length == 2) << i;
  EXPECT_EQ(S().huff[2].entries[254].length, 8);  // "11111110"
  EXPECT_EQ(S().huff[2].entries[255].length, 0);  // no code
  // The standard DC table's one 9-bit code needs a subtable of two entries; the standard
  // AC table, with codes up to 16 bits, needs subtables behind a few root entries.
  EXPECT_EQ(S().huff[0].used, 258);
  const HuffTable& ac = S().huff[4];
  EXPECT_GT(ac.used, 256);
  int links = 0;
  for (int i = 0; i < 256; ++i) links += ac.entries[i].length < 0;
  EXPECT_GT(links, 0);
  EXPECT_LT(links, 8);

  // Each short table takes 1024 bytes of the 30000-byte arena: 29 fit, the 30th does not.
  auto tables = [](int n) {
    StreamSpec g = GraySpec();
    g.dht = false;
    Bytes body = HuffTableBody(0, 0, {2}, {0, 1});
    Append(body, HuffTableBody(1, 0, {2}, {0, 1}));
    for (int i = 2; i < n; ++i) Append(body, HuffTableBody(0, 2, {2}, {0, 1}));
    g.beforeFrame = Segment(0xC4, body);
    return InitResult(BuildStream(g));
  };
  EXPECT_EQ(tables(29), 0);
  EXPECT_EQ(tables(30), -1);
}

TEST(JpegExact, ReductionLevelsAgreeOnFlatBlocks) {
  Rgb flat{256, 128, {}};
  for (int i = 0; i < 256 * 128; ++i) flat.pixels.insert(flat.pixels.end(), {90, 160, 40});
  for (bool progressive : {false, true}) {
    std::vector<uint8_t> jpeg = EncodeJpeg(flat, {.progressive = progressive});
    std::set<uint16_t> values;
    for (int tw : {200, 64, 16}) {  // levels 0, 1, 2
      CoreOutput out = DecodeWithCore(jpeg, tw, tw / 2);
      EXPECT_EQ(out.result.level, tw == 200 ? 0 : tw == 64 ? 1 : 2);
      values.insert(out.surface.begin(), out.surface.end());
    }
    EXPECT_EQ(values.size(), 1u) << progressive;
  }
}

TEST(JpegExact, UnalignedWorkBufferIsUsedFromTheNextMultipleOfFour) {
  InitRun run;
  RunInit(run, EncodeJpeg(MakePicture(16, 16, Content::Smooth), EncodeOptions{}), 16, 16);
  ASSERT_EQ(run.rc, 0);
  alignas(4) uint8_t work[1540 + 4];
  uint16_t surface[256];
  gOutSurface = surface;
  EXPECT_EQ(TCCXXX_JPEGDEC_Decode(surface, work + 2, PutPixelRGB565), 0);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(S().area[0]), work + 4);
}

}  // namespace
