// The device's imaging service: pictures decoded from JPEG, PNG, GIF, BMP, WebP and HEIF
// files (upright by their orientation tag, platform/imaging/orientation.h), held as
// COM objects, drawn into device contexts, turned, reduced to thumbnails and written as BMP.
//
// Created through CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
// IID_IImagingFactory, ...). Every pointer handed out owns one reference.
//
// Pixel limit: no picture of more than kMaxImagePixels pixels (or with a side longer than
// kMaxImageSide) is ever held at full size. Creating such a bitmap and decoding such a
// picture at full size fail with IMGERR_TOOLARGE before anything large is allocated;
// the picture's size can still be read, and thumbnails of it can still be made, since
// they are made row by row (JPEG files decode at a reduced scale for them). WebP and HEIF
// pictures, which their libraries decode whole, give no thumbnail above the limit either.
#pragma once

#include "platform/imaging/com.h"
#include "platform/gdi/gdi.h"

// A picture held at full size must fit a bitmap: 33,554,432 pixels, 65535 a side.
constexpr ULONGLONG kMaxImagePixels = kMaxBitmapPixels;
constexpr UINT kMaxImageSide = kMaxBitmapSide;

// ---- Results -------------------------------------------------------------------------

// No decoder recognises the bytes (not a picture, or a kind of file the service lacks).
constexpr HRESULT IMGERR_UNKNOWNFORMAT = static_cast<HRESULT>(0x80040201);
// The file is damaged or cut short.
constexpr HRESULT IMGERR_CORRUPT = static_cast<HRESULT>(0x80040202);
// The picture is above the pixel limit.
constexpr HRESULT IMGERR_TOOLARGE = static_cast<HRESULT>(0x80040203);
// The file holds no thumbnail of its own.
constexpr HRESULT IMGERR_NOTHUMBNAIL = static_cast<HRESULT>(0x80040204);

// ---- Identifiers ---------------------------------------------------------------------

inline constexpr GUID CLSID_ImagingFactory{0x0B8C0A05, 0xCBC7, 0x4EFA, {0x86, 0x3F, 0x59, 0x70, 0x66, 0xA2, 0x59, 0xD3}};
inline constexpr GUID IID_IImagingFactory{0x34738458, 0x89D5, 0x4F68, {0xAA, 0xA3, 0xB1, 0xEE, 0x03, 0x09, 0x78, 0xA8}};
inline constexpr GUID IID_IImage{0xF491C27C, 0x5899, 0x4A02, {0xBF, 0xB2, 0x13, 0xA8, 0xF6, 0x70, 0xB0, 0xBE}};
inline constexpr GUID IID_IBitmapImage{0x1CB5FD29, 0xEA24, 0x41E1, {0x95, 0xF0, 0x69, 0x48, 0x1D, 0x95, 0x85, 0x5C}};
inline constexpr GUID IID_IBasicBitmapOps{0xE21BF1B2, 0x6CB1, 0x4CF3, {0xB0, 0x43, 0x9B, 0xE3, 0x29, 0x1C, 0x9A, 0xED}};
inline constexpr GUID IID_IImageSink{0x78A4A911, 0x582A, 0x4838, {0x9B, 0x86, 0x2D, 0xC3, 0xC9, 0x97, 0xBB, 0x2F}};
inline constexpr GUID IID_IImageDecoder{0xB77C49D9, 0x944B, 0x401C, {0x92, 0xD2, 0x1C, 0x7D, 0x9D, 0xD1, 0xEC, 0x44}};
inline constexpr GUID IID_IImageEncoder{0x8804912E, 0x8E1E, 0x4CBE, {0x91, 0xAD, 0xA9, 0xB5, 0x55, 0xC7, 0x73, 0x7B}};

// Raw data formats (ImageInfo::RawDataFormat, ImageCodecInfo::FormatID).
inline constexpr GUID ImageFormatMemoryBMP{0x959D711B, 0x98CD, 0x4A30, {0xAE, 0x1F, 0xDC, 0x8B, 0x54, 0x8A, 0xD3, 0x93}};
inline constexpr GUID ImageFormatBMP{0x3AE742C8, 0x2C6A, 0x4955, {0x8C, 0x07, 0x50, 0x42, 0x25, 0x82, 0xF6, 0xC0}};
inline constexpr GUID ImageFormatJPEG{0x800353EA, 0x2A9E, 0x4052, {0x9C, 0x18, 0xAA, 0x92, 0xD2, 0x88, 0x50, 0x2F}};
inline constexpr GUID ImageFormatPNG{0xB87334D1, 0x5A71, 0x46FE, {0xBE, 0x30, 0x50, 0x04, 0x24, 0x36, 0x0A, 0x27}};
inline constexpr GUID ImageFormatGIF{0xC3DED8FF, 0xE2FC, 0x4250, {0x9B, 0x64, 0x68, 0x89, 0xB2, 0x84, 0x42, 0x76}};
inline constexpr GUID ImageFormatHEIF{0x5A3C1E07, 0x8B2D, 0x4F61, {0xA4, 0x19, 0x3E, 0x72, 0xC0, 0x5D, 0x9B, 0x14}};
inline constexpr GUID ImageFormatWEBP{0x1F6B9E42, 0x3C58, 0x4D0A, {0x8E, 0x27, 0x94, 0xB1, 0x6A, 0x03, 0xD5, 0xC8}};

