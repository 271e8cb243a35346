#include "decode/jpg_sw_decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/imaging/exif.h"
#include "platform/imaging/orientation.h"
#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "platform/kernel/lasterror.h"
#include "platform/windows/window.h"
#include "skin/skin.h"

namespace {

JpgSwAllocator g_allocator = nullptr;

void* Allocate(std::size_t bytes) { return g_allocator ? g_allocator(bytes) : std::malloc(bytes); }

template <typename T>
void Free(T*& buffer) {
  std::free(buffer);
  buffer = nullptr;
}

// The core reads the file the way the runtime's fread does, 1024 bytes at a time.
size_t ReadFromFile(void* buffer, size_t size, size_t count, void* stream) {
  return std::fread(buffer, size, count, static_cast<FILE*>(stream));
}

// The orientation tag of the open file, which is left at its start for the core.
int ReadOrientation(FILE* file) {
  const int tag = JpegOrientation([file](std::uint64_t offset, BYTE* out, size_t count) {
    return offset <= 0x7FFFFFFF && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, count, file) == count;
  });
  std::rewind(file);
  return tag;
}

// The DIB header the bitmaps are made from: 16 bits, the screen's three masks, top-down.
struct Rgb565DibHeader {
  BITMAPINFOHEADER header;
  DWORD masks[4];
};

}  // namespace

void SetJpgSwAllocatorForTests(JpgSwAllocator allocator) { g_allocator = allocator; }

bool ChooseJpgSwSize(DWORD width, DWORD height, DWORD* newWidth, DWORD* newHeight) {
  *newWidth = width;
  *newHeight = height;
  if (width * height * 2 <= kJpgSwMaxBitmapBytes) return false;
  const DWORD maxArea = kJpgSwMaxWidth * kJpgSwMaxHeight;
  const DWORD qw = kJpgSwMaxWidth / width;
  const DWORD qh = kJpgSwMaxHeight / height;
  if (qw > qh) {
    *newWidth = width * kJpgSwMaxHeight / height;
    *newHeight = kJpgSwMaxHeight;
    if (*newWidth > kJpgSwMaxWidth) {
      *newHeight = maxArea / *newWidth;
      *newWidth = kJpgSwMaxWidth;
    }
  } else {
    *newWidth = kJpgSwMaxWidth;
    *newHeight = height * kJpgSwMaxWidth / width;
    if (*newHeight > kJpgSwMaxHeight) {
      *newWidth = maxArea / *newHeight;
      *newHeight = kJpgSwMaxHeight;
    }
  }
  return true;
}

CJpgSwDecoder::CJpgSwDecoder() {
  m_hScreenDC = GetDC(nullptr);
  m_hMemDC = CreateCompatibleDC(m_hScreenDC);
}

CJpgSwDecoder::~CJpgSwDecoder() {
  Release();
  if (m_hMemDC) DeleteDC(m_hMemDC);
  if (m_hScreenDC) ReleaseDC(nullptr, m_hScreenDC);
}

bool CJpgSwDecoder::InitCore(DWORD width, DWORD height, int orientation, bool again) {
  DWORD w, h;
  if (ChooseJpgSwSize(width, height, &w, &h)) {
    printf(again ? "[RE]JPG SW Scaling->Width :%d, Height:%d\r\n" : "\tJPG SW Scaling->Width :%d, Height:%d\r\n",
           static_cast<int>(w), static_cast<int>(h));
  }
  // The size is chosen for the photo as it stands, so that a photo stored sideways is not
  // decoded smaller than the same photo stored upright; the core decodes it as stored.
  if (SwapsSides(orientation)) std::swap(w, h);
  // Even sides keep every row a multiple of 4 bytes, so the bitmap's rows carry no padding.
  m_Width = w & ~1u;
  m_Height = h & ~1u;

  const DWORD longer = m_Width > m_Height ? m_Width : m_Height;
  m_pResizeBuf = static_cast<BYTE*>(Allocate(static_cast<std::size_t>(longer) * 8));
  if (!m_pResizeBuf) {
    Release();
    printf(again ? "[RE][lcd_resize_buf]Not Support!\n" : "[lcd_resize_buf]Not Support!\n");
    return false;
  }
  printf(again ? "[RE]JPG SW Init2 Start->Width :%d, Height:%d\r\n" : "2. JPG SW Init2 Start->Width :%d, Height:%d\r\n",
         static_cast<int>(m_Width), static_cast<int>(m_Height));
  if (TCCXXX_JPEGDEC_Init2(m_pFile, static_cast<int>(m_Width), static_cast<int>(m_Height),
                           reinterpret_cast<int32_t*>(m_pResizeBuf), &m_DecInfo, ReadFromFile) != 0) {
    Release();
    printf(again ? "[RE][TCCXXX_JPEGDEC_Init2]Not Support!\n" : "[TCCXXX_JPEGDEC_Init2]Not Support!\n");
    return false;
  }
  return true;
}

