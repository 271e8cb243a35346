// What the parts of the imaging service share: the picture readers of each file format,
// the rows they produce, pixel conversion and the bitmap object.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/imaging/com_object.h"
#include "platform/imaging/imaging.h"

#define VELLUMET_INTERFACE_ID(Interface)                                  \
  template <>                                                             \
  struct InterfaceId<Interface> {                                         \
    static bool Matches(REFIID iid) { return iid == IID_##Interface; }    \
  };
VELLUMET_INTERFACE_ID(IImagingFactory)
VELLUMET_INTERFACE_ID(IImage)
VELLUMET_INTERFACE_ID(IBitmapImage)
VELLUMET_INTERFACE_ID(IBasicBitmapOps)
VELLUMET_INTERFACE_ID(IImageSink)
VELLUMET_INTERFACE_ID(IImageDecoder)
VELLUMET_INTERFACE_ID(IImageEncoder)
#undef VELLUMET_INTERFACE_ID

// The factory class, created by CoCreateInstance.
HRESULT CreateImagingFactoryObject(REFIID iid, void** object);

// Streams made by CreateStreamOnHGlobal expose their bytes, so that readers need no copy.
struct StreamBytes {
  virtual const BYTE* Data(SIZE_T* size) = 0;

 protected:
  ~StreamBytes() = default;
};

namespace imaging {

// ---- Bytes of a picture file ---------------------------------------------------------

// The whole file in memory: the block of a memory stream (kept alive by a reference to
// the stream) or a copy read from any other stream.
class PictureBytes {
 public:
  static HRESULT FromStream(IStream* stream, std::shared_ptr<const PictureBytes>* out);
  static std::shared_ptr<const PictureBytes> FromVector(std::vector<BYTE> bytes);
  ~PictureBytes();
  PictureBytes(const PictureBytes&) = delete;
  PictureBytes& operator=(const PictureBytes&) = delete;

  const BYTE* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  PictureBytes() = default;
  IStream* stream_ = nullptr;
  std::vector<BYTE> copy_;
  const BYTE* data_ = nullptr;
  size_t size_ = 0;
};

// ---- Rows ----------------------------------------------------------------------------

// Receives a decoded picture as rows of 24-bit pixels (bytes blue, green, red), top to
// bottom, each row once.
class RowTarget {
 public:
  virtual ~RowTarget() = default;
  virtual HRESULT Begin(UINT width, UINT height) = 0;
  virtual HRESULT Row(UINT y, const BYTE* bgr) = 0;
};

// One frame being decoded.
class DecodeJob {
 public:
  virtual ~DecodeJob() = default;
  // Decodes up to maxRows more rows (Begin comes with the first call). S_OK when the
  // picture is complete, E_PENDING while rows remain, a failure otherwise.
  virtual HRESULT Next(RowTarget& target, UINT maxRows) = 0;
};

struct PictureFacts {
  GUID format;
  UINT width = 0;
  UINT height = 0;
  double dpiX = 72;
  double dpiY = 72;
  UINT flags = ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize;
  UINT frameCount = 1;
  GUID frameDimension = FrameDimensionPage;
  UINT bitsPerPixel = 24;   // of the file's pixels; the photo facts take it from the WebP and HEIF readers
  int exifOrientation = 0;  // the file's orientation tag (platform/imaging/exif.h), 0 without one
};

// The header of a picture file, read when the reader is made, and the way to its pixels.
class PictureReader {
 public:
  virtual ~PictureReader() = default;
  const PictureFacts& Facts() const { return facts_; }
  // Frames past the first exist only in GIF files.
  virtual HRESULT SelectFrame(UINT index) { return index == 0 ? S_OK : E_INVALIDARG; }
  // Starts decoding the active frame at full size, or, when minWidth and minHeight are
  // given, at any size down to them that the format decodes cheaply (JPEG's scaled
  // decoding). Full-size decodes above the pixel limit fail with IMGERR_TOOLARGE.
  virtual HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) = 0;
  // The reader of the thumbnail stored inside the file, as it is stored.
  virtual HRESULT StoredThumbnail(std::unique_ptr<PictureReader>* thumbnail) {
    thumbnail->reset();
    return IMGERR_NOTHUMBNAIL;
  }

 protected:
  PictureFacts facts_;
};

// The information a decoder or a picture gives about the reader's picture. Pictures are
// held for the screen, so bitmaps made from this information are in its 565 format.
ImageInfo InfoOf(const PictureFacts& facts);

// Each format's reader: IMGERR_UNKNOWNFORMAT when the bytes are not of the format,
// IMGERR_CORRUPT when the header is damaged or cut short.
HRESULT OpenJpegReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
HRESULT OpenPngReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
HRESULT OpenGifReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
HRESULT OpenBmpReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
HRESULT OpenWebpReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
HRESULT OpenHeifReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
// The reader of whichever format the first bytes show, giving the upright picture.
HRESULT OpenPictureReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader);
// The reader itself, or one in front of it that turns the picture upright by its
// orientation tag (while photos are turned at all).
std::unique_ptr<PictureReader> Upright(std::unique_ptr<PictureReader> reader);