// Frame dimensions: pages (every still picture has one page) and time (GIF animation frames).
inline constexpr GUID FrameDimensionPage{0x6E3EE083, 0x2212, 0x4A59, {0x93, 0xC2, 0xE5, 0xA8, 0xEE, 0x0D, 0xD0, 0xB5}};
inline constexpr GUID FrameDimensionTime{0x1B9DE6E8, 0x87E0, 0x4CAA, {0xBC, 0xFA, 0xA1, 0x6A, 0x4B, 0x0F, 0x7B, 0x7C}};

// Codec classes, as listed by GetInstalledEncoders and GetInstalledDecoders.
inline constexpr GUID CLSID_BmpEncoder{0x856DA23A, 0x7972, 0x408E, {0x95, 0x6B, 0x51, 0x53, 0xFA, 0xC6, 0x8B, 0x82}};
inline constexpr GUID CLSID_BmpDecoder{0x771286B7, 0x6CED, 0x4EBF, {0x9E, 0xB3, 0x39, 0x9D, 0x63, 0x9F, 0x81, 0x57}};
inline constexpr GUID CLSID_JpegDecoder{0x278AE9AC, 0x7920, 0x4986, {0xBD, 0xC2, 0xBA, 0x80, 0x92, 0x35, 0x22, 0x68}};
inline constexpr GUID CLSID_PngDecoder{0x0FFB197E, 0x16FD, 0x4B28, {0xBB, 0x3C, 0x2D, 0x9A, 0xAC, 0x40, 0x8A, 0x1C}};
inline constexpr GUID CLSID_GifDecoder{0x4274233D, 0x5536, 0x4797, {0xA8, 0x06, 0xB0, 0x27, 0x79, 0x2B, 0x61, 0xC8}};
inline constexpr GUID CLSID_HeifDecoder{0x7C0E4A93, 0x15D2, 0x4B8F, {0x9A, 0x61, 0x2F, 0xD8, 0x43, 0xE7, 0x0B, 0x5C}};
inline constexpr GUID CLSID_WebpDecoder{0xB3D27F10, 0x6E49, 0x4C85, {0x81, 0x3A, 0x5C, 0x0F, 0xE2, 0x97, 0x64, 0xAD}};

// ---- Pixels --------------------------------------------------------------------------

// A pixel format: bits 8..15 hold the bits per pixel.
using PixelFormatID = DWORD;
using PixelFormat = PixelFormatID;
// 16 bits: red 5, green 6, blue 5 (the screen's format).
constexpr PixelFormatID PixelFormat16bppRGB565 = 0x00021005;
// 24 bits: bytes blue, green, red.
constexpr PixelFormatID PixelFormat24bppRGB = 0x00021808;
// 32 bits: bytes blue, green, red and an unused one.
constexpr PixelFormatID PixelFormat32bppRGB = 0x00022009;
// 32 bits: bytes blue, green, red, alpha.
constexpr PixelFormatID PixelFormat32bppARGB = 0x0026200A;
constexpr UINT GetPixelFormatSize(PixelFormatID format) { return (format >> 8) & 0xFF; }

using ARGB = DWORD;
struct ColorPalette {
  UINT Flags;
  UINT Count;
  ARGB Entries[1];
};

// Pixels of a rectangle: row y starts at Scan0 + y * Stride (bytes; rows top to bottom).
struct BitmapData {
  UINT Width = 0;
  UINT Height = 0;
  LONG Stride = 0;
  PixelFormatID PixelFormat = 0;
  void* Scan0 = nullptr;
  std::uintptr_t Reserved = 0;
};

constexpr UINT ImageLockModeRead = 0x1;
constexpr UINT ImageLockModeWrite = 0x2;
constexpr UINT ImageLockModeUserInputBuf = 0x4;