bool CJpgSwDecoder::PrepareImage(LPCWSTR path, DWORD width, DWORD height) {
  if (m_pFile) {
    std::fclose(m_pFile);
    m_pFile = nullptr;
  }
  // Buffers a preparation that was never decoded or released left behind.
  Free(m_pResizeBuf);
  Free(m_pCalcBuf);
  m_pFile = _wfopen(path, u"rb");
  if (!m_pFile) {
    printf("fopen Fail");
    return false;
  }
  printf("1. JPG SW PrepareImage->Width :%d, Height:%d\r\n", static_cast<int>(width), static_cast<int>(height));
  // The caller's size is the upright photo's, the header's the photo's as it is stored.
  const int orientation = ShownOrientation(ReadOrientation(m_pFile));
  const bool swap = SwapsSides(orientation);
  if (!InitCore(width, height, orientation, false)) return false;

  // The caller's size comes from the photo's record; when the header contradicts both of its
  // sides, everything is set up again from the header's size.
  DWORD headerWidth = static_cast<DWORD>(m_DecInfo.ImageWidth);
  DWORD headerHeight = static_cast<DWORD>(m_DecInfo.ImageHeight);
  if (swap) std::swap(headerWidth, headerHeight);
  if (headerWidth != width && headerHeight != height) {
    printf("Again PrepareImage because of incorrect MInfo info\n");
    Release();
    m_pFile = _wfopen(path, u"rb");
    if (!m_pFile) {
      printf("fopen Fail");
      return false;
    }
    m_bSizeCorrected = TRUE;
    if (!InitCore(headerWidth, headerHeight, orientation, true)) return false;
  }

  m_pCalcBuf = static_cast<BYTE*>(Allocate(m_DecInfo.CalcBufSize));
  if (!m_pCalcBuf) {
    Release();
    printf("[out_callback.Calc_Buf]Not Support!\n");
    return false;
  }
  m_ByteSize = m_Width * m_Height * 2;
  m_OutCallback = PutPixelRGB565;

  DeleteBitmap();
  if (!CreateBitmap()) {
    printf("Memory Allocation fail : %d\r\n", static_cast<int>(GetLastError()));
    Release();
    return false;
  }
  gOutSurface = m_pPixels;
  m_Orientation = orientation;
  return true;
}

bool CJpgSwDecoder::CreateBitmap() {
  auto* info = new (std::nothrow) Rgb565DibHeader{};
  if (!info) return false;
  info->header.biSize = sizeof(BITMAPINFOHEADER);
  info->header.biWidth = static_cast<LONG>(m_Width);
  info->header.biHeight = -static_cast<LONG>(m_Height);
  info->header.biPlanes = 1;
  info->header.biBitCount = 16;
  info->header.biCompression = BI_BITFIELDS;
  info->header.biSizeImage = m_Width * m_Height * 2;
  info->masks[0] = 0xF800;
  info->masks[1] = 0x07E0;
  info->masks[2] = 0x001F;
  info->masks[3] = 0;
  void* bits = nullptr;
  m_hBitmap = CreateDIBSection(m_hMemDC, reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS, &bits,
                               nullptr, 0);
  delete info;
  m_pPixels = static_cast<WORD*>(bits);
  return m_hBitmap && m_pPixels;
}

void CJpgSwDecoder::DeleteBitmap() {
  if (!m_hBitmap) return;
  if (m_hOldBitmap) {
    SelectObject(m_hMemDC, m_hOldBitmap);
    m_hOldBitmap = nullptr;
  }
  DeleteObject(m_hBitmap);
  m_hBitmap = nullptr;
  m_pPixels = nullptr;
}

bool CJpgSwDecoder::TurnUpright() {
  const HBITMAP stored = m_hBitmap;
  const WORD* storedPixels = m_pPixels;
  const DWORD width = m_Width, height = m_Height;
  if (SwapsSides(m_Orientation)) std::swap(m_Width, m_Height);
  const bool made = CreateBitmap();
  if (made) OrientRows(storedPixels, width, height, width, m_Orientation, 0, m_Height, m_pPixels, m_Width);
  // The stored picture (not yet selected anywhere) goes either way.
  DeleteObject(stored);
  if (!made) {
    if (m_hBitmap) DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    m_pPixels = nullptr;
  }
  m_Orientation = 1;
  return made;
}

