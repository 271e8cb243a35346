// The bit cursor used by the entropy decoders: a 64-bit accumulator of stream bytes (with
// the FF 00 rule applied) that is refilled several bytes at a time. Its bytes come either
// from the input layer's ring (RingInput), loaded from the stream as the cursor reaches
// them, or from stream bytes already held in memory (FlatInput), which is how the threads
// of a split decode read their part. Both give the same bytes for the same stream offsets.
// A ring cursor starts from the input layer's 32-bit window and gives its position back to
// it exactly, so the header parser and restart handling see the same bytes the
// byte-at-a-time window would.
#pragma once

#include <cstdint>
#include <cstring>

#include "jpeg/jpeg_state.h"

// The entropy decoders are inlined into their loops, where the cursor stays in registers.
#if defined(__GNUC__)
#define JPEG_INLINE inline __attribute__((always_inline))
#define JPEG_OUTLINE __attribute__((noinline))
#else
#define JPEG_INLINE inline
#define JPEG_OUTLINE
#endif

struct BitCursor {
  uint64_t acc;  // unread bits from bit 63 down; bits below them are 0
  int bits;      // how many bits of acc are unread
  uint32_t pos;  // stream offset of the next byte to fetch
  // FlatInput only: the stream from offset `first` up to `end` lies at `data`; past the
  // end it reads as zeros.
  const uint8_t* data;
  uint32_t first, end;
};

// Bytes from the input layer's ring, loading the stream's chunks as they are reached.
struct RingInput {
  static uint32_t Byte(BitCursor& c) {
    JpegDecoderState& s = gJpegState;
    if (c.pos >= s.loadedEnd - kRingChunk) {
      s.rawPos = c.pos;
      InputLoadChunk();
    }
    return s.ring[c.pos & (kRingSize - 1)];
  }
  // The eight bytes at c.pos, when they lie loaded in one stretch of the ring.
  static bool Eight(const BitCursor& c, uint64_t& w) {
    const JpegDecoderState& s = gJpegState;
    const uint32_t at = c.pos & (kRingSize - 1);
    if (c.pos + 8 >= s.loadedEnd - kRingChunk || at > kRingSize - 8) return false;
    std::memcpy(&w, s.ring + at, 8);
    return true;
  }
};

// Bytes from a stretch of the stream held in memory.
struct FlatInput {
  static uint32_t Byte(const BitCursor& c) { return c.pos < c.end ? c.data[c.pos - c.first] : 0; }
  static bool Eight(const BitCursor& c, uint64_t& w) {
    if (c.pos + 8 > c.end) return false;
    std::memcpy(&w, c.data + (c.pos - c.first), 8);
    return true;
  }
};

template <class In>
JPEG_INLINE uint32_t CursorFetchByte(BitCursor& c) {
  uint32_t b = In::Byte(c);
  c.pos++;
  if (b == 0xFF && In::Byte(c) == 0) c.pos++;
  return b;
}


// Tops the accumulator up a byte at a time, at buffer ends and around 0xFF bytes.
template <class In>
JPEG_INLINE void CursorRefillBytes(BitCursor& c) {
  while (c.bits <= 56) {
    c.acc |= uint64_t(CursorFetchByte<In>(c)) << (56 - c.bits);
    c.bits += 8;
  }
}

// Tops the accumulator up to at least 57 unread bits.
template <class In>
JPEG_INLINE void CursorRefill(BitCursor& c) {
  uint64_t w;
  if (In::Eight(c, w)) {
    // Any 0xFF byte among the eight sends us to the careful path.
    uint64_t inv = ~w;
    if (((inv - 0x0101010101010101ull) & ~inv & 0x8080808080808080ull) == 0) {
      w = __builtin_bswap64(w);
      int take = (64 - c.bits) >> 3;
      int filled = c.bits + 8 * take;
      uint64_t keep = filled >= 64 ? ~0ull : ~(~0ull >> filled);
      c.acc |= (w >> c.bits) & keep;
      c.bits = filled;
      c.pos += take;
      return;
    }
  }
  CursorRefillBytes<In>(c);
}

inline uint32_t CursorPeek(const BitCursor& c, int n) { return uint32_t(c.acc >> (64 - n)); }
inline void CursorSkip(BitCursor& c, int n) {
  c.acc <<= n;
  c.bits -= n;
}
// n from 1 to 16; the caller has made sure that at least n bits are unread.
inline uint32_t CursorGet(BitCursor& c, int n) {
  uint32_t v = CursorPeek(c, n);
  CursorSkip(c, n);
  return v;
}
template <class In>
JPEG_INLINE uint32_t CursorGetChecked(BitCursor& c, int n) {
  if (c.bits < n) CursorRefill<In>(c);
  return CursorGet(c, n);
}
inline void CursorAlign(BitCursor& c) { CursorSkip(c, c.bits & 7); }

// The T.81 EXTEND of an s-bit magnitude (s from 1 to 16).
inline int32_t Extend(uint32_t v, int s) {
  return int32_t(v) - int32_t((v >> (s - 1)) == 0 ? (1u << s) - 1 : 0);
}

// The next symbol of a table: at most two lookups. A bit pattern that matches no code
// gives -1 and consumes nothing at that level.
template <class In>
JPEG_INLINE int CursorDecode(BitCursor& c, const HuffEntry* t) {
  if (c.bits < 16) CursorRefill<In>(c);
  HuffEntry e = t[c.acc >> 56];
  if (e.length > 0) {
    CursorSkip(c, e.length);
    return e.value;
  }
  if (e.length == 0) return -1;
  CursorSkip(c, 8);
  int sub = -e.length;
  HuffEntry e2 = t[e.value + CursorPeek(c, sub)];
  CursorSkip(c, e2.length);
  return e2.value;
}

// Restart handling: align, find 0xFF, read the code (and two more bytes after DNL). At
// most a few thousand bytes are searched; corrupt data then simply goes on.
template <class In>
JPEG_OUTLINE void CursorRestart(BitCursor& c) {
  CursorAlign(c);
  for (int i = 0; i < 4096; ++i) {
    if (CursorGetChecked<In>(c, 8) == 0xFF) break;
  }
  if (CursorGetChecked<In>(c, 8) == 0xDC) {
    CursorGetChecked<In>(c, 8);
    CursorGetChecked<In>(c, 8);
  }
}

// A ring cursor from the input layer's window, and its position given back to the window.
BitCursor CursorBegin();
void CursorEnd(BitCursor& c);

// A flat cursor at a byte boundary of the stream, and the stream offset of the first byte
// it has not consumed once aligned to a byte boundary.
BitCursor FlatCursorAt(const uint8_t* data, uint32_t first, uint32_t end, uint32_t offset);
uint32_t FlatAlignedOffset(const BitCursor& c);
