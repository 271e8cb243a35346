// Sequential (baseline) decoding of up to 80 MCUs: restart intervals, the blocks of each
// scan position at the chosen reduction level, their reconstruction and output.
#include <cstring>

#include "jpeg/entropy.h"

int DecodeBaselineBatch() {
  JpegDecoderState& s = gJpegState;
  const HuffEntry* dc[3];
  const HuffEntry* ac[3];
  const int32_t* dcFast[3];
  const int32_t* acFast[3];
  // Quantisation tables in zigzag order, the order in which the coefficients arrive.
  int16_t quant[3][64];
  for (int j = 0; j < s.ns; ++j) {
    dc[j] = s.huff[s.scanTd[j]].entries;
    ac[j] = s.huff[4 + s.scanTa[j]].entries;
    dcFast[j] = s.fast[s.scanTd[j]];
    acFast[j] = s.fast[4 + s.scanTa[j]];
    const int16_t* natural = s.quant[s.compTq[s.scanComp[j]]];
    for (int k = 0; k < 64; ++k) quant[j][k] = natural[kZigzag[k]];
  }
  const int level = s.level;
  const uint32_t interval = uint16_t(s.restartInterval);
  int16_t* const areas[3] = {s.area[0], s.area[1], s.area[2]};

  BitCursor c = CursorBegin();
  int result = 1;
  for (int n = 0; n < 80; ++n) {
    if (s.unitCount == 0 || s.mcuCounter >= s.unitCount) {
      result = 0;
      break;
    }
    if (s.mcuCounter != 0 && interval != 0 && s.mcuCounter % interval == 0) {
      CursorRestart<RingInput>(c);
      std::memset(s.dcPred, 0, sizeof s.dcPred);
    }
    const int mcuCol = int(s.mcuCounter % uint32_t(s.mcusPerRow));
    const int mcuRow = int(s.mcuCounter / uint32_t(s.mcusPerRow));
    // Every block of the MCU is decoded before any is reconstructed: the inverse DCT's wide
    // loads then meet coefficients whose scattered stores have long been completed.
    for (int j = 0; j < s.ns; ++j) {
      const int comp = s.scanComp[j];
      const int blocks = s.compH[comp] * s.compV[comp];
      int16_t* block = areas[j];
      for (int b = 0; b < blocks; ++b, block += 64) {
        if (level == 0) {
          std::memset(block, 0, 128);
          block[0] = DecodeDC<RingInput>(c, dc[j], dcFast[j], s.dcPred[j]);
          DecodeBlockFull<RingInput>(c, ac[j], acFast[j], block, quant[j]);
        } else if (level == 1) {
          for (int r = 0; r < 3; ++r) std::memset(block + 8 * r, 0, 8);
          block[0] = DecodeDC<RingInput>(c, dc[j], dcFast[j], s.dcPred[j]);
          DecodeBlockLow<RingInput>(c, ac[j], acFast[j], block, quant[j]);
        } else {
          int32_t dcValue = DecodeDC<RingInput>(c, dc[j], dcFast[j], s.dcPred[j]);
          SkipBlockAC<RingInput>(c, ac[j], acFast[j]);
          block[0] = int16_t(((dcValue * quant[j][0]) >> 5) & 1023);
        }
      }
    }
    for (int j = 0; j < s.ns && level != 2; ++j) {
      const int comp = s.scanComp[j];
      const int h = s.compH[comp], v = s.compV[comp];
      int16_t* block = areas[j];
      for (int by = 0; by < v; ++by) {
        const uint32_t rows = BlockRowMask(comp, by, mcuRow);
        for (int bx = 0; bx < h; ++bx, block += 64) {
          if (rows == 0) continue;
          if (level == 0) {
            IdctFull(block, rows);
          } else {
            IdctLow(block, rows);
          }
        }
      }
    }
    if (level == 2) {
      OutputMcuDc(areas, mcuCol, mcuRow);
    } else {
      OutputMcuFull(areas, mcuCol, mcuRow);
    }
    if (++s.mcuCounter == s.unitCount) {
      result = 0;
      break;
    }
  }
  CursorEnd(c);
  return result;
}
