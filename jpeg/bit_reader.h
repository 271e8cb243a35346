// The bit cursor used by the entropy decoders: a 64-bit accumulator of stream bytes (with
// the FF 00 rule applied) that is refilled several bytes at a time. It starts from the
// input layer's 32-bit window and gives its position back to it exactly, so the header
// parser and restart handling see the same bytes the byte-at-a-time window would.
#pragma once

#include <cstdint>
#include <cstring>

#include "jpeg/jpeg_state.h"

struct BitCursor {
  uint64_t acc;  // unread bits from bit 63 down; bits below them are 0
  int bits;      // how many bits of acc are unread
  uint32_t pos;  // stream offset of the next byte to fetch
};

inline uint32_t CursorFetchByte(BitCursor& c) {
  JpegDecoderState& s = gJpegState;
  if (c.pos >= s.loadedEnd - kRingChunk) {
    s.rawPos = c.pos;
    InputLoadChunk();
  }
  uint32_t b = s.ring[c.pos & (kRingSize - 1)];
  c.pos++;
  if (b == 0xFF) {
    if (c.pos >= s.loadedEnd - kRingChunk) {
      s.rawPos = c.pos;
      InputLoadChunk();
    }
    if (s.ring[c.pos & (kRingSize - 1)] == 0) c.pos++;
  }
  return b;
}

// Tops the accumulator up to at least 57 unread bits.
inline void CursorRefill(BitCursor& c) {
  JpegDecoderState& s = gJpegState;
  uint32_t at = c.pos & (kRingSize - 1);
  if (c.pos + 8 < s.loadedEnd - kRingChunk && at <= kRingSize - 8) {
    uint64_t w;
    std::memcpy(&w, s.ring + at, 8);
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
  while (c.bits <= 56) {
    c.acc |= uint64_t(CursorFetchByte(c)) << (56 - c.bits);
    c.bits += 8;
  }
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
inline uint32_t CursorGetChecked(BitCursor& c, int n) {
  if (c.bits < n) CursorRefill(c);
  return CursorGet(c, n);
}
inline void CursorAlign(BitCursor& c) { CursorSkip(c, c.bits & 7); }

// The T.81 EXTEND of an s-bit magnitude (s from 1 to 16).
inline int32_t Extend(uint32_t v, int s) {
  return int32_t(v) - int32_t((v >> (s - 1)) == 0 ? (1u << s) - 1 : 0);
}

// The next symbol of a table: at most two lookups. A bit pattern that matches no code
// gives -1 and consumes nothing at that level.
inline int CursorDecode(BitCursor& c, const HuffEntry* t) {
  if (c.bits < 16) CursorRefill(c);
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

BitCursor CursorBegin();
void CursorEnd(BitCursor& c);
// Restart handling: align, find 0xFF, read the code (and two more bytes after DNL).
void CursorRestart(BitCursor& c);
