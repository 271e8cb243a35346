// A progressive picture split between threads. The first decode call reads the rest of the
// stream into the work buffer, finding where each scan's entropy-coded data ends by its
// marker, without decoding it; the scans then run as jobs on the threads, each trailing the
// earlier scans of its components row by row (scans of other components, or of other bands,
// run side by side), and the reconstruction and pixels of each MCU row follow as soon as
// every scan has passed it.
//
// The output equals the single-thread decode's on every stream: that decode would start each
// scan where the previous one ended, so a scan must end exactly at the marker it was found
// to end at. Where one does not (damaged data), or the stream cannot be read this way, the
// state of the first call is taken back and the picture decoded again on the calling thread,
// the stream loaded again from the work buffer as far as it was read.
#include <cstring>

#include "jpeg/row_jobs.h"
#include "jpeg/scan_task.h"

uint32_t gJpegSplitMinBlocks = 16384;

namespace {

constexpr int kMaxScanTasks = 32;
constexpr int kMaxFastTables = 32;  // copies of one-lookup tables for the scans' first passes
// Rows a job takes at a time hold about this many blocks; work a decode call hands out.
constexpr uint32_t kSliceBlocks = 2048;
constexpr uint64_t kCallBlocks = 1u << 17;

struct TaskSlot {
  ScanTask task;
  uint32_t end;  // stream offset of the marker after its data
};

using FastTable = int32_t[1 << kFastBits];

struct Split {
  JpegDecoderState* start;  // the state at the first call
  TaskSlot* slots;
  int tasks;
  FastTable* fast;  // the one-lookup tables as they were at the scans that use them
  int fastTables;
  RowJobs jobs;
};

Split gSplit;

uint8_t* AlignUp(uint8_t* p, size_t a) {
  return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~uintptr_t(a - 1));
}

// Chunks of stream the work buffer keeps room for: a quarter of the coefficients' bytes
// (32 bytes a block, more than photographs take), and a few more.
uint32_t StoreChunks(uint64_t coefficientBytes) { return uint32_t(coefficientBytes / 4 / kRingChunk) + 64; }

// Copies the one-lookup tables a first pass uses (later DHT segments may redefine them);
// refinements do not use them.
bool KeepFastTables(ScanTask& t) {
  if (t.ah != 0) return true;
  const int32_t* state[3] = {t.fast[0], t.fast[1], t.fast[2]};
  for (int j = 0; j < t.ns; ++j) {
    int same = 0;
    while (same < j && state[same] != state[j]) ++same;
    if (same < j) {
      t.fast[j] = t.fast[same];
      continue;
    }
    if (gSplit.fastTables == kMaxFastTables) return false;
    int32_t* copy = gSplit.fast[gSplit.fastTables++];
    std::memcpy(copy, state[j], sizeof(FastTable));
    t.fast[j] = copy;
  }
  return true;
}

// Records the scans from the current one to EOI as tasks, reading the stream into the
// store; false when the picture cannot be split this way.
bool ReadScans() {
  JpegDecoderState& s = gJpegState;
  for (;;) {
    uint32_t start;
    if (!StoreWindowStart(start)) return false;
    TaskSlot* slot = nullptr;
    if (!ScanUnused()) {
      if (gSplit.tasks == kMaxScanTasks) return false;
      slot = &gSplit.slots[gSplit.tasks++];
      PrepareScanTask(slot->task);
      if (!KeepFastTables(slot->task)) return false;
      slot->task.cursor.pos = start;
    }
    uint32_t marker;
    if (!StoreFindMarker(start, false, marker)) return false;
    if (slot) slot->end = marker;
    // Where the single-thread decode is once the scan ends at the marker.
    InputJumpTo(marker);
    if (s.storeFull) return false;
    if (PeekBits(16) == 0xFFD9) return true;
    if (InputPastEnd()) return false;
    const int parsed = ParseMarkersToScan();
    if (s.storeFull || parsed == 0) return false;
    if (parsed == 2) return true;
  }
}

bool Overlap(const ScanTask& a, const ScanTask& b) { return a.ss <= b.se && b.ss <= a.se; }

// Whether scan b, later than scan a, must wait for a row by row: they write the same
// coefficients of a component, or one of them makes the component's blocks zero.
bool Conflict(const ScanTask& a, const ScanTask& b) {
  for (int i = 0; i < a.ns; ++i) {
    for (int j = 0; j < b.ns; ++j) {
      const int c = a.comp[i];
      if (c != b.comp[j]) continue;
      if (Overlap(a, b) || ScanClearsComponent(a, c) || ScanClearsComponent(b, c)) return true;
    }
  }
  return false;
}

RowJob MakeJob(uint32_t blocksPerRow) {
  RowJob job{};
  job.rows = gJpegState.mcuRows;
  job.slice = int32_t(blocksPerRow >= kSliceBlocks ? 1 : kSliceBlocks / (blocksPerRow ? blocksPerRow : 1));
  job.cost = blocksPerRow;
  job.leads = -1;
  job.thread = -1;
  return job;
}

