// The BMP encoder: takes a picture through its sink and writes it as a BMP file, bottom-up,
// in the picture's own pixel format (16-bit 565 with bit fields, 24-bit or 32-bit).
#include <cstring>
#include <new>

#include "platform/storage/files.h"
#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

void Put16(std::vector<BYTE>& out, unsigned v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(std::vector<BYTE>& out, DWORD v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

class BmpEncoder final : public ComObject<IImageEncoder, IImageSink> {
 public:
  HRESULT OpenFile(const WCHAR* path) {
    file_ = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      file_ = nullptr;
      DWORD error = GetLastError();
      return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    return S_OK;
  }

  // ---- IImageEncoder ----
  HRESULT InitEncoder(IStream* stream) override {
    if (!stream) return E_INVALIDARG;
    if (stream_ || file_) return E_UNEXPECTED;
    stream_ = stream;
    stream_->AddRef();
    return S_OK;
  }
  HRESULT TerminateEncoder() override {
    Close();
    return S_OK;
  }
  HRESULT GetEncodeSink(IImageSink** sink) override {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    if (!stream_ && !file_) return E_UNEXPECTED;
    *sink = static_cast<IImageSink*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT SetFrameDimension(const GUID*) override { return S_OK; }
  HRESULT GetEncoderParameterListSize(UINT* size) override {
    if (size) *size = 0;
    return E_NOTIMPL;
  }
  HRESULT GetEncoderParameterList(UINT, EncoderParameters*) override { return E_NOTIMPL; }
  HRESULT SetEncoderParameters(const EncoderParameters*) override { return S_OK; }

  // ---- IImageSink ----
  HRESULT BeginSink(ImageInfo* info, RECT* subarea) override {
    if (!info) return E_POINTER;
    if ((!stream_ && !file_) || begun_) return E_UNEXPECTED;
    if (HRESULT hr = CheckFullSize(info->Width, info->Height); FAILED(hr)) return hr == IMGERR_CORRUPT ? E_INVALIDARG : hr;
    switch (info->PixelFormat) {
      case PixelFormat16bppRGB565: format_ = PixelFormat16bppRGB565; break;
      case PixelFormat32bppRGB:
      case PixelFormat32bppARGB: format_ = PixelFormat32bppRGB; break;
      default: format_ = PixelFormat24bppRGB; break;
    }
    width_ = info->Width;
    height_ = info->Height;
    stride_ = RowStride(width_, format_);
    pixels_.reset(new (std::nothrow) BYTE[stride_ * height_]());
    if (!pixels_) return E_OUTOFMEMORY;
    info->PixelFormat = format_;
    if (subarea) *subarea = RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    begun_ = true;
    return S_OK;
  }

  HRESULT EndSink(HRESULT status) override {
    if (!begun_) return E_UNEXPECTED;
    begun_ = false;
    HRESULT hr = FAILED(status) ? status : Write();
    pixels_.reset();
    // The file takes the place of an older one of its name only when it is closed after good
    // writes: closing it here tells whether it did. A picture that failed leaves the old file.
    if (file_) {
      const BOOL kept = SUCCEEDED(hr) ? CloseHandle(file_) : AbandonFile(file_);
      file_ = nullptr;
      if (!kept && SUCCEEDED(hr)) hr = HRESULT_FROM_WIN32(GetLastError());
    }
    return hr;
  }

  HRESULT SetPalette(const ColorPalette*) override { return S_OK; }

  HRESULT GetPixelDataBuffer(const RECT* rect, PixelFormatID format, BOOL, BitmapData* data) override {
    if (!rect || !data) return E_POINTER;
    if (!Inside(*rect) || !IsSupportedFormat(format)) return E_INVALIDARG;
    UINT w = static_cast<UINT>(rect->right - rect->left), h = static_cast<UINT>(rect->bottom - rect->top);
    auto* rows = new (std::nothrow) PendingRows{*rect, std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[RowStride(w, format) * h])};
    if (!rows || !rows->buffer) {
      delete rows;
      return E_OUTOFMEMORY;
    }
    data->Width = w;
    data->Height = h;
    data->Stride = static_cast<LONG>(RowStride(w, format));
    data->PixelFormat = format;
    data->Scan0 = rows->buffer.get();
    data->Reserved = reinterpret_cast<std::uintptr_t>(rows);
    return S_OK;
  }

  HRESULT ReleasePixelDataBuffer(const BitmapData* data) override {
    if (!data) return E_POINTER;
    auto* rows = reinterpret_cast<PendingRows*>(data->Reserved);
    if (!rows) return E_INVALIDARG;
    HRESULT hr = PushPixelData(&rows->rect, data, TRUE);
    delete rows;
    return hr;
  }

  HRESULT PushPixelData(const RECT* rect, const BitmapData* data, BOOL) override {
    if (!rect || !data || !data->Scan0) return E_POINTER;
    if (!begun_) return E_UNEXPECTED;
    if (!Inside(*rect) || !IsSupportedFormat(data->PixelFormat)) return E_INVALIDARG;
    UINT w = static_cast<UINT>(rect->right - rect->left), h = static_cast<UINT>(rect->bottom - rect->top);
    if (data->Width < w || data->Height < h) return E_INVALIDARG;
    const size_t bytes = GetPixelFormatSize(format_) / 8;
    for (UINT y = 0; y < h; ++y)
      ConvertPixels(static_cast<const BYTE*>(data->Scan0) + static_cast<std::ptrdiff_t>(y) * data->Stride,
                    data->PixelFormat, pixels_.get() + (rect->top + y) * stride_ + rect->left * bytes, format_, w);
    return S_OK;
  }

  HRESULT PushRawData(const void*, UINT) override { return E_NOTIMPL; }

 private:
  struct PendingRows {
    RECT rect;
    std::unique_ptr<BYTE[]> buffer;
  };

  ~BmpEncoder() override { Close(); }

  void Close() {
    if (file_) AbandonFile(file_);  // no picture was written whole
    file_ = nullptr;
    if (stream_) stream_->Release();
    stream_ = nullptr;
  }

  bool Inside(const RECT& r) const {
    return begun_ && r.left >= 0 && r.top >= 0 && r.right > r.left && r.bottom > r.top &&
           r.right <= static_cast<LONG>(width_) && r.bottom <= static_cast<LONG>(height_);
  }

  HRESULT Write() {
    const bool fields = format_ == PixelFormat16bppRGB565;
    const DWORD offset = 14 + 40 + (fields ? 12 : 0);
    const size_t image = stride_ * height_;
    std::vector<BYTE> head;
    head.push_back('B');
    head.push_back('M');
    Put32(head, static_cast<DWORD>(offset + image));
    Put32(head, 0);
    Put32(head, offset);
    Put32(head, 40);
    Put32(head, width_);
    Put32(head, height_);  // positive: rows bottom-up
    Put16(head, 1);
    Put16(head, GetPixelFormatSize(format_));
    Put32(head, fields ? 3 : 0);
    Put32(head, static_cast<DWORD>(image));
    Put32(head, 2835);  // 72 dots per inch
    Put32(head, 2835);
    Put32(head, 0);
    Put32(head, 0);
    if (fields) {
      Put32(head, 0xF800);
      Put32(head, 0x07E0);
      Put32(head, 0x001F);
    }
    if (HRESULT hr = Out(head.data(), head.size()); FAILED(hr)) return hr;
    for (UINT y = height_; y-- > 0;) {
      if (HRESULT hr = Out(pixels_.get() + y * stride_, stride_); FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT Out(const BYTE* bytes, size_t count) {
    if (stream_) {
      ULONG written = 0;
      HRESULT hr = stream_->Write(bytes, static_cast<ULONG>(count), &written);
      return FAILED(hr) ? hr : (written == count ? S_OK : STG_E_MEDIUMFULL);
    }
    DWORD written = 0;
    if (!WriteFile(file_, bytes, static_cast<DWORD>(count), &written, nullptr) || written != count) {
      DWORD error = GetLastError();
      return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    return S_OK;
  }

  IStream* stream_ = nullptr;
  HANDLE file_ = nullptr;
  bool begun_ = false;
  PixelFormatID format_ = PixelFormat24bppRGB;
  UINT width_ = 0, height_ = 0;
  size_t stride_ = 0;
  std::unique_ptr<BYTE[]> pixels_;
};

}  // namespace

HRESULT CreateBmpEncoder(IStream* stream, const WCHAR* path, IImageEncoder** encoder) {
  *encoder = nullptr;
  auto* made = new BmpEncoder;
  HRESULT hr = path ? made->OpenFile(path) : made->InitEncoder(stream);
  if (FAILED(hr)) {
    made->Release();
    return hr;
  }
  *encoder = made;
  return S_OK;
}

}  // namespace imaging