constexpr UINT ImageFlagsNone = 0;
constexpr UINT ImageFlagsHasAlpha = 0x0002;
constexpr UINT ImageFlagsColorSpaceRGB = 0x0010;
constexpr UINT ImageFlagsColorSpaceGRAY = 0x0040;
constexpr UINT ImageFlagsHasRealPixelSize = 0x2000;

struct ImageInfo {
  GUID RawDataFormat;                 // ImageFormatJPEG, ... ; ImageFormatMemoryBMP for bitmaps
  PixelFormatID PixelFormat = 0;      // the format pixels are delivered in
  UINT Width = 0;
  UINT Height = 0;
  UINT TileWidth = 0;
  UINT TileHeight = 0;
  double Xdpi = 0;
  double Ydpi = 0;
  UINT Flags = 0;
};

enum DecoderInitFlag : DWORD {
  DecoderInitFlagNone = 0,
  DecoderInitFlagNoBlock = 1,
  DecoderInitFlagBuiltIn1st = 2,
};

enum InterpolationHint : DWORD {
  InterpolationHintDefault = 0,
  InterpolationHintNearestNeighbor = 1,
  InterpolationHintBilinear = 2,
  InterpolationHintAveraging = 3,
  InterpolationHintBicubic = 4,
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName;
  const WCHAR* DllName;
  const WCHAR* FormatDescription;
  const WCHAR* FilenameExtension;
  const WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  const BYTE* SigPattern;
  const BYTE* SigMask;
};
constexpr DWORD ImageCodecFlagsEncoder = 0x1;
constexpr DWORD ImageCodecFlagsDecoder = 0x2;
constexpr DWORD ImageCodecFlagsBuiltin = 0x10000;

// Property sets and encoder parameters are accepted and ignored.
struct IPropertySetStorage;
struct EncoderParameters;

// ---- Interfaces ----------------------------------------------------------------------

struct IImageSink;

// A picture that can draw itself, hand its pixels to a sink and make a thumbnail.
struct IImage : IUnknown {
  // Size in 0.01 mm at the picture's resolution.
  virtual HRESULT GetPhysicalDimension(SIZE* size) = 0;
  virtual HRESULT GetImageInfo(ImageInfo* info) = 0;
  virtual HRESULT SetImageFlags(UINT flags) = 0;
  // Stretches the source rectangle (pixels; nullptr: the whole picture) into the
  // destination rectangle of the context, nearest neighbour. The context clips.
  virtual HRESULT Draw(HDC dc, const RECT* destination, const RECT* source) = 0;
  // Delivers the whole picture to the sink (BeginSink, pixels, EndSink).
  virtual HRESULT PushIntoSink(IImageSink* sink) = 0;
  // A new picture that fits inside width x height keeping the proportions (one side
  // touches the box), made from the whole picture.
  virtual HRESULT GetThumbnail(UINT width, UINT height, IImage** thumbnail) = 0;
};

// A picture held in memory as pixels.
struct IBitmapImage : IUnknown {
  virtual HRESULT GetSize(SIZE* size) = 0;
  virtual HRESULT GetPixelFormatID(PixelFormatID* format) = 0;
  // Pixels of the rectangle (nullptr: all) in the asked format; with another format than
  // the bitmap's, a converted copy that UnlockBits writes back when locked for writing.
  virtual HRESULT LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) = 0;
  virtual HRESULT UnlockBits(const BitmapData* data) = 0;
  virtual HRESULT GetPalette(ColorPalette** palette) = 0;
  virtual HRESULT SetPalette(const ColorPalette* palette) = 0;
};

// Operations that make a new bitmap from a bitmap.
struct IBasicBitmapOps : IUnknown {
  virtual HRESULT Clone(const RECT* rect, IBitmapImage** copy, BOOL needCopy) = 0;
  virtual HRESULT Flip(BOOL flipX, BOOL flipY, IBitmapImage** flipped) = 0;
  virtual HRESULT Resize(UINT width, UINT height, PixelFormatID format, InterpolationHint hint,
                         IBitmapImage** resized) = 0;
  // Quarter turns only (0, 90, 180, 270; other angles give E_INVALIDARG). Positive angles
  // turn counter-clockwise on the screen: at 90 the top edge becomes the left edge.
  virtual HRESULT Rotate(float angle, InterpolationHint hint, IBitmapImage** rotated) = 0;
  virtual HRESULT AdjustBrightness(float percent) = 0;
  virtual HRESULT AdjustContrast(float shadow, float highlight) = 0;
  virtual HRESULT AdjustGamma(float gamma) = 0;
};

