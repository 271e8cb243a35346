// Hand-made JPEG headers for tests of the header parser: a small valid stream whose every
// field can be changed, so each test changes one thing.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/jpeg_state.h"
#include "jpeg/memory_decode.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Segment(uint8_t code, const Bytes& body) {
  Bytes out = {0xFF, code, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

// A DHT table body (Tc/Th byte, counts, values).
inline Bytes HuffTableBody(int tc, int th, const std::vector<int>& counts16, const Bytes& values) {
  Bytes out = {uint8_t(tc << 4 | th)};
  for (int c : counts16) out.push_back(uint8_t(c));
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

// The standard luminance tables of T.81 Annex K.
inline Bytes StdDcBody(int th) {
  return HuffTableBody(0, th, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
}
inline Bytes StdAcBody(int th) {
  static const Bytes values = {
      0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
      0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
      0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
      0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
      0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
      0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
      0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
      0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
      0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
  return HuffTableBody(1, th, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, values);
}

struct FrameComp {
  int id, h, v, tq;
};
struct ScanComp {
  int selector, td, ta;
};

struct StreamSpec {
  uint8_t sof = 0xC0;
  int width = 64, height = 48;
  std::vector<FrameComp> comps = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
  std::vector<ScanComp> scan = {{1, 0, 0}, {2, 1, 1}, {3, 1, 1}};
  int ss = 0, se = 63, ahal = 0;
  bool app0 = false;
  bool dqt = true, dht = true;
  Bytes beforeFrame;  // extra segments after SOI
  Bytes afterFrame;   // extra segments between the frame header and the scan
  Bytes entropy = Bytes(64, 0x00);  // entropy-coded data after SOS
};

inline Bytes Quant8(int tq, int value) {
  Bytes b = {uint8_t(tq)};
  b.insert(b.end(), 64, uint8_t(value));
  return b;
}

inline Bytes BuildStream(const StreamSpec& s) {
  Bytes out = {0xFF, 0xD8};
  if (s.app0) Append(out, Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
  Append(out, s.beforeFrame);
  if (s.dqt) {
    Bytes q = Quant8(0, 16);
    Append(q, Quant8(1, 17));
    Append(out, Segment(0xDB, q));
  }
  if (s.dht) {
    Bytes h = StdDcBody(0);
    Append(h, StdAcBody(0));
    Append(h, StdDcBody(1));
    Append(h, StdAcBody(1));
    Append(out, Segment(0xC4, h));
  }
  Bytes sof = {8, uint8_t(s.height >> 8), uint8_t(s.height), uint8_t(s.width >> 8), uint8_t(s.width),
               uint8_t(s.comps.size())};
  for (const FrameComp& c : s.comps) Append(sof, {uint8_t(c.id), uint8_t(c.h << 4 | c.v), uint8_t(c.tq)});
  Append(out, Segment(s.sof, sof));
  Append(out, s.afterFrame);
  Bytes sos = {uint8_t(s.scan.size())};
  for (const ScanComp& c : s.scan) Append(sos, {uint8_t(c.selector), uint8_t(c.td << 4 | c.ta)});
  Append(sos, {uint8_t(s.ss), uint8_t(s.se), uint8_t(s.ahal)});
  Append(out, Segment(0xDA, sos));
  Append(out, s.entropy);
  Append(out, {0xFF, 0xD9});
  return out;
}

inline StreamSpec ProgressiveSpec() {
  StreamSpec s;
  s.sof = 0xC2;
  s.se = 0;
  return s;
}

inline StreamSpec GraySpec() {
  StreamSpec s;
  s.comps = {{1, 1, 1, 0}};
  s.scan = {{1, 0, 0}};
  return s;
}

// TCCXXX_JPEGDEC_Init2 on a stream in memory; the scaling tables stay available.
struct InitRun {
  int rc = -2;
  JpegDecInfo info{};
  std::vector<int32_t> resize;
  MemoryStream stream{};
  Bytes bytes;
};

inline void RunInit(InitRun& run, const Bytes& bytes, int tw = 64, int th = 48) {
  run.bytes = bytes;
  run.stream = MemoryStream{run.bytes.data(), run.bytes.size(), 0};
  run.resize.assign(size_t(tw > th ? tw : th) * 2, -7);
  run.rc = TCCXXX_JPEGDEC_Init2(&run.stream, tw, th, run.resize.data(), &run.info, MemoryStreamRead);
}

inline int InitResult(const Bytes& bytes, int tw = 64, int th = 48) {
  InitRun run;
  RunInit(run, bytes, tw, th);
  return run.rc;
}
