#include "thumbs/thumb_maker.h"

#include "platform/kernel/debug.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/local_memory.h"
#include "platform/storage/files.h"
#include "thumbs/thumb_index.h"

namespace {

template <typename T>
void ReleaseAndClear(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

HRESULT FromLastError() { return static_cast<HRESULT>(0x80000000u + GetLastError()); }

bool IsFolderName(const WString& name) { return !name.empty() && name[0] == u'<'; }

unsigned Hex(HRESULT hr) { return static_cast<unsigned>(hr); }

}  // namespace

HRESULT LoadThumbSourceStream(LPCWSTR path, IStream** stream) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DebugZonePrint(kThumbZone, u"CreateFile failed with GLE = %d", static_cast<int>(GetLastError()));
    return FromLastError();
  }
  HRESULT hr;
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    DebugZonePrint(kThumbZone, u"GetFileSize failed with GLE = %d", static_cast<int>(GetLastError()));
    hr = FromLastError();
  } else if (HLOCAL memory = LocalAlloc(LMEM_MOVEABLE, size); !memory) {
    DebugZonePrint(kThumbZone, u"GlobalAlloc failed with GLE = %d", static_cast<int>(GetLastError()));
    hr = FromLastError();
  } else {
    DWORD read = 0;
    if (!ReadFile(file, memory, size, &read, nullptr)) {
      DebugZonePrint(kThumbZone, u"ReadFile failed with GLE = %d", static_cast<int>(GetLastError()));
      hr = FromLastError();
      LocalFree(memory);
    } else {
      hr = CreateStreamOnHGlobal(memory, TRUE, stream);
      if (FAILED(hr)) LocalFree(memory);
    }
  }
  CloseHandle(file);
  return hr;
}

IImage* GetThumbWithoutDecoding(IImagingFactory* factory, const WString& path) {
  if (IsFolderName(path)) return nullptr;
  IImage* thumb = nullptr;
  IStream* stream = nullptr;
  IImageDecoder* decoder = nullptr;
  HRESULT hr = LoadThumbSourceStream(path.c_str(), &stream);
  if (FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"CreateStreamOnFile failed, hr: 0x%08x", Hex(hr));
  } else if (hr = factory ? factory->CreateImageDecoder(stream, DecoderInitFlagBuiltIn1st, &decoder) : E_POINTER;
             FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"CreateImageDecoder failed, hr: 0x%08x", Hex(hr));
  } else if (hr = decoder->GetThumbnail(kThumbSide, kThumbSide, &thumb); FAILED(hr)) {
    // No thumbnail inside the file: the one made earlier, if its file is still there.
    DebugZonePrint(kThumbQuietZone, u"GetThumbnail failed, hr: 0x%08x", Hex(hr));
    thumb = nullptr;
    WString stored;
    if (TheThumbIndex().Lookup(path, stored, false)) {
      hr = factory->CreateImageFromFile(stored.c_str(), &thumb);
      if (FAILED(hr)) {
        DebugZonePrint(kThumbZone, u"CreateImageFromFile failed, hr: 0x%08x", Hex(hr));
        thumb = nullptr;
      }
    }
  }
  ReleaseAndClear(decoder);
  ReleaseAndClear(stream);
  return thumb;
}

IImage* MakeThumbFromWholePhoto(IImagingFactory* factory, const WString& path) {
  if (IsFolderName(path)) return nullptr;
  DebugZonePrint(kThumbQuietZone, u"Opening %s", path.c_str());
  IImage* photo = nullptr;
  HRESULT hr = factory ? factory->CreateImageFromFile(path.c_str(), &photo) : E_POINTER;
  if (FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"CreateImageFromFile failed, hr: 0x%08x", Hex(hr));
    return nullptr;
  }
  IImage* thumb = nullptr;
  hr = photo->GetThumbnail(kThumbSide, kThumbSide, &thumb);
  if (FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"GetThumbnail failed, hr: 0x%08x", Hex(hr));
    thumb = nullptr;
  }
  photo->Release();
  return thumb;
}

bool StoreThumb(IImagingFactory* factory, IImage* thumb, const WString& path) {
  CLSID bmpEncoder{};
  if (!GetCodecCLSID(factory, &bmpEncoder, u"image/bmp")) {
    DebugZonePrint(kThumbZone, u"GetCodecCLSID failed");
    return false;
  }
  CThumbIndex& index = TheThumbIndex();
  index.Add(path);
  WString file;
  if (!index.Lookup(path, file, true)) return false;
  index.MakeFolder();  // a fresh device has no thumbnail folder until the index is first saved
  IImageEncoder* encoder = nullptr;
  HRESULT hr = factory->CreateImageEncoderToFile(&bmpEncoder, file.c_str(), &encoder);
  if (FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"CreateImageEncoderToFile failed, hr: 0x%08x", Hex(hr));
    return false;
  }
  IImageSink* sink = nullptr;
  hr = encoder->GetEncodeSink(&sink);
  if (SUCCEEDED(hr)) hr = thumb->PushIntoSink(sink);
  ReleaseAndClear(sink);
  encoder->Release();
  return SUCCEEDED(hr);
}

bool GetCodecCLSID(IImagingFactory* factory, CLSID* clsid, LPCWSTR mimeType) {
  UINT count = 0;
  ImageCodecInfo* encoders = nullptr;
  if (!factory || FAILED(factory->GetInstalledEncoders(&count, &encoders))) return false;
  WStringView wanted = mimeType ? WStringView(mimeType) : WStringView();
  bool found = false;
  for (UINT i = 0; i < count && !found; ++i) {
    if (encoders[i].MimeType && WStringView(encoders[i].MimeType) == wanted) {
      *clsid = encoders[i].Clsid;
      found = true;
    }
  }
  CoTaskMemFree(encoders);
  return found;
}
