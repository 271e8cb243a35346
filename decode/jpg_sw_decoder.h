// The software JPEG pipeline: one JPEG file decoded by the JPEG core straight into a 16-bit
// RGB565 DIB section, at a reduced size when the photo would need more than 4,177,920
// bytes, then stretched onto any context and turned by quarter and half turns. A photo
// whose EXIF orientation tag says it is stored sideways or mirrored is made upright once,
// right after its decode: every size the pipeline gives and takes is the upright one, and
// its turns start from the upright picture.
//
// Calling order: PrepareImage, IsJPGInfoChanged, Decode, EndDecode; then Draw and Rotate
// at will; Release ends the picture. The core keeps its state in one static record, so only
// one pipeline may decode at a time in the whole process.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>

#include "jpeg/jpeg_decoder.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/types.h"

// The largest bitmap the pipeline makes: 1920 x 1088 pixels of 2 bytes.
constexpr DWORD kJpgSwMaxBitmapBytes = 4177920;
constexpr DWORD kJpgSwMaxWidth = 1920;
constexpr DWORD kJpgSwMaxHeight = 1088;

// The decoding size for a photo of width x height (before the sides are made even): the
// photo itself when its bitmap fits in kJpgSwMaxBitmapBytes, else reduced to fit inside
// 1920 x 1088 keeping its proportions. Returns true when it reduced.
bool ChooseJpgSwSize(DWORD width, DWORD height, DWORD* newWidth, DWORD* newHeight);

// The pipeline's buffers come from this allocator (std::malloc unless a test puts a failing
// one in its place; nullptr restores std::malloc). They are freed with std::free.
using JpgSwAllocator = void* (*)(std::size_t bytes);
void SetJpgSwAllocatorForTests(JpgSwAllocator allocator);

class CJpgSwDecoder {
 public:
  CJpgSwDecoder();
  ~CJpgSwDecoder();
  CJpgSwDecoder(const CJpgSwDecoder&) = delete;
  CJpgSwDecoder& operator=(const CJpgSwDecoder&) = delete;

  // Opens the file, chooses the decoding size from the caller's width and height of the
  // upright photo (or the header's, when both of the caller's are wrong), initialises the
  // core and makes an empty bitmap of that size. False on any failure, with nothing held.
  bool PrepareImage(LPCWSTR path, DWORD width, DWORD height);
  // True, with the bitmap's size written, when the last preparation used the header's size.
  bool IsJPGInfoChanged(DWORD* width, DWORD* height);
  // Runs the core to the end and turns the picture upright: the pixels, with their byte
  // count in *byteSize; nullptr and 0 when nothing is prepared or the core fails (then
  // nothing is held any more).
  WORD* Decode(DWORD* byteSize);
  // Decode stops between the core's steps, as a failure, once *flag is nonzero; nullptr
  // (the default) never stops it.
  void SetCancelFlag(const std::atomic<DWORD>* flag) { m_pCancel = flag; }
  // Selects the decoded bitmap into the memory context so that it can be drawn. Always true.
  bool EndDecode();
  // Stretches the whole bitmap into rect of dc with the display frozen. Always true.
  bool Draw(HDC dc, const RECT* rect);
  // Turns the bitmap to the absolute angle 0, 90, 180 or 270, one step from the current one.
  bool Rotate(float angle);
  // Drops the picture and its buffers and closes the file.
  void Release();

  // What the pipeline holds, for its owner's layout and for tests.
  DWORD Width() const { return m_Width; }
  DWORD Height() const { return m_Height; }
  DWORD ByteSize() const { return m_ByteSize; }
  float Angle() const { return m_RotateAngle; }
  const WORD* Pixels() const { return m_pPixels; }

 private:
  // Steps shared by the first and the repeated preparation: size (from the upright photo's
  // width and height), resize buffer, core.
  bool InitCore(DWORD width, DWORD height, int orientation, bool again);
  // A top-down RGB565 DIB section of m_Width x m_Height into m_hBitmap and m_pPixels.
  bool CreateBitmap();
  void DeleteBitmap();
  // Replaces the decoded bitmap by its upright copy; false when there is no memory for it.
  bool TurnUpright();

  FILE* m_pFile = nullptr;
  JpegDecInfo m_DecInfo{};
  WORD* m_pPixels = nullptr;
  BYTE* m_pCalcBuf = nullptr;
  PutPixelFunc m_OutCallback = nullptr;
  DWORD m_ByteSize = 0;
  BYTE* m_pResizeBuf = nullptr;
  DWORD m_Width = 0;
  DWORD m_Height = 0;
  float m_RotateAngle = 0;
  int m_Orientation = 1;  // what the bitmap still needs to stand upright (1: nothing)
  BOOL m_bSizeCorrected = FALSE;
  HDC m_hScreenDC = nullptr;
  HDC m_hMemDC = nullptr;
  HBITMAP m_hBitmap = nullptr;
  HBITMAP m_hOldBitmap = nullptr;
  const std::atomic<DWORD>* m_pCancel = nullptr;
};
