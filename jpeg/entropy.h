// Decoding of coefficient blocks from Huffman-coded data: DC prediction and the three
// sequential block decoders (all coefficients, the first ten, none).
#pragma once

#include "jpeg/bit_reader.h"

// The next DC value of a scan position. A symbol that matches no code leaves the
// prediction as it is; sizes above 16 (possible only in corrupt tables) read 16 bits.
template <class In>
JPEG_INLINE int16_t DecodeDC(BitCursor& cursor, const HuffEntry* table, const int32_t* fast, int16_t& pred) {
  BitCursor c = cursor;  // kept in registers (the caller's cursor has its address taken)
  if (c.bits < kFastBits) CursorRefill<In>(c);  // the slow path refills for itself
  int32_t f = fast[CursorPeek(c, kFastBits)];
  if (f != 0) {
    CursorSkip(c, f & 0xFF);
    pred = int16_t(pred + (f >> 16));
  } else {
    int size = CursorDecode<In>(c, table);
    if (size > 0) {
      if (size > 16) size = 16;
      if (c.bits < size) CursorRefill<In>(c);
      pred = int16_t(pred + Extend(CursorGet(c, size), size));
    }
  }
  cursor = c;
  return pred;
}

// Reads the magnitude bits of an AC symbol; size 0 reads nothing and gives 0.
template <class In>
JPEG_INLINE int32_t DecodeMagnitude(BitCursor& c, int size) {
  if (size == 0) return 0;
  if (c.bits < size) CursorRefill<In>(c);
  return Extend(CursorGet(c, size), size);
}

// The AC part of a block, dequantised, into a block that was cleared; `quant` is the
// quantisation table in zigzag order (entry k for zigzag position k); `limit` is the
// first zigzag position that is no longer stored (64 for all, 10 for the low band).
template <class In, int limit>
JPEG_INLINE void DecodeBlockAC(BitCursor& cursor, const HuffEntry* table, const int32_t* fast, int16_t* block,
                          const int16_t* quant) {
  BitCursor c = cursor;  // kept in registers, given back at the end
  for (int k = 1; k < 64;) {
    if (c.bits < kFastBits) CursorRefill<In>(c);  // the slow path refills for itself
    int32_t f = fast[CursorPeek(c, kFastBits)];
    if (f != 0) {
      CursorSkip(c, f & 0xFF);
      k += (f >> 8) & 0xFF;
      if (k > 63) break;  // also the end of block (kFastEnd)
      if (limit == 64 || k < limit) {
        block[kZigzag[k]] = int16_t(quant[k] * (f >> 16));
      }
      ++k;
      continue;
    }
    int rs = CursorDecode<In>(c, table);
    if (rs <= 0) break;
    if (rs == 0xF0) {
      k += 16;
      continue;
    }
    int32_t value = DecodeMagnitude<In>(c, rs & 15);
    k += rs >> 4;
    if (k > 63) break;
    if (limit == 64 || k < limit) {
      block[kZigzag[k]] = int16_t(quant[k] * value);
    }
    ++k;
  }
  cursor = c;
}

template <class In>
JPEG_INLINE void DecodeBlockFull(BitCursor& c, const HuffEntry* table, const int32_t* fast, int16_t* block,
                            const int16_t* quant) {
  block[0] = int16_t(block[0] * quant[0]);
  DecodeBlockAC<In, 64>(c, table, fast, block, quant);
}

template <class In>
JPEG_INLINE void DecodeBlockLow(BitCursor& c, const HuffEntry* table, const int32_t* fast, int16_t* block,
                           const int16_t* quant) {
  block[0] = int16_t(block[0] * quant[0]);
  DecodeBlockAC<In, 10>(c, table, fast, block, quant);
}

// Reads past the AC part of a block without storing anything. A symbol that matches no
// code counts as a run of 15 with size 15.
template <class In>
JPEG_INLINE void SkipBlockAC(BitCursor& cursor, const HuffEntry* table, const int32_t* fast) {
  BitCursor c = cursor;  // kept in registers, given back at the end
  for (int k = 1; k < 64;) {
    if (c.bits < kFastBits) CursorRefill<In>(c);  // the slow path refills for itself
    int32_t f = fast[CursorPeek(c, kFastBits)];
    if (f != 0) {
      CursorSkip(c, f & 0xFF);
      k += ((f >> 8) & 0xFF) + 1;  // the end of block (kFastEnd) ends the loop
      continue;
    }
    int rs = CursorDecode<In>(c, table);
    int size = rs & 15;
    if (size != 0) {
      if (c.bits < size) CursorRefill<In>(c);
      CursorSkip(c, size);
      k += ((rs >> 4) & 15) + 1;
    } else if ((rs & 0xF0) == 0xF0) {
      k += 16;
    } else {
      break;
    }
  }
  cursor = c;
}
