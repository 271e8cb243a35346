// Streams the core does not decode are refused by TCCXXX_JPEGDEC_Init2 with -1.
#include <gtest/gtest.h>

#include <utility>

#include "tests/jpeg/stream_builder.h"

namespace {

using Change = std::pair<const char*, void (*)(StreamSpec&)>;

// A DHT segment of one table with `ones` codes of length 1 and `twos` of length 2.
Bytes Dht(int tc, int th, int ones, int twos, const Bytes& values) {
  return Segment(0xC4, HuffTableBody(tc, th, {ones, twos}, values));
}

TEST(JpegRefusal, StreamsTheCoreDoesNotDecode) {
  Bytes notJpeg = BuildStream(StreamSpec{});
  notJpeg[1] = 0xD9;
  for (const Bytes& bytes : {notJpeg, Bytes{0xFF}, Bytes{}}) EXPECT_EQ(InitResult(bytes), -1);
  for (uint8_t sof : {0xC1, 0xC3, 0xC5, 0xC9, 0xCA, 0xCB, 0xCD}) {
    StreamSpec s;
    s.sof = sof;
    EXPECT_EQ(InitResult(BuildStream(s)), -1) << int(sof);
  }
  const Change refused[] = {
      {"height 0", [](StreamSpec& s) { s.height = 0; }},
      {"width 0", [](StreamSpec& s) { s.width = 0; }},
      {"width 32768", [](StreamSpec& s) { s.width = 32768; }},
      {"height 40000", [](StreamSpec& s) { s.height = 40000; }},
      {"12-bit samples", [](StreamSpec& s) { s = ProgressiveSpec(); s.precision = 12; }},
      {"two components", [](StreamSpec& s) { s.comps.pop_back(); s.scan.pop_back(); }},
      {"four components", [](StreamSpec& s) { s.comps.push_back({4, 1, 1, 1}); s.scan.push_back({4, 1, 1}); }},
      {"H x V above 4", [](StreamSpec& s) { s.comps[0] = {1, 3, 2, 0}; }},
      {"H of 0", [](StreamSpec& s) { s.comps[0] = {1, 0, 1, 0}; }},
      {"table 4", [](StreamSpec& s) { s.comps[1].tq = 4; }},
      {"chroma ratio 3", [](StreamSpec& s) { s.comps[0] = {1, 3, 1, 0}; }},
      {"chroma above luma", [](StreamSpec& s) { s.comps[0] = {1, 1, 1, 0}; s.comps[1] = {2, 2, 2, 1}; }},
      {"no such component", [](StreamSpec& s) { s.scan[2].selector = 9; }},
      {"DC table 4", [](StreamSpec& s) { s.scan[1].td = 4; }},
      {"AC table 5", [](StreamSpec& s) { s.scan[1].ta = 5; }},
      {"baseline in several scans", [](StreamSpec& s) { s.scan = {{1, 0, 0}}; }},
      {"scan of two components", [](StreamSpec& s) { s.scan = {{1, 0, 0}, {2, 1, 1}}; }},
      {"not in frame order", [](StreamSpec& s) { std::swap(s.scan[1], s.scan[2]); }},
      {"DC not in frame order", [](StreamSpec& s) { s = ProgressiveSpec(); std::swap(s.scan[0], s.scan[1]); }},
      {"DC of two of three", [](StreamSpec& s) { s = ProgressiveSpec(); s.scan = {{1, 0, 0}, {3, 1, 1}}; }},
      {"AC of three", [](StreamSpec& s) { s = ProgressiveSpec(); s.ss = 1; s.se = 5; }},
      {"AC to 64", [](StreamSpec& s) { s = ProgressiveSpec(); s.scan = {{1, 0, 0}}; s.ss = 1; s.se = 64; }},
      {"AC band backwards", [](StreamSpec& s) { s = ProgressiveSpec(); s.scan = {{1, 0, 0}}; s.ss = 9; s.se = 5; }},
      {"Al 14", [](StreamSpec& s) { s = ProgressiveSpec(); s.ahal = 0x0E; }},
      {"no quantisation table", [](StreamSpec& s) { s.dqt = false; }},
      // Huffman tables 0 and 1 are the standard ones when the stream leaves them out.
      {"Huffman table 2 left out", [](StreamSpec& s) { s.dht = false; s.scan[2].td = 2; }},
      {"Huffman table 3 left out", [](StreamSpec& s) { s = ProgressiveSpec(); s.dht = false; s.scan = {{1, 0, 3}}; s.ss = 1; s.se = 63; }},
      {"work buffer above the limit", [](StreamSpec& s) { s = ProgressiveSpec(); s.width = s.height = 32000; }},
      {"fill bytes before a header marker", [](StreamSpec& s) { s.beforeFrame = {0xFF, 0xFF, 0xFE, 0x00, 0x03, 0x41}; }},
      {"segment length 1", [](StreamSpec& s) { s.beforeFrame = {0xFF, 0xFE, 0x00, 0x01}; }},
      {"a body under a marker without one", [](StreamSpec& s) { s.beforeFrame = {0xFF, 0xD0, 0x00, 0x04, 0x01, 0x02}; }},
      {"50 markers before the frame", [](StreamSpec& s) { for (int i = 0; i < 50; ++i) Append(s.beforeFrame, Segment(0xFE, {'x'})); }},
      {"EOI before a scan", [](StreamSpec& s) { s.afterFrame = {0xFF, 0xD9}; }},
      {"no SOS within 1000 steps", [](StreamSpec& s) { s.afterFrame = Bytes(1000, 0x11); }},
      {"Huffman class 2", [](StreamSpec& s) { s.beforeFrame = Dht(2, 0, 1, 0, {0}); }},
      {"Huffman table 4", [](StreamSpec& s) { s.beforeFrame = Dht(0, 4, 1, 0, {0}); }},
      {"three codes of length 1", [](StreamSpec& s) { s.beforeFrame = Dht(0, 0, 3, 0, {0, 1, 2}); }},
      {"more values counted than held", [](StreamSpec& s) { s.beforeFrame = Dht(0, 0, 0, 5, {0, 1, 2}); }},
      {"a bad table after the frame", [](StreamSpec& s) { s.afterFrame = Dht(0, 0, 3, 0, {0, 1, 2}); }},
  };
  for (const auto& [what, change] : refused) {
    StreamSpec s;
    change(s);
    EXPECT_EQ(InitResult(BuildStream(s)), -1) << what;
  }
}

TEST(JpegRefusal, StreamsAtTheEdgesAreDecoded) {
  const Change accepted[] = {
      {"baseline", [](StreamSpec&) {}},
      {"progressive", [](StreamSpec& s) { s = ProgressiveSpec(); }},
      {"grey", [](StreamSpec& s) { s = GraySpec(); }},
      {"no Huffman tables", [](StreamSpec& s) { s.dht = false; }},
      {"stray bytes are passed over", [](StreamSpec& s) { s.afterFrame = Bytes(990, 0x11); }},
      {"a 2000 x 2000 progressive picture", [](StreamSpec& s) { s = ProgressiveSpec(); s.width = s.height = 2000; }},
      {"a baseline picture of the largest size", [](StreamSpec& s) { s.width = s.height = 32767; }},
  };
  for (const auto& [what, change] : accepted) {
    StreamSpec s;
    change(s);
    EXPECT_EQ(InitResult(BuildStream(s)), 0) << what;
  }
  ASSERT_EQ(InitResult({0x00, 0x01}), -1);
  alignas(4) uint8_t work[1540];
  EXPECT_EQ(TCCXXX_JPEGDEC_Decode(nullptr, work, PutPixelRGB565), -1);  // no picture to decode
}

}  // namespace
