// The input layer: the stream in 1024-byte chunks, bytes with and without the FF 00 rule,
// and the 32-bit bit window that the header parser reads.
#include <cstring>

#include "jpeg/bit_reader.h"
#include "jpeg/jpeg_state.h"

void InputLoadChunk() {
  JpegDecoderState& s = gJpegState;
  uint32_t chunk = s.loadedEnd / kRingChunk;
  uint8_t* dst = s.ring + (chunk % (kRingSize / kRingChunk)) * kRingChunk;
  size_t got = s.readFunc(dst, kRingChunk, 1, s.stream);
  if (got != 1 && s.eofChunk == kNoChunk) s.eofChunk = chunk;
  s.loadedEnd += kRingChunk;
}

void InputReset() {
  JpegDecoderState& s = gJpegState;
  std::memset(s.ring, 0, sizeof s.ring);
  s.rawPos = 0;
  s.loadedEnd = 0;
  s.eofChunk = kNoChunk;
  InputLoadChunk();
  InputLoadChunk();
  s.window = 0;
  for (int i = 0; i < 4; ++i) s.window = (s.window << 8) | FetchByte();
  s.bitOffset = 0;
}

bool InputPastEnd() {
  const JpegDecoderState& s = gJpegState;
  return s.eofChunk != kNoChunk && s.rawPos / kRingChunk > s.eofChunk;
}

uint32_t FetchRawByte() {
  JpegDecoderState& s = gJpegState;
  if (s.rawPos >= s.loadedEnd - kRingChunk) InputLoadChunk();
  return s.ring[s.rawPos++ & (kRingSize - 1)];
}

uint32_t PeekByte() {
  const JpegDecoderState& s = gJpegState;
  return s.ring[s.rawPos & (kRingSize - 1)];
}

uint32_t FetchByte() {
  uint32_t b = FetchRawByte();
  if (gJpegState.stuffing && b == 0xFF) {
    if (gJpegState.rawPos >= gJpegState.loadedEnd - kRingChunk) InputLoadChunk();
    if (PeekByte() == 0) FetchRawByte();
  }
  return b;
}

uint32_t PeekBits(int n) {
  const JpegDecoderState& s = gJpegState;
  uint32_t w = s.window << s.bitOffset;
  if (s.bitOffset + n > 32) w |= PeekByte() >> (8 - s.bitOffset);
  return w >> (32 - n);
}

void SkipBits(int n) {
  JpegDecoderState& s = gJpegState;
  s.bitOffset = int16_t(s.bitOffset + n);
  while (s.bitOffset > 7) {
    s.window = (s.window << 8) | FetchByte();
    s.bitOffset = int16_t(s.bitOffset - 8);
  }
}

uint32_t GetBits(int n) {
  uint32_t v = PeekBits(n);
  SkipBits(n);
  return v;
}

void SkipRawBits(int n) {
  JpegDecoderState& s = gJpegState;
  s.bitOffset = int16_t(s.bitOffset + n);
  while (s.bitOffset > 7) {
    s.window = (s.window << 8) | FetchRawByte();
    s.bitOffset = int16_t(s.bitOffset - 8);
  }
}

void AlignBits() {
  if (gJpegState.bitOffset != 0) SkipBits(8 - gJpegState.bitOffset);
}

BitCursor CursorBegin() {
  const JpegDecoderState& s = gJpegState;
  BitCursor c;
  c.acc = uint64_t(s.window) << (32 + s.bitOffset);
  c.bits = 32 - s.bitOffset;
  c.pos = s.rawPos;
  return c;
}

// Steps back over the last byte the cursor fetched. Every byte the cursor fetched went
// through the FF 00 rule, so a 00 right after an FF belongs to that FF.
static void UnfetchByte(BitCursor& c) {
  const JpegDecoderState& s = gJpegState;
  c.pos--;
  if (s.ring[c.pos & (kRingSize - 1)] == 0 && s.ring[(c.pos - 1) & (kRingSize - 1)] == 0xFF) c.pos--;
}

// Gives the cursor's position back to the window: the window again holds the byte being
// read and the three after it, as if it had been filled a byte at a time.
void CursorEnd(BitCursor& c) {
  JpegDecoderState& s = gJpegState;
  int offset = (8 - (c.bits & 7)) & 7;
  int bytes = (c.bits + 7) >> 3;
  while (bytes > 4) {
    UnfetchByte(c);
    --bytes;
    c.bits -= 8;
  }
  while (bytes < 4) {
    c.acc |= uint64_t(CursorFetchByte(c)) << (56 - c.bits);
    c.bits += 8;
    ++bytes;
  }
  s.window = uint32_t(c.acc >> (32 + offset));
  s.bitOffset = int16_t(offset);
  s.rawPos = c.pos;
}

void CursorRestart(BitCursor& c) {
  CursorAlign(c);
  // At most a few thousand bytes are searched; corrupt data then simply goes on.
  for (int i = 0; i < 4096; ++i) {
    if (CursorGetChecked(c, 8) == 0xFF) break;
  }
  if (CursorGetChecked(c, 8) == 0xDC) {
    CursorGetChecked(c, 8);
    CursorGetChecked(c, 8);
  }
}

void SkipToNextMarker() {
  JpegDecoderState& s = gJpegState;
  AlignBits();
  // Back to the stream offset of the window's first byte.
  BitCursor c = CursorBegin();
  for (int i = 0; i < 4; ++i) {
    UnfetchByte(c);
    c.bits -= 8;
  }
  s.rawPos = c.pos;
  for (;;) {
    if (InputPastEnd()) break;
    uint32_t b = FetchRawByte();
    if (b != 0xFF) continue;
    if (s.rawPos >= s.loadedEnd - kRingChunk) InputLoadChunk();
    uint32_t next = PeekByte();
    if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7)) {
      s.rawPos--;
      break;
    }
  }
  s.window = 0;
  for (int i = 0; i < 4; ++i) s.window = (s.window << 8) | FetchByte();
  s.bitOffset = 0;
}
