// The bitmap image: pixels in memory, seen as a bitmap, a picture, a sink and the owner of
// the bitmap operations. Screen-format (565) bitmaps live in a DIB section, so drawing
// them is a single StretchBlt with no copy.
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

struct Dib565Info {
  BITMAPINFOHEADER header;
  DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
};

// A converted copy handed out by LockBits or GetPixelDataBuffer, written back on release.
struct ConvertedRows {
  RECT rect;
  UINT flags;
  PixelFormatID format;
  std::unique_ptr<BYTE[]> owned;
};

class BitmapImage final : public ComObject<IBitmapImage, IImage, IImageSink, IBasicBitmapOps> {
 public:
  BitmapImage(UINT width, UINT height, PixelFormatID format)
      : width_(width), height_(height), format_(format), stride_(RowStride(width, format)) {}

  HRESULT Allocate() {
    if (format_ == PixelFormat16bppRGB565) {
      Dib565Info info;
      info.header.biWidth = static_cast<LONG>(width_);
      info.header.biHeight = -static_cast<LONG>(height_);
      info.header.biBitCount = 16;
      info.header.biCompression = BI_BITFIELDS;
      void* bits = nullptr;
      try {
        dib_ = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                nullptr, 0);
      } catch (const std::bad_alloc&) {
        dib_ = nullptr;
      }
      if (!dib_ || !bits) return E_OUTOFMEMORY;
      pixels_ = static_cast<BYTE*>(bits);
    } else {
      owned_.reset(new (std::nothrow) BYTE[stride_ * height_]());
      if (!owned_) return E_OUTOFMEMORY;
      pixels_ = owned_.get();
    }
    return S_OK;
  }

  // ---- IBitmapImage ----
  HRESULT GetSize(SIZE* size) override {
    if (!size) return E_POINTER;
    size->cx = static_cast<LONG>(width_);
    size->cy = static_cast<LONG>(height_);
    return S_OK;
  }
  HRESULT GetPixelFormatID(PixelFormatID* format) override {
    if (!format) return E_POINTER;
    *format = format_;
    return S_OK;
  }
  HRESULT LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) override {
    if (!data) return E_POINTER;
    RECT area;
    if (!Area(rect, &area)) return E_INVALIDARG;
    if (format == 0) format = format_;
    if (!IsSupportedFormat(format)) return E_INVALIDARG;
    UINT w = static_cast<UINT>(area.right - area.left), h = static_cast<UINT>(area.bottom - area.top);
    if ((flags & ImageLockModeUserInputBuf) == 0 && format == format_) {
      FillData(area, data);
      data->Reserved = 0;
      return S_OK;
    }
    auto rows = std::make_unique<ConvertedRows>();
    rows->rect = area;
    rows->flags = flags;
    rows->format = format;
    BYTE* buffer;
    LONG stride;
    if (flags & ImageLockModeUserInputBuf) {
      if (!data->Scan0) return E_INVALIDARG;
      buffer = static_cast<BYTE*>(data->Scan0);
      stride = data->Stride;
    } else {
      stride = static_cast<LONG>(RowStride(w, format));
      rows->owned.reset(new (std::nothrow) BYTE[static_cast<size_t>(stride) * h]);
      if (!rows->owned) return E_OUTOFMEMORY;
      buffer = rows->owned.get();
    }
    if (flags & ImageLockModeRead) {
      for (UINT y = 0; y < h; ++y)
        ConvertPixels(PixelAt(area.left, area.top + y), format_, buffer + static_cast<std::ptrdiff_t>(y) * stride,
                      format, w);
    }
    data->Width = w;
    data->Height = h;
    data->Stride = stride;
    data->PixelFormat = format;
    data->Scan0 = buffer;
    data->Reserved = reinterpret_cast<std::uintptr_t>(rows.release());
    return S_OK;
  }
  HRESULT UnlockBits(const BitmapData* data) override {
    if (!data) return E_POINTER;
    return WriteBack(data, false);
  }
  HRESULT GetPalette(ColorPalette** palette) override {
    if (palette) *palette = nullptr;
    return E_NOTIMPL;  // no indexed formats
  }
  HRESULT SetPalette(const ColorPalette*) override { return S_OK; }

  // ---- IImage ----
  HRESULT GetPhysicalDimension(SIZE* size) override {
    if (!size) return E_POINTER;
    size->cx = static_cast<LONG>(width_ * 2540ull / 72);
    size->cy = static_cast<LONG>(height_ * 2540ull / 72);
    return S_OK;
  }
  HRESULT GetImageInfo(ImageInfo* info) override {
    if (!info) return E_POINTER;
    *info = Info();
    return S_OK;
  }
  HRESULT SetImageFlags(UINT) override { return S_OK; }

  HRESULT Draw(HDC dc, const RECT* destination, const RECT* source) override {
    if (!dc || !destination) return E_INVALIDARG;
    RECT from;
    if (!Area(source, &from)) return E_INVALIDARG;
    const RECT& to = *destination;
    if (to.right == to.left || to.bottom == to.top) return S_OK;
    std::lock_guard<std::mutex> guard(drawLock_);
    HBITMAP picture = dib_;
    RECT pictureRect = from;
    if (!picture) {
      // Other formats draw through a screen-format copy of the source rectangle.
      BitmapImage* copy = nullptr;
      HRESULT hr = Copy(from, PixelFormat16bppRGB565, &copy);
      if (FAILED(hr)) return hr;
      HRESULT drawn = copy->Draw(dc, destination, nullptr);
      copy->Release();
      return drawn;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) return E_FAIL;
    HGDIOBJ previous = SelectObject(memory, picture);
    BOOL ok = FALSE;
    if (previous) {
      ok = StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, memory, pictureRect.left,
                      pictureRect.top, pictureRect.right - pictureRect.left, pictureRect.bottom - pictureRect.top,
                      SRCCOPY);
      SelectObject(memory, previous);
    }
    DeleteDC(memory);
    return ok ? S_OK : E_FAIL;
  }

  HRESULT PushIntoSink(IImageSink* sink) override {
    if (!sink) return E_INVALIDARG;
    ImageInfo info = Info();
    HRESULT hr = sink->BeginSink(&info, nullptr);
    if (SUCCEEDED(hr)) {
      PixelFormatID wanted = IsSupportedFormat(info.PixelFormat) ? info.PixelFormat : format_;
      std::unique_ptr<BYTE[]> row;
      if (wanted != format_) {
        row.reset(new (std::nothrow) BYTE[RowStride(width_, wanted)]);
        if (!row) hr = E_OUTOFMEMORY;
      }
      for (UINT y = 0; y < height_ && SUCCEEDED(hr); ++y) {
        RECT rect{0, static_cast<LONG>(y), static_cast<LONG>(width_), static_cast<LONG>(y + 1)};
        BitmapData data;
        data.Width = width_;
        data.Height = 1;
        data.PixelFormat = wanted;
        data.Stride = static_cast<LONG>(RowStride(width_, wanted));
        if (row) {
          ConvertPixels(PixelAt(0, y), format_, row.get(), wanted, width_);
          data.Scan0 = row.get();
        } else {
          data.Scan0 = PixelAt(0, y);
        }
        hr = sink->PushPixelData(&rect, &data, TRUE);
      }
    }
    HRESULT ended = sink->EndSink(hr);
    return FAILED(hr) ? hr : ended;
  }

  HRESULT GetThumbnail(UINT width, UINT height, IImage** thumbnail) override {
    if (!thumbnail) return E_POINTER;
    *thumbnail = nullptr;
    if (width == 0 || height == 0) return E_INVALIDARG;
    UINT w, h;
    FitInside(width_, height_, width, height, &w, &h);
    ResampleTarget target(w, h, format_);
    HRESULT hr = target.Begin(width_, height_);
    std::unique_ptr<BYTE[]> row(new (std::nothrow) BYTE[RowStride(width_, PixelFormat24bppRGB)]);
    if (!row) hr = E_OUTOFMEMORY;
    for (UINT y = 0; y < height_ && SUCCEEDED(hr); ++y) {
      ConvertPixels(PixelAt(0, y), format_, row.get(), PixelFormat24bppRGB, width_);
      hr = target.Row(y, row.get());
    }
    IBitmapImage* small = nullptr;
    if (SUCCEEDED(hr)) hr = target.Finish(&small);
    if (FAILED(hr)) return hr;
    hr = small->QueryInterface(IID_IImage, reinterpret_cast<void**>(thumbnail));
    small->Release();
    return hr;
  }

  // ---- IImageSink ----
  HRESULT BeginSink(ImageInfo* info, RECT* subarea) override {
    if (!info) return E_POINTER;
    if (info->Width != width_ || info->Height != height_) return E_INVALIDARG;
    info->PixelFormat = format_;
    if (subarea) *subarea = RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    return S_OK;
  }
  HRESULT EndSink(HRESULT) override { return S_OK; }
  HRESULT GetPixelDataBuffer(const RECT* rect, PixelFormatID format, BOOL, BitmapData* data) override {
    return LockBits(rect, ImageLockModeWrite, format, data);
  }
  HRESULT ReleasePixelDataBuffer(const BitmapData* data) override {
    if (!data) return E_POINTER;
    return WriteBack(data, true);
  }
  HRESULT PushPixelData(const RECT* rect, const BitmapData* data, BOOL) override {
    if (!rect || !data || !data->Scan0) return E_INVALIDARG;
    RECT area;
    if (!Area(rect, &area) || !IsSupportedFormat(data->PixelFormat)) return E_INVALIDARG;
    UINT w = static_cast<UINT>(area.right - area.left), h = static_cast<UINT>(area.bottom - area.top);
    if (data->Width < w || data->Height < h) return E_INVALIDARG;
    const BYTE* source = static_cast<const BYTE*>(data->Scan0);
    for (UINT y = 0; y < h; ++y)
      ConvertPixels(source + static_cast<std::ptrdiff_t>(y) * data->Stride, data->PixelFormat,
                    PixelAt(area.left, area.top + y), format_, w);
    return S_OK;
  }
  HRESULT PushRawData(const void*, UINT) override { return E_NOTIMPL; }

  // ---- IBasicBitmapOps ----
  HRESULT Clone(const RECT* rect, IBitmapImage** copy, BOOL) override {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    RECT area;
    if (!Area(rect, &area)) return E_INVALIDARG;
    BitmapImage* made = nullptr;
    HRESULT hr = Copy(area, format_, &made);
    if (SUCCEEDED(hr)) *copy = made;
    return hr;
  }
  HRESULT Flip(BOOL flipX, BOOL flipY, IBitmapImage** flipped) override {
    return Transform(width_, height_, flipped, [&](UINT x, UINT y, UINT* sx, UINT* sy) {
      *sx = flipX ? width_ - 1 - x : x;
      *sy = flipY ? height_ - 1 - y : y;
    });
  }
  HRESULT Resize(UINT width, UINT height, PixelFormatID format, InterpolationHint, IBitmapImage** resized) override {
    if (!resized) return E_POINTER;
    *resized = nullptr;
    if (width == 0 || height == 0) return E_INVALIDARG;
    if (format != 0 && format != format_) {
      // Resize in this format, then convert the result.
      IBitmapImage* same = nullptr;
      HRESULT hr = Resize(width, height, 0, InterpolationHintNearestNeighbor, &same);
      if (FAILED(hr)) return hr;
      BitmapImage* converted = nullptr;
      hr = static_cast<BitmapImage*>(same)->Copy(
          RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)}, format, &converted);
      same->Release();
      if (SUCCEEDED(hr)) *resized = converted;
      return hr;
    }
    return Transform(width, height, resized, [&](UINT x, UINT y, UINT* sx, UINT* sy) {
      *sx = static_cast<UINT>((2ull * x + 1) * width_ / (2ull * width));
      *sy = static_cast<UINT>((2ull * y + 1) * height_ / (2ull * height));
    });
  }
  HRESULT Rotate(float angle, InterpolationHint, IBitmapImage** rotated) override {
    if (!rotated) return E_POINTER;
    *rotated = nullptr;
    double turn = std::fmod(static_cast<double>(angle), 360.0);
    if (turn < 0) turn += 360.0;
    const UINT w = width_, h = height_;
    if (turn == 0) return Clone(nullptr, rotated, TRUE);
    if (turn == 90) {  // counter-clockwise: the top edge becomes the left edge
      return Transform(h, w, rotated, [&](UINT x, UINT y, UINT* sx, UINT* sy) {
        *sx = w - 1 - y;
        *sy = x;
      });
    }
    if (turn == 180) {
      return Transform(w, h, rotated, [&](UINT x, UINT y, UINT* sx, UINT* sy) {
        *sx = w - 1 - x;
        *sy = h - 1 - y;
      });
    }
    if (turn == 270) {  // clockwise: the top edge becomes the right edge
      return Transform(h, w, rotated, [&](UINT x, UINT y, UINT* sx, UINT* sy) {
        *sx = y;
        *sy = h - 1 - x;
      });
    }
    return E_INVALIDARG;
  }
  HRESULT AdjustBrightness(float) override { return E_NOTIMPL; }
  HRESULT AdjustContrast(float, float) override { return E_NOTIMPL; }
  HRESULT AdjustGamma(float) override { return E_NOTIMPL; }

 private:
  ~BitmapImage() override {
    if (dib_) DeleteObject(dib_);
  }

  ImageInfo Info() const {
    ImageInfo info;
    info.RawDataFormat = ImageFormatMemoryBMP;
    info.PixelFormat = format_;
    info.Width = width_;
    info.Height = height_;
    info.TileWidth = width_;
    info.TileHeight = 1;
    info.Xdpi = info.Ydpi = 72;
    info.Flags = ImageFlagsColorSpaceRGB | (format_ == PixelFormat32bppARGB ? ImageFlagsHasAlpha : 0);
    return info;
  }

  BYTE* PixelAt(LONG x, LONG y) const {
    return pixels_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * (GetPixelFormatSize(format_) / 8);
  }

  // The rectangle (nullptr: the whole bitmap) when it is non-empty and inside the bitmap.
  bool Area(const RECT* rect, RECT* area) const {
    if (!rect) {
      *area = RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
      return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->right <= rect->left || rect->bottom <= rect->top ||
        rect->right > static_cast<LONG>(width_) || rect->bottom > static_cast<LONG>(height_))
      return false;
    *area = *rect;
    return true;
  }

  void FillData(const RECT& area, BitmapData* data) const {
    data->Width = static_cast<UINT>(area.right - area.left);
    data->Height = static_cast<UINT>(area.bottom - area.top);
    data->Stride = static_cast<LONG>(stride_);
    data->PixelFormat = format_;
    data->Scan0 = PixelAt(area.left, area.top);
  }

  HRESULT WriteBack(const BitmapData* data, bool always) {
    auto* rows = reinterpret_cast<ConvertedRows*>(data->Reserved);
    if (!rows) return S_OK;  // the bitmap's own pixels were handed out
    if (always || (rows->flags & ImageLockModeWrite)) {
      const BYTE* source = static_cast<const BYTE*>(data->Scan0);
      UINT w = static_cast<UINT>(rows->rect.right - rows->rect.left);
      for (LONG y = rows->rect.top; y < rows->rect.bottom; ++y)
        ConvertPixels(source + static_cast<std::ptrdiff_t>(y - rows->rect.top) * data->Stride, rows->format,
                      PixelAt(rows->rect.left, y), format_, w);
    }
    delete rows;
    return S_OK;
  }

  // A new bitmap of the rectangle in the given format.
  HRESULT Copy(const RECT& area, PixelFormatID format, BitmapImage** copy) const {
    UINT w = static_cast<UINT>(area.right - area.left), h = static_cast<UINT>(area.bottom - area.top);
    IBitmapImage* made = nullptr;
    HRESULT hr = CreateBitmap(w, h, format, &made);
    if (FAILED(hr)) return hr;
    auto* target = static_cast<BitmapImage*>(made);
    for (UINT y = 0; y < h; ++y) ConvertPixels(PixelAt(area.left, area.top + y), format_, target->PixelAt(0, y), format, w);
    *copy = target;
    return S_OK;
  }

  // A new bitmap of width x height in this format whose pixel (x, y) is the source pixel
  // that pick names.
  template <typename Pick>
  HRESULT Transform(UINT width, UINT height, IBitmapImage** result, Pick pick) const {
    if (!result) return E_POINTER;
    *result = nullptr;
    IBitmapImage* made = nullptr;
    HRESULT hr = CreateBitmap(width, height, format_, &made);
    if (FAILED(hr)) return hr;
    auto* target = static_cast<BitmapImage*>(made);
    const size_t bytes = GetPixelFormatSize(format_) / 8;
    for (UINT y = 0; y < height; ++y) {
      BYTE* out = target->PixelAt(0, y);
      for (UINT x = 0; x < width; ++x, out += bytes) {
        UINT sx, sy;
        pick(x, y, &sx, &sy);
        std::memcpy(out, PixelAt(sx, sy), bytes);
      }
    }
    *result = made;
    return S_OK;
  }

  const UINT width_, height_;
  const PixelFormatID format_;
  const size_t stride_;
  HBITMAP dib_ = nullptr;
  std::unique_ptr<BYTE[]> owned_;
  BYTE* pixels_ = nullptr;
  std::mutex drawLock_;
};

}  // namespace

HRESULT CreateBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap) {
  if (!bitmap) return E_POINTER;
  *bitmap = nullptr;
  if (!IsSupportedFormat(format) || width == 0 || height == 0) return E_INVALIDARG;
  if (HRESULT hr = CheckFullSize(width, height); FAILED(hr)) return hr;
  auto* made = new (std::nothrow) BitmapImage(width, height, format);
  if (!made) return E_OUTOFMEMORY;
  if (HRESULT hr = made->Allocate(); FAILED(hr)) {
    made->Release();
    return hr;
  }
  *bitmap = made;
  return S_OK;
}

}  // namespace imaging
