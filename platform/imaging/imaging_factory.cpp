// The imaging factory: the entry to the service's decoders, pictures, bitmaps and encoder,
// and the lists of installed codecs.
#include <new>

#include "platform/storage/files.h"
#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// Feeds the rows a picture pushes into a resampled bitmap.
class ResampleSink final : public ComObject<IImageSink> {
 public:
  ResampleSink(UINT width, UINT height, PixelFormatID format) : target_(width, height, format) {}

  HRESULT BeginSink(ImageInfo* info, RECT* subarea) override {
    if (!info) return E_POINTER;
    HRESULT hr = target_.Begin(info->Width, info->Height);
    if (FAILED(hr)) return hr;
    sourceWidth_ = info->Width;
    row_.resize(static_cast<size_t>(sourceWidth_) * 3 + 4);
    info->PixelFormat = PixelFormat24bppRGB;
    if (subarea) *subarea = RECT{0, 0, static_cast<LONG>(info->Width), static_cast<LONG>(info->Height)};
    return S_OK;
  }
  HRESULT EndSink(HRESULT status) override { return status; }
  HRESULT SetPalette(const ColorPalette*) override { return S_OK; }
  HRESULT GetPixelDataBuffer(const RECT*, PixelFormatID, BOOL, BitmapData*) override { return E_NOTIMPL; }
  HRESULT ReleasePixelDataBuffer(const BitmapData*) override { return E_NOTIMPL; }
  HRESULT PushPixelData(const RECT* rect, const BitmapData* data, BOOL) override {
    if (!rect || !data || !data->Scan0) return E_POINTER;
    // Only whole rows, as pictures push them.
    if (rect->left != 0 || static_cast<UINT>(rect->right) != sourceWidth_ || rect->top < 0 || rect->bottom < rect->top ||
        !IsSupportedFormat(data->PixelFormat) || data->Width < sourceWidth_)
      return E_INVALIDARG;
    for (LONG y = rect->top; y < rect->bottom; ++y) {
      ConvertPixels(static_cast<const BYTE*>(data->Scan0) + static_cast<std::ptrdiff_t>(y - rect->top) * data->Stride,
                    data->PixelFormat, row_.data(), PixelFormat24bppRGB, sourceWidth_);
      if (HRESULT hr = target_.Row(static_cast<UINT>(y), row_.data()); FAILED(hr)) return hr;
    }
    return S_OK;
  }
  HRESULT PushRawData(const void*, UINT) override { return E_NOTIMPL; }

  HRESULT Finish(IBitmapImage** bitmap) { return target_.Finish(bitmap); }

 private:
  ~ResampleSink() override = default;
  ResampleTarget target_;
  UINT sourceWidth_ = 0;
  std::vector<BYTE> row_;
};

struct CodecText {
  CLSID clsid;
  GUID format;
  const WCHAR* name;
  const WCHAR* description;
  const WCHAR* extensions;
  const WCHAR* mime;
  DWORD flags;
};

