// The decoder's one static state record and the operations its parts offer each other.
#pragma once

#include <cstdint>

#include "jpeg/jpeg_decoder.h"

// One entry of a two-level Huffman lookup table. A symbol entry holds the symbol and the
// bits its code takes at this level; a link entry holds the first index of its subtable and
// minus the subtable's index bits; an empty entry is (-1, 0).
struct HuffEntry {
  int16_t value;
  int16_t length;
};

struct HuffTable {
  uint32_t rootBits;   // always 8
  HuffEntry* entries;  // into the arena
  int32_t used;
  int32_t capacity;
};

constexpr int kRingChunk = 1024;      // bytes per read call
constexpr int kRingSize = 4 * kRingChunk;
constexpr int kArenaBytes = 30000;
constexpr int kArenaEntries = kArenaBytes / 4;
constexpr int kMaxBlockCols = 32768 / 8 + 8;  // block columns (rows) of the largest MCU grid
constexpr uint32_t kNoChunk = 0xFFFFFFFFu;
// Index bits of the one-lookup tables that decode a short code and its magnitude bits.
constexpr int kFastBits = 10;
// A one-lookup entry: 0 when the next bits need the full decode; otherwise bits 0-7 the
// bits taken (code and magnitude), bits 8-15 the zero run (kFastEnd for end of block),
// bits 16-31 the extended value.
constexpr int kFastEnd = 64;  // a run that carries any position past the last

struct JpegDecoderState {
  // Input. The stream is read in 1024-byte chunks into a ring of four; the chunk after the
  // one being read is always loaded, and the two before it are kept so that a look-ahead
  // of a few bytes can be given back.
  void* stream;
  ReadFunc readFunc;
  alignas(8) uint8_t ring[kRingSize + 8];
  uint32_t rawPos;     // stream offset of the next byte to fetch
  uint32_t loadedEnd;  // stream offset up to which the ring holds the stream
  uint32_t eofChunk;   // first chunk whose read came back short, or kNoChunk
  uint32_t stuffing;   // 1 once the first scan header was read: FF 00 reads as FF
  uint32_t window;     // next bits at bit 31 - bitOffset
  int16_t bitOffset;
  // The chunk store of a split decode (in the work buffer): a copy of every chunk loaded
  // since it was started, chunks storeFirst to storeEnd - 1. A chunk the store holds is
  // loaded again from it instead of from the stream.
  uint8_t* store;
  uint32_t storeCapacity;  // in chunks
  uint32_t storeFirst;
  uint32_t storeEnd;
  uint32_t storeEof;  // eofChunk as the store saw it
  uint8_t storeOn;    // chunks read from the stream are copied in
  uint8_t storeFull;  // a chunk was wanted with no room left (and was not read)

  // Frame.
  int16_t frameMarker;
  int16_t precision;
  int16_t imageHeight;
  int16_t imageWidth;
  int16_t nf;
  int16_t compId[4];  // indexed 1..3
  int16_t compH[4];
  int16_t compV[4];
  int16_t compTq[4];
  int16_t compPos[4];
  int16_t hmax;
  int16_t vmax;
  int16_t mcusPerRow;
  int16_t mcuRows;
  int32_t mcuCount;
  uint8_t app0Seen;
  uint8_t ready;  // set by a successful TCCXXX_JPEGDEC_Init2
  uint8_t threads;  // threads this picture may use (1: the calling thread alone)

  // Current scan.
  int16_t ns;
  int16_t scanComp[4];  // frame component index 1..3 per scan position
  int16_t scanTd[4];
  int16_t scanTa[4];
  int16_t ss, se, ah, al;
  int16_t unitsPerRow;
  int16_t unitRows;
  uint32_t unitCount;

  // Tables.
  int16_t quant[4][64];  // natural order, scaled for the AAN IDCT, two fraction bits
  HuffTable huff[8];     // 0..3 DC, 4..7 AC
  int16_t restartInterval;
  int16_t restartCountdown;
  HuffEntry arena[kArenaEntries];
  uint32_t arenaStart;  // byte offset of the most recent table's storage
  uint32_t arenaSize;   // its size in bytes
  uint8_t quantDefined[4];  // defined by this stream
  uint8_t huffDefined[8];
  int32_t fast[8][1 << kFastBits];  // one-lookup tables per slot, built with the slot

  // Progress.
  int16_t dcPred[4];
  int16_t eobRun;
  uint32_t mcuCounter;
  uint8_t started;
  uint8_t outputPhase;
  int16_t level;
  uint8_t compTouched[4];  // progressive, per frame component: a decoded scan has written to it
  int16_t* area[4];  // baseline: per scan position 0..2; progressive: per frame component 1..3
  int16_t* current[4];
  uint32_t blocksPerMcu[4];
  uint32_t stride[4];  // in int16 units
  PutPixelFunc putPixel;
  void* surface;

  // Output mapping.
  int16_t targetWidth;
  int16_t targetHeight;
  int32_t ratio;
  uint32_t invRatio;
  int16_t outWidth;
  int16_t outHeight;
  int16_t offX;
  int16_t offY;
  int32_t* blockTable;  // lcd_resize_buf, first half
  int32_t* coordTable;  // second half
  uint8_t rangeLimit[1024];
  uint32_t colorFormat;
  // For each source block column (row), the target columns (rows) [start, end) it covers.
  int16_t colStart[kMaxBlockCols];
  int16_t colEnd[kMaxBlockCols];
  int16_t rowStart[kMaxBlockCols];
  int16_t rowEnd[kMaxBlockCols];
  uint8_t rowMask[kMaxBlockCols];  // per luma block row: the rows within it that are sampled
};

