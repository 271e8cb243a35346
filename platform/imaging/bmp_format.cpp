#include "platform/imaging/bmp_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace bmp {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr DWORD kCoreHeaderBytes = 12, kInfoHeaderBytes = 40, kMasksInHeaderBytes = 52;

DWORD Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24); }
WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
LONG Signed32(const BYTE* p) { return static_cast<LONG>(Le32(p)); }

bool KnownKind(int bits, DWORD compression) {
  switch (compression) {
    case kRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kRle8: return bits == 8;
    case kRle4: return bits == 4;
    case kBitFields:
    case kAlphaBitFields: return bits == 16 || bits == 32;
    default: return false;
  }
}

}  // namespace

void Channel::Set(DWORD m) {
  mask = m;
  shift = 0;
  bits = 0;
  if (!m) return;
  while (!((m >> shift) & 1)) ++shift;
  while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
}

BYTE Channel::Of(DWORD pixel) const {
  if (!bits) return 0;
  const DWORD v = (pixel & mask) >> shift;
  if (bits >= 8) return static_cast<BYTE>(v >> (bits - 8));
  // A mask with gaps puts bits above the channel's width into v; they are left out.
  const DWORD largest = (1u << bits) - 1;
  return static_cast<BYTE>(((v & largest) * 255 + largest / 2) / largest);
}

Status ReadLayout(const BYTE* p, size_t size, Layout* out) {
  *out = Layout{};
  if (size < 2 || p[0] != 'B' || p[1] != 'M') return Status::NotBmp;
  if (size < kFileHeaderBytes + 4) return Status::Corrupt;
  const DWORD headerSize = Le32(p + kFileHeaderBytes);
  if (headerSize < kCoreHeaderBytes || headerSize > size - kFileHeaderBytes) return Status::Corrupt;
  if (headerSize != kCoreHeaderBytes && headerSize < kInfoHeaderBytes) return Status::Corrupt;
  const BYTE* h = p + kFileHeaderBytes;

  Layout layout;
  long long width, height;
  DWORD coloursUsed = 0;
  size_t paletteEntry = 4;
  if (headerSize == kCoreHeaderBytes) {  // 16-bit sizes, 3-byte palette entries, no compression
    width = Le16(h + 4);
    height = Le16(h + 6);
    layout.bitCount = Le16(h + 10);
    paletteEntry = 3;
  } else {
    width = Signed32(h + 4);
    height = Signed32(h + 8);
    layout.bitCount = Le16(h + 14);
    layout.compression = Le32(h + 16);
    coloursUsed = Le32(h + 32);
    const LONG xPerMetre = Signed32(h + 24), yPerMetre = Signed32(h + 28);
    if (xPerMetre > 0 && yPerMetre > 0) layout.dpiX = xPerMetre * 0.0254, layout.dpiY = yPerMetre * 0.0254;
  }
  if (width <= 0 || height == 0) return Status::Corrupt;
  layout.topDown = height < 0;
  if (height < 0) height = -height;
  if (width > kMaxSide || height > kMaxSide) return Status::TooLarge;
  const int bits = layout.bitCount;
  if (!KnownKind(bits, layout.compression)) return Status::Unsupported;
  layout.width = static_cast<UINT>(width);
  layout.height = static_cast<UINT>(height);
  layout.stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;

  size_t tableAt = kFileHeaderBytes + headerSize;
  if (layout.compression == kBitFields || layout.compression == kAlphaBitFields) {
    // The masks follow a 40-byte header; later headers hold them inside.
    const BYTE* masks = h + kInfoHeaderBytes;
    if (headerSize == kInfoHeaderBytes) {
      const size_t count = layout.compression == kAlphaBitFields ? 16 : 12;
      if (count > size - tableAt) return Status::Corrupt;
      masks = p + tableAt;
      tableAt += count;
    } else if (headerSize < kMasksInHeaderBytes) {
      return Status::Corrupt;
    }
    layout.red.Set(Le32(masks));
    layout.green.Set(Le32(masks + 4));
    layout.blue.Set(Le32(masks + 8));
  } else if (bits == 16) {
    layout.red.Set(0x7C00);
    layout.green.Set(0x03E0);
    layout.blue.Set(0x001F);
  } else if (bits == 32) {
    layout.red.Set(0x00FF0000);
    layout.green.Set(0x0000FF00);
    layout.blue.Set(0x000000FF);
  }
  layout.pixelOffset = Le32(p + 10);
  if (layout.pixelOffset > size || layout.pixelOffset < tableAt) return Status::Corrupt;
  if (layout.HasPalette()) {
    // The palette ends where the pixels start, whatever count the header gives: writers
    // leave out unused entries without saying so.
    size_t count = std::min<size_t>(coloursUsed ? coloursUsed : size_t{1} << bits, 256);
    count = std::min(count, (layout.pixelOffset - tableAt) / paletteEntry);
    for (size_t i = 0; i < count; ++i) {
      const BYTE* entry = p + tableAt + i * paletteEntry;
      layout.palette.insert(layout.palette.end(), entry, entry + 3);
    }
  }
  if (!layout.IsCompressed()) {
    // Every row must be in the file; the last one may lack its padding, as some writers
    // leave it out.
    const size_t rowBytes = (static_cast<size_t>(width) * bits + 7) / 8;
    if (layout.stride * (layout.height - 1) + rowBytes > size - layout.pixelOffset) return Status::Corrupt;
  }
  *out = std::move(layout);
  return Status::Ok;
}

