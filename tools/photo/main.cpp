// vellumet-photo: one photo run the way the screens run it.
//   vellumet-photo --root DIR PATH [--rotate DEG] [--out OUT.png]
//   vellumet-photo --root DIR --thumb PATH --out OUT.bmp
// PATH is a device path ("\SDMMC\a.jpg") or a host path inside DIR. The photo's record and
// the outcome go to standard output, the decoder's diagnostics to standard error. Exit
// status 0 when a picture (or thumbnail) was made, 1 when not, 2 for bad arguments.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "platform/device/framebuffer.h"
#include "platform/gdi/png_file.h"
#include "platform/kernel/wide.h"
#include "tools/photo/photo_run.h"

#undef printf

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vellumet-photo --root DIR PATH [--rotate DEG] [--out OUT.png]\n"
               "       vellumet-photo --root DIR --thumb PATH --out OUT.bmp\n");
  return 2;
}

int RunThumb(IImagingFactory* factory, LPCWSTR path, const std::string& out) {
  Thumbnail thumb = MakeThumbnail(factory, path);
  if (!thumb.image) {
    std::printf("no thumbnail\n");
    return 1;
  }
  std::printf("thumbnail %ux%u (%s)\n", thumb.width, thumb.height,
              thumb.inner ? "the photo's own" : "from the whole photo");
  std::vector<BYTE> bmp;
  bool ok = EncodeBmp(factory, thumb.image, bmp);
  thumb.image->Release();
  if (!ok) {
    std::printf("BMP encoding failed\n");
    return 1;
  }
  std::ofstream file(out, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
  if (!file.flush()) {
    std::fprintf(stderr, "vellumet-photo: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

int RunView(LPCWSTR path, float angle, const std::string& out) {
  CImageDecoder decoder;
  PhotoRun run = RunPhoto(decoder, path, angle);
  if (run.infoResult != 0) {
    std::printf("photo info: cannot read the file\n");
  } else {
    std::printf("photo info: %s %dx%d, %d bits\n",
                ToUtf8(WStringView(run.info.Format)).c_str(), run.info.Width, run.info.Height, run.info.BitDepth);
  }
  std::printf("open: %u, decode: %s", run.opened, run.decoded ? "ok" : "failed");
  if (run.decoded) {
    std::printf(", size %ux%u", decoder.m_ImageInfo.Width, decoder.m_ImageInfo.Height);
    if (CJpgSwDecoder* jpg = decoder.JpgSw(); decoder.IsJpgPath() && jpg)
      std::printf(" (bitmap %ux%u)", jpg->Width(), jpg->Height());
  }
  if (angle >= 0) std::printf(", rotate %g: %s", static_cast<double>(angle), run.turned ? "ok" : "failed");
  if (run.drawn)
    std::printf(", drawn at (%d,%d)-(%d,%d)", run.shown.left, run.shown.top, run.shown.right, run.shown.bottom);
  std::printf("\n");
  if (!run.drawn) return 1;
  if (!out.empty() && !WritePng565(out, GetVisibleFrame(), kScreenWidth, kScreenHeight, kScreenWidth)) {
    std::fprintf(stderr, "vellumet-photo: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root, path, out, thumb;
  float angle = -1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (a == "--rotate" && i + 1 < argc) {
      angle = std::strtof(argv[++i], nullptr);
    } else if (a == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "--thumb" && i + 1 < argc) {
      thumb = argv[++i];
    } else if (!a.empty() && a[0] != '-' && path.empty()) {
      path = a;
    } else {
      return Usage();
    }
  }
  if (root.empty() || (path.empty() == thumb.empty()) || (!thumb.empty() && out.empty())) return Usage();
  SetDeviceRoot(root);
  WString device = DevicePathUnderRoot(root, thumb.empty() ? path : thumb);
  if (device.empty()) {
    std::fprintf(stderr, "vellumet-photo: %s is not inside %s\n", (thumb.empty() ? path : thumb).c_str(),
                 root.c_str());
    return 2;
  }

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int rc;
  if (!thumb.empty()) {
    IImagingFactory* factory = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                  reinterpret_cast<void**>(&factory));
    rc = FAILED(hr) ? 1 : RunThumb(factory, device.c_str(), out);
    if (factory) factory->Release();
  } else {
    rc = RunView(device.c_str(), angle, out);
  }
  CoUninitialize();
  return rc;
}