const CodecText kEncoders[] = {
    {CLSID_BmpEncoder, ImageFormatBMP, u"Built-in BMP Codec", u"BMP", u"*.BMP;*.DIB", u"image/bmp",
     ImageCodecFlagsEncoder | ImageCodecFlagsBuiltin},
};
const CodecText kDecoders[] = {
    {CLSID_JpegDecoder, ImageFormatJPEG, u"Built-in JPEG Codec", u"JPEG", u"*.JPG;*.JPEG;*.JPE;*.JFIF",
     u"image/jpeg", ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
    {CLSID_PngDecoder, ImageFormatPNG, u"Built-in PNG Codec", u"PNG", u"*.PNG", u"image/png",
     ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
    {CLSID_GifDecoder, ImageFormatGIF, u"Built-in GIF Codec", u"GIF", u"*.GIF", u"image/gif",
     ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
    {CLSID_BmpDecoder, ImageFormatBMP, u"Built-in BMP Codec", u"BMP", u"*.BMP;*.DIB", u"image/bmp",
     ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
    {CLSID_WebpDecoder, ImageFormatWEBP, u"Built-in WebP Codec", u"WEBP", u"*.WEBP", u"image/webp",
     ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
    {CLSID_HeifDecoder, ImageFormatHEIF, u"Built-in HEIF Codec", u"HEIF", u"*.HEIC;*.HEIF", u"image/heif",
     ImageCodecFlagsDecoder | ImageCodecFlagsBuiltin},
};

// The records and their texts in one block, so that one CoTaskMemFree frees them all.
template <size_t N>
HRESULT PackCodecs(const CodecText (&codecs)[N], UINT* count, ImageCodecInfo** out) {
  if (!count || !out) return E_POINTER;
  *count = 0;
  *out = nullptr;
  size_t units = 0;
  auto length = [](const WCHAR* s) { return std::char_traits<WCHAR>::length(s) + 1; };
  for (const CodecText& c : codecs)
    units += length(c.name) + length(c.description) + length(c.extensions) + length(c.mime);
  void* block = CoTaskMemAlloc(sizeof(ImageCodecInfo) * N + units * sizeof(WCHAR));
  if (!block) return E_OUTOFMEMORY;
  auto* records = static_cast<ImageCodecInfo*>(block);
  WCHAR* text = reinterpret_cast<WCHAR*>(records + N);
  auto place = [&](const WCHAR* s) {
    const WCHAR* at = text;
    size_t n = length(s);
    std::char_traits<WCHAR>::copy(text, s, n);
    text += n;
    return at;
  };
  for (size_t i = 0; i < N; ++i) {
    ImageCodecInfo& r = *new (&records[i]) ImageCodecInfo{};
    r.Clsid = codecs[i].clsid;
    r.FormatID = codecs[i].format;
    r.CodecName = place(codecs[i].name);
    r.DllName = nullptr;
    r.FormatDescription = place(codecs[i].description);
    r.FilenameExtension = place(codecs[i].extensions);
    r.MimeType = place(codecs[i].mime);
    r.Flags = codecs[i].flags;
    r.Version = 1;
  }
  *count = static_cast<UINT>(N);
  *out = records;
  return S_OK;
}

// The whole file of a device path in memory.
HRESULT ReadWholeFile(const WCHAR* path, std::shared_ptr<const PictureBytes>* bytes) {
  auto lastError = [] {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  };
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  HRESULT hr = S_OK;
  std::vector<BYTE> data;
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    hr = lastError();
  } else {
    data.resize(size);
    DWORD read = 0;
    if (size && !ReadFile(file, data.data(), size, &read, nullptr)) hr = lastError();
    data.resize(read);
  }
  CloseHandle(file);
  if (SUCCEEDED(hr)) *bytes = PictureBytes::FromVector(std::move(data));
  return hr;
}

class ImagingFactory final : public ComObject<IImagingFactory> {
 public:

  HRESULT CreateImageFromStream(IStream* stream, IImage** image) override {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!stream) return E_INVALIDARG;
    std::shared_ptr<const PictureBytes> bytes;
    HRESULT hr = PictureBytes::FromStream(stream, &bytes);
    if (FAILED(hr)) return hr;
    return FromBytes(std::move(bytes), image);
  }

  HRESULT CreateImageFromFile(const WCHAR* path, IImage** image) override {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!path) return E_INVALIDARG;
    std::shared_ptr<const PictureBytes> bytes;
    HRESULT hr = ReadWholeFile(path, &bytes);
    if (FAILED(hr)) return hr;
    return FromBytes(std::move(bytes), image);
  }

  HRESULT CreateNewBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap) override {
    return CreateBitmap(width, height, format, bitmap);
  }

  HRESULT CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format, InterpolationHint,
                                IBitmapImage** bitmap) override {
    if (!bitmap) return E_POINTER;
    *bitmap = nullptr;
    if (!image) return E_INVALIDARG;
    ImageInfo info;
    HRESULT hr = image->GetImageInfo(&info);
    if (FAILED(hr)) return hr;
    if (width == 0 || height == 0) {
      width = info.Width;
      height = info.Height;
    }
    if (format == 0) format = info.PixelFormat;
    if (!IsSupportedFormat(format)) return E_INVALIDARG;
    if (hr = CheckFullSize(width, height); FAILED(hr)) return hr;
    auto* sink = new (std::nothrow) ResampleSink(width, height, format);
    if (!sink) return E_OUTOFMEMORY;
    hr = image->PushIntoSink(sink);
    if (SUCCEEDED(hr)) hr = sink->Finish(bitmap);
    sink->Release();
    return hr;
  }

  HRESULT CreateImageDecoder(IStream* stream, DecoderInitFlag, IImageDecoder** decoder) override {
    if (!decoder) return E_POINTER;
    *decoder = nullptr;
    if (!stream) return E_INVALIDARG;
    std::shared_ptr<const PictureBytes> bytes;
    HRESULT hr = PictureBytes::FromStream(stream, &bytes);
    if (FAILED(hr)) return hr;
    std::unique_ptr<PictureReader> reader;
    hr = OpenPictureReader(std::move(bytes), &reader);
    if (FAILED(hr)) return hr;
    return CreateDecoderObject(std::move(reader), decoder);
  }

  HRESULT CreateImageEncoderToStream(const CLSID* clsid, IStream* stream, IImageEncoder** encoder) override {
    if (!encoder) return E_POINTER;
    *encoder = nullptr;
    if (!clsid || !stream) return E_INVALIDARG;
    if (*clsid != CLSID_BmpEncoder) return REGDB_E_CLASSNOTREG;
    return CreateBmpEncoder(stream, nullptr, encoder);
  }

  HRESULT CreateImageEncoderToFile(const CLSID* clsid, const WCHAR* path, IImageEncoder** encoder) override {
    if (!encoder) return E_POINTER;
    *encoder = nullptr;
    if (!clsid || !path) return E_INVALIDARG;
    if (*clsid != CLSID_BmpEncoder) return REGDB_E_CLASSNOTREG;
    return CreateBmpEncoder(nullptr, path, encoder);
  }

  HRESULT GetInstalledDecoders(UINT* count, ImageCodecInfo** decoders) override {
    return PackCodecs(kDecoders, count, decoders);
  }
  HRESULT GetInstalledEncoders(UINT* count, ImageCodecInfo** encoders) override {
    return PackCodecs(kEncoders, count, encoders);
  }

 private:
  ~ImagingFactory() override = default;

  static HRESULT FromBytes(std::shared_ptr<const PictureBytes> bytes, IImage** image) {
    std::unique_ptr<PictureReader> reader;
    HRESULT hr = OpenPictureReader(std::move(bytes), &reader);
    if (FAILED(hr)) return hr;
    return CreatePictureImage(std::move(reader), image);
  }

};

}  // namespace

}  // namespace imaging

HRESULT CreateImagingFactoryObject(REFIID iid, void** object) {
  auto* factory = new (std::nothrow) imaging::ImagingFactory;
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}
