// BMP pictures: 1, 4 and 8 bits with a palette, 16 bits (5-5-5 or bit fields), 24 bits
// and 32 bits (plain or bit fields), rows bottom-up or top-down. Compressed (RLE) files
// are not read.
#include <cstring>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

constexpr DWORD kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
constexpr long long kMaxRowPixels = 1000000;

DWORD Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24); }
WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// A channel of a bit-field pixel: where it sits and how wide it is, scaled to 8 bits.
struct Channel {
  DWORD mask = 0;
  int shift = 0;
  int bits = 0;
  void Set(DWORD m) {
    mask = m;
    shift = 0;
    bits = 0;
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
  }
  BYTE Of(DWORD pixel) const {
    if (!bits) return 0;
    DWORD v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<BYTE>(v >> (bits - 8));
    // Narrower channels are stretched so that their largest value becomes 255.
    const DWORD largest = (1u << bits) - 1;
    return static_cast<BYTE>((v * 255 + largest / 2) / largest);
  }
};

struct Layout {
  UINT width = 0, height = 0;
  bool topDown = false;
  int bitCount = 0;
  size_t pixelOffset = 0;
  size_t stride = 0;
  std::vector<BYTE> palette;  // blue, green, red triples
  Channel red, green, blue;
};

class BmpJob final : public DecodeJob {
 public:
  BmpJob(std::shared_ptr<const PictureBytes> bytes, const Layout& layout)
      : bytes_(std::move(bytes)), layout_(layout), row_(static_cast<size_t>(layout.width) * 3 + 4) {}

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    if (!begun_) {
      begun_ = true;
      if (HRESULT hr = target.Begin(layout_.width, layout_.height); FAILED(hr)) return hr;
    }
    for (UINT n = 0; n < maxRows && y_ < layout_.height; ++n, ++y_) {
      UINT fileRow = layout_.topDown ? y_ : layout_.height - 1 - y_;
      Convert(bytes_->data() + layout_.pixelOffset + layout_.stride * fileRow);
      if (HRESULT hr = target.Row(y_, row_.data()); FAILED(hr)) return hr;
    }
    return y_ < layout_.height ? E_PENDING : S_OK;
  }

 private:
  void Convert(const BYTE* in) {
    BYTE* out = row_.data();
    const UINT w = layout_.width;
    const size_t colours = layout_.palette.size() / 3;
    auto fromPalette = [&](UINT x, size_t index) {
      if (index < colours) std::memcpy(out + 3 * x, &layout_.palette[3 * index], 3);
      else out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = 0;
    };
    switch (layout_.bitCount) {
      case 1:
        for (UINT x = 0; x < w; ++x) fromPalette(x, (in[x / 8] >> (7 - x % 8)) & 1);
        break;
      case 4:
        for (UINT x = 0; x < w; ++x) fromPalette(x, (in[x / 2] >> (x % 2 ? 0 : 4)) & 15);
        break;
      case 8:
        for (UINT x = 0; x < w; ++x) fromPalette(x, in[x]);
        break;
      case 24: std::memcpy(out, in, static_cast<size_t>(w) * 3); break;
      default:
        for (UINT x = 0; x < w; ++x) {
          DWORD pixel = layout_.bitCount == 16 ? Le16(in + 2 * x) : Le32(in + 4 * x);
          out[3 * x] = layout_.blue.Of(pixel);
          out[3 * x + 1] = layout_.green.Of(pixel);
          out[3 * x + 2] = layout_.red.Of(pixel);
        }
        break;
    }
  }

  std::shared_ptr<const PictureBytes> bytes_;
  const Layout layout_;
  std::vector<BYTE> row_;
  UINT y_ = 0;
  bool begun_ = false;
};

