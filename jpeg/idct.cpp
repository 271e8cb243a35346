// Reconstruction: the range-limit table and the two inverse DCTs (the full 8 x 8 AAN
// transform and the cheap one from the 3 x 3 lowest frequencies). Inputs carry two
// fraction bits from the scaled quantisation tables; outputs carry five, removed by the
// range-limit lookup.
#include "jpeg/jpeg_state.h"
#include "jpeg/simd.h"

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
void IdctFullPlain(int16_t* block, uint32_t rowMask) {
  for (int c = 0; c < 8; ++c) Aan8(block + c, 8);
  for (int r = 0; r < 8; ++r) {
    if (rowMask & (1u << r)) Aan8(block + 8 * r, 1);
  }
}

#if JPEG_SIMD
namespace {

using simd::V16;

// How exactly the products of an AAN pass can be taken on 16-bit lanes, from the largest
// magnitude among inputs 1-3 and 5-7 of every lane (input 0 and 4 are never multiplied).
// Every operand of a product is a sum of at most four of them: below 2048 it fits in 16 bits
// even when multiplied by 4 (kNarrow); below 8192 it fits as it is (kWide).
enum class Lanes { kNarrow, kWide, kNone };
JPEG_ALWAYS_INLINE Lanes LanesFor(const V16 x[8]) {
  using namespace simd;
  auto magnitude = [](V16 v) { return Xor(v, Sra<15>(v)); };  // |v|, or |v| - 1 below 0
  V16 m = Or(Or(Or(magnitude(x[1]), magnitude(x[2])), Or(magnitude(x[3]), magnitude(x[5]))),
             Or(magnitude(x[6]), magnitude(x[7])));
  if (IsZero(And(m, Set(~0x7FF)))) return Lanes::kNarrow;
  if (IsZero(And(m, Set(~0x1FFF)))) return Lanes::kWide;
  return Lanes::kNone;
}

// (a * k) >> 8 for the AAN constants k. Narrow: the high half of (a << 2) * (k << 6), which
// is exact for |a| below 8192; k << 6 does not fit 16 bits for 669, so that product is
// taken with k << 6 - 65536 and (a << 2) added back. Wide: the low 16 bits of the 32-bit
// product shifted, for any 16-bit a.
template <Lanes mode, int k>
JPEG_ALWAYS_INLINE V16 Product(V16 a) {
  using namespace simd;
  if constexpr (mode == Lanes::kNarrow) {
    V16 a4 = Shl<2>(a);
    if constexpr ((k << 6) < 32768) {
      return MulHi(a4, Set(k << 6));
    } else {
      return Add(MulHi(a4, Set((k << 6) - 65536)), a4);
    }
  } else {
    return MulShift8(a, Set(k));
  }
}

// Aan8 on eight lanes at once: x[k] holds input k of each lane and receives output k.
// Sums and differences wrap at 16 bits, which leaves the same low 16 bits as the 32-bit
// sums; the products are exact for the inputs LanesFor allows, so the stored values equal
// Aan8's.
template <Lanes mode>
JPEG_ALWAYS_INLINE void Aan8Lanes(V16 x[8]) {
  using namespace simd;
  V16 t10 = Add(x[0], x[4]), t11 = Sub(x[0], x[4]), t13 = Add(x[2], x[6]);
  V16 t12 = Sub(Product<mode, 362>(Sub(x[2], x[6])), t13);
  V16 e0 = Add(t10, t13), e3 = Sub(t10, t13), e1 = Add(t11, t12), e2 = Sub(t11, t12);
  V16 z13 = Add(x[5], x[3]), z10 = Sub(x[5], x[3]), z11 = Add(x[1], x[7]), z12 = Sub(x[1], x[7]);
  V16 o7 = Add(z11, z13);
  V16 o11 = Product<mode, 362>(Sub(z11, z13));
  V16 z5 = Product<mode, 473>(Add(z10, z12));
  V16 o10 = Sub(Product<mode, 277>(z12), z5);
  V16 o12 = Sub(z5, Product<mode, 669>(z10));
  V16 o6 = Sub(o12, o7), o5 = Sub(o11, o6), o4 = Add(o10, o5);
  x[0] = Add(e0, o7);
  x[7] = Sub(e0, o7);
  x[1] = Add(e1, o6);
  x[6] = Sub(e1, o6);
  x[2] = Add(e2, o5);
  x[5] = Sub(e2, o5);
  x[4] = Add(e3, o4);
  x[3] = Sub(e3, o4);
}

// Whether every coefficient but the DC value is 0.
JPEG_ALWAYS_INLINE bool DcOnly(const V16 r[8]) {
  using namespace simd;
  V16 rest = Or(Or(Or(r[1], r[2]), Or(r[3], r[4])), Or(Or(r[5], r[6]), r[7]));
  return IsZero(Or(rest, Xor(r[0], And(r[0], SetLane0(-1)))));
}

// One pass on eight lanes, or false when its products cannot be exact there.
JPEG_ALWAYS_INLINE bool PassLanes(V16 x[8]) {
  switch (LanesFor(x)) {
    case Lanes::kNarrow:
      Aan8Lanes<Lanes::kNarrow>(x);
      return true;
    case Lanes::kWide:
      Aan8Lanes<Lanes::kWide>(x);
      return true;
    default:
      return false;
  }
}

}  // namespace
#endif