bool CJpgSwDecoder::IsJPGInfoChanged(DWORD* width, DWORD* height) {
  if (!m_bSizeCorrected) return false;
  // The size the bitmap will have once it stands upright.
  const bool swap = SwapsSides(m_Orientation);
  *width = swap ? m_Height : m_Width;
  *height = swap ? m_Width : m_Height;
  return true;
}

WORD* CJpgSwDecoder::Decode(DWORD* byteSize) {
  if (m_ByteSize == 0) {
    *byteSize = 0;
    return nullptr;
  }
  printf("3. JPG SW Decoding Start.\n");
  int result;
  do {
    result = TCCXXX_JPEGDEC_Decode(m_pPixels, m_pCalcBuf, m_OutCallback);
    if (result > 0 && m_pCancel && *m_pCancel) result = -1;  // its owner no longer wants the picture
  } while (result > 0);
  printf("4. JPG SW Decoding End.(%d)\n", result);
  if (result < 0) {
    *byteSize = 0;
    Release();
    return nullptr;
  }
  // Only the bitmap is needed from here on.
  Free(m_pResizeBuf);
  Free(m_pCalcBuf);
  if (m_Orientation != 1 && !TurnUpright()) {
    *byteSize = 0;
    Release();
    return nullptr;
  }
  *byteSize = m_ByteSize;
  return m_pPixels;
}

bool CJpgSwDecoder::EndDecode() {
  if (m_ByteSize != 0) {
    m_hOldBitmap = static_cast<HBITMAP>(SelectObject(m_hMemDC, m_hBitmap));
    printf("5. JPG SW EndDecode\r\n");
  }
  return true;
}

bool CJpgSwDecoder::Draw(HDC dc, const RECT* rect) {
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  if (!m_hMemDC || !m_hBitmap) return true;
  // While the stretch runs the panel shows a copy of the frame, so the picture appears whole.
  if (m_Width != 0 && m_Height != 0) FreezeDisplay();
  StretchBlt(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, m_hMemDC, 0, 0,
             static_cast<int>(m_Width), static_cast<int>(m_Height), SRCCOPY);
  ReleaseDisplay();
  return true;
}

bool CJpgSwDecoder::Rotate(float angle) {
  if (angle == m_RotateAngle) return true;
  if (m_ByteSize == 0) return true;
  WORD* turned = static_cast<WORD*>(Allocate(m_ByteSize));
  if (!turned) {
    printf("Rotate buffer memory Allocation fail : %d\r\n", static_cast<int>(GetLastError()));
    return false;
  }
  printf("####SW ROTATE Angle : %f, rotateAngle : %f\n", static_cast<double>(angle),
         static_cast<double>(m_RotateAngle));

  // +1 a quarter turn counter-clockwise, -1 clockwise, 0 a half turn (also for angles that
  // are not one step away).
  int direction = 0;
  if (m_RotateAngle == 0) {
    direction = angle == 90 ? 1 : angle == 270 ? -1 : 0;
  } else if (m_RotateAngle == 90) {
    direction = angle == 180 ? 1 : angle == 0 ? -1 : 0;
  } else if (m_RotateAngle == 180) {
    direction = angle == 270 ? 1 : angle == 90 ? -1 : 0;
  } else if (m_RotateAngle == 270) {
    direction = angle == 0 ? 1 : angle == 180 ? -1 : 0;
  }

  // The same copies that make a tagged photo upright: counter-clockwise is what a tag of 8
  // asks for, clockwise a tag of 6, a half turn a tag of 3.
  const int turn = direction == 1 ? 8 : direction == -1 ? 6 : 3;
  const DWORD w = m_Width, h = m_Height;
  if (SwapsSides(turn)) std::swap(m_Width, m_Height);
  OrientRows(static_cast<const WORD*>(m_pPixels), w, h, w, turn, 0, m_Height, turned, m_Width);

  DeleteBitmap();
  if (!CreateBitmap()) {
    printf("Memory Allocation fail : %d\r\n", static_cast<int>(GetLastError()));
    Free(turned);
    Release();
    return false;
  }
  std::memcpy(m_pPixels, turned, m_ByteSize);
  m_hOldBitmap = static_cast<HBITMAP>(SelectObject(m_hMemDC, m_hBitmap));
  m_RotateAngle = angle;
  Free(turned);
  return true;
}

void CJpgSwDecoder::Release() {
  Free(m_pCalcBuf);
  DeleteBitmap();
  Free(m_pResizeBuf);
  m_RotateAngle = 0;
  if (m_pFile) {
    std::fclose(m_pFile);
    m_pFile = nullptr;
  }
  m_bSizeCorrected = FALSE;
  m_ByteSize = 0;
  m_Orientation = 1;
}
