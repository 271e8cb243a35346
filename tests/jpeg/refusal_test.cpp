// Streams the core does not decode are refused by TCCXXX_JPEGDEC_Init2 with -1.
#include <gtest/gtest.h>

#include "tests/jpeg/stream_builder.h"

namespace {

TEST(JpegRefusal, TheBuilderStreamsAreAccepted) {
  EXPECT_EQ(InitResult(BuildStream(StreamSpec{})), 0);
  EXPECT_EQ(InitResult(BuildStream(ProgressiveSpec())), 0);
  EXPECT_EQ(InitResult(BuildStream(GraySpec())), 0);
}

TEST(JpegRefusal, StreamStartAndFrameKind) {
  Bytes notJpeg = BuildStream(StreamSpec{});
  notJpeg[1] = 0xD9;
  EXPECT_EQ(InitResult(notJpeg), -1);
  EXPECT_EQ(InitResult({0xFF}), -1);
  EXPECT_EQ(InitResult({}), -1);
  for (uint8_t sof : {0xC1, 0xC3, 0xC5, 0xC9, 0xCA, 0xCB, 0xCD}) {
    StreamSpec s;
    s.sof = sof;
    EXPECT_EQ(InitResult(BuildStream(s)), -1) << int(sof);
  }
}

TEST(JpegRefusal, FrameHeaders) {
  auto refused = [](void (*change)(StreamSpec&)) {
    StreamSpec s;
    change(s);
    return InitResult(BuildStream(s)) == -1;
  };
  EXPECT_TRUE(refused([](StreamSpec& s) { s.height = 0; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.width = 0; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.width = 32768; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.height = 40000; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps.pop_back(); s.scan.pop_back(); }));  // two components
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps[0] = {1, 3, 2, 0}; }));                // H x V above 4
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps[0] = {1, 0, 1, 0}; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps[1].tq = 4; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps[0] = {1, 3, 1, 0}; }));  // chroma ratio 3
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps[0] = {1, 1, 1, 0}; s.comps[1] = {2, 2, 2, 1}; }));
  EXPECT_TRUE(refused([](StreamSpec& s) { s.comps = {{1, 2, 2, 0}}; s.scan = {{1, 0, 0}}; }));  // gray not 1x1
}

TEST(JpegRefusal, ScanHeaders) {
  auto refused = [](StreamSpec s, void (*change)(StreamSpec&)) {
    change(s);
    return InitResult(BuildStream(s)) == -1;
  };
  StreamSpec base, prog = ProgressiveSpec();
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { s.scan[2].selector = 9; }));  // matches no component
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { s.scan[1].td = 4; }));
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { s.scan[1].ta = 5; }));
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { s.scan = {{1, 0, 0}}; }));              // multi-scan baseline
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { s.scan = {{1, 0, 0}, {2, 1, 1}}; }));  // two components
  EXPECT_TRUE(refused(base, [](StreamSpec& s) { std::swap(s.scan[1], s.scan[2]); }));   // not frame order
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { s.scan = {{1, 0, 0}}; }));              // DC of one of three
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { std::swap(s.scan[0], s.scan[1]); }));
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { s.ss = 1; s.se = 5; }));  // AC of three components
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { s.scan = {{1, 0, 0}}; s.ss = 1; s.se = 64; }));
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { s.scan = {{1, 0, 0}}; s.ss = 9; s.se = 5; }));
  EXPECT_TRUE(refused(prog, [](StreamSpec& s) { s.ahal = 0x0E; }));
}

TEST(JpegRefusal, TablesNotDefinedByTheStream) {
  StreamSpec noHuff;
  noHuff.dht = false;
  EXPECT_EQ(InitResult(BuildStream(noHuff)), -1);
  StreamSpec noQuant;
  noQuant.dqt = false;
  EXPECT_EQ(InitResult(BuildStream(noQuant)), -1);
  // A progressive DC scan needs DC tables only; an AC scan its AC table.
  StreamSpec dcOnly = ProgressiveSpec();
  dcOnly.dht = false;
  dcOnly.beforeFrame = Segment(0xC4, StdDcBody(0));
  Append(dcOnly.beforeFrame, Segment(0xC4, StdDcBody(1)));
  EXPECT_EQ(InitResult(BuildStream(dcOnly)), 0);
  dcOnly.scan = {{1, 0, 0}};
  dcOnly.ss = 1;
  dcOnly.se = 63;
  dcOnly.comps = {{1, 1, 1, 0}};
  EXPECT_EQ(InitResult(BuildStream(dcOnly)), -1);
}