// IMGERR_TOOLARGE above the pixel limit, IMGERR_CORRUPT for an empty picture, else S_OK.
HRESULT CheckFullSize(ULONGLONG width, ULONGLONG height);

// Runs a whole job into the target.
HRESULT RunJob(DecodeJob& job, RowTarget& target);

// A picture that its format's library decoded whole: 8-bit channels in the given order.
enum class Channels { Bgr, Rgb, Bgra, Rgba };
struct WholePicture {
  const BYTE* pixels = nullptr;
  size_t stride = 0;  // bytes from one row to the next
  UINT width = 0, height = 0;
  Channels channels = Channels::Bgr;
};

// The job of such a format: the first call decodes the picture, then its rows are handed
// out as the other formats' are, the transparent parts laid over black.
class WholePictureJob : public DecodeJob {
 public:
  HRESULT Next(RowTarget& target, UINT maxRows) final;

 protected:
  // Decodes the picture; what it points to lives as long as the job.
  virtual HRESULT DecodeWhole(WholePicture* picture) = 0;

 private:
  WholePicture picture_;
  bool decoded_ = false;
  UINT next_ = 0;
  std::vector<BYTE> row_;
};

// Hands rows to an IImageSink: BeginSink when the size is known, then one PushPixelData
// per row in 24-bit pixels. EndSink is the caller's.
class SinkRowTarget : public RowTarget {
 public:
  SinkRowTarget(IImageSink* sink, const ImageInfo& info) : sink_(sink), info_(info) {}
  HRESULT Begin(UINT width, UINT height) override;
  HRESULT Row(UINT y, const BYTE* bgr) override;

 private:
  IImageSink* sink_;
  ImageInfo info_;
  UINT width_ = 0;
};

// ---- Pixels --------------------------------------------------------------------------

bool IsSupportedFormat(PixelFormatID format);
// Bytes of a row, rounded up to a multiple of 4.
size_t RowStride(UINT width, PixelFormatID format);
// Converts count pixels between any two of the supported formats.
void ConvertPixels(const BYTE* source, PixelFormatID sourceFormat, BYTE* target, PixelFormatID targetFormat,
                   UINT count);

// The size that fits width x height inside boxWidth x boxHeight with the same proportions.
void FitInside(UINT width, UINT height, UINT boxWidth, UINT boxHeight, UINT* fitWidth, UINT* fitHeight);

// ---- Bitmaps -------------------------------------------------------------------------

// A new black bitmap; 565 bitmaps are DIB sections, drawn without a copy.
HRESULT CreateBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap);

// Collects rows (of any size) into a new bitmap of exactly width x height in the format:
// each target pixel is the average of the source pixels under it, or, when enlarging,
// the source pixel under its centre. Only a few rows of sums are held, never the source.
class ResampleTarget : public RowTarget {
 public:
  ResampleTarget(UINT width, UINT height, PixelFormatID format);
  ~ResampleTarget() override;
  HRESULT Begin(UINT width, UINT height) override;
  HRESULT Row(UINT y, const BYTE* bgr) override;
  // The finished bitmap (one reference for the caller), after the last row.
  HRESULT Finish(IBitmapImage** bitmap);

 private:
  void Emit(UINT targetRow, const std::vector<ULONGLONG>& sums);
  UINT width_, height_;
  PixelFormatID format_;
  UINT sourceWidth_ = 0, sourceHeight_ = 0;
  std::vector<UINT> columnStart_, columnEnd_;  // source columns of each target column
  std::vector<UINT> rowStart_, rowEnd_;        // source rows of each target row
  UINT nextTargetRow_ = 0;
  std::map<UINT, std::vector<ULONGLONG>> sums_;  // open target rows, 3 sums per pixel
  IBitmapImage* bitmap_ = nullptr;
  BitmapData pixels_;
};

// The picture of a reader as an IImage that decodes when it is first drawn or pushed.
HRESULT CreatePictureImage(std::unique_ptr<PictureReader> reader, IImage** image);
// An IImageDecoder over a reader.
HRESULT CreateDecoderObject(std::unique_ptr<PictureReader> reader, IImageDecoder** decoder);
// The BMP encoder writing into a stream, or into a file when the path is given.
HRESULT CreateBmpEncoder(IStream* stream, const WCHAR* path, IImageEncoder** encoder);
// Makes the picture's thumbnail from the whole picture (fitted inside the box).
HRESULT MakeThumbnail(PictureReader& reader, UINT boxWidth, UINT boxHeight, IImage** thumbnail);

}  // namespace imaging