Rows::Rows(const BYTE* file, size_t size, const Layout& layout) : file_(file), size_(size), layout_(layout) {}

bool Rows::Expand() {
  if (!layout_.IsCompressed() || !expanded_.empty()) return true;
  const size_t total = static_cast<size_t>(layout_.width) * layout_.height;
  try {
    expanded_.assign(total, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ExpandRunLengths();
  return true;
}

// The codes, two bytes each: a count n > 0 and an index repeat that index n times (RLE4:
// two indices, high nibble first, taking turns); a count of 0 is an escape, and the byte
// after it says: 0 end of line, 1 end of picture, 2 a move of the next two bytes right and
// up, else that many indices stored as they are, padded to a whole 16-bit word.
void Rows::ExpandRunLengths() {
  const bool nibbles = layout_.compression == kRle4;
  const UINT width = layout_.width, height = layout_.height;
  std::uint64_t x = 0, row = 0;  // row in file order (bottom-up unless top-down); moves only add
  size_t at = layout_.pixelOffset;
  BYTE* line = nullptr;
  auto startRow = [&] {
    line = row < height ? expanded_.data() + (layout_.topDown ? row : height - 1 - row) * width : nullptr;
  };
  startRow();
  while (line && size_ - at >= 2) {
    const BYTE count = file_[at], value = file_[at + 1];
    at += 2;
    if (count > 0) {
      for (UINT i = 0; i < count && x < width; ++i, ++x)
        line[x] = nibbles ? (i % 2 ? value & 15 : value >> 4) : value;
    } else if (value == 0) {
      x = 0, ++row;
      startRow();
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (size_ - at < 2) break;
      x += file_[at];
      row += file_[at + 1];
      at += 2;
      startRow();
    } else {
      const size_t bytes = nibbles ? (value + 1u) / 2 : value;
      const size_t present = std::min(bytes, size_ - at);
      for (UINT i = 0; i < value && x < width; ++i, ++x) {
        const size_t byte = nibbles ? i / 2 : i;
        if (byte >= present) break;
        line[x] = nibbles ? (i % 2 ? file_[at + byte] & 15 : file_[at + byte] >> 4) : file_[at + byte];
      }
      if (present < bytes) break;
      at += bytes;
      if (bytes % 2 && at < size_) ++at;
    }
  }
}

const BYTE* Rows::FileRow(UINT y) const {
  const UINT fileRow = layout_.topDown ? y : layout_.height - 1 - y;
  return file_ + layout_.pixelOffset + layout_.stride * fileRow;
}

void Rows::Indices(UINT y, BYTE* out) {
  const UINT w = layout_.width;
  if (layout_.IsCompressed()) {
    if (Expand()) std::memcpy(out, expanded_.data() + static_cast<size_t>(y) * w, w);
    else std::memset(out, 0, w);
    return;
  }
  const BYTE* in = FileRow(y);
  switch (layout_.bitCount) {
    case 1:
      for (UINT x = 0; x < w; ++x) out[x] = (in[x / 8] >> (7 - x % 8)) & 1;
      break;
    case 4:
      for (UINT x = 0; x < w; ++x) out[x] = (in[x / 2] >> (x % 2 ? 0 : 4)) & 15;
      break;
    default: std::memcpy(out, in, w); break;
  }
}

void Rows::Bgr(UINT y, BYTE* out) {
  const UINT w = layout_.width;
  if (layout_.HasPalette()) {
    indices_.resize(w);
    Indices(y, indices_.data());
    const size_t colours = layout_.palette.size() / 3;
    for (UINT x = 0; x < w; ++x) {
      const size_t index = indices_[x];
      if (index < colours) std::memcpy(out + 3 * x, &layout_.palette[3 * index], 3);
      else out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = 0;
    }
    return;
  }
  const BYTE* in = FileRow(y);
  if (layout_.bitCount == 24) {
    std::memcpy(out, in, static_cast<size_t>(w) * 3);
    return;
  }
  for (UINT x = 0; x < w; ++x) {
    const DWORD pixel = layout_.bitCount == 16 ? Le16(in + 2 * x) : Le32(in + 4 * x);
    out[3 * x] = layout_.blue.Of(pixel);
    out[3 * x + 1] = layout_.green.Of(pixel);
    out[3 * x + 2] = layout_.red.Of(pixel);
  }
}

}  // namespace bmp
