// A baseline picture split between threads, in one of two ways.
// - With restart markers (enough intervals for every thread): each call reads a batch of
//   intervals into the work buffer, finding their ends by the restart markers without
//   decoding, and the threads decode, reconstruct and write whole intervals side by side.
//   The output equals the single-thread decode's when every interval ends exactly at the
//   marker after it; where one does not (damaged data) or the batch cannot be read this way,
//   the picture decodes on the calling thread from the batch's start, the stream loaded
//   again from the work buffer.
// - Otherwise the calling thread's decode of the coefficients (one MCU row at a time, as it
//   always reads them) runs ahead of the reconstruction and pixel writing of the rows it has
//   finished, which the other threads take; a few rows of coefficients are kept for this.
#include <atomic>
#include <cstring>

#include "jpeg/baseline_mcu.h"
#include "jpeg/row_jobs.h"

namespace {

constexpr int kRowsAhead = 8;           // rows of coefficients kept
constexpr uint32_t kBatchBlocks = 1u << 15;  // blocks an interval batch holds about
constexpr int kMaxIntervals = 8192;     // intervals a batch holds at most
constexpr uint32_t kStoreChunks = 2048;  // the batch's stream
constexpr uint64_t kCallBlocks = 1u << 16;  // work a pipelined call hands out

struct IntervalSplit {
  uint32_t first;      // the batch's first interval
  uint32_t count;      // intervals in it
  uint32_t start[kMaxIntervals];  // stream offset of each interval's data
  uint32_t marker[kMaxIntervals];  // of the restart marker after it (the last one: any marker)
  uint32_t end[kMaxIntervals];     // where its decode ended, once aligned
  // The input layer as the batch found it.
  uint8_t ring[kRingSize + 8];
  uint32_t rawPos, loadedEnd, eofChunk, window;
  int16_t bitOffset;
};

struct Split {
  bool intervals;  // split at restart markers, else pipelined
  BaselineTables tables;
  uint32_t mcuBlocks;          // blocks of an MCU
  int16_t* threadAreas;        // per thread, one MCU's blocks
  int16_t* rowAreas;           // kRowsAhead rows of MCUs' blocks
  uint8_t* store;
  IntervalSplit* batch;
  std::atomic<uint32_t> nextInterval;  // the batch's first interval no thread has taken
  RowJobs jobs;
};

Split gSplit;

uint32_t McuBlocks() {
  const JpegDecoderState& s = gJpegState;
  uint32_t blocks = 0;
  for (int c = 1; c <= s.nf; ++c) blocks += uint32_t(s.compH[c] * s.compV[c]);
  return blocks;
}

uint32_t Intervals() {
  const JpegDecoderState& s = gJpegState;
  const uint32_t interval = uint16_t(s.restartInterval);
  return interval == 0 ? 0 : (s.unitCount + interval - 1) / interval;
}

void AreasOf(int16_t* mcuBlocks, int16_t* areas[3]) {
  const BaselineTables& t = gSplit.tables;
  for (int j = 0; j < 3; ++j) {
    areas[j] = mcuBlocks;
    if (j < t.ns) mcuBlocks += t.blocks[j] * 64;
  }
}

// ---- Split at restart markers.

void SaveInput(IntervalSplit& b) {
  const JpegDecoderState& s = gJpegState;
  std::memcpy(b.ring, s.ring, sizeof b.ring);
  b.rawPos = s.rawPos;
  b.loadedEnd = s.loadedEnd;
  b.eofChunk = s.eofChunk;
  b.window = s.window;
  b.bitOffset = s.bitOffset;
}

// The rest of the picture decodes on the calling thread from the batch's start.
int DecodeOnOneThread() {
  JpegDecoderState& s = gJpegState;
  const IntervalSplit& b = *gSplit.batch;
  std::memcpy(s.ring, b.ring, sizeof s.ring);
  s.rawPos = b.rawPos;
  s.loadedEnd = b.loadedEnd;
  s.eofChunk = b.eofChunk;
  s.window = b.window;
  s.bitOffset = b.bitOffset;
  s.storeOn = 0;
  s.storeFull = 0;
  s.threads = 1;
  return 1;
}

// Finds the intervals of the next batch: from the batch's first one, whole intervals while
// they hold fewer than kBatchBlocks blocks in all; false when not even one can be read.
bool ReadBatch() {
  JpegDecoderState& s = gJpegState;
  IntervalSplit& b = *gSplit.batch;
  const uint32_t interval = uint16_t(s.restartInterval);
  const uint32_t total = Intervals();
  b.first = s.mcuCounter / interval;
  b.count = 0;
  SaveInput(b);
  InputStoreStart(gSplit.store, kStoreChunks);
  // The first interval starts at the window; later batches start at a restart marker.
  uint32_t from;
  if (!StoreWindowStart(from)) return false;
  if (b.first != 0) {
    if (s.window >> 24 != 0xFF || ((s.window >> 16) & 0xFF) < 0xD0 || ((s.window >> 16) & 0xFF) > 0xD7) return false;
    from += 2;
  }
  uint32_t blocks = 0;
  while (b.first + b.count < total && b.count < kMaxIntervals && blocks < kBatchBlocks) {
    uint32_t marker;
    if (!StoreFindMarker(from, true, marker)) break;
    const uint32_t i = b.count;
    b.start[i] = from;
    b.marker[i] = marker;
    ++b.count;
    blocks += interval * gSplit.mcuBlocks;
    if (b.first + b.count == total) break;
    const uint32_t code = s.store[marker + 1 - s.storeFirst * kRingChunk];
    if (code < 0xD0 || code > 0xD7) break;
    from = marker + 2;
  }
  // A batch that does not reach the picture's end ends where its last interval's marker is.
  if (b.count > 0 && b.first + b.count < total) {
    InputJumpTo(b.marker[b.count - 1]);
    if (s.storeFull) return false;
  }
  s.storeOn = 0;
  return b.count > 0;
}

// Decodes, reconstructs and writes intervals [from, to) of the batch.
void DecodeIntervalRange(int16_t* const areas[3], uint32_t from, uint32_t to) {
  const JpegDecoderState& s = gJpegState;
  IntervalSplit& b = *gSplit.batch;
  const uint32_t interval = uint16_t(s.restartInterval);
  const uint32_t mcusPerRow = uint32_t(s.mcusPerRow);
  for (uint32_t i = from; i < to; ++i) {
    BitCursor c = FlatCursorAt(s.store, s.storeFirst * kRingChunk, s.storeEnd * kRingChunk, b.start[i]);
    int16_t dcPred[4] = {0, 0, 0, 0};
    const uint32_t first = (b.first + i) * interval;
    const uint32_t last = first + interval < s.unitCount ? first + interval : s.unitCount;
    for (uint32_t mcu = first; mcu < last; ++mcu) {
      DecodeBaselineMcu<FlatInput>(c, gSplit.tables, areas, dcPred);
      ReconstructBaselineMcu(areas, int(mcu % mcusPerRow), int(mcu / mcusPerRow));
    }
    b.end[i] = FlatAlignedOffset(c);
  }
}

// Takes intervals of the batch a few at a time while any are left.
void DecodeIntervals(void*, int index) {
  const JpegDecoderState& s = gJpegState;
  const uint32_t count = gSplit.batch->count;
  const uint32_t share = (count + 4 * s.threads - 1) / (4 * s.threads);
  int16_t* areas[3];
  AreasOf(gSplit.threadAreas + size_t(index) * gSplit.mcuBlocks * 64, areas);
  for (;;) {
    const uint32_t from = gSplit.nextInterval.fetch_add(share);
    if (from >= count) break;
    DecodeIntervalRange(areas, from, from + share < count ? from + share : count);
  }
}

int IntervalCall() {
  JpegDecoderState& s = gJpegState;
  if (!ReadBatch()) return DecodeOnOneThread();
  IntervalSplit& b = *gSplit.batch;
  gSplit.nextInterval = 0;
  RunOnThreads(s.threads, DecodeIntervals, nullptr);
  const bool last = b.first + b.count == Intervals();
  for (uint32_t i = 0; i < b.count; ++i) {
    // The picture's last interval may end anywhere, but not past what was read.
    const bool ok = last && i + 1 == b.count ? b.end[i] <= s.storeEnd * kRingChunk : b.end[i] == b.marker[i];
    if (!ok) return DecodeOnOneThread();
  }
  if (last) {
    s.mcuCounter = s.unitCount;
    return 0;
  }
  s.mcuCounter = (b.first + b.count) * uint16_t(s.restartInterval);
  return 1;
}

// ---- Pipelined.

int16_t* RowMcu(uint32_t mcu) {
  const JpegDecoderState& s = gJpegState;
  const uint32_t row = mcu / uint32_t(s.mcusPerRow) % kRowsAhead;
  const size_t index = size_t(row) * uint32_t(s.mcusPerRow) + mcu % uint32_t(s.mcusPerRow);
  return gSplit.rowAreas + index * gSplit.mcuBlocks * 64;
}

// Job 0 decodes the coefficients of rows [r0, r1) from the ring, as the calling thread's
// decode does; job 1 reconstructs and writes finished rows.
void RunRowJob(int job, int r0, int r1) {
  JpegDecoderState& s = gJpegState;
  const uint32_t mcusPerRow = uint32_t(s.mcusPerRow);
  const uint32_t first = uint32_t(r0) * mcusPerRow;
  const uint32_t last = uint32_t(r1) * mcusPerRow < s.unitCount ? uint32_t(r1) * mcusPerRow : s.unitCount;
  int16_t* areas[3];
  if (job == 1) {
    for (uint32_t mcu = first; mcu < last; ++mcu) {
      AreasOf(RowMcu(mcu), areas);
      ReconstructBaselineMcu(areas, int(mcu % mcusPerRow), int(mcu / mcusPerRow));
    }
    return;
  }
  const uint32_t interval = uint16_t(s.restartInterval);
  BitCursor c = CursorBegin();
  for (uint32_t mcu = first; mcu < last; ++mcu) {
    if (mcu != 0 && interval != 0 && mcu % interval == 0) {
      CursorRestart<RingInput>(c);
      std::memset(s.dcPred, 0, sizeof s.dcPred);
    }
    AreasOf(RowMcu(mcu), areas);
    DecodeBaselineMcu<RingInput>(c, gSplit.tables, areas, s.dcPred);
  }
  CursorEnd(c);
  s.mcuCounter = last;
}

}  // namespace

