// Sequential (baseline) decoding: the blocks of one MCU at the chosen reduction level, their
// reconstruction and output, and the decode of up to 80 MCUs a call with restart intervals.
#include "jpeg/baseline_mcu.h"

#include <cstring>

void PrepareBaselineTables(BaselineTables& t) {
  const JpegDecoderState& s = gJpegState;
  t.ns = s.ns;
  t.level = s.level;
  for (int j = 0; j < s.ns; ++j) {
    const int comp = s.scanComp[j];
    t.blocks[j] = s.compH[comp] * s.compV[comp];
    t.dc[j] = s.huff[s.scanTd[j]].entries;
    t.ac[j] = s.huff[4 + s.scanTa[j]].entries;
    t.dcFast[j] = s.fast[s.scanTd[j]];
    t.acFast[j] = s.fast[4 + s.scanTa[j]];
    const int16_t* natural = s.quant[s.compTq[comp]];
    for (int k = 0; k < 64; ++k) t.quant[j][k] = natural[kZigzag[k]];
  }
}

void ReconstructBaselineMcu(int16_t* const areas[3], int mcuCol, int mcuRow) {
  const JpegDecoderState& s = gJpegState;
  const int level = s.level;
  if (level == 2) {
    OutputMcuDc(areas, mcuCol, mcuRow);
    return;
  }
  for (int j = 0; j < s.ns; ++j) {
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
  OutputMcuFull(areas, mcuCol, mcuRow);
}

int DecodeBaselineBatch() {
  JpegDecoderState& s = gJpegState;
  BaselineTables tables;
  PrepareBaselineTables(tables);
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
    DecodeBaselineMcu<RingInput>(c, tables, areas, s.dcPred);
    ReconstructBaselineMcu(areas, int(s.mcuCounter % uint32_t(s.mcusPerRow)),
                           int(s.mcuCounter / uint32_t(s.mcusPerRow)));
    if (++s.mcuCounter == s.unitCount) {
      result = 0;
      break;
    }
  }
  CursorEnd(c);
  return result;
}