TEST(JpegRefusal, WorkBufferAboveTheLimit) {
  StreamSpec big = ProgressiveSpec();
  big.width = 32000;
  big.height = 32000;
  big.comps = {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
  EXPECT_EQ(InitResult(BuildStream(big)), -1);
  big.width = big.height = 2000;  // 3 x 250 x 250 blocks of 128 bytes fit
  EXPECT_EQ(InitResult(BuildStream(big)), 0);
  // A baseline picture of the largest size needs only its fixed buffer.
  StreamSpec wide;
  wide.width = wide.height = 32767;
  EXPECT_EQ(InitResult(BuildStream(wide)), 0);
}

TEST(JpegRefusal, MarkerSequences) {
  StreamSpec fill;  // fill bytes before a marker of the header
  fill.beforeFrame = {0xFF, 0xFF, 0xFE, 0x00, 0x03, 0x41};
  EXPECT_EQ(InitResult(BuildStream(fill)), -1);
  StreamSpec shortSegment;
  shortSegment.beforeFrame = {0xFF, 0xFE, 0x00, 0x01};
  EXPECT_EQ(InitResult(BuildStream(shortSegment)), -1);
  StreamSpec body;  // a segment body under a marker that has none
  body.beforeFrame = {0xFF, 0xD0, 0x00, 0x04, 0x01, 0x02};
  EXPECT_EQ(InitResult(BuildStream(body)), -1);
  StreamSpec many;  // 50 markers without a frame header
  for (int i = 0; i < 50; ++i) Append(many.beforeFrame, Segment(0xFE, {'x'}));
  EXPECT_EQ(InitResult(BuildStream(many)), -1);
  StreamSpec noScan;  // EOI ends the header without a scan
  noScan.afterFrame = {0xFF, 0xD9};
  EXPECT_EQ(InitResult(BuildStream(noScan)), -1);
  StreamSpec farScan;  // no SOS within 1000 steps
  farScan.afterFrame = Bytes(1000, 0x11);
  EXPECT_EQ(InitResult(BuildStream(farScan)), -1);
  farScan.afterFrame = Bytes(990, 0x11);  // stray bytes are passed over
  EXPECT_EQ(InitResult(BuildStream(farScan)), 0);
}

TEST(JpegRefusal, BadHuffmanSegments) {
  StreamSpec s;
  s.beforeFrame = Segment(0xC4, HuffTableBody(2, 0, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0}));
  EXPECT_EQ(InitResult(BuildStream(s)), -1);  // class 2
  s.beforeFrame = Segment(0xC4, HuffTableBody(0, 4, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0}));
  EXPECT_EQ(InitResult(BuildStream(s)), -1);  // table 4
  s.beforeFrame = Segment(0xC4, HuffTableBody(0, 0, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2}));
  EXPECT_EQ(InitResult(BuildStream(s)), -1);  // three codes of length 1
  Bytes counted = HuffTableBody(0, 0, {0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2});
  s.beforeFrame = Segment(0xC4, counted);
  EXPECT_EQ(InitResult(BuildStream(s)), -1);  // more values counted than the segment holds
  // The same also after the frame header.
  StreamSpec after;
  after.afterFrame = Segment(0xC4, HuffTableBody(0, 0, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2}));
  EXPECT_EQ(InitResult(BuildStream(after)), -1);
}

TEST(JpegRefusal, DecodeWithoutAPictureFails) {
  InitRun run;
  RunInit(run, {0x00, 0x01});
  ASSERT_EQ(run.rc, -1);
  alignas(4) uint8_t work[1540];
  EXPECT_EQ(TCCXXX_JPEGDEC_Decode(nullptr, work, PutPixelRGB565), -1);
}

}  // namespace
