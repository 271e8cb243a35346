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

namespace {

const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kAcLuminanceValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const uint8_t kAcChrominanceValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
    0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
    0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
    0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
    0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

const StandardHuffTable kStandard[4] = {
    {{0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcValues, 12},
    {{0, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcValues, 12},
    {{0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kAcLuminanceValues, 162},
    {{0, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kAcChrominanceValues, 162},
};

}  // namespace

const StandardHuffTable& StandardTable(int slot) { return kStandard[(slot >= 4 ? 2 : 0) + (slot & 1)]; }

int HuffBuildStandard(int slot) {
  const StandardHuffTable& t = StandardTable(slot);
  int largest = 0;
  for (int i = 0; i < t.symbols; ++i) largest = t.values[i] > largest ? t.values[i] : largest;
  return HuffBuild(slot, t.counts, t.values, largest + 1);
}
