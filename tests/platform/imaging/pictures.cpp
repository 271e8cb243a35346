#include "tests/platform/imaging/pictures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <ostream>

#include "tests/platform/imaging/bmp_files.h"
#include "tools/demo/jpeg_encoder.h"

#include <gif_lib.h>
#include <png.h>

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "rgb(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

Picture Pattern(int width, int height) {
  Picture p{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.at(x, y) = Rgb{static_cast<BYTE>(8 + 24 * (x % 10)), static_cast<BYTE>(8 + 24 * (y % 10)),
                       static_cast<BYTE>(200 - 8 * ((x + y) % 20))};
  return p;
}

static_assert(sizeof(Rgb) == 3);  // a picture's pixels are the red, green, blue bytes the makers take

Picture StoredFor(const Picture& upright, int orientation) {
  Picture stored;
  const FileBytes bytes = StoredForOrientation(reinterpret_cast<const std::uint8_t*>(upright.pixels.data()),
                                               upright.width, upright.height, orientation, &stored.width,
                                               &stored.height);
  stored.pixels.resize(bytes.size() / 3);
  std::memcpy(stored.pixels.data(), bytes.data(), bytes.size());
  return stored;
}

Bytes MakeJpeg(const Picture& picture, int quality, const Bytes& exif, bool grey, bool progressive) {
  // A grey picture's pixels are grey: the encoder's luma of them is their red.
  return EncodeJpeg(reinterpret_cast<const std::uint8_t*>(picture.pixels.data()), picture.width, picture.height,
                    EncodeOptions{.quality = quality, .progressive = progressive, .gray = grey, .h1 = grey ? 1 : 2,
                                  .v1 = grey ? 1 : 2, .exif = exif});
}

namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

}  // namespace