// Must equal IdctFullPlain on the rows in rowMask. Both passes run on eight lanes when
// their products can be exact there (on real photographs almost always); the row pass then
// computes every row. Otherwise the plain passes take over.
void IdctFull(int16_t* block, uint32_t rowMask) {
#if JPEG_SIMD
  V16 r[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) r[i] = simd::Load(block + 8 * i);
  if (DcOnly(r)) {  // both passes then give every output the DC value
    simd::V16 dc = simd::Set(block[0]);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) simd::Store(block + 8 * i, dc);
    return;
  }
  if (PassLanes(r)) {  // column pass: lane c of r[k] is row k of column c
    simd::Transpose(r);
    bool rowsDone = PassLanes(r);  // row pass: lane k of r[c] is element c of row k
    simd::Transpose(r);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) simd::Store(block + 8 * i, r[i]);
    if (!rowsDone) {
      for (int i = 0; i < 8; ++i) {
        if (rowMask & (1u << i)) Aan8(block + 8 * i, 1);
      }
    }
    return;
  }
#endif
  IdctFullPlain(block, rowMask);
}

void IdctLowPlain(int16_t* block, uint32_t rowMask) {
  for (int c = 0; c < 3; ++c) Low8(block + c, 8, true);
  // Columns 3 to 7 are not inputs of the row pass.
  for (int r = 0; r < 8; ++r) {
    if (rowMask & (1u << r)) Low8(block + 8 * r, 1, false);
  }
}

#if JPEG_SIMD
namespace {

// Low8 on eight lanes: x0, x1, x2 hold the three inputs of each lane, y[k] receives output
// k. Its products take the inputs themselves: when they lie in [-8192, 8191] (narrow), the
// high half of (x << 2) * (k << 6) gives (x * k) >> 8 exactly; otherwise the 32-bit
// product is taken.
template <bool column, bool narrow>
JPEG_ALWAYS_INLINE void Low8Lanes(V16 x0, V16 x1, V16 x2, V16 y[8]) {
  using namespace simd;
  V16 x1n = narrow ? Shl<2>(x1) : x1, x2n = narrow ? Shl<2>(x2) : x2;
  auto product = [](V16 x, int k) { return narrow ? MulHi(x, Set(k << 6)) : MulShift8(x, Set(k)); };
  V16 a = column ? Sub(product(x2n, 362), x2) : product(x2n, 106);
  V16 e1 = Add(x0, a), e2 = Sub(x0, a);
  V16 b = product(x1n, 217);
  V16 c = Sub(product(x1n, 362), b);
  V16 d = Sub(c, product(x1n, column ? 195 : 192));
  V16 m = Sub(x0, x2);
  y[0] = Add(Add(x0, x2), x1);
  y[7] = Sub(Add(x0, x2), x1);
  y[1] = Add(e1, b);
  y[6] = Sub(e1, b);
  y[2] = Add(e2, c);
  y[5] = Sub(e2, c);
  y[4] = Add(m, d);
  y[3] = Sub(m, d);
}

template <bool column>
JPEG_ALWAYS_INLINE void Low8Lanes(V16 x0, V16 x1, V16 x2, V16 y[8]) {
  using namespace simd;
  V16 m = Or(Xor(x1, Sra<15>(x1)), Xor(x2, Sra<15>(x2)));  // |x|, or |x| - 1 below 0
  if (IsZero(And(m, Set(~0x1FFF)))) {
    Low8Lanes<column, true>(x0, x1, x2, y);
  } else {
    Low8Lanes<column, false>(x0, x1, x2, y);
  }
}

}  // namespace
#endif

// Must equal IdctLowPlain on columns 0 to 2 and on the rows in rowMask. On eight lanes the
// column pass runs over whole rows and the row pass over every row; the values this leaves
// elsewhere in the block are never read.
void IdctLow(int16_t* block, uint32_t rowMask) {
#if JPEG_SIMD
  using namespace simd;
  V16 y[8];
  V16 r0 = Load(block), r1 = Load(block + 8), r2 = Load(block + 16);
  // Only columns 0 to 2 are inputs; when all but the DC value are 0, every output is it.
  if (IsZero(And(Or(Or(Xor(r0, And(r0, SetLane0(-1))), r1), r2), SetFirst3(-1)))) {
    V16 dc = Set(block[0]);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) Store(block + 8 * i, dc);
    return;
  }
  Low8Lanes<true>(r0, r1, r2, y);
  // Elements 0, 1 and 2 of every row, one vector each (a part of the transpose).
  V16 a0 = ZipLo16(y[0], y[1]), a2 = ZipLo16(y[2], y[3]), a4 = ZipLo16(y[4], y[5]), a6 = ZipLo16(y[6], y[7]);
  V16 b0 = ZipLo32(a0, a2), b1 = ZipHi32(a0, a2), b4 = ZipLo32(a4, a6), b5 = ZipHi32(a4, a6);
  Low8Lanes<false>(ZipLo64(b0, b4), ZipHi64(b0, b4), ZipLo64(b1, b5), y);
  Transpose(y);
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) Store(block + 8 * i, y[i]);
  (void)rowMask;
#else
  IdctLowPlain(block, rowMask);
#endif
}