// Receives a picture: BeginSink, then pixels by rectangles of whole rows, then EndSink.
struct IImageSink : IUnknown {
  // The sink may change info->PixelFormat to the format it prefers.
  virtual HRESULT BeginSink(ImageInfo* info, RECT* subarea) = 0;
  virtual HRESULT EndSink(HRESULT status) = 0;
  virtual HRESULT SetPalette(const ColorPalette* palette) = 0;
  // A buffer for the rows of rect, to be filled and handed back with ReleasePixelDataBuffer.
  virtual HRESULT GetPixelDataBuffer(const RECT* rect, PixelFormatID format, BOOL lastPass, BitmapData* data) = 0;
  virtual HRESULT ReleasePixelDataBuffer(const BitmapData* data) = 0;
  virtual HRESULT PushPixelData(const RECT* rect, const BitmapData* data, BOOL lastPass) = 0;
  virtual HRESULT PushRawData(const void* buffer, UINT size) = 0;
};

// Reads one picture file from a stream.
struct IImageDecoder : IUnknown {
  virtual HRESULT InitDecoder(IStream* stream, DecoderInitFlag flags) = 0;
  virtual HRESULT TerminateDecoder() = 0;
  // Decoding of the active frame: BeginDecode, Decode until it no longer gives E_PENDING
  // (it decodes a band of rows per call), then EndDecode with Decode's last result.
  virtual HRESULT BeginDecode(IImageSink* sink, IPropertySetStorage* properties) = 0;
  virtual HRESULT Decode() = 0;
  virtual HRESULT EndDecode(HRESULT status) = 0;
  virtual HRESULT GetFrameDimensionsCount(UINT* count) = 0;
  virtual HRESULT GetFrameDimensionsList(GUID* dimensions, UINT count) = 0;
  virtual HRESULT GetFrameCount(const GUID* dimension, UINT* count) = 0;
  virtual HRESULT SelectActiveFrame(const GUID* dimension, UINT index) = 0;
  virtual HRESULT GetImageInfo(ImageInfo* info) = 0;
  // Only the thumbnail stored in the file (a JPEG's EXIF thumbnail), fitted inside
  // width x height; IMGERR_NOTHUMBNAIL when the file has none.
  virtual HRESULT GetThumbnail(UINT width, UINT height, IImage** thumbnail) = 0;
};

// Writes pictures in one file format; GetEncodeSink gives the sink that takes the picture.
struct IImageEncoder : IUnknown {
  virtual HRESULT InitEncoder(IStream* stream) = 0;
  virtual HRESULT TerminateEncoder() = 0;
  virtual HRESULT GetEncodeSink(IImageSink** sink) = 0;
  virtual HRESULT SetFrameDimension(const GUID* dimension) = 0;
  virtual HRESULT GetEncoderParameterListSize(UINT* size) = 0;
  virtual HRESULT GetEncoderParameterList(UINT size, EncoderParameters* parameters) = 0;
  virtual HRESULT SetEncoderParameters(const EncoderParameters* parameters) = 0;
};

struct IImagingFactory : IUnknown {
  // Pictures that decode when they are first drawn or pushed; the stream is held.
  virtual HRESULT CreateImageFromStream(IStream* stream, IImage** image) = 0;
  // The file (a device path) is read into memory whole.
  virtual HRESULT CreateImageFromFile(const WCHAR* path, IImage** image) = 0;
  // An empty (black) bitmap in one of the four pixel formats above.
  virtual HRESULT CreateNewBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap) = 0;
  // The image's pixels stretched to width x height in the given format.
  virtual HRESULT CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format,
                                        InterpolationHint hint, IBitmapImage** bitmap) = 0;
  // Recognises JPEG, PNG, GIF, BMP, WebP and HEIF by their first bytes and reads the header.
  virtual HRESULT CreateImageDecoder(IStream* stream, DecoderInitFlag flags, IImageDecoder** decoder) = 0;
  virtual HRESULT CreateImageEncoderToStream(const CLSID* clsid, IStream* stream, IImageEncoder** encoder) = 0;
  // Creates (or empties) the file at once; the picture is written when the sink ends.
  virtual HRESULT CreateImageEncoderToFile(const CLSID* clsid, const WCHAR* path, IImageEncoder** encoder) = 0;
  // Arrays of records in one block: free with CoTaskMemFree.
  virtual HRESULT GetInstalledDecoders(UINT* count, ImageCodecInfo** decoders) = 0;
  virtual HRESULT GetInstalledEncoders(UINT* count, ImageCodecInfo** encoders) = 0;
};
