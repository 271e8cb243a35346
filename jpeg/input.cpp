// The input layer: the stream in 1024-byte chunks, bytes with and without the FF 00 rule,
// and the 32-bit bit window that the header parser reads.
#include <cstring>

#include "jpeg/bit_reader.h"
#include "jpeg/jpeg_state.h"

void InputLoadChunk() {
  JpegDecoderState& s = gJpegState;
  const uint32_t chunk = s.loadedEnd / kRingChunk;
  uint8_t* dst = s.ring + (chunk % (kRingSize / kRingChunk)) * kRingChunk;
  if (s.store && chunk >= s.storeFirst && chunk < s.storeEnd) {
    // Loaded again from the store, exactly as it was loaded from the stream.
    std::memcpy(dst, s.store + size_t(chunk - s.storeFirst) * kRingChunk, kRingChunk);
    if (chunk == s.storeEof && s.eofChunk == kNoChunk) s.eofChunk = chunk;
    s.loadedEnd += kRingChunk;
    return;
  }
  if (s.storeOn && s.storeEnd - s.storeFirst >= s.storeCapacity) {
    // No room to keep it: nothing is loaded, so that the store stays a true copy of what
    // was read; whoever reads on gives up once it sees storeFull.
    s.storeFull = 1;
    return;
  }
  s.loadedEnd += kRingChunk;
  size_t got = s.readFunc(dst, kRingChunk, 1, s.stream);
  if (got != 1 && s.eofChunk == kNoChunk) s.eofChunk = chunk;
  if (s.storeOn) {
    // The ring's chunk as it now is: a short read leaves the rest of it as it was.
    std::memcpy(s.store + size_t(chunk - s.storeFirst) * kRingChunk, dst, kRingChunk);
    s.storeEnd = chunk + 1;
    if (s.eofChunk == chunk) s.storeEof = chunk;
  }
}

void InputStoreStart(uint8_t* store, uint32_t capacityChunks) {
  JpegDecoderState& s = gJpegState;
  const uint32_t loaded = s.loadedEnd / kRingChunk;
  const uint32_t ringChunks = kRingSize / kRingChunk;
  s.store = store;
  s.storeCapacity = capacityChunks;
  s.storeFirst = loaded > ringChunks ? loaded - ringChunks : 0;
  s.storeEnd = loaded;
  s.storeEof = kNoChunk;
  s.storeFull = 0;
  s.storeOn = 1;
  // The chunks the ring holds, so that the store starts a little before the read position.
  for (uint32_t c = s.storeFirst; c < loaded; ++c) {
    std::memcpy(store + size_t(c - s.storeFirst) * kRingChunk, s.ring + (c % ringChunks) * kRingChunk, kRingChunk);
  }
  if (s.eofChunk != kNoChunk) s.storeEof = s.eofChunk;
}

bool StoreFindMarker(uint32_t from, bool anyCode, uint32_t& marker) {
  JpegDecoderState& s = gJpegState;
  uint32_t p = from;
  for (;;) {
    if (s.eofChunk != kNoChunk && p / kRingChunk > s.eofChunk) return false;
    const uint32_t first = s.storeFirst * kRingChunk, limit = s.storeEnd * kRingChunk;
    if (p + 1 >= limit) {
      // A few chunks stay free for reading on from the marker.
      if (s.storeEnd - s.storeFirst + 4 > s.storeCapacity) return false;
      InputLoadChunk();
      continue;
    }
    const uint8_t* at = s.store + (p - first);
    const void* ff = std::memchr(at, 0xFF, limit - 1 - p);
    if (ff == nullptr) {
      p = limit - 1;
      continue;
    }
    const uint32_t q = p + uint32_t(static_cast<const uint8_t*>(ff) - at);
    const uint32_t code = s.store[q + 1 - first];
    if (anyCode ? code != 0 : IsMarkerCode(code)) {
      marker = q;
      return true;
    }
    p = q + 1;
  }
}

bool StoreWindowStart(uint32_t& offset) {
  const JpegDecoderState& s = gJpegState;
  if (s.bitOffset != 0) return false;
  offset = WindowStartOffset();
  if (offset < s.storeFirst * kRingChunk) return false;
  BitCursor c = FlatCursorAt(s.store, s.storeFirst * kRingChunk, s.storeEnd * kRingChunk, offset);
  uint32_t window = 0;
  for (int i = 0; i < 4; ++i) window = (window << 8) | CursorFetchByte<FlatInput>(c);
  return window == s.window && c.pos == s.rawPos;
}

void InputStoreStop() {
  JpegDecoderState& s = gJpegState;
  s.store = nullptr;
  s.storeOn = 0;
}

void InputReset() {
  JpegDecoderState& s = gJpegState;
  std::memset(s.ring, 0, sizeof s.ring);
  s.rawPos = 0;
  s.loadedEnd = 0;
  s.eofChunk = kNoChunk;
  InputStoreStop();
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
  BitCursor c{};
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
    c.acc |= uint64_t(CursorFetchByte<RingInput>(c)) << (56 - c.bits);
    c.bits += 8;
    ++bytes;
  }
  s.window = uint32_t(c.acc >> (32 + offset));
  s.bitOffset = int16_t(offset);
  s.rawPos = c.pos;
}

uint32_t WindowStartOffset() {
  AlignBits();
  BitCursor c = CursorBegin();
  for (int i = 0; i < 4; ++i) {
    UnfetchByte(c);
    c.bits -= 8;
  }
  return c.pos;
}

void InputJumpTo(uint32_t offset) {
  JpegDecoderState& s = gJpegState;
  s.rawPos = offset;
  s.window = 0;
  for (int i = 0; i < 4; ++i) s.window = (s.window << 8) | FetchByte();
  s.bitOffset = 0;
}

void SkipToNextMarker() {
  JpegDecoderState& s = gJpegState;
  s.rawPos = WindowStartOffset();
  for (;;) {
    if (InputPastEnd()) break;
    uint32_t b = FetchRawByte();
    if (b != 0xFF) continue;
    if (s.rawPos >= s.loadedEnd - kRingChunk) InputLoadChunk();
    if (IsMarkerCode(PeekByte())) {
      s.rawPos--;
      break;
    }
  }
  InputJumpTo(s.rawPos);
}

BitCursor FlatCursorAt(const uint8_t* data, uint32_t first, uint32_t end, uint32_t offset) {
  BitCursor c{};
  c.pos = offset;
  c.data = data;
  c.first = first;
  c.end = end;
  return c;
}

uint32_t FlatAlignedOffset(const BitCursor& cursor) {
  BitCursor c = cursor;
  CursorAlign(c);
  // Steps back over the whole bytes still in the accumulator, as UnfetchByte does.
  for (int bytes = c.bits >> 3; bytes > 0; --bytes) {
    c.pos--;
    if (c.pos > c.first && FlatInput::Byte(c) == 0) {
      BitCursor before = c;
      before.pos--;
      if (FlatInput::Byte(before) == 0xFF) c.pos--;
    }
  }
  return c.pos;
}
