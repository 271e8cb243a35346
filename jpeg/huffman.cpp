// Huffman tables: code assignment from a DHT table and the two-level lookup tables
// (an 8-bit root table and subtables for longer codes) kept in a fixed arena.
#include "jpeg/jpeg_state.h"

void HuffReset() {
  JpegDecoderState& s = gJpegState;
  s.arenaStart = 0;
  s.arenaSize = 0;
  for (HuffTable& t : s.huff) t = HuffTable{8, nullptr, 0, 0};
}

namespace {

struct Builder {
  HuffTable* table;
  bool failed;
  uint16_t code[256];
  uint8_t length[256];
  int symbols;
};

// Hands out n more entries of the table's storage; -1 when the arena cannot hold them.
int Grow(HuffTable& t, int n) {
  JpegDecoderState& s = gJpegState;
  int first = t.used;
  t.used += n;
  if (t.used > t.capacity) {
    int32_t capacity = t.capacity + 256;
    uint32_t bytes = uint32_t(capacity) * 4;
    if (t.capacity == 0) {
      uint32_t start = s.arenaStart + s.arenaSize;
      if (start + bytes > kArenaBytes) return -1;
      s.arenaStart = start;
      t.entries = s.arena + start / 4;
    } else if (s.arenaStart + bytes > kArenaBytes) {
      return -1;
    }
    s.arenaSize = bytes;
    t.capacity = capacity;
  }
  return first;
}

// Fills one level of b index bits for the codes under prefix P; returns its first index.
int FillLevel(Builder& bld, int b, uint32_t prefix, int consumed) {
  HuffTable& t = *bld.table;
  int first = Grow(t, 1 << b);
  if (first < 0) {
    bld.failed = true;
    return -1;
  }
  for (int i = 0; i < (1 << b); ++i) t.entries[first + i] = HuffEntry{-1, 0};
  int mask = (1 << b) - 1;
  for (int sym = 0; sym < bld.symbols; ++sym) {
    int l = bld.length[sym];
    if (l == 0) continue;
    int r = l - consumed;
    if (r <= 0 || (uint32_t(bld.code[sym]) >> r) != prefix) continue;
    if (r > b) {
      HuffEntry& e = t.entries[first + ((bld.code[sym] >> (r - b)) & mask)];
      int depth = -e.length;
      e.length = int16_t(-(depth > r - b ? depth : r - b));
    } else {
      int start = (bld.code[sym] << (b - r)) & mask;
      for (int i = 0; i < (1 << (b - r)); ++i) {
        HuffEntry& e = t.entries[first + start + i];
        if (e.length != 0) {
          bld.failed = true;
          return -1;
        }
        e = HuffEntry{int16_t(sym), int16_t(r)};
      }
    }
  }
  for (int i = 0; i <= mask; ++i) {
    if (t.entries[first + i].length >= 0) continue;
    int bits = -t.entries[first + i].length;
    if (bits > b) {
      bits = b;
      t.entries[first + i].length = int16_t(-b);
    }
    int sub = FillLevel(bld, bits, (prefix << b) | uint32_t(i), consumed + b);
    if (bld.failed) return -1;
    t.entries[first + i].value = int16_t(sub);  // looked up again: the storage may have moved
  }
  return first;
}

}  // namespace

namespace {

// Codes of at most kFastBits bits whose magnitude bits also fit are decoded by one lookup.
// DC symbols are magnitude sizes; AC symbols are run/size pairs, of which end of block and
// the run of sixteen zeros fit too; other zero-size symbols take the full path.
void BuildFast(int slot, const Builder& bld) {
  int32_t* fast = gJpegState.fast[slot];
  for (int i = 0; i < (1 << kFastBits); ++i) fast[i] = 0;
  for (int sym = 0; sym < bld.symbols; ++sym) {
    int l = bld.length[sym];
    if (l == 0 || l > kFastBits) continue;
    int run = 0, size;
    if (slot < 4) {
      size = sym;
    } else {
      run = sym >> 4;
      size = sym & 15;
      if (sym == 0) run = kFastEnd;
      else if (size == 0 && run != 15) continue;
    }
    if (size > 16 || l + size > kFastBits) continue;
    int first = bld.code[sym] << (kFastBits - l);
    for (int i = 0; i < (1 << (kFastBits - l)); ++i) {
      int p = first + i;
      int32_t value = 0;
      if (size > 0) {
        uint32_t bits = uint32_t(p >> (kFastBits - l - size)) & ((1u << size) - 1);
        value = int32_t(bits) - ((bits >> (size - 1)) == 0 ? int32_t((1u << size) - 1) : 0);
      }
      fast[p] = int32_t(uint32_t(value) << 16 | uint32_t(run) << 8 | uint32_t(l + size));
    }
  }
}

}  // namespace

int HuffBuild(int slot, const uint8_t counts[17], const uint8_t* values, int symbolLimit) {
  JpegDecoderState& s = gJpegState;
  HuffTable& t = s.huff[slot];
  t = HuffTable{8, nullptr, 0, 0};
  Builder bld;
  bld.table = &t;
  bld.failed = false;
  bld.symbols = symbolLimit;
  for (int i = 0; i < 256; ++i) {
    bld.code[i] = 0;
    bld.length[i] = 0;
  }
  // Code assignment: lengths 1 to 16, codes counting up, doubling after each length.
  uint32_t code = 0;
  int k = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int i = 0; i < counts[l]; ++i, ++k) {
      // A code that no longer fits its length means the set is over-subscribed.
      if (code >= (1u << l)) return -1;
      bld.code[values[k]] = uint16_t(code);
      bld.length[values[k]] = uint8_t(l);
      ++code;
    }
    code <<= 1;
  }
  FillLevel(bld, 8, 0, 0);
  if (bld.failed) {
    t = HuffTable{8, nullptr, 0, 0};
    return -1;
  }
  BuildFast(slot, bld);
  return 0;
}
