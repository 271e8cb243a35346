#include "tools/photo/photo_run.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/device/framebuffer.h"
#include "platform/media/player.h"
#include "platform/kernel/wide.h"
#include "platform/windows/window.h"

RECT FitIntoBox(UINT w, UINT h, int bw, int bh) {
  RECT r{};
  if (w == 0 || h == 0) return r;
  const int rw = static_cast<int>(100u * static_cast<UINT>(bw) / w);
  const int rh = static_cast<int>(100u * static_cast<UINT>(bh) / h);
  const float scale = rw < rh ? 100.0f * static_cast<float>(bw) / static_cast<float>(w)
                              : 100.0f * static_cast<float>(bh) / static_cast<float>(h);
  const int fw = static_cast<int>(static_cast<float>(w) * scale) / 100;
  const int fh = static_cast<int>(static_cast<float>(h) * scale) / 100;
  r.left = (bw - fw) / 2;
  r.top = (bh - fh) / 2;
  r.right = r.left + fw;
  r.bottom = r.top + fh;
  return r;
}

PhotoRun RunPhoto(CImageDecoder& decoder, LPCWSTR path, float angle) {
  PhotoRun run;
  Cplayerc player;
  run.infoResult = player.GetPhotoInfo(&run.info, path);
  const UINT width = run.infoResult == 0 ? static_cast<UINT>(std::max(run.info.Width, 0)) : 0;
  const UINT height = run.infoResult == 0 ? static_cast<UINT>(std::max(run.info.Height, 0)) : 0;

  decoder.Close();
  run.opened = decoder.Open(path, width, height);
  if (run.opened == 0) return run;
  run.decoded = decoder.Decode(0) != 0 && decoder.IsDecoded();
  if (!run.decoded) return run;
  run.turned = angle < 0 || decoder.Rotate(angle);

  UINT w = decoder.m_ImageInfo.Width, h = decoder.m_ImageInfo.Height;
  if (angle == 90 || angle == 270) std::swap(w, h);
  run.shown = FitIntoBox(w, h, kScreenWidth, kScreenHeight);
  std::memset(GetVisibleFrame(), 0, kFrameBytes);
  // A failed turn leaves nothing to draw.
  if (run.turned && decoder.IsDecoded()) {
    HDC screen = GetDC(nullptr);
    decoder.Draw(screen, &run.shown);
    ReleaseDC(nullptr, screen);
    run.drawn = true;
  }
  return run;
}

Thumbnail MakeThumbnail(IImagingFactory* factory, LPCWSTR path) {
  Thumbnail thumb;
  IStream* stream = nullptr;
  if (SUCCEEDED(LoadFileToStream(path, &stream))) {
    IImageDecoder* decoder = nullptr;
    if (SUCCEEDED(factory->CreateImageDecoder(stream, DecoderInitFlagBuiltIn1st, &decoder))) {
      thumb.inner = SUCCEEDED(decoder->GetThumbnail(50, 50, &thumb.image));
      decoder->Release();
    }
    stream->Release();
  }
  if (!thumb.inner) {
    thumb.image = nullptr;
    IImage* whole = nullptr;
    if (SUCCEEDED(factory->CreateImageFromFile(path, &whole))) {
      if (FAILED(whole->GetThumbnail(50, 50, &thumb.image))) thumb.image = nullptr;
      whole->Release();
    }
  }
  ImageInfo info;
  if (thumb.image && SUCCEEDED(thumb.image->GetImageInfo(&info))) {
    thumb.width = info.Width;
    thumb.height = info.Height;
  }
  return thumb;
}

bool EncodeBmp(IImagingFactory* factory, IImage* image, std::vector<BYTE>& bytes) {
  UINT count = 0;
  ImageCodecInfo* codecs = nullptr;
  if (FAILED(factory->GetInstalledEncoders(&count, &codecs))) return false;
  CLSID bmp{};
  bool found = false;
  for (UINT i = 0; i < count && !found; ++i) {
    if (codecs[i].MimeType && WString(codecs[i].MimeType) == u"image/bmp") {
      bmp = codecs[i].Clsid;
      found = true;
    }
  }
  CoTaskMemFree(codecs);
  if (!found) return false;

  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return false;
  bool ok = false;
  IImageEncoder* encoder = nullptr;
  if (SUCCEEDED(factory->CreateImageEncoderToStream(&bmp, stream, &encoder))) {
    IImageSink* sink = nullptr;
    if (SUCCEEDED(encoder->GetEncodeSink(&sink))) {
      ok = SUCCEEDED(image->PushIntoSink(sink));
      sink->Release();
    }
    encoder->TerminateEncoder();
    encoder->Release();
  }
  STATSTG stat;
  if (ok && SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
    bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start;
    ULONG read = 0;
    ok = SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
         SUCCEEDED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) && read == bytes.size();
  }
  stream->Release();
  return ok;
}

WString DevicePathUnderRoot(const std::string& root, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  // A path that names a host file inside the root becomes the device path of that file.
  if (fs::exists(path, error)) {
    fs::path relative = fs::relative(fs::weakly_canonical(path, error), fs::weakly_canonical(root, error), error);
    std::string text = relative.generic_string();
    if (error || relative.empty() || text.rfind("..", 0) == 0) return {};
    std::replace(text.begin(), text.end(), '/', '\\');
    return FromUtf8("\\" + text);
  }
  return FromUtf8(path);  // taken as a device path
}
