#include "decode/image_decoder.h"

#include <new>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/lasterror.h"

namespace {

template <typename T>
void ReleaseAndClear(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

LPCWSTR ResultName(HRESULT hr) {
  if (hr == CLASS_E_NOAGGREGATION) return u"CLASS_E_NOAGGREGATION";
  if (hr == REGDB_E_CLASSNOTREG) return u"REGDB_E_CLASSNOTREG";
  return u"unknown hr";
}

HRESULT FromLastError() { return static_cast<HRESULT>(0x80000000u + GetLastError()); }

bool Contains(LPCWSTR text, WStringView part) {
  return text && WStringView(text).find(part) != WStringView::npos;
}

}  // namespace

HRESULT LoadFileToStream(LPCWSTR path, IStream** stream) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DebugPrintW(u"CreateFile failed with GLE = %d", static_cast<int>(GetLastError()));
    return FromLastError();
  }
  HRESULT hr;
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    DebugPrintW(u"GetFileSize failed with GLE = %d", static_cast<int>(GetLastError()));
    hr = FromLastError();
  } else if (HLOCAL memory = LocalAlloc(LMEM_MOVEABLE, size); !memory) {
    DebugPrintW(u"GlobalAlloc failed with GLE = %d", static_cast<int>(GetLastError()));
    hr = FromLastError();
  } else {
    DWORD read = 0;
    if (!ReadFile(file, memory, size, &read, nullptr)) {
      DebugPrintW(u"ReadFile failed with GLE = %d", static_cast<int>(GetLastError()));
      hr = FromLastError();
      LocalFree(memory);
    } else {
      hr = CreateStreamOnHGlobal(memory, TRUE, stream);
    }
  }
  CloseHandle(file);
  return hr;
}

CImageDecoder::CImageDecoder() {
  HRESULT hr = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                reinterpret_cast<void**>(&m_pImagingFactory));
  if (FAILED(hr)) {
    m_pImagingFactory = nullptr;
    DebugPrintW(u"CoCreateInstance failed, hr: 0x%08x (%s)", static_cast<unsigned>(hr), ResultName(hr));
  }
  m_pJpgSw = new (std::nothrow) CJpgSwDecoder;
}

CImageDecoder::~CImageDecoder() {
  delete m_pJpgSw;
  m_pJpgSw = nullptr;
  ReleaseAndClear(m_pBitmapImage);
  ReleaseAndClear(m_pStream);
  ReleaseAndClear(m_pImageSink);
  ReleaseAndClear(m_pImageDecoder);
  ReleaseAndClear(m_pImagingFactory);
  ReleaseAndClear(m_pImage);
}

BOOL CImageDecoder::CheckJPGCodec(LPCWSTR path) {
  if (Contains(path, u".jpg") || Contains(path, u".JPG")) {
    if (m_bJpg && m_pJpgSw) m_pJpgSw->Release();
    m_bJpg = TRUE;
    return TRUE;
  }
  m_bJpg = FALSE;
  m_bJpgDecoded = FALSE;
  return FALSE;
}

UINT CImageDecoder::Open(LPCWSTR path, UINT width, UINT height) {
  if (CheckJPGCodec(path)) {
    DebugPrintW(u"Call CheckJPGCodec : It's JPG\n");
    m_ImageInfo.Width = width;
    m_ImageInfo.Height = height;
    bool prepared = m_pJpgSw && m_pJpgSw->PrepareImage(path, width, height);
    DWORD w = 0, h = 0;
    if (m_pJpgSw && m_pJpgSw->IsJPGInfoChanged(&w, &h)) {
      printf("[RE]:IsJPGInfoChanged (%d,%d)\n", static_cast<int>(w), static_cast<int>(h));
      m_ImageInfo.Width = w;
      m_ImageInfo.Height = h;
    }
    if (prepared) return 1;
    m_bJpg = FALSE;
    m_ImageInfo.Width = 0;
    m_ImageInfo.Height = 0;
    return 0;
  }

  // A photo opened without a Close drops the previous one's stream and decoder first.
  ReleaseAndClear(m_pImageDecoder);
  ReleaseAndClear(m_pStream);
  HRESULT hr = LoadFileToStream(path, &m_pStream);
  if (FAILED(hr)) {
    DebugPrintW(u"CreateStreamOnFile failed, hr: 0x%08x\r\n", static_cast<unsigned>(hr));
  } else if (!m_pImagingFactory) {
    DebugPrintW(u"CreateImageDecoder failed, hr: 0x%08x", static_cast<unsigned>(hr));
    hr = E_FAIL;
  } else if (hr = m_pImagingFactory->CreateImageDecoder(m_pStream, DecoderInitFlagBuiltIn1st, &m_pImageDecoder);
             FAILED(hr)) {
    DebugPrintW(u"CreateImageDecoder failed, hr: 0x%08x", static_cast<unsigned>(hr));
  } else if (hr = m_pImageDecoder->GetImageInfo(&m_ImageInfo); FAILED(hr)) {
    DebugPrintW(u"GetImageInfo failed, hr: 0x%08x", static_cast<unsigned>(hr));
  }
  if (FAILED(hr)) {
    ReleaseAndClear(m_pImageDecoder);
    ReleaseAndClear(m_pStream);
    return 0;
  }

  UINT count = 0;
  m_pImageDecoder->GetFrameDimensionsCount(&count);
  if (count > 10) count = 10;
  m_pImageDecoder->GetFrameDimensionsList(m_FrameDimensions, count);
  m_FrameCount = 0;
  m_pImageDecoder->GetFrameCount(&m_FrameDimensions[0], &m_FrameCount);
  return m_FrameCount;
}

