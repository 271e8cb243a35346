// The few operations on eight 16-bit lanes that the reconstruction and the pixel writer
// use, on SSE2 (x86-64) or NEON (AArch64), chosen at build time. Where neither is there, or
// when VELLUMET_JPEG_NO_SIMD is defined, JPEG_SIMD is 0 and only the plain code is built.
#pragma once

#include <cstdint>
#include <cstring>

#if !defined(VELLUMET_JPEG_NO_SIMD) && (defined(__SSE2__) || defined(_M_X64))
#define JPEG_SIMD 1
#include <emmintrin.h>
#elif !defined(VELLUMET_JPEG_NO_SIMD) && defined(__aarch64__)
#define JPEG_SIMD 1
#include <arm_neon.h>
#else
#define JPEG_SIMD 0
#endif

#if defined(__GNUC__)
#define JPEG_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define JPEG_ALWAYS_INLINE inline
#endif

#if JPEG_SIMD
namespace simd {

#if defined(__aarch64__)
using V16 = int16x8_t;
inline V16 Load(const int16_t* p) { return vld1q_s16(p); }
inline V16 Load4(const int16_t* p) { return vcombine_s16(vld1_s16(p), vdup_n_s16(0)); }
// Values p[0] and p[1] in lanes 0 and 1, 0 in the others.
inline V16 Load2(const int16_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return vreinterpretq_s16_s32(vsetq_lane_s32(v, vdupq_n_s32(0), 0));
}
inline void Store(int16_t* p, V16 v) { vst1q_s16(p, v); }
inline void Store(uint16_t* p, V16 v) { vst1q_u16(p, vreinterpretq_u16_s16(v)); }
inline V16 Set(int v) { return vdupq_n_s16(int16_t(v)); }
// v in lane 0 (lanes 0 to 2), 0 in the others.
inline V16 SetLane0(int v) { return vsetq_lane_s16(int16_t(v), vdupq_n_s16(0), 0); }
inline V16 SetFirst3(int v) {
  const int16_t lanes[8] = {int16_t(v), int16_t(v), int16_t(v), 0, 0, 0, 0, 0};
  return vld1q_s16(lanes);
}
inline V16 Add(V16 a, V16 b) { return vaddq_s16(a, b); }
inline V16 Sub(V16 a, V16 b) { return vsubq_s16(a, b); }
inline V16 And(V16 a, V16 b) { return vandq_s16(a, b); }
inline V16 Or(V16 a, V16 b) { return vorrq_s16(a, b); }
inline V16 Xor(V16 a, V16 b) { return veorq_s16(a, b); }
inline V16 Min(V16 a, V16 b) { return vminq_s16(a, b); }
inline V16 Max(V16 a, V16 b) { return vmaxq_s16(a, b); }
template <int n> inline V16 Shl(V16 a) { return vshlq_n_s16(a, n); }
template <int n> inline V16 Sra(V16 a) { return vshrq_n_s16(a, n); }
template <int n> inline V16 Srl(V16 a) {
  return vreinterpretq_s16_u16(vshrq_n_u16(vreinterpretq_u16_s16(a), n));
}
inline V16 MulLo(V16 a, V16 b) { return vmulq_s16(a, b); }
// The high 16 bits of each 32-bit product.
inline V16 MulHi(V16 a, V16 b) {
  int32x4_t lo = vmull_s16(vget_low_s16(a), vget_low_s16(b));
  int32x4_t hi = vmull_high_s16(a, b);
  return vuzp2q_s16(vreinterpretq_s16_s32(lo), vreinterpretq_s16_s32(hi));
}
inline V16 ZipLo16(V16 a, V16 b) { return vzip1q_s16(a, b); }
inline V16 ZipHi16(V16 a, V16 b) { return vzip2q_s16(a, b); }
inline V16 ZipLo32(V16 a, V16 b) {
  return vreinterpretq_s16_s32(vzip1q_s32(vreinterpretq_s32_s16(a), vreinterpretq_s32_s16(b)));
}
inline V16 ZipHi32(V16 a, V16 b) {
  return vreinterpretq_s16_s32(vzip2q_s32(vreinterpretq_s32_s16(a), vreinterpretq_s32_s16(b)));
}
inline V16 ZipLo64(V16 a, V16 b) {
  return vreinterpretq_s16_s64(vzip1q_s64(vreinterpretq_s64_s16(a), vreinterpretq_s64_s16(b)));
}
inline V16 ZipHi64(V16 a, V16 b) {
  return vreinterpretq_s16_s64(vzip2q_s64(vreinterpretq_s64_s16(a), vreinterpretq_s64_s16(b)));
}
inline bool IsZero(V16 a) { return vmaxvq_u16(vreinterpretq_u16_s16(a)) == 0; }
#else
using V16 = __m128i;
inline V16 Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline V16 Load4(const int16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
// Values p[0] and p[1] in lanes 0 and 1, 0 in the others.
inline V16 Load2(const int16_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
inline void Store(int16_t* p, V16 v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store(uint16_t* p, V16 v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline V16 Set(int v) { return _mm_set1_epi16(int16_t(v)); }
// v in lane 0 (lanes 0 to 2), 0 in the others.
inline V16 SetLane0(int v) { return _mm_setr_epi16(int16_t(v), 0, 0, 0, 0, 0, 0, 0); }
inline V16 SetFirst3(int v) { return _mm_setr_epi16(int16_t(v), int16_t(v), int16_t(v), 0, 0, 0, 0, 0); }
inline V16 Add(V16 a, V16 b) { return _mm_add_epi16(a, b); }
inline V16 Sub(V16 a, V16 b) { return _mm_sub_epi16(a, b); }
inline V16 And(V16 a, V16 b) { return _mm_and_si128(a, b); }
inline V16 Or(V16 a, V16 b) { return _mm_or_si128(a, b); }
inline V16 Xor(V16 a, V16 b) { return _mm_xor_si128(a, b); }
inline V16 Min(V16 a, V16 b) { return _mm_min_epi16(a, b); }
inline V16 Max(V16 a, V16 b) { return _mm_max_epi16(a, b); }
template <int n> inline V16 Shl(V16 a) { return _mm_slli_epi16(a, n); }
template <int n> inline V16 Sra(V16 a) { return _mm_srai_epi16(a, n); }
template <int n> inline V16 Srl(V16 a) { return _mm_srli_epi16(a, n); }
inline V16 MulLo(V16 a, V16 b) { return _mm_mullo_epi16(a, b); }
inline V16 MulHi(V16 a, V16 b) { return _mm_mulhi_epi16(a, b); }
inline V16 ZipLo16(V16 a, V16 b) { return _mm_unpacklo_epi16(a, b); }
inline V16 ZipHi16(V16 a, V16 b) { return _mm_unpackhi_epi16(a, b); }
inline V16 ZipLo32(V16 a, V16 b) { return _mm_unpacklo_epi32(a, b); }
inline V16 ZipHi32(V16 a, V16 b) { return _mm_unpackhi_epi32(a, b); }
inline V16 ZipLo64(V16 a, V16 b) { return _mm_unpacklo_epi64(a, b); }
inline V16 ZipHi64(V16 a, V16 b) { return _mm_unpackhi_epi64(a, b); }
inline bool IsZero(V16 a) { return _mm_movemask_epi8(_mm_cmpeq_epi16(a, _mm_setzero_si128())) == 0xFFFF; }
#endif

// The low 16 bits of (a * k) >> 8 with a 32-bit product, k from 0 to 32767: bits 8 to 23
// of the product.
inline V16 MulShift8(V16 a, V16 k) { return Or(Shl<8>(MulHi(a, k)), Srl<8>(MulLo(a, k))); }

// Transposes the 8 x 8 block held in r[0..7] (one row each) in place.
JPEG_ALWAYS_INLINE void Transpose(V16 r[8]) {
  V16 a0 = ZipLo16(r[0], r[1]), a1 = ZipHi16(r[0], r[1]), a2 = ZipLo16(r[2], r[3]), a3 = ZipHi16(r[2], r[3]);
  V16 a4 = ZipLo16(r[4], r[5]), a5 = ZipHi16(r[4], r[5]), a6 = ZipLo16(r[6], r[7]), a7 = ZipHi16(r[6], r[7]);
  V16 b0 = ZipLo32(a0, a2), b1 = ZipHi32(a0, a2), b2 = ZipLo32(a1, a3), b3 = ZipHi32(a1, a3);
  V16 b4 = ZipLo32(a4, a6), b5 = ZipHi32(a4, a6), b6 = ZipLo32(a5, a7), b7 = ZipHi32(a5, a7);
  r[0] = ZipLo64(b0, b4);
  r[1] = ZipHi64(b0, b4);
  r[2] = ZipLo64(b1, b5);
  r[3] = ZipHi64(b1, b5);
  r[4] = ZipLo64(b2, b6);
  r[5] = ZipHi64(b2, b6);
  r[6] = ZipLo64(b3, b7);
  r[7] = ZipHi64(b3, b7);
}

}  // namespace simd
#endif