void RunJob(int j, int r0, int r1) {
  const JpegDecoderState& s = gJpegState;
  if (j < gSplit.tasks) {
    DecodeScanRows<FlatInput>(gSplit.slots[j].task, r0, r1);
    return;
  }
  const uint32_t mcuPerRow = uint32_t(s.mcusPerRow);
  for (uint32_t mcu = uint32_t(r0) * mcuPerRow; mcu < uint32_t(r1) * mcuPerRow; ++mcu) {
    int16_t* blocks[4] = {};
    for (int c = 1; c <= s.nf; ++c) blocks[c] = s.area[c] + size_t(mcu) * s.stride[c];
    ReconstructAndOutputMcu(blocks, mcu);
  }
}

void BuildJobs() {
  const JpegDecoderState& s = gJpegState;
  RowJobs& jobs = gSplit.jobs;
  jobs.count = 0;
  jobs.run = RunJob;
  uint32_t mcuBlocks = 0;
  for (int c = 1; c <= s.nf; ++c) mcuBlocks += s.blocksPerMcu[c];
  for (int t = 0; t < gSplit.tasks; ++t) {
    const ScanTask& task = gSplit.slots[t].task;
    uint32_t blocks = 0;
    for (int j = 0; j < task.ns; ++j) blocks += s.blocksPerMcu[task.comp[j]];
    RowJob job = MakeJob(blocks * uint32_t(s.mcusPerRow));
    for (int u = 0; u < t; ++u) {
      if (Conflict(gSplit.slots[u].task, task)) job.after |= uint64_t(1) << u;
    }
    jobs.job[jobs.count++] = job;
  }
  RowJob output = MakeJob(mcuBlocks * uint32_t(s.mcusPerRow));
  output.after = (uint64_t(1) << gSplit.tasks) - 1;
  output.parallel = 1;
  jobs.job[jobs.count++] = output;
}

// Takes back the state of the first call; the picture decodes on the calling thread from
// there, the stream loaded again from the store as far as it was read.
void DecodeOnOneThread() {
  JpegDecoderState& s = gJpegState;
  uint8_t* store = s.store;
  const uint32_t first = s.storeFirst, end = s.storeEnd, eof = s.storeEof;
  std::memcpy(&s, gSplit.start, sizeof s);
  s.store = store;
  s.storeFirst = first;
  s.storeEnd = end;
  s.storeEof = eof;
  s.storeOn = 0;
  s.storeFull = 0;
  s.threads = 1;
}

}  // namespace

uint64_t SplitProgressiveBytes(uint64_t coefficientBytes) {
  return 64 + sizeof(JpegDecoderState) + 64 + kMaxScanTasks * sizeof(TaskSlot) + kMaxFastTables * sizeof(FastTable) +
         uint64_t(StoreChunks(coefficientBytes)) * kRingChunk;
}

void StartSplitProgressive(uint8_t* rest) {
  JpegDecoderState& s = gJpegState;
  uint64_t coefficientBytes = 0;
  for (int c = 1; c <= s.nf; ++c) coefficientBytes += uint64_t(s.blocksPerMcu[c]) * uint32_t(s.mcuCount) * 128;
  uint8_t* p = AlignUp(rest, 64);
  gSplit.start = reinterpret_cast<JpegDecoderState*>(p);
  p = AlignUp(p + sizeof(JpegDecoderState), 64);
  gSplit.slots = reinterpret_cast<TaskSlot*>(p);
  p += kMaxScanTasks * sizeof(TaskSlot);
  gSplit.fast = reinterpret_cast<FastTable*>(p);
  p += kMaxFastTables * sizeof(FastTable);
  gSplit.tasks = 0;
  gSplit.fastTables = 0;
  std::memcpy(gSplit.start, &s, sizeof s);
  InputStoreStart(p, StoreChunks(coefficientBytes));
  if (!ReadScans()) {
    DecodeOnOneThread();
    return;
  }
  s.storeOn = 0;
  for (int t = 0; t < gSplit.tasks; ++t) {
    BitCursor& c = gSplit.slots[t].task.cursor;
    c = FlatCursorAt(s.store, s.storeFirst * kRingChunk, s.storeEnd * kRingChunk, c.pos);
  }
  BuildJobs();
}

int SplitProgressiveCall() {
  JpegDecoderState& s = gJpegState;
  if (!RunRowJobs(gSplit.jobs, s.threads, kCallBlocks)) return 1;
  for (int t = 0; t < gSplit.tasks; ++t) {
    if (FlatAlignedOffset(gSplit.slots[t].task.cursor) != gSplit.slots[t].end) {
      DecodeOnOneThread();
      return 1;
    }
  }
  return 0;
}
