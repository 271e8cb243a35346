// The bytes of a picture file and the choice of reader by the file's first bytes.
#include <cstring>

#include "platform/imaging/imaging_internal.h"
#include "platform/imaging/picture_facts.h"

namespace imaging {

namespace {
// Streams of other kinds are copied; larger ones are refused.
constexpr ULONGLONG kMaxCopiedStream = 1ull << 30;
}  // namespace

HRESULT PictureBytes::FromStream(IStream* stream, std::shared_ptr<const PictureBytes>* out) {
  out->reset();
  if (!stream) return E_POINTER;
  std::shared_ptr<PictureBytes> bytes(new PictureBytes);
  if (auto* memory = dynamic_cast<StreamBytes*>(stream)) {
    SIZE_T size = 0;
    bytes->data_ = memory->Data(&size);
    bytes->size_ = size;
    bytes->stream_ = stream;
    stream->AddRef();
  } else {
    STATSTG stat;
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (stat.cbSize.QuadPart > kMaxCopiedStream) return E_OUTOFMEMORY;
    hr = stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    bytes->copy_.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    hr = stream->Read(bytes->copy_.data(), static_cast<ULONG>(bytes->copy_.size()), &read);
    if (FAILED(hr)) return hr;
    bytes->copy_.resize(read);
    bytes->data_ = bytes->copy_.data();
    bytes->size_ = bytes->copy_.size();
  }
  *out = std::move(bytes);
  return S_OK;
}

std::shared_ptr<const PictureBytes> PictureBytes::FromVector(std::vector<BYTE> file) {
  std::shared_ptr<PictureBytes> bytes(new PictureBytes);
  bytes->copy_ = std::move(file);
  bytes->data_ = bytes->copy_.data();
  bytes->size_ = bytes->copy_.size();
  return bytes;
}

PictureBytes::~PictureBytes() {
  if (stream_) stream_->Release();
}

namespace {

HRESULT OpenByFirstBytes(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  const BYTE* p = bytes->data();
  const size_t n = bytes->size();
  auto starts = [&](const char* magic, size_t length) { return n >= length && std::memcmp(p, magic, length) == 0; };
  if (starts("\xFF\xD8\xFF", 3)) return OpenJpegReader(std::move(bytes), reader);
  if (starts("\x89PNG\r\n\x1A\n", 8)) return OpenPngReader(std::move(bytes), reader);
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return OpenGifReader(std::move(bytes), reader);
  if (starts("BM", 2)) return OpenBmpReader(std::move(bytes), reader);
  if (starts("RIFF", 4) && n >= 12 && std::memcmp(p + 8, "WEBP", 4) == 0) return OpenWebpReader(std::move(bytes), reader);
  if (n >= 12 && std::memcmp(p + 4, "ftyp", 4) == 0) return OpenHeifReader(std::move(bytes), reader);
  return IMGERR_UNKNOWNFORMAT;
}

}  // namespace

HRESULT OpenPictureReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  HRESULT hr = OpenByFirstBytes(std::move(bytes), reader);
  if (SUCCEEDED(hr)) *reader = Upright(std::move(*reader));
  return hr;
}

ImageInfo InfoOf(const PictureFacts& facts) {
  ImageInfo info;
  info.RawDataFormat = facts.format;
  info.PixelFormat = PixelFormat16bppRGB565;
  info.Width = facts.width;
  info.Height = facts.height;
  info.TileWidth = facts.width;
  info.TileHeight = 1;
  info.Xdpi = facts.dpiX;
  info.Ydpi = facts.dpiY;
  info.Flags = facts.flags;
  return info;
}

}  // namespace imaging

bool ReadPictureFacts(std::vector<BYTE> file, PictureFileFacts* facts) {
  std::unique_ptr<imaging::PictureReader> reader;
  if (FAILED(imaging::OpenPictureReader(imaging::PictureBytes::FromVector(std::move(file)), &reader))) return false;
  const imaging::PictureFacts& read = reader->Facts();
  *facts = {read.format, read.width, read.height, read.bitsPerPixel};
  return true;
}