class BmpReader final : public PictureReader {
 public:
  explicit BmpReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  HRESULT ReadHeader() {
    const BYTE* p = bytes_->data();
    const size_t size = bytes_->size();
    if (size < 14 + 12) return IMGERR_CORRUPT;
    const DWORD headerSize = Le32(p + 14);
    if (headerSize < 12 || 14 + static_cast<size_t>(headerSize) > size) return IMGERR_CORRUPT;
    const BYTE* h = p + 14;
    long long width, height;
    DWORD compression = kRgb, coloursUsed = 0;
    size_t paletteEntry = 4;
    if (headerSize == 12) {  // the old OS/2 header: 16-bit sizes, 3-byte palette entries
      width = Le16(h + 4);
      height = static_cast<std::int16_t>(Le16(h + 6));
      layout_.bitCount = Le16(h + 10);
      paletteEntry = 3;
    } else {
      if (headerSize < 40) return IMGERR_CORRUPT;
      width = static_cast<std::int32_t>(Le32(h + 4));
      height = static_cast<std::int32_t>(Le32(h + 8));
      layout_.bitCount = Le16(h + 14);
      compression = Le32(h + 16);
      coloursUsed = Le32(h + 32);
    }
    if (width <= 0 || height == 0) return IMGERR_CORRUPT;
    // Even a row-by-row decode needs a row of this width.
    if (width > kMaxRowPixels || height > kMaxRowPixels || -height > kMaxRowPixels) return IMGERR_TOOLARGE;
    layout_.topDown = height < 0;
    if (height < 0) height = -height;
    const int bits = layout_.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return IMGERR_UNKNOWNFORMAT;
    if (compression != kRgb && !((compression == kBitFields || compression == kAlphaBitFields) && bits >= 16))
      return IMGERR_UNKNOWNFORMAT;
    layout_.width = static_cast<UINT>(width);
    layout_.height = static_cast<UINT>(height);
    layout_.stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;

    size_t tableAt = 14 + headerSize;
    if (compression == kBitFields || compression == kAlphaBitFields) {
      // Masks follow a 40-byte header; later headers hold them inside.
      const BYTE* masks = h + 40;
      if (headerSize == 40) {
        size_t count = compression == kAlphaBitFields ? 16 : 12;
        if (tableAt + count > size) return IMGERR_CORRUPT;
        masks = p + tableAt;
        tableAt += count;
      } else if (headerSize < 52) {
        return IMGERR_CORRUPT;
      }
      layout_.red.Set(Le32(masks));
      layout_.green.Set(Le32(masks + 4));
      layout_.blue.Set(Le32(masks + 8));
    } else if (bits == 16) {
      layout_.red.Set(0x7C00);
      layout_.green.Set(0x03E0);
      layout_.blue.Set(0x001F);
    } else if (bits == 32) {
      layout_.red.Set(0x00FF0000);
      layout_.green.Set(0x0000FF00);
      layout_.blue.Set(0x000000FF);
    }
    if (bits <= 8) {
      size_t count = coloursUsed ? coloursUsed : (size_t{1} << bits);
      if (count > 256) count = 256;
      if (tableAt + count * paletteEntry > size) return IMGERR_CORRUPT;
      for (size_t i = 0; i < count; ++i)
        layout_.palette.insert(layout_.palette.end(), p + tableAt + i * paletteEntry,
                               p + tableAt + i * paletteEntry + 3);
    }
    layout_.pixelOffset = Le32(p + 10);
    // Every row must be in the file: a cut-short file is refused here, before decoding.
    if (layout_.pixelOffset > size ||
        (size - layout_.pixelOffset) / layout_.stride < static_cast<size_t>(height))
      return IMGERR_CORRUPT;

    facts_.format = ImageFormatBMP;
    facts_.width = layout_.width;
    facts_.height = layout_.height;
    if (headerSize >= 40) {
      auto ppm = [](DWORD v) { return static_cast<double>(static_cast<std::int32_t>(v)) * 0.0254; };
      if (static_cast<std::int32_t>(Le32(h + 24)) > 0 && static_cast<std::int32_t>(Le32(h + 28)) > 0) {
        facts_.dpiX = ppm(Le32(h + 24));
        facts_.dpiY = ppm(Le32(h + 28));
      }
    }
    return S_OK;
  }

  // Rows are read straight from the file's bytes; only full-size decodes meet the limit.
  HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) override {
    if (minWidth == 0 || minHeight == 0) {
      if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    }
    *job = std::make_unique<BmpJob>(bytes_, layout_);
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  Layout layout_;
};

}  // namespace

HRESULT OpenBmpReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  if (bytes->size() < 2 || bytes->data()[0] != 'B' || bytes->data()[1] != 'M') return IMGERR_UNKNOWNFORMAT;
  auto made = std::make_unique<BmpReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
