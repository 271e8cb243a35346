// Progressive scans into the whole-picture coefficient buffer: DC first and refinement
// over MCUs, AC first (with end-of-band runs) and AC refinement over one component's blocks.
#include <cstring>

#include "jpeg/entropy.h"

namespace {

// Counts units between restart markers. It starts full at each scan, so every scan finds
// its markers where the encoder put them.
inline void RestartIfDue(BitCursor& c, uint32_t interval, uint32_t& countdown) {
  JpegDecoderState& s = gJpegState;
  if (interval != 0 && countdown == 0) {
    CursorRestart(c);
    std::memset(s.dcPred, 0, sizeof s.dcPred);
    s.eobRun = 0;
    countdown = interval;
  }
}

inline uint32_t EobRun(BitCursor& c, int r) {
  uint32_t run = 1u << r;
  if (r > 0) run += CursorGetChecked(c, r);
  return run;
}

// The first pass of a band. A symbol that fits the one-lookup table (run, size and the
// extended value in one entry) takes the same steps as the full decode below it.
void AcFirst(BitCursor& cursor, const HuffEntry* table, const int32_t* fast, int16_t* block, int ss, int se,
             int al) {
  JpegDecoderState& s = gJpegState;
  if (s.eobRun > 0) {
    s.eobRun--;
    return;
  }
  BitCursor c = cursor;  // kept in registers, given back at the end
  for (int k = ss; k <= se; ++k) {
    if (c.bits < kFastBits) CursorRefill(c);  // the slow path refills for itself
    int32_t f = fast[CursorPeek(c, kFastBits)];
    if (f != 0) {
      CursorSkip(c, f & 0xFF);
      // The end of band without run bits (kFastEnd) carries k past the band; the end-of-band
      // run it starts is 0.
      k += (f >> 8) & 0xFF;
      int32_t value = f >> 16;  // 0 for the run of sixteen zeros and the end of band
      if (value != 0 && k <= se) block[kZigzag[k]] = int16_t(value * (1 << al));
      continue;
    }
    int rs = CursorDecode(c, table);
    if (rs < 0) break;  // no code matches: the rest of the band stays zero
    int r = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (r < 15) {
        s.eobRun = int16_t(EobRun(c, r) - 1);
        break;
      }
      k += 15;
      continue;
    }
    k += r;
    int32_t value = DecodeMagnitude(c, size);
    if (k <= se) block[kZigzag[k]] = int16_t(value * (1 << al));
  }
  cursor = c;
}

inline void Correct(BitCursor& c, int16_t& coef, int p1, int m1) {
  if (CursorGetChecked(c, 1) && (coef & p1) == 0) coef = int16_t(coef + (coef >= 0 ? p1 : m1));
}

void AcRefine(BitCursor& cursor, const HuffEntry* table, int16_t* block, int ss, int se, int al) {
  JpegDecoderState& s = gJpegState;
  const int p1 = 1 << al, m1 = -(1 << al);
  BitCursor c = cursor;  // kept in registers, given back at the end
  int k = ss;
  if (s.eobRun == 0) {
    for (; k <= se; ++k) {
      int rs = CursorDecode(c, table);
      int r = rs >> 4, size = rs & 15;
      int value = 0;
      if (size == 0) {
        if (r < 15) {
          s.eobRun = int16_t(EobRun(c, r));
          break;
        }
      } else {
        value = CursorGetChecked(c, 1) ? p1 : m1;
      }
      for (; k <= se; ++k) {
        int16_t& coef = block[kZigzag[k]];
        if (coef != 0) {
          Correct(c, coef, p1, m1);
        } else if (--r < 0) {
          break;
        }
      }
      if (value != 0 && k <= se) block[kZigzag[k]] = int16_t(value);
    }
  }
  if (s.eobRun > 0) {
    for (; k <= se; ++k) {
      int16_t& coef = block[kZigzag[k]];
      if (coef != 0) Correct(c, coef, p1, m1);
    }
    s.eobRun--;
  }
  cursor = c;
}

}  // namespace

void DecodeDCScan() {
  JpegDecoderState& s = gJpegState;
  const uint32_t interval = uint16_t(s.restartInterval);
  uint32_t countdown = interval;
  const int al = s.al;
  // The first DC scan is the first to touch each block: it clears the coefficients that
  // the reduction level will read (level 2 reads the DC value alone).
  const bool clear = s.ah == 0 && s.level != 2;
  BitCursor c = CursorBegin();
  for (int32_t m = 0; m < s.mcuCount; ++m) {
    RestartIfDue(c, interval, countdown);
    for (int j = 0; j < s.ns; ++j) {
      const int comp = s.scanComp[j];
      const HuffEntry* table = s.huff[s.scanTd[j]].entries;
      const int32_t* fast = s.fast[s.scanTd[j]];
      int16_t* block = s.area[comp] + size_t(m) * s.blocksPerMcu[comp] * 64;
      for (uint32_t b = 0; b < s.blocksPerMcu[comp]; ++b, block += 64) {
        if (clear) std::memset(block, 0, 128);
        if (s.ah == 0) {
          block[0] = int16_t(DecodeDC(c, table, fast, s.dcPred[j]) * (1 << al));
        } else if (CursorGetChecked(c, 1)) {
          block[0] = int16_t(block[0] | (1 << al));
        }
      }
    }
    --countdown;
  }
  CursorEnd(c);
  s.restartCountdown = int16_t(countdown);
}

void DecodeACScan() {
  JpegDecoderState& s = gJpegState;
  const uint32_t interval = uint16_t(s.restartInterval);
  uint32_t countdown = interval;
  const int comp = s.scanComp[0];
  const int h = s.compH[comp], v = s.compV[comp];
  const int mpr = s.mcusPerRow;
  const int ss = s.ss, se = s.se, al = s.al;
  const bool refine = s.ah != 0;
  const HuffEntry* table = s.huff[4 + s.scanTa[0]].entries;
  const int32_t* fast = s.fast[4 + s.scanTa[0]];
  int16_t* const base = s.area[comp];
  s.eobRun = 0;
  BitCursor c = CursorBegin();
  for (int r = 0; r < s.mcuRows; ++r) {
    for (int bv = 0; bv < v && v * r + bv + 1 <= s.unitRows; ++bv) {
      for (int m = 0; m < mpr; ++m) {
        for (int bh = 0; bh < h && h * m + bh + 1 <= s.unitsPerRow; ++bh) {
          int16_t* block = base + ((size_t(r) * mpr + m) * h * v + bv * h + bh) * 64;
          RestartIfDue(c, interval, countdown);
          if (refine) {
            AcRefine(c, table, block, ss, se, al);
          } else {
            AcFirst(c, table, fast, block, ss, se, al);
          }
          --countdown;
        }
      }
    }
  }
  CursorEnd(c);
  s.restartCountdown = int16_t(countdown);
}
