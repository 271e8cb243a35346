// One progressive scan as its header and the tables in force at it left it, with the place
// its decode has reached: it is decoded a stretch of MCU rows at a time, from the ring on the
// calling thread or from stream bytes held in memory on any thread.
#pragma once

#include <cstdint>

#include "jpeg/bit_reader.h"

struct ScanTask {
  int16_t ns;
  int16_t comp[3];  // frame component index 1..3 per scan position
  int16_t ss, se, ah, al;
  int16_t unitsPerRow, unitRows;  // the scan's units (blocks of one component, or MCUs)
  uint32_t interval;              // restart interval in units, 0 for none
  // Per scan position: the scan makes the component's blocks zero, MCU row by MCU row,
  // before it writes them (its first scan, or a DC first scan of one component).
  uint8_t clearRows[3];
  // A DC first scan of several components makes each block zero before its value.
  uint8_t clearBlocks;
  const HuffEntry* table[3];  // DC table per position, or the AC table at position 0
  const int32_t* fast[3];
  // Progress.
  BitCursor cursor;
  int16_t dcPred[3];
  int32_t eobRun;
  uint32_t countdown;  // units left before the next restart marker
};

// The current scan header and tables as a task, its progress at the scan's start (the
// cursor is left for the caller); marks the scan's components as written to.
void PrepareScanTask(ScanTask& t);

// Whether the scan's blocks of component `comp` are all written by it, whatever was in them.
bool ScanClearsComponent(const ScanTask& t, int comp);

// Decodes the scan's units in MCU rows [r0, r1), rows taken in order.
template <class In>
void DecodeScanRows(ScanTask& t, int r0, int r1);
extern template void DecodeScanRows<RingInput>(ScanTask&, int, int);
extern template void DecodeScanRows<FlatInput>(ScanTask&, int, int);
