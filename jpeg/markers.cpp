// Marker segments up to the first scan (frame, tables, restart interval, scan headers) and
// the entry operation TCCXXX_JPEGDEC_Init2.
#include <cstring>

#include "jpeg/jpeg_state.h"

JpegDecoderState gJpegState;

const uint8_t kZigzag[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63,
    // Guard entries: corrupt runs that step past position 63 land on the last coefficient.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

namespace {

// AAN scale factors, natural order, 14 fraction bits: 16384 * a(row) * a(col).
const uint16_t kAanScale[64] = {
    16384, 22725, 21407, 19266, 16384, 12873, 8867,  4520,  22725, 31521, 29692, 26722, 22725,
    17855, 12299, 6270,  21407, 29692, 27969, 25172, 21407, 16819, 11585, 5906,  19266, 26722,
    25172, 22654, 19266, 15137, 10426, 5315,  16384, 22725, 21407, 19266, 16384, 12873, 8867,
    4520,  12873, 17855, 16819, 15137, 12873, 10114, 6967,  3552,  8867,  12299, 11585, 10426,
    8867,  6967,  4799,  2446,  4520,  6270,  5906,  5315,  4520,  3552,  2446,  1247};

// Largest number of tables one DQT segment may hold before it is taken as runaway data.
constexpr int kMaxTablesPerDqt = 64;

bool SkipSegment() {
  uint32_t length = GetBits(16);
  if (length < 2) return false;
  // A length that runs past the end of the file ends the parse instead of skipping padding.
  for (uint32_t i = 0; i < length - 2; ++i) {
    if (InputPastEnd()) return false;
    SkipRawBits(8);
  }
  return true;
}

bool ParseDri() {
  JpegDecoderState& s = gJpegState;
  GetBits(16);
  s.restartInterval = int16_t(GetBits(16));
  s.restartCountdown = s.restartInterval;
  return true;
}

bool ParseDqt() {
  JpegDecoderState& s = gJpegState;
  GetBits(16);
  for (int tables = 0; PeekBits(8) != 0xFF; ++tables) {
    if (tables == kMaxTablesPerDqt || InputPastEnd()) return false;
    uint32_t pqtq = GetBits(8);
    uint32_t pq = pqtq >> 4, tq = pqtq & 15;
    if (tq > 3) return false;
    int16_t* q = s.quant[tq];
    for (int k = 0; k < 64; ++k) {
      int64_t value = GetBits(pq == 0 ? 8 : 16);
      int z = kZigzag[k];
      int16_t entry = int16_t(uint32_t((value * kAanScale[z]) >> 12));
      if (entry == 0) entry = k == 0 ? int16_t((kAanScale[0] * 16) >> 12) : q[kZigzag[k - 1]];
      q[z] = entry;
    }
    s.quantDefined[tq] = 1;
  }
  return true;
}

bool ParseDht() {
  JpegDecoderState& s = gJpegState;
  int32_t length = int32_t(GetBits(16));
  if (length < 2) return false;
  int32_t r = length - 2;
  while (r >= 1) {
    if (r < 17) return false;
    uint32_t tc = GetBits(4), th = GetBits(4);
    if (tc > 1 || th > 3) return false;
    uint8_t counts[17] = {0};
    int32_t n = 0;
    for (int l = 1; l <= 16; ++l) {
      counts[l] = uint8_t(GetBits(8));
      n += counts[l];
    }
    if (n > r - 17 || n > 256) return false;
    uint8_t values[256];
    int largest = 0;
    for (int i = 0; i < n; ++i) {
      values[i] = uint8_t(GetBits(8));
      if (values[i] > largest) largest = values[i];
    }
    r -= 17 + n;
    int slot = int(tc * 4 + th);
    if (HuffBuild(slot, counts, values, largest + 1) != 0) return false;
    s.huffDefined[slot] = 1;
  }
  return true;
}

bool ParseFrame() {
  JpegDecoderState& s = gJpegState;
  GetBits(16);
  s.precision = int16_t(GetBits(8));
  uint32_t height = GetBits(16), width = GetBits(16);
  uint32_t nf = GetBits(8);
  if (nf != 1 && nf != 3) return false;
  if (s.precision != 8) return false;  // 12-bit samples are not decoded
  // Sizes must fit the 16-bit fields; a height of 0 (defined later by DNL) is not handled.
  if (height == 0 || width == 0 || height >= 32768 || width >= 32768) return false;
  s.imageHeight = int16_t(height);
  s.imageWidth = int16_t(width);
  s.nf = int16_t(nf);
  s.hmax = 1;
  s.vmax = 1;
  for (uint32_t i = 0; i < nf; ++i) {
    int c = int(i + 1);
    s.compId[c] = int16_t(GetBits(8));
    uint32_t hv = GetBits(8);
    s.compH[c] = int16_t(hv >> 4);
    s.compV[c] = int16_t(hv & 15);
    s.compTq[c] = int16_t(GetBits(8));
    s.compPos[c] = int16_t(i);
    if (s.compH[c] < 1 || s.compV[c] < 1 || s.compH[c] * s.compV[c] > 4) return false;
    if (s.compTq[c] > 3) return false;
    if (s.compH[c] > s.hmax) s.hmax = s.compH[c];
    if (s.compV[c] > s.vmax) s.vmax = s.compV[c];
  }
  // In a scan of one component each unit is one block, whatever the factors: a grey
  // picture is laid out as if they were 1 x 1.
  if (nf == 1) s.compH[1] = s.compV[1] = s.hmax = s.vmax = 1;
  // Chroma is sampled at the luma resolution, or at a half or a quarter of it, in each direction.
  auto divides = [](int luma, int chroma) { return luma == chroma || luma == 2 * chroma || luma == 4 * chroma; };
  for (int c = 2; c <= int(nf); ++c) {
    if (!divides(s.compH[1], s.compH[c]) || !divides(s.compV[1], s.compV[c])) return false;
  }
  s.mcusPerRow = int16_t(((int(width) - 1) / s.hmax) / 8 + 1);
  s.mcuRows = int16_t(((int(height) - 1) / s.vmax) / 8 + 1);
  s.mcuCount = int32_t(s.mcusPerRow) * s.mcuRows;
  return true;
}

void ComputeScanGeometry() {
  JpegDecoderState& s = gJpegState;
  if (s.ns == 1) {
    int c = s.scanComp[0];
    s.unitsPerRow = int16_t(((s.compH[c] * s.imageWidth - 1) / s.hmax) / 8 + 1);
    s.unitRows = int16_t(((s.compV[c] * s.imageHeight - 1) / s.vmax) / 8 + 1);
  } else {
    s.unitsPerRow = s.mcusPerRow;
    s.unitRows = s.mcuRows;
  }
  s.unitCount = uint32_t(s.unitRows) * uint32_t(s.unitsPerRow);
}

// Whether a Huffman table is there for a scan: defined by this stream, or, for tables 0
// and 1, the standard table that motion-JPEG frames leave out.
bool TableAtHand(int slot) {
  JpegDecoderState& s = gJpegState;
  if (!s.huffDefined[slot] && slot % 4 <= 1 && HuffBuildStandard(slot) == 0) s.huffDefined[slot] = 1;
  return s.huffDefined[slot];
}

// What this decoder can decode: a baseline scan of every component in frame order; progressive
// DC scans of one component or of all in frame order, AC scans of one component.
bool ScanSupported() {
  const JpegDecoderState& s = gJpegState;
  for (int j = 0; j < s.ns; ++j) {
    if (s.scanComp[j] == 0 || s.scanTd[j] > 3 || s.scanTa[j] > 3) return false;
  }
  for (int c = 1; c <= s.nf; ++c) {
    if (!s.quantDefined[s.compTq[c]]) return false;
  }
  bool inFrameOrder = s.ns == s.nf;
  for (int j = 0; inFrameOrder && j < s.ns; ++j) inFrameOrder = s.scanComp[j] == j + 1;
  if (s.frameMarker == 0xC0) {
    if (!inFrameOrder) return false;
    for (int j = 0; j < s.ns; ++j) {
      if (!TableAtHand(s.scanTd[j]) || !TableAtHand(4 + s.scanTa[j])) return false;
    }
    return true;
  }
  if (s.frameMarker != 0xC2) return true;  // refused by the caller
  if (s.ah > 13 || s.al > 13 || s.se > 63 || s.ss > s.se) return false;
  if (s.ss == 0) {
    if (!inFrameOrder && s.ns != 1) return false;
    for (int j = 0; j < s.ns && s.ah == 0; ++j) {
      if (!TableAtHand(s.scanTd[j])) return false;
    }
    return true;
  }
  return s.ns == 1 && TableAtHand(4 + s.scanTa[0]);
}

// 1 on success, 0 when the scan is not supported.
int ParseScan() {
  JpegDecoderState& s = gJpegState;
  GetBits(16);
  uint32_t ns = GetBits(8);
  if (ns != 1 && ns != 3) return 0;
  s.ns = int16_t(ns);
  s.stuffing = 1;
  for (uint32_t j = 0; j < ns; ++j) {
    uint32_t selector = GetBits(8);
    s.scanComp[j] = 0;
    for (int c = 1; c <= s.nf; ++c) {
      if (uint32_t(s.compId[c]) == selector) {
        s.scanComp[j] = int16_t(c);
        break;
      }
    }
    uint32_t t = GetBits(8);
    s.scanTd[j] = int16_t(t >> 4);
    s.scanTa[j] = int16_t(t & 15);
  }
  s.ss = int16_t(GetBits(8));
  s.se = int16_t(GetBits(8));
  uint32_t a = GetBits(8);
  s.ah = int16_t(a >> 4);
  s.al = int16_t(a & 15);
  if (!ScanSupported()) return 0;
  ComputeScanGeometry();
  return 1;
}

bool ParseMarkersToFrame() {
  JpegDecoderState& s = gJpegState;
  for (int i = 0; i < 50; ++i) {
    if (GetBits(8) != 0xFF) return false;
    uint32_t c = GetBits(8);
    if ((c >= 0xC0 && c <= 0xC3) || (c >= 0xC5 && c <= 0xC7)) {
      s.frameMarker = int16_t(c);
      return ParseFrame();
    }
    if (c >= 0xE0 && c <= 0xEF) {
      if (c == 0xE0) s.app0Seen = 1;
      if (!SkipSegment()) return false;
    } else if (c >= 0xF0 && c <= 0xFE) {
      if (!SkipSegment()) return false;
    } else if (c == 0xC4) {
      if (!ParseDht()) return false;
    } else if (c == 0xDB) {
      if (!ParseDqt()) return false;
    } else if (c == 0xDD) {
      ParseDri();
    }
  }
  return false;
}

}  // namespace

int ParseMarkersToScan() {
  for (int step = 0; step < 1000 && !InputPastEnd(); ++step) {
    if (GetBits(8) != 0xFF) continue;
    uint32_t c = GetBits(8);
    if (c == 0xDA) return ParseScan();
    if (c == 0xD9) {
      ComputeScanGeometry();
      return 2;
    }
    if ((c >= 0xE0 && c <= 0xEF) || (c >= 0xF0 && c <= 0xFE)) {
      if (!SkipSegment()) return 0;
    } else if (c == 0xC4) {
      if (!ParseDht()) return 0;
    } else if (c == 0xDB) {
      if (!ParseDqt()) return 0;
    } else if (c == 0xDD) {
      ParseDri();
    }
  }
  return 0;
}

int TCCXXX_JPEGDEC_Init2(void* stream, int targetWidth, int targetHeight, int32_t* lcd_resize_buf,
                         JpegDecInfo* info, ReadFunc readFunc) {
  JpegDecoderState& s = gJpegState;
  if (readFunc == nullptr || lcd_resize_buf == nullptr || info == nullptr) return -1;
  if (targetWidth < 1 || targetHeight < 1 || targetWidth > 32767 || targetHeight > 32767) return -1;
  s.stream = stream;
  s.readFunc = readFunc;

  // Reset: everything but the quantisation tables, which a later stream may reuse.
  s.targetWidth = int16_t(targetWidth);
  s.targetHeight = int16_t(targetHeight);
  s.stuffing = 0;
  s.frameMarker = s.precision = s.imageHeight = s.imageWidth = s.nf = 0;
  std::memset(s.compId, 0, sizeof s.compId);
  std::memset(s.compH, 0, sizeof s.compH);
  std::memset(s.compV, 0, sizeof s.compV);
  std::memset(s.compTq, 0, sizeof s.compTq);
  std::memset(s.compPos, 0, sizeof s.compPos);
  s.hmax = s.vmax = s.mcusPerRow = s.mcuRows = 0;
  s.mcuCount = 0;
  s.app0Seen = 0;
  s.ready = 0;
  s.threads = 1;
  s.ns = 0;
  std::memset(s.scanComp, 0, sizeof s.scanComp);
  std::memset(s.scanTd, 0, sizeof s.scanTd);
  std::memset(s.scanTa, 0, sizeof s.scanTa);
  s.ss = s.se = s.ah = s.al = 0;
  s.unitsPerRow = s.unitRows = 0;
  s.unitCount = 0;
  s.restartInterval = s.restartCountdown = 0;
  std::memset(s.quantDefined, 0, sizeof s.quantDefined);
  std::memset(s.huffDefined, 0, sizeof s.huffDefined);
  std::memset(s.dcPred, 0, sizeof s.dcPred);
  s.eobRun = 0;
  std::memset(s.compTouched, 0, sizeof s.compTouched);
  s.mcuCounter = 0;
  s.started = s.outputPhase = 0;
  s.level = 0;
  s.ratio = 0;
  s.invRatio = 0;
  s.outWidth = s.outHeight = s.offX = s.offY = 0;
  s.putPixel = nullptr;
  s.surface = nullptr;
  HuffReset();
  std::memset(s.rangeLimit, 0, sizeof s.rangeLimit);
  InputReset();

  int longer = targetWidth > targetHeight ? targetWidth : targetHeight;
  s.blockTable = lcd_resize_buf;
  s.coordTable = lcd_resize_buf + longer;
  BuildRangeLimit();

  if (GetBits(8) != 0xFF || GetBits(8) != 0xD8) return -1;
  if (!ParseMarkersToFrame()) return -1;
  if (s.frameMarker != 0xC0 && s.frameMarker != 0xC2) return -1;
  if (ParseMarkersToScan() != 1) return -1;  // EOI before any scan is refused too

  uint64_t blocksPerMcu = 0;
  for (int c = 1; c <= s.nf; ++c) blocksPerMcu += uint64_t(s.compH[c]) * uint64_t(s.compV[c]);
  const uint64_t blocks = blocksPerMcu * uint64_t(s.mcuRows) * uint64_t(s.mcusPerRow);
  uint64_t calcBufSize = 1540;
  if (s.frameMarker == 0xC2) {
    calcBufSize = blocks * 128 + 4;
    if (calcBufSize > kJpegMaxCalcBufSize) return -1;
  }
  // A large picture is split between threads, which takes more of the work buffer.
  const int threads = JpegThreads();
  if (threads > 1 && blocks >= gJpegSplitMinBlocks) {
    const uint64_t more = s.frameMarker == 0xC2 ? SplitProgressiveBytes(blocks * 128) : SplitBaselineBytes();
    if (calcBufSize + more <= kJpegMaxCalcBufSize) {
      calcBufSize += more;
      s.threads = uint8_t(threads);
      StartThreads(threads);
    }
  }

  SetupOutputMapping();

  uint32_t colorFormat = 2;
  if (s.compId[1] == 0 || s.compId[1] == 1) colorFormat = 0;
  if (s.compId[1] == 0x52) colorFormat = 1;
  if (s.app0Seen) colorFormat = 0;
  s.colorFormat = colorFormat;

  info->ColorFormat = colorFormat;
  for (int c = 1; c <= 3; ++c) {
    info->Sampling[2 * (c - 1)] = uint8_t(s.compH[c]);
    info->Sampling[2 * (c - 1) + 1] = uint8_t(s.compV[c]);
  }
  info->CalcBufSize = uint32_t(calcBufSize);
  info->ImageWidth = s.imageWidth;
  info->ImageHeight = s.imageHeight;
  s.ready = 1;
  return 0;
}