Bytes MakePng(const Picture& picture, PngKind kind, const std::vector<BYTE>& alpha) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  const png_uint_32 w = static_cast<png_uint_32>(picture.width), h = static_cast<png_uint_32>(picture.height);
  std::map<std::tuple<int, int, int>, int> index;
  switch (kind) {
    case PngKind::Grey: png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_GRAY, 0, 0, 0); break;
    case PngKind::RgbAlpha: png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, 0, 0, 0); break;
    case PngKind::Rgb16: png_set_IHDR(png, info, w, h, 16, PNG_COLOR_TYPE_RGB, 0, 0, 0); break;
    case PngKind::Interlaced: png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, 0, 0); break;
    case PngKind::Palette: {
      std::vector<png_color> palette;
      for (const Rgb& c : picture.pixels) {
        auto key = std::make_tuple(int(c.r), int(c.g), int(c.b));
        if (index.emplace(key, static_cast<int>(palette.size())).second) palette.push_back({c.r, c.g, c.b});
      }
      png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_PALETTE, 0, 0, 0);
      png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
      break;
    }
    default: png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0); break;
  }
  png_write_info(png, info);
  const int passes = kind == PngKind::Interlaced ? png_set_interlace_handling(png) : 1;
  std::vector<BYTE> row(static_cast<size_t>(w) * 6);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < h; ++y) {
      BYTE* p = row.data();
      for (png_uint_32 x = 0; x < w; ++x) {
        const Rgb& c = picture.at(static_cast<int>(x), static_cast<int>(y));
        switch (kind) {
          case PngKind::Grey: *p++ = c.r; break;
          case PngKind::Palette: *p++ = static_cast<BYTE>(index[std::make_tuple(int(c.r), int(c.g), int(c.b))]); break;
          case PngKind::RgbAlpha:
            *p++ = c.r, *p++ = c.g, *p++ = c.b;
            *p++ = alpha.empty() ? 255 : alpha[y * w + x];
            break;
          case PngKind::Rgb16:
            for (BYTE v : {c.r, c.g, c.b}) *p++ = v, *p++ = v;  // v * 257: exactly v at 8 bits
            break;
          default: *p++ = c.r, *p++ = c.g, *p++ = c.b; break;
        }
      }
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeGif(int width, int height, const std::vector<Rgb>& frames) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  std::vector<GifColorType> colours(256);
  for (size_t i = 0; i < frames.size(); ++i) colours[i] = {frames[i].r, frames[i].g, frames[i].b};
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  for (size_t i = 0; i < frames.size(); ++i) {
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    std::fill(line.begin(), line.end(), static_cast<GifPixelType>(i));
    for (int y = 0; y < height; ++y) EGifPutLine(gif, line.data(), width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

Bytes MakeBmp(const Picture& picture, int bits, bool topDown) {
  bmpfile::Shape shape{picture.width, topDown ? -picture.height : picture.height, bits, 0, bmpfile::Header::Info, {}, {}};
  std::map<std::tuple<int, int, int>, std::uint32_t> index;  // of the palette, up to 8 bits
  std::vector<std::uint32_t> values;
  for (const Rgb& c : picture.pixels) {
    if (bits == 16) {
      values.push_back((c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3);  // 5-5-5
    } else if (bits > 8) {
      values.push_back(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
    } else {
      auto [at, added] = index.emplace(std::make_tuple(int(c.r), int(c.g), int(c.b)), std::uint32_t(shape.palette.size()));
      if (added) shape.palette.push_back(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
      values.push_back(at->second);
    }
  }
  return bmpfile::File(shape, bmpfile::Rows(shape, values));
}

void ImagingTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  ASSERT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                             factory_.put_void()),
            S_OK);
}

void ImagingTest::TearDown() {
  factory_.reset();
  CoUninitialize();
}

HRESULT ImagingTest::Stream(const Bytes& bytes, IStream** stream) {
  HLOCAL memory = LocalAlloc(LMEM_MOVEABLE, bytes.size());
  if (!memory) return E_OUTOFMEMORY;
  if (!bytes.empty()) std::memcpy(memory, bytes.data(), bytes.size());
  HRESULT hr = CreateStreamOnHGlobal(memory, TRUE, stream);
  if (FAILED(hr)) LocalFree(memory);
  return hr;
}

HRESULT ImagingTest::Decode(const Bytes& bytes, IBitmapImage** bitmap, PixelFormatID format, UINT frame) {
  *bitmap = nullptr;
  Ref<IImageDecoder> decoder;
  HRESULT hr = OpenDecoder(bytes, decoder.put());
  if (FAILED(hr)) return hr;
  ImageInfo info;
  if (hr = decoder->GetImageInfo(&info); FAILED(hr)) return hr;
  GUID dimension;
  if (hr = decoder->GetFrameDimensionsList(&dimension, 1); FAILED(hr)) return hr;
  if (hr = decoder->SelectActiveFrame(&dimension, frame); FAILED(hr)) return hr;
  Ref<IBitmapImage> made;
  hr = factory_->CreateNewBitmap(info.Width, info.Height, format ? format : info.PixelFormat, made.put());
  if (FAILED(hr)) return hr;
  Ref<IImageSink> sink;
  if (hr = made->QueryInterface(IID_IImageSink, sink.put_void()); FAILED(hr)) return hr;
  if (hr = decoder->BeginDecode(sink.get(), nullptr); FAILED(hr)) return hr;
  while ((hr = decoder->Decode()) == E_PENDING) {
  }
  HRESULT ended = decoder->EndDecode(hr);
  if (FAILED(ended)) return ended;
  *bitmap = made.get();
  (*bitmap)->AddRef();
  return S_OK;
}

Picture ImagingTest::DecodeOk(const Bytes& bytes, UINT frame) {
  Ref<IBitmapImage> bitmap;
  EXPECT_EQ(Decode(bytes, bitmap.put(), PixelFormat24bppRGB, frame), S_OK);
  return bitmap ? Pixels(bitmap.get()) : Picture{};
}

HRESULT ImagingTest::DecodeResult(const Bytes& bytes) {
  Ref<IBitmapImage> bitmap;
  return Decode(bytes, bitmap.put());
}

HRESULT ImagingTest::OpenDecoder(const Bytes& bytes, IImageDecoder** decoder) {
  Ref<IStream> stream;
  const HRESULT hr = Stream(bytes, stream.put());
  return FAILED(hr) ? hr : factory_->CreateImageDecoder(stream.get(), DecoderInitFlagBuiltIn1st, decoder);
}

HRESULT ImagingTest::OpenImage(const Bytes& bytes, IImage** image) {
  Ref<IStream> stream;
  const HRESULT hr = Stream(bytes, stream.put());
  return FAILED(hr) ? hr : factory_->CreateImageFromStream(stream.get(), image);
}

Picture ImagingTest::Pixels(IBitmapImage* bitmap) {
  SIZE size;
  bitmap->GetSize(&size);
  Picture p{size.cx, size.cy, std::vector<Rgb>(static_cast<size_t>(size.cx) * size.cy)};
  BitmapData data;
  EXPECT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), S_OK);
  for (int y = 0; y < size.cy; ++y) {
    const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride;
    for (int x = 0; x < size.cx; ++x) p.at(x, y) = Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
  }
  bitmap->UnlockBits(&data);
  return p;
}
