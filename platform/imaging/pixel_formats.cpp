// Pixel formats of the imaging service and the conversions between them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// One pixel as bytes blue, green, red, alpha.
struct Bgra {
  BYTE b, g, r, a;
};

Bgra Read(const BYTE* p, PixelFormatID format) {
  switch (format) {
    case PixelFormat16bppRGB565: {
      unsigned v = p[0] | (p[1] << 8);
      unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      return {static_cast<BYTE>((b << 3) | (b >> 2)), static_cast<BYTE>((g << 2) | (g >> 4)),
              static_cast<BYTE>((r << 3) | (r >> 2)), 255};
    }
    case PixelFormat24bppRGB: return {p[0], p[1], p[2], 255};
    case PixelFormat32bppRGB: return {p[0], p[1], p[2], 255};
    default: return {p[0], p[1], p[2], p[3]};
  }
}

void Write(BYTE* p, PixelFormatID format, Bgra c) {
  switch (format) {
    case PixelFormat16bppRGB565: {
      unsigned v = ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3);
      p[0] = static_cast<BYTE>(v);
      p[1] = static_cast<BYTE>(v >> 8);
      return;
    }
    case PixelFormat24bppRGB: p[0] = c.b, p[1] = c.g, p[2] = c.r; return;
    case PixelFormat32bppRGB: p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255; return;
    default: p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a; return;
  }
}

}  // namespace

bool IsSupportedFormat(PixelFormatID format) {
  return format == PixelFormat16bppRGB565 || format == PixelFormat24bppRGB || format == PixelFormat32bppRGB ||
         format == PixelFormat32bppARGB;
}

size_t RowStride(UINT width, PixelFormatID format) {
  return (static_cast<size_t>(width) * (GetPixelFormatSize(format) / 8) + 3) & ~size_t{3};
}

void ConvertPixels(const BYTE* source, PixelFormatID sourceFormat, BYTE* target, PixelFormatID targetFormat,
                   UINT count) {
  if (sourceFormat == targetFormat) {
    std::memmove(target, source, static_cast<size_t>(count) * (GetPixelFormatSize(sourceFormat) / 8));
    return;
  }
  if (sourceFormat == PixelFormat24bppRGB && targetFormat == PixelFormat16bppRGB565) {
    // The way every decoded picture reaches a screen bitmap.
    for (UINT i = 0; i < count; ++i, source += 3, target += 2) {
      unsigned v = ((source[2] >> 3) << 11) | ((source[1] >> 2) << 5) | (source[0] >> 3);
      target[0] = static_cast<BYTE>(v);
      target[1] = static_cast<BYTE>(v >> 8);
    }
    return;
  }
  const size_t in = GetPixelFormatSize(sourceFormat) / 8, out = GetPixelFormatSize(targetFormat) / 8;
  for (UINT i = 0; i < count; ++i) Write(target + i * out, targetFormat, Read(source + i * in, sourceFormat));
}

void FitInside(UINT width, UINT height, UINT boxWidth, UINT boxHeight, UINT* fitWidth, UINT* fitHeight) {
  if (width == 0 || height == 0) {
    *fitWidth = *fitHeight = 0;
    return;
  }
  // The side that fills the box first sets the scale; the other is rounded, at least 1.
  if (static_cast<ULONGLONG>(width) * boxHeight >= static_cast<ULONGLONG>(height) * boxWidth) {
    *fitWidth = boxWidth;
    *fitHeight = static_cast<UINT>((static_cast<ULONGLONG>(height) * boxWidth * 2 + width) / (2ull * width));
  } else {
    *fitHeight = boxHeight;
    *fitWidth = static_cast<UINT>((static_cast<ULONGLONG>(width) * boxHeight * 2 + height) / (2ull * height));
  }
  *fitWidth = std::clamp<UINT>(*fitWidth, 1, std::max<UINT>(boxWidth, 1));
  *fitHeight = std::clamp<UINT>(*fitHeight, 1, std::max<UINT>(boxHeight, 1));
}

HRESULT CheckFullSize(ULONGLONG width, ULONGLONG height) {
  if (width == 0 || height == 0) return IMGERR_CORRUPT;
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) return IMGERR_TOOLARGE;
  return S_OK;
}

HRESULT RunJob(DecodeJob& job, RowTarget& target) {
  HRESULT hr;
  while ((hr = job.Next(target, 1u << 30)) == E_PENDING) {
  }
  return hr;
}

HRESULT SinkRowTarget::Begin(UINT width, UINT height) {
  width_ = width;
  info_.Width = width;
  info_.Height = height;
  info_.PixelFormat = PixelFormat24bppRGB;
  return sink_->BeginSink(&info_, nullptr);
}

HRESULT SinkRowTarget::Row(UINT y, const BYTE* bgr) {
  RECT rect{0, static_cast<LONG>(y), static_cast<LONG>(width_), static_cast<LONG>(y + 1)};
  BitmapData data;
  data.Width = width_;
  data.Height = 1;
  data.Stride = static_cast<LONG>(RowStride(width_, PixelFormat24bppRGB));
  data.PixelFormat = PixelFormat24bppRGB;
  data.Scan0 = const_cast<BYTE*>(bgr);
  return sink_->PushPixelData(&rect, &data, TRUE);
}

}  // namespace imaging
