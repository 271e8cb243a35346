// Reconstruction: the range-limit table and the two inverse DCTs (the full 8 x 8 AAN
// transform and the cheap one from the 3 x 3 lowest frequencies). Inputs carry two
// fraction bits from the scaled quantisation tables; outputs carry five, removed by the
// range-limit lookup.
#include "jpeg/jpeg_state.h"

void BuildRangeLimit() {
  uint8_t* t = gJpegState.rangeLimit;
  for (int i = 0; i < 128; ++i) t[i] = uint8_t(128 + i);
  for (int i = 128; i < 512; ++i) t[i] = 255;
  for (int i = 512; i < 896; ++i) t[i] = 0;
  for (int i = 896; i < 1024; ++i) t[i] = uint8_t(i - 896);
}

namespace {

// One 8-point AAN pass over the values in[0], in[step], ..., in[7 * step].
inline void Aan8(int16_t* in, int step) {
  int32_t x0 = in[0], x1 = in[step], x2 = in[2 * step], x3 = in[3 * step];
  int32_t x4 = in[4 * step], x5 = in[5 * step], x6 = in[6 * step], x7 = in[7 * step];
  if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
    for (int i = 1; i < 8; ++i) in[i * step] = int16_t(x0);
    return;
  }
  int32_t t10 = x0 + x4;
  int32_t t11 = x0 - x4;
  int32_t t13 = x2 + x6;
  int32_t t12 = (((x2 - x6) * 362) >> 8) - t13;
  int32_t e0 = t10 + t13, e3 = t10 - t13, e1 = t11 + t12, e2 = t11 - t12;

  int32_t z13 = x5 + x3, z10 = x5 - x3, z11 = x1 + x7, z12 = x1 - x7;
  int32_t o7 = z11 + z13;
  int32_t o11 = ((z11 - z13) * 362) >> 8;
  int32_t z5 = ((z10 + z12) * 473) >> 8;
  int32_t o10 = ((z12 * 277) >> 8) - z5;
  int32_t o12 = z5 - ((z10 * 669) >> 8);
  int32_t o6 = o12 - o7;
  int32_t o5 = o11 - o6;
  int32_t o4 = o10 + o5;

  in[0] = int16_t(e0 + o7);
  in[7 * step] = int16_t(e0 - o7);
  in[step] = int16_t(e1 + o6);
  in[6 * step] = int16_t(e1 - o6);
  in[2 * step] = int16_t(e2 + o5);
  in[5 * step] = int16_t(e2 - o5);
  in[4 * step] = int16_t(e3 + o4);
  in[3 * step] = int16_t(e3 - o4);
}

// The low-frequency pass from x0, x1, x2; `column` chooses the column-pass constants.
inline void Low8(int16_t* in, int step, bool column) {
  int32_t x0 = in[0], x1 = in[step], x2 = in[2 * step];
  if ((x1 | x2) == 0) {
    for (int i = 1; i < 8; ++i) in[i * step] = int16_t(x0);
    return;
  }
  int32_t a = column ? ((x2 * 362) >> 8) - x2 : (x2 * 106) >> 8;
  int32_t e1 = x0 + a, e2 = x0 - a;
  int32_t b = (x1 * 217) >> 8;
  int32_t c = ((x1 * 362) >> 8) - b;
  int32_t d = c - ((x1 * (column ? 195 : 192)) >> 8);
  int32_t m = x0 - x2;
  in[0] = int16_t(x0 + x2 + x1);
  in[7 * step] = int16_t(x0 + x2 - x1);
  in[step] = int16_t(e1 + b);
  in[6 * step] = int16_t(e1 - b);
  in[2 * step] = int16_t(e2 + c);
  in[5 * step] = int16_t(e2 - c);
  in[4 * step] = int16_t(m + d);
  in[3 * step] = int16_t(m - d);
}

}  // namespace

// rowMask: the output rows that are looked at (bit r for row r); other rows are left with
// the column pass's values.
void IdctFull(int16_t* block, uint32_t rowMask) {
  for (int c = 0; c < 8; ++c) Aan8(block + c, 8);
  for (int r = 0; r < 8; ++r) {
    if (rowMask & (1u << r)) Aan8(block + 8 * r, 1);
  }
}

void IdctLow(int16_t* block, uint32_t rowMask) {
  for (int c = 0; c < 3; ++c) Low8(block + c, 8, true);
  // Columns 3 to 7 are not inputs of the row pass.
  for (int r = 0; r < 8; ++r) {
    if (rowMask & (1u << r)) Low8(block + 8 * r, 1, false);
  }
}
