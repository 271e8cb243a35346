// The entropy decoding of one baseline MCU, shared by the decode on the calling thread and
// the decodes split between threads.
#pragma once

#include <cstring>

#include "jpeg/entropy.h"

// The tables of the scan's positions, with the quantisation tables in zigzag order (the
// order in which the coefficients arrive).
struct BaselineTables {
  int ns, level;
  int blocks[3];  // blocks of each position in an MCU
  const HuffEntry* dc[3];
  const HuffEntry* ac[3];
  const int32_t* dcFast[3];
  const int32_t* acFast[3];
  int16_t quant[3][64];
};

void PrepareBaselineTables(BaselineTables& t);

// Decodes the blocks of one MCU into areas[j] (the blocks of position j, 128 bytes apart) at
// the reduction level: level 0 all coefficients, level 1 the first ten, level 2 the
// range-limit index of the DC value alone in coefficient 0. Every block of the MCU is decoded
// before any is reconstructed: the inverse DCT's wide loads then meet coefficients whose
// scattered stores have long been completed.
template <class In>
JPEG_INLINE void DecodeBaselineMcu(BitCursor& c, const BaselineTables& t, int16_t* const areas[3], int16_t* dcPred) {
  for (int j = 0; j < t.ns; ++j) {
    int16_t* block = areas[j];
    for (int b = 0; b < t.blocks[j]; ++b, block += 64) {
      if (t.level == 0) {
        std::memset(block, 0, 128);
        block[0] = DecodeDC<In>(c, t.dc[j], t.dcFast[j], dcPred[j]);
        DecodeBlockFull<In>(c, t.ac[j], t.acFast[j], block, t.quant[j]);
      } else if (t.level == 1) {
        for (int r = 0; r < 3; ++r) std::memset(block + 8 * r, 0, 8);
        block[0] = DecodeDC<In>(c, t.dc[j], t.dcFast[j], dcPred[j]);
        DecodeBlockLow<In>(c, t.ac[j], t.acFast[j], block, t.quant[j]);
      } else {
        int32_t dcValue = DecodeDC<In>(c, t.dc[j], t.dcFast[j], dcPred[j]);
        SkipBlockAC<In>(c, t.ac[j], t.acFast[j]);
        block[0] = int16_t(((dcValue * t.quant[j][0]) >> 5) & 1023);
      }
    }
  }
}

// The inverse DCTs of the MCU's blocks (the rows the box samples) and its pixels.
void ReconstructBaselineMcu(int16_t* const areas[3], int mcuCol, int mcuRow);
