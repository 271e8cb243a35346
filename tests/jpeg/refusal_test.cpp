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

TEST(JpegRefusal, FrameAndScanHeaders) {
  struct Change {
    const char* what;
    StreamSpec (*make)();
  };
  const Change refused[] = {
      {"height 0", [] { StreamSpec s; s.height = 0; return s; }},
      {"width 0", [] { StreamSpec s; s.width = 0; return s; }},
      {"width 32768", [] { StreamSpec s; s.width = 32768; return s; }},
      {"height 40000", [] { StreamSpec s; s.height = 40000; return s; }},
      {"12-bit samples", [] { StreamSpec s = ProgressiveSpec(); s.precision = 12; return s; }},
      {"two components", [] { StreamSpec s; s.comps.pop_back(); s.scan.pop_back(); return s; }},
      {"four components", [] { StreamSpec s; s.comps.push_back({4, 1, 1, 1}); s.scan.push_back({4, 1, 1}); return s; }},
      {"H x V above 4", [] { StreamSpec s; s.comps[0] = {1, 3, 2, 0}; return s; }},
      {"H of 0", [] { StreamSpec s; s.comps[0] = {1, 0, 1, 0}; return s; }},
      {"table 4", [] { StreamSpec s; s.comps[1].tq = 4; return s; }},
      {"chroma ratio 3", [] { StreamSpec s; s.comps[0] = {1, 3, 1, 0}; return s; }},
      {"chroma above luma", [] { StreamSpec s; s.comps[0] = {1, 1, 1, 0}; s.comps[1] = {2, 2, 2, 1}; return s; }},
      {"no such component", [] { StreamSpec s; s.scan[2].selector = 9; return s; }},
      {"DC table 4", [] { StreamSpec s; s.scan[1].td = 4; return s; }},
      {"AC table 5", [] { StreamSpec s; s.scan[1].ta = 5; return s; }},
      {"baseline in several scans", [] { StreamSpec s; s.scan = {{1, 0, 0}}; return s; }},
      {"scan of two components", [] { StreamSpec s; s.scan = {{1, 0, 0}, {2, 1, 1}}; return s; }},
      {"not in frame order", [] { StreamSpec s; std::swap(s.scan[1], s.scan[2]); return s; }},
      {"DC not in frame order", [] { StreamSpec s = ProgressiveSpec(); std::swap(s.scan[0], s.scan[1]); return s; }},
      {"DC of two of three", [] { StreamSpec s = ProgressiveSpec(); s.scan = {{1, 0, 0}, {3, 1, 1}}; return s; }},
      {"AC of three", [] { StreamSpec s = ProgressiveSpec(); s.ss = 1; s.se = 5; return s; }},
      {"AC to 64", [] { StreamSpec s = ProgressiveSpec(); s.scan = {{1, 0, 0}}; s.ss = 1; s.se = 64; return s; }},
      {"AC band backwards", [] { StreamSpec s = ProgressiveSpec(); s.scan = {{1, 0, 0}}; s.ss = 9; s.se = 5; return s; }},
      {"Al 14", [] { StreamSpec s = ProgressiveSpec(); s.ahal = 0x0E; return s; }},
  };
  for (const Change& c : refused) EXPECT_EQ(InitResult(BuildStream(c.make())), -1) << c.what;
}

TEST(JpegRefusal, TablesNotDefinedByTheStream) {
  StreamSpec noQuant;
  noQuant.dqt = false;
  EXPECT_EQ(InitResult(BuildStream(noQuant)), -1);
  // Huffman tables 0 and 1 are the standard ones when the stream leaves them out; 2 and 3
  // have no standard.
  StreamSpec noHuff;
  noHuff.dht = false;
  EXPECT_EQ(InitResult(BuildStream(noHuff)), 0);
  noHuff.scan[2].td = 2;
  EXPECT_EQ(InitResult(BuildStream(noHuff)), -1);
  StreamSpec acOnly = ProgressiveSpec();
  acOnly.dht = false;
  acOnly.comps = {{1, 1, 1, 0}};
  acOnly.scan = {{1, 0, 3}};
  acOnly.ss = 1;
  acOnly.se = 63;
  EXPECT_EQ(InitResult(BuildStream(acOnly)), -1);
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
