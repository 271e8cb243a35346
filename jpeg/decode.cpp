// The decode step: lays out the work buffer on the first call, then decodes 80 baseline
// MCUs per call, or one progressive scan per call followed by the output of 80 MCUs per call;
// a picture split between threads goes its own way (split_baseline.cpp, split_progressive.cpp).
#include <cstring>

#include "jpeg/jpeg_state.h"
#include "jpeg/scan_task.h"
#include "jpeg/simd.h"

namespace {

// Lays out the work buffer; returns the end of the coefficient areas.
uint8_t* LayOutWorkBuffer(void* calcBuf) {
  JpegDecoderState& s = gJpegState;
  uintptr_t a = reinterpret_cast<uintptr_t>(calcBuf);
  if (a & 3) a = (a & ~uintptr_t(3)) + 4;
  int16_t* base = reinterpret_cast<int16_t*>(a);
  if (s.frameMarker == 0xC0) {
    for (int j = 0; j < 3; ++j) s.area[j] = base + j * 256;
    return reinterpret_cast<uint8_t*>(base + 3 * 256);
  }
  int16_t* next = base;
  for (int c = 1; c <= s.nf; ++c) {
    s.area[c] = next;
    s.current[c] = next;
    s.blocksPerMcu[c] = uint32_t(s.compH[c] * s.compV[c]);
    s.stride[c] = s.blocksPerMcu[c] * 64;
    next += size_t(s.blocksPerMcu[c]) * s.mcusPerRow * s.mcuRows * 64;
  }
  return reinterpret_cast<uint8_t*>(next);
}

int ProgressiveScanCall() {
  JpegDecoderState& s = gJpegState;
  if (ScanUnused()) {
    SkipToNextMarker();
  } else {
    ScanTask t;
    PrepareScanTask(t);
    t.cursor = CursorBegin();
    DecodeScanRows<RingInput>(t, 0, s.mcuRows);
    CursorEnd(t.cursor);
  }
  AlignBits();
  if (PeekBits(16) == 0xFFD9) {
    s.outputPhase = 1;
    return 1;
  }
  // Nothing but garbage can follow once the stream has run out.
  if (InputPastEnd()) return -1;
  int parsed = ParseMarkersToScan();
  if (parsed == 0) return -1;
  if (parsed == 2) s.outputPhase = 1;
  return 1;
}

void Dequantise(int16_t* block, const int16_t* quant, int level) {
  if (level == 0) {
#if JPEG_SIMD
    // The low 16 bits of each product, as the plain loop below stores them.
    for (int i = 0; i < 64; i += 8) simd::Store(block + i, simd::MulLo(simd::Load(block + i), simd::Load(quant + i)));
#else
    for (int i = 0; i < 64; ++i) block[i] = int16_t(block[i] * quant[i]);
#endif
    return;
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) block[8 * r + c] = int16_t(block[8 * r + c] * quant[8 * r + c]);
  }
}

int ProgressiveOutputCall() {
  JpegDecoderState& s = gJpegState;
  if (s.level < 0 || s.level > 2) return -1;
  for (int n = 0; n < 80; ++n) {
    if (s.mcuCounter >= uint32_t(s.mcuCount)) return 0;
    ReconstructAndOutputMcu(s.current, s.mcuCounter);
    for (int c = 1; c <= s.nf; ++c) s.current[c] += s.stride[c];
    if (++s.mcuCounter == uint32_t(s.mcuCount)) return 0;
  }
  return 1;
}

}  // namespace

bool ScanUnused() {
  const JpegDecoderState& s = gJpegState;
  return (s.level == 2 && s.ss > 0) || (s.level == 1 && s.ss > 12);
}

void ReconstructAndOutputMcu(int16_t* const blocks[4], uint32_t mcu) {
  const JpegDecoderState& s = gJpegState;
  const int level = s.level;
  const int mcuCol = int(mcu % uint32_t(s.mcusPerRow));
  const int mcuRow = int(mcu / uint32_t(s.mcusPerRow));
  for (int c = 1; c <= s.nf; ++c) {
    const int16_t* quant = s.quant[s.compTq[c]];
    int16_t* block = blocks[c];
    // A component no decoded scan wrote to shows as zero coefficients.
    if (!s.compTouched[c]) std::memset(block, 0, s.stride[c] * sizeof(int16_t));
    for (int by = 0; by < s.compV[c]; ++by) {
      const uint32_t rows = level == 2 ? 0 : BlockRowMask(c, by, mcuRow);
      for (int bx = 0; bx < s.compH[c]; ++bx, block += 64) {
        if (level == 2) {
          block[0] = int16_t((int32_t(block[0]) * quant[0] >> 5) & 1023);
        } else if (rows) {
          Dequantise(block, quant, level);
          if (level == 0) {
            IdctFull(block, rows);
          } else {
            IdctLow(block, rows);
          }
        }
      }
    }
  }
  int16_t* const areas[3] = {blocks[1], blocks[2], blocks[3]};
  if (level == 2) {
    OutputMcuDc(areas, mcuCol, mcuRow);
  } else {
    OutputMcuFull(areas, mcuCol, mcuRow);
  }
}

int TCCXXX_JPEGDEC_Decode(void* outSurface, void* Calc_Buf, PutPixelFunc putPixel) {
  JpegDecoderState& s = gJpegState;
  if (!s.ready) return -1;  // no picture initialised
  if (!s.started) {
    if (Calc_Buf == nullptr || putPixel == nullptr) return -1;
    s.started = 1;
    s.surface = outSurface;
    s.putPixel = putPixel;
    uint8_t* rest = LayOutWorkBuffer(Calc_Buf);
    // The threads write pixels themselves, which only the RGB565 writer allows.
    if (s.threads > 1 && putPixel != PutPixelRGB565) s.threads = 1;
    if (s.threads > 1) {
      if (s.frameMarker == 0xC0) {
        StartSplitBaseline(rest);
      } else {
        StartSplitProgressive(rest);  // reads the scans: this call's work
        return 1;
      }
    }
  }
  if (s.frameMarker == 0xC0) return s.threads > 1 ? SplitBaselineCall() : DecodeBaselineBatch();
  if (s.threads > 1) return SplitProgressiveCall();
  if (!s.outputPhase) return ProgressiveScanCall();
  return ProgressiveOutputCall();
}