uint64_t SplitBaselineBytes() {
  const JpegDecoderState& s = gJpegState;
  const uint64_t mcuBytes = uint64_t(McuBlocks()) * 128;
  const uint64_t rows = uint64_t(kRowsAhead) * uint32_t(s.mcusPerRow) * mcuBytes;
  const uint64_t intervals = sizeof(IntervalSplit) + 64 + uint64_t(kJpegMaxThreads) * mcuBytes +
                             uint64_t(kStoreChunks) * kRingChunk;
  return 64 + (rows > intervals ? rows : intervals);
}

void StartSplitBaseline(uint8_t* rest) {
  JpegDecoderState& s = gJpegState;
  PrepareBaselineTables(gSplit.tables);
  gSplit.mcuBlocks = McuBlocks();
  uint8_t* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(rest) + 63) & ~uintptr_t(63));
  gSplit.intervals = Intervals() >= uint32_t(8 * s.threads);
  if (gSplit.intervals) {
    gSplit.batch = reinterpret_cast<IntervalSplit*>(p);
    p += (sizeof(IntervalSplit) + 63) & ~size_t(63);
    gSplit.threadAreas = reinterpret_cast<int16_t*>(p);
    p += size_t(kJpegMaxThreads) * gSplit.mcuBlocks * 128;
    gSplit.store = p;
    return;
  }
  gSplit.rowAreas = reinterpret_cast<int16_t*>(p);
  RowJobs& jobs = gSplit.jobs;
  jobs.count = 2;
  jobs.run = RunRowJob;
  const int32_t rows = int32_t((s.unitCount + uint32_t(s.mcusPerRow) - 1) / uint32_t(s.mcusPerRow));
  const uint32_t rowBlocks = gSplit.mcuBlocks * uint32_t(s.mcusPerRow);
  jobs.job[0] = RowJob{rows, 2, rowBlocks, 0, 1, kRowsAhead, 0, 0, 0, 0};
  jobs.job[1] = RowJob{rows, 2, rowBlocks, 1, -1, 0, 1, -1, 0, 0};
}

int SplitBaselineCall() {
  JpegDecoderState& s = gJpegState;
  if (gSplit.intervals) return IntervalCall();
  return RunRowJobs(gSplit.jobs, s.threads, kCallBlocks) ? 0 : 1;
}