std::uintptr_t CImageDecoder::Decode(UINT frame) {
  ReleaseAndClear(m_pBitmapImage);
  ReleaseAndClear(m_pImageSink);
  ReleaseAndClear(m_pImage);
  m_bJpgDecoded = FALSE;

  if (m_bJpg) {
    DWORD size = 0;
    if (m_pJpgSw) m_pJpgSw->Decode(&size);
    if (size != 0 && m_pJpgSw->EndDecode()) {
      m_bJpgDecoded = TRUE;
      return 1;
    }
    m_bJpg = FALSE;
    m_bJpgDecoded = FALSE;
    m_ImageInfo.Width = 0;
    m_ImageInfo.Height = 0;
    return 0;
  }

  // Nothing was opened (or the open failed): there is nothing to decode.
  if (!m_pImageDecoder || !m_pImagingFactory) return 0;

  m_pImageDecoder->SelectActiveFrame(&m_FrameDimensions[0], frame);
  HRESULT hr = m_pImagingFactory->CreateNewBitmap(m_ImageInfo.Width, m_ImageInfo.Height, m_ImageInfo.PixelFormat,
                                                  &m_pBitmapImage);
  if (FAILED(hr)) {
    DebugPrintW(u"CreateNewBitmap failed, hr = 0x%08x", static_cast<unsigned>(hr));
  } else if (hr = m_pBitmapImage->QueryInterface(IID_IImageSink, reinterpret_cast<void**>(&m_pImageSink));
             FAILED(hr)) {
    DebugPrintW(u"QueryInterface for ImageSink from BitmapImage failed, hr: 0x%08x", static_cast<unsigned>(hr));
  } else if (hr = m_pBitmapImage->QueryInterface(IID_IImage, reinterpret_cast<void**>(&m_pImage)); FAILED(hr)) {
    DebugPrintW(u"QueryInterface for Image from BitmapImage failed, hr: 0x%08x", static_cast<unsigned>(hr));
  } else if (hr = m_pImageDecoder->BeginDecode(m_pImageSink, nullptr); FAILED(hr)) {
    DebugPrintW(u"BeginDecode into Bitmap Image failed, hr = 0x%08d", static_cast<int>(hr));
  } else {
    HRESULT decoded;
    while ((decoded = m_pImageDecoder->Decode()) == E_PENDING) {
      if (m_pCancel && *m_pCancel) {
        decoded = E_ABORT;
        break;
      }
      Sleep(0);
    }
    hr = m_pImageDecoder->EndDecode(decoded);
    if (FAILED(hr)) DebugPrintW(u"Decoding failed, hr = 0x%08x", static_cast<unsigned>(hr));
  }
  if (FAILED(hr)) {
    ReleaseAndClear(m_pBitmapImage);
    ReleaseAndClear(m_pImageSink);
    ReleaseAndClear(m_pImage);
    return 0;
  }
  return reinterpret_cast<std::uintptr_t>(m_pImage);
}

void CImageDecoder::SetCancelFlag(const std::atomic<DWORD>* flag) {
  m_pCancel = flag;
  if (m_pJpgSw) m_pJpgSw->SetCancelFlag(flag);
}

BOOL CImageDecoder::IsDecoded() { return m_pImage != nullptr || m_bJpgDecoded; }

int CImageDecoder::Draw(HDC dc, const RECT* rect) {
  if (m_bJpg) {
    if (m_pJpgSw) m_pJpgSw->Draw(dc, rect);
  } else if (m_pImage) {
    m_pImage->Draw(dc, rect, nullptr);
  }
  return 1;
}

BOOL CImageDecoder::Rotate(float angle) {
  if (m_bJpg) return m_pJpgSw && m_pJpgSw->Rotate(angle);
  if (!m_pBitmapImage || !m_pImage) {
    DebugPrintW(u"RoateImage InitValue failed. ");
    return FALSE;
  }
  IBasicBitmapOps* ops = nullptr;
  IBitmapImage* turned = nullptr;
  HRESULT hr = m_pBitmapImage->QueryInterface(IID_IBasicBitmapOps, reinterpret_cast<void**>(&ops));
  if (FAILED(hr)) {
    DebugPrintW(u"QueryInterface for m_pBasicBitmapOps from m_pBitmapImage failed, hr: 0x%08x",
                static_cast<unsigned>(hr));
  } else if (hr = ops->Rotate(angle, InterpolationHintNearestNeighbor, &turned); FAILED(hr)) {
    DebugPrintW(u"Rotate failed from m_pBasicBitmapOps , hr: 0x%08x", static_cast<unsigned>(hr));
  } else {
    ReleaseAndClear(m_pImage);
    hr = turned->QueryInterface(IID_IImage, reinterpret_cast<void**>(&m_pImage));
    if (FAILED(hr)) DebugPrintW(u"newBitmap failed from m_pBasicBitmapOps , hr: 0x%08x", static_cast<unsigned>(hr));
  }
  ReleaseAndClear(ops);
  ReleaseAndClear(turned);
  if (FAILED(hr)) {
    ReleaseAndClear(m_pImage);
    return FALSE;
  }
  return TRUE;
}

void CImageDecoder::Close() {
  if (m_bJpg) {
    if (m_pJpgSw) m_pJpgSw->Release();
    m_bJpgDecoded = FALSE;
  }
  ReleaseAndClear(m_pImageSink);
  ReleaseAndClear(m_pImageDecoder);
  ReleaseAndClear(m_pBitmapImage);
  ReleaseAndClear(m_pStream);
  ReleaseAndClear(m_pImage);
}
