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

// A DHT table body: Tc/Th byte, the counts of codes of lengths 1 to 16 (those not given are
// 0), values.
inline Bytes HuffTableBody(int tc, int th, std::vector<int> counts, const Bytes& values) {
  counts.resize(16, 0);
  Bytes out = {uint8_t(tc << 4 | th)};
  for (int c : counts) out.push_back(uint8_t(c));
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

// A standard luminance table of T.81 Annex K (slot 0 DC, slot 4 AC), as the core holds it.
inline Bytes StandardBody(int slot, int th) {
  const StandardHuffTable& t = StandardTable(slot);
  return HuffTableBody(slot >= 4, th, std::vector<int>(t.counts + 1, t.counts + 17), Bytes(t.values, t.values + t.symbols));
}

struct FrameComp {
  int id, h, v, tq;
};
struct ScanComp {
  int selector, td, ta;
};

struct StreamSpec {
  uint8_t sof = 0xC0;
  int precision = 8;
  int width = 64, height = 48;
  std::vector<FrameComp> comps = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
  std::vector<ScanComp> scan = {{1, 0, 0}, {2, 1, 1}, {3, 1, 1}};
  int ss = 0, se = 63, ahal = 0;
  bool app0 = false;
  bool dqt = true, dht = true;
  Bytes beforeFrame = {};  // extra segments after SOI
  Bytes afterFrame = {};   // extra segments between the frame header and the scan
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
    Bytes h;
    for (int th : {0, 1}) {
      Append(h, StandardBody(0, th));
      Append(h, StandardBody(4, th));
    }
    Append(out, Segment(0xC4, h));
  }
  Bytes sof = {uint8_t(s.precision), uint8_t(s.height >> 8), uint8_t(s.height), uint8_t(s.width >> 8), uint8_t(s.width),
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

inline StreamSpec ProgressiveSpec() { return {.sof = 0xC2, .se = 0}; }
inline StreamSpec GraySpec() { return {.comps = {{1, 1, 1, 0}}, .scan = {{1, 0, 0}}}; }

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
