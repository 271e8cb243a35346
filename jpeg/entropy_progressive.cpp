// Progressive scans into the whole-picture coefficient buffer: DC first and refinement
// (over MCUs when the scan holds several components, over one component's blocks
// otherwise), AC first (with end-of-band runs) and AC refinement over one component's blocks.
#include <cstring>

#include "jpeg/entropy.h"
#include "jpeg/scan_task.h"

void PrepareScanTask(ScanTask& t) {
  JpegDecoderState& s = gJpegState;
  t = ScanTask{};
  t.ns = s.ns;
  t.ss = s.ss;
  t.se = s.se;
  t.ah = s.ah;
  t.al = s.al;
  t.unitsPerRow = s.unitsPerRow;
  t.unitRows = s.unitRows;
  t.interval = uint16_t(s.restartInterval);
  t.countdown = t.interval;
  const bool dcFirst = s.ss == 0 && s.ah == 0;
  // Level 2 reads the DC value alone, which a DC first scan sets in every block it visits.
  const bool dcClears = dcFirst && s.level != 2;
  t.clearBlocks = dcClears && s.ns > 1;
  for (int j = 0; j < s.ns; ++j) {
    const int c = s.scanComp[j];
    t.comp[j] = int16_t(c);
    // A scan of one component does not visit the blocks past the component's edge that
    // fill its last MCUs: whole rows are cleared instead.
    t.clearRows[j] = dcFirst ? dcClears && s.ns == 1 : !s.compTouched[c];
    s.compTouched[c] = 1;
    const int slot = s.ss == 0 ? s.scanTd[j] : 4 + s.scanTa[0];
    t.table[j] = s.huff[slot].entries;
    t.fast[j] = s.fast[slot];
  }
}

bool ScanClearsComponent(const ScanTask& t, int comp) {
  for (int j = 0; j < t.ns; ++j) {
    if (t.comp[j] == comp) return t.clearRows[j] || t.clearBlocks;
  }
  return false;
}

namespace {

// Counts units between restart markers. It starts full at each scan, so every scan finds
// its markers where the encoder put them.
template <class In>
inline void RestartIfDue(BitCursor& c, ScanTask& t) {
  if (t.interval != 0 && t.countdown == 0) {
    CursorRestart<In>(c);
    std::memset(t.dcPred, 0, sizeof t.dcPred);
    t.eobRun = 0;
    t.countdown = t.interval;
  }
}

template <class In>
inline uint32_t EobRun(BitCursor& c, int r) {
  uint32_t run = 1u << r;
  if (r > 0) run += CursorGetChecked<In>(c, r);
  return run;
}

// The first pass of a band. A symbol that fits the one-lookup table (run, size and the
// extended value in one entry) takes the same steps as the full decode below it.
template <class In>
JPEG_INLINE void AcFirst(BitCursor& cursor, const HuffEntry* table, const int32_t* fast, int16_t* block, int ss, int se, int al,
             int32_t& eobRun) {
  if (eobRun > 0) {
    eobRun--;
    return;
  }
  BitCursor c = cursor;  // kept in registers, given back at the end
  for (int k = ss; k <= se; ++k) {
    if (c.bits < kFastBits) CursorRefill<In>(c);  // the slow path refills for itself
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
    int rs = CursorDecode<In>(c, table);
    if (rs < 0) break;  // no code matches: the rest of the band stays zero
    int r = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (r < 15) {
        eobRun = int32_t(EobRun<In>(c, r) - 1);
        break;
      }
      k += 15;
      continue;
    }
    k += r;
    int32_t value = DecodeMagnitude<In>(c, size);
    if (k <= se) block[kZigzag[k]] = int16_t(value * (1 << al));
  }
  cursor = c;
}

template <class In>
inline void Correct(BitCursor& c, int16_t& coef, int p1, int m1) {
  if (CursorGetChecked<In>(c, 1) && (coef & p1) == 0) coef = int16_t(coef + (coef >= 0 ? p1 : m1));
}