extern JpegDecoderState gJpegState;

// Input layer (input.cpp).
void InputReset();
void InputLoadChunk();
// Starts keeping every loaded chunk in `store` (the ring's chunks first); stops it.
void InputStoreStart(uint8_t* store, uint32_t capacityChunks);
void InputStoreStop();
// The first marker at or after stream offset `from` (0xFF and a code: with anyCode any code
// but a stuffed 0x00, else one that ends entropy-coded data, IsMarkerCode), reading the
// stream on into the store; false when the stream or the store's room ends first.
bool StoreFindMarker(uint32_t from, bool anyCode, uint32_t& marker);
// The stream offset of the window's first byte, when the window starts at a byte boundary
// and a cursor over the store reads the same window from there.
bool StoreWindowStart(uint32_t& offset);
uint32_t FetchByte();
uint32_t FetchRawByte();
uint32_t PeekByte();
uint32_t PeekBits(int n);
void SkipBits(int n);
uint32_t GetBits(int n);
void SkipRawBits(int n);
void AlignBits();
bool InputPastEnd();
// Moves to the next marker that is not a restart marker, from the current byte boundary.
void SkipToNextMarker();
// The stream offset of the window's first byte, once aligned to a byte boundary.
uint32_t WindowStartOffset();
// Reads on from stream offset `offset` at a byte boundary (its chunk is in the ring).
void InputJumpTo(uint32_t offset);
// Whether 0xFF followed by `code` starts a marker that ends entropy-coded data: not a
// stuffed 0x00, a fill byte or a restart marker.
inline bool IsMarkerCode(uint32_t code) { return code != 0x00 && code != 0xFF && (code < 0xD0 || code > 0xD7); }

// Headers (markers.cpp). Parses up to and including the next SOS: 1 on success with a new
// scan, 2 when EOI ended the parse, 0 on failure.
int ParseMarkersToScan();

// Huffman tables (huffman.cpp).
void HuffReset();
int HuffBuild(int slot, const uint8_t counts[17], const uint8_t* values, int symbolLimit);
// Builds slot 0, 1, 4 or 5 from the standard tables of T.81 Annex K (DC or AC, luminance
// for table 0, chrominance for table 1); 0 on success or -1.
int HuffBuildStandard(int slot);
// Their code-length counts (index 1 to 16) and values, slot as above.
struct StandardHuffTable {
  uint8_t counts[17];
  const uint8_t* values;
  int symbols;
};
const StandardHuffTable& StandardTable(int slot);

// Reconstruction (idct.cpp).
void BuildRangeLimit();
// The full inverse DCT; IdctFullPlain is the plain form that IdctFull must equal on the
// rows in rowMask.
void IdctFull(int16_t* block, uint32_t rowMask);
void IdctFullPlain(int16_t* block, uint32_t rowMask);
// The low-frequency inverse DCT, and the plain form it must equal on columns 0 to 2 and on
// the rows in rowMask.
void IdctLow(int16_t* block, uint32_t rowMask);
void IdctLowPlain(int16_t* block, uint32_t rowMask);

// Output (output.cpp).
void SetupOutputMapping();
// Which rows (bit r for row r) of block row `by` within the MCU of frame component `comp`
// are sampled by the output; 0 when none.
uint32_t BlockRowMask(int comp, int by, int mcuRow);
void OutputMcuFull(int16_t* const areas[3], int mcuCol, int mcuRow);
void OutputMcuDc(int16_t* const areas[3], int mcuCol, int mcuRow);

// Entropy decoding (entropy_baseline.cpp, entropy_progressive.cpp).
int DecodeBaselineBatch();

// The decode step (decode.cpp). Whether the current progressive scan carries only
// coefficients the reduction level never reads; the reconstruction and pixels of MCU `mcu`,
// whose blocks of frame component c start at blocks[c].
bool ScanUnused();
void ReconstructAndOutputMcu(int16_t* const blocks[4], uint32_t mcu);

// Pictures split between threads (split_baseline.cpp, split_progressive.cpp): the work
// buffer each needs beyond the picture's own (0 when it cannot be split); the first decode
// call's set-up, given the work buffer past the core's own part; the decode calls.
// StartSplitProgressive reads the scans; when they cannot be split, the picture goes on
// decoding on the calling thread (threads is then 1). Pictures smaller than
// gJpegSplitMinBlocks blocks stay on the calling thread.
extern uint32_t gJpegSplitMinBlocks;
uint64_t SplitBaselineBytes();
uint64_t SplitProgressiveBytes(uint64_t coefficientBytes);
void StartSplitBaseline(uint8_t* rest);
void StartSplitProgressive(uint8_t* rest);
int SplitBaselineCall();
int SplitProgressiveCall();

// Threads (threads.cpp): starts the pool's threads (once; it allocates), and runs
// work(arg, i) on up to `count` threads at once, i = 0 on the calling thread, returning when
// all that began have returned. Threads that have not begun by the time the calling thread
// has returned do not begin: the work must be one any of them can finish alone.
void StartThreads(int count);
void RunOnThreads(int count, void (*work)(void*, int), void* arg);

// The standard zigzag order: natural index of zigzag position k (with 16 guard entries).
extern const uint8_t kZigzag[64 + 16];
