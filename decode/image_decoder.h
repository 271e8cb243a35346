// The photo decoder every screen opens, decodes, draws and turns photos through.
//
// Paths containing ".jpg" or ".JPG" go to the software JPEG pipeline, which decodes at a
// reduced size when the photo is large; every other photo goes to the imaging service,
// which decodes it at full size into a bitmap. Calling order: Close, Open(path, width,
// height), Decode(0), IsDecoded; then Draw on every paint and Rotate on demand; Close ends
// the photo. After Open, m_ImageInfo.Width and Height hold the size to lay the photo out by.
#pragma once

#include "decode/jpg_sw_decoder.h"
#include "platform/imaging/imaging.h"

class CImageDecoder {
 public:
  // Creates the imaging factory (COM must be initialised) and the JPEG pipeline. Without a
  // factory the object still works for JPEG photos.
  CImageDecoder();
  virtual ~CImageDecoder();
  CImageDecoder(const CImageDecoder&) = delete;
  CImageDecoder& operator=(const CImageDecoder&) = delete;

  // True when the path goes to the JPEG pipeline; drops the pipeline's previous picture.
  BOOL CheckJPGCodec(LPCWSTR path);
  // 1 on the JPEG path, the frame count on the imaging path; 0 on failure. width and height
  // are the caller's belief of the photo's size (used on the JPEG path only).
  UINT Open(LPCWSTR path, UINT width, UINT height);
  // Nonzero on success: 1 on the JPEG path, the decoded bitmap's IImage on the imaging path.
  std::uintptr_t Decode(UINT frame);
  BOOL IsDecoded();
  // Stretches the whole picture into rect; nothing when there is none. Always 1.
  int Draw(HDC dc, const RECT* rect);
  // Turns to the absolute angle 0, 90, 180 or 270 (from the unturned bitmap on the imaging
  // path, one step from the current turn on the JPEG path).
  BOOL Rotate(float angle);
  void Close();
  // Decode gives up, as a failed decode, soon after *flag becomes nonzero: a screen that
  // closes need not wait for a large photo. nullptr (the default) lets every decode finish.
  void SetCancelFlag(const std::atomic<DWORD>* flag);

  ImageInfo m_ImageInfo{};

  // For tests and tools: the pipeline and the imaging path's pointers.
  CJpgSwDecoder* JpgSw() const { return m_pJpgSw; }
  IImage* Image() const { return m_pImage; }
  IBitmapImage* BitmapImage() const { return m_pBitmapImage; }
  IImagingFactory* Factory() const { return m_pImagingFactory; }
  BOOL IsJpgPath() const { return m_bJpg; }
  UINT FrameCount() const { return m_FrameCount; }

 private:
  IImage* m_pImage = nullptr;
  IBitmapImage* m_pBitmapImage = nullptr;
  IImagingFactory* m_pImagingFactory = nullptr;
  IImageSink* m_pImageSink = nullptr;
  IImageDecoder* m_pImageDecoder = nullptr;
  IStream* m_pStream = nullptr;
  GUID m_FrameDimensions[10] = {};
  UINT m_FrameCount = 0;
  CJpgSwDecoder* m_pJpgSw = nullptr;
  BOOL m_bJpg = FALSE;
  BOOL m_bJpgDecoded = FALSE;
  const std::atomic<DWORD>* m_pCancel = nullptr;
};

// Reads a whole file (device path) into a memory stream that owns the memory. A negative
// result on failure: 0x80000000 plus the last error, or CreateStreamOnHGlobal's result.
HRESULT LoadFileToStream(LPCWSTR path, IStream** stream);