template <class In>
JPEG_INLINE void AcRefine(BitCursor& cursor, const HuffEntry* table, int16_t* block, int ss, int se, int al, int32_t& eobRun) {
  const int p1 = 1 << al, m1 = -(1 << al);
  BitCursor c = cursor;  // kept in registers, given back at the end
  int k = ss;
  if (eobRun == 0) {
    for (; k <= se; ++k) {
      int rs = CursorDecode<In>(c, table);
      int r = rs >> 4, size = rs & 15;
      int value = 0;
      if (size == 0) {
        if (r < 15) {
          eobRun = int32_t(EobRun<In>(c, r));
          break;
        }
      } else {
        value = CursorGetChecked<In>(c, 1) ? p1 : m1;
      }
      for (; k <= se; ++k) {
        int16_t& coef = block[kZigzag[k]];
        if (coef != 0) {
          Correct<In>(c, coef, p1, m1);
        } else if (--r < 0) {
          break;
        }
      }
      if (value != 0 && k <= se) block[kZigzag[k]] = int16_t(value);
    }
  }
  if (eobRun > 0) {
    for (; k <= se; ++k) {
      int16_t& coef = block[kZigzag[k]];
      if (coef != 0) Correct<In>(c, coef, p1, m1);
    }
    eobRun--;
  }
  cursor = c;
}

// Makes every block of component `comp` in MCU rows [r0, r1) zero.
void ClearRows(int comp, int r0, int r1) {
  const JpegDecoderState& s = gJpegState;
  const size_t perRow = size_t(s.blocksPerMcu[comp]) * s.mcusPerRow * 64;
  std::memset(s.area[comp] + size_t(r0) * perRow, 0, size_t(r1 - r0) * perRow * sizeof(int16_t));
}

// One DC value (first pass) or its next bit (refinement).
template <class In>
JPEG_INLINE void DcUnit(BitCursor& c, const ScanTask& t, int j, int16_t* block, int16_t& pred) {
  if (t.ah == 0) {
    block[0] = int16_t(DecodeDC<In>(c, t.table[j], t.fast[j], pred) * (1 << t.al));
  } else if (CursorGetChecked<In>(c, 1)) {
    block[0] = int16_t(block[0] | (1 << t.al));
  }
}

}  // namespace

template <class In>
void DecodeScanRows(ScanTask& t, int r0, int r1) {
  const JpegDecoderState& s = gJpegState;
  const int mpr = s.mcusPerRow;
  for (int j = 0; j < t.ns; ++j) {
    if (t.clearRows[j]) ClearRows(t.comp[j], r0, r1);
  }
  BitCursor c = t.cursor;
  if (t.ns > 1) {
    // DC values of several components, MCU by MCU.
    for (int32_t m = int32_t(r0) * mpr; m < int32_t(r1) * mpr; ++m) {
      RestartIfDue<In>(c, t);
      for (int j = 0; j < t.ns; ++j) {
        const int comp = t.comp[j];
        int16_t* block = s.area[comp] + size_t(m) * s.blocksPerMcu[comp] * 64;
        for (uint32_t b = 0; b < s.blocksPerMcu[comp]; ++b, block += 64) {
          if (t.clearBlocks) std::memset(block, 0, 128);
          DcUnit<In>(c, t, j, block, t.dcPred[j]);
        }
      }
      --t.countdown;
    }
    t.cursor = c;
    return;
  }
  // One component: its blocks in raster order over its own grid, which the MCUs' blocks
  // past the picture's edge do not belong to.
  const int comp = t.comp[0];
  const int h = s.compH[comp], v = s.compV[comp];
  const int ss = t.ss, se = t.se, al = t.al;
  const bool refine = t.ah != 0;
  const HuffEntry* table = t.table[0];
  const int32_t* fast = t.fast[0];
  int16_t* const base = s.area[comp];
  for (int r = r0; r < r1; ++r) {
    for (int bv = 0; bv < v && v * r + bv < t.unitRows; ++bv) {
      for (int m = 0; m < mpr; ++m) {
        for (int bh = 0; bh < h && h * m + bh < t.unitsPerRow; ++bh) {
          int16_t* block = base + ((size_t(r) * mpr + m) * h * v + bv * h + bh) * 64;
          RestartIfDue<In>(c, t);
          if (ss == 0) {
            DcUnit<In>(c, t, 0, block, t.dcPred[0]);
          } else if (refine) {
            AcRefine<In>(c, table, block, ss, se, al, t.eobRun);
          } else {
            AcFirst<In>(c, table, fast, block, ss, se, al, t.eobRun);
          }
          --t.countdown;
        }
      }
    }
  }
  t.cursor = c;
}

template void DecodeScanRows<RingInput>(ScanTask&, int, int);
template void DecodeScanRows<FlatInput>(ScanTask&, int, int);
