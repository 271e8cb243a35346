#include "viewer/view_geometry.h"

#include <algorithm>
#include <cstring>

#include "decode/image_decoder.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"

namespace {

// Beyond this distance every pan offset puts the photo at the same place (the placement
// puts its edge back on the view's edge), so offsets are kept inside it: the sums below can
// then never overflow, however often the user drags, zooms and turns.
constexpr LONG kPanLimit = 1 << 20;

LONG Bounded(long long value) { return static_cast<LONG>(std::clamp<long long>(value, -kPanLimit, kPanLimit)); }

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

void CPhotoViewGeometry::ResetView() {
  m_ZoomLevel = kDefaultZoomLevel;
  m_Rotation = 0;
  m_RotatePending = TRUE;
  MouseDistance = POINT{0, 0};
  MouseEndPoint = POINT{0, 0};
}

void CPhotoViewGeometry::SetLayout(bool fullScreen) {
  m_ViewRect = fullScreen ? kFullScreenRect : kNormalViewRect;
  m_ScreenRect = fullScreen ? kFullScreenRect : kNormalScreenRect;
  m_FullScreen = fullScreen ? TRUE : FALSE;
  m_ZoomLevel = kDefaultZoomLevel;
  m_Rotation = 0;
  m_RotatePending = TRUE;
}

void CPhotoViewGeometry::CalcRectRotateImg(CImageDecoder& decoder) {
  if (m_Rotation > 3) m_Rotation = 0;
  const UINT decodedWidth = decoder.m_ImageInfo.Width;
  const UINT decodedHeight = decoder.m_ImageInfo.Height;
  const bool sideways = m_Rotation == 1 || m_Rotation == 3;
  m_Width = sideways ? decodedHeight : decodedWidth;
  m_Height = sideways ? decodedWidth : decodedHeight;
  m_RotationAngle = 90.0f * m_Rotation;
  if (m_RotatePending) {
    if (!decoder.Rotate(m_RotationAngle)) {
      m_Rotation = 0;
      m_RotationAngle = 0.0f;
      m_Width = decodedWidth;
      m_Height = decodedHeight;
    }
    m_RotatePending = FALSE;
  }
  printf("m_Width, : %d, m_Height : %d\r\n", static_cast<int>(m_Width), static_cast<int>(m_Height));
}

RECT CPhotoViewGeometry::ComputeRendRect() {
  if (m_Width == 0 || m_Height == 0) return RECT{};
  const LONG vw = Width(m_ViewRect), vh = Height(m_ViewRect);
  const UINT level = std::min(m_ZoomLevel, kZoomLevelCount - 1);
  const LONG factor = static_cast<LONG>(kZoomFactors[level]);

  // The fitted size the zoom factor applies to.
  LONG fitW, fitH;
  if (level <= kDefaultZoomLevel) {
    const UINT rw = static_cast<UINT>(vw * 100) / m_Width;
    const UINT rh = static_cast<UINT>(vh * 100) / m_Height;
    // Single precision, truncated: the sizes come out as the device computes them.
    const float f = rw < rh ? static_cast<float>(vw * 100) / static_cast<float>(m_Width)
                            : static_cast<float>(vh * 100) / static_cast<float>(m_Height);
    fitW = static_cast<LONG>(static_cast<float>(m_Width) * f) / 100;
    fitH = static_cast<LONG>(static_cast<float>(m_Height) * f) / 100;
  } else {
    const UINT s = static_cast<UINT>(vh * 100) / std::max(m_Width, m_Height);
    fitW = static_cast<LONG>(s * m_Width / 100);
    fitH = static_cast<LONG>(s * m_Height / 100);
  }
  const LONG dispW = factor * fitW / 100, dispH = factor * fitH / 100;

  // Centred in the view.
  LONG t = vh / 2 - dispH / 2, b = dispH / 2 + vh / 2;
  LONG l = vw / 2 - dispW / 2, r = dispW / 2 + vw / 2;
  printf("1.rendRect(%d,%d,%d,%d)\n", l, t, r, b);
  if (level <= kDefaultZoomLevel) return RECT{l, t, r, b};

  const LONG dx = MouseDistance.x, dy = MouseDistance.y;
  LONG& ex = MouseEndPoint.x;
  LONG& ey = MouseEndPoint.y;
  // A drag with a positive component may not uncover the view's edge.
  if (dx > 0 || dy > 0) {
    if (t + dy + ey > 0) ey = -(t + dy);
    if (b + dy + ey < vh) ey = vh - dy - b;
    if (l + dx + ex > 0) ex = -(l + dx);
    if (r + dx + ex < vw) ex = vw - dx - r;
  }
  t += dy + ey;
  b += dy + ey;
  l += dx + ex;
  r += dx + ex;
  printf("2.MouseDistance(%d,%d)MouseEndPoint(%d,%d)\n", dx, dy, ex, ey);
  printf("2.rendRect(%d,%d,%d,%d)\n", l, t, r, b);
  // A side that fits the view cannot be panned.
  if (r - l <= vw) ex = 0;
  if (b - t <= vh) ey = 0;

  // A side larger than the view keeps its edges outside the view; a smaller one is centred.
  if (dispH > vh) {
    if (t >= 1) {
      t = 0;
      b = dispH;
    } else if (b < vh) {
      b = vh;
      t = vh - dispH;
    }
  } else if (dispH < vh) {
    const LONG h = (b - t) / 2;
    t = vh / 2 - h;
    b = h + vh / 2;
    printf("3.rendRect(%d,%d,%d,%d)\n", l, t, r, b);
  }
  if (dispW > vw) {
    if (l >= 1) {
      l = 0;
      r = dispW;
    } else if (r < vw) {
      r = vw;
      l = vw - dispW;
    }
  } else if (dispW < vw) {
    const LONG w = (r - l) / 2;
    l = vw / 2 - w;
    r = w + vw / 2;
    printf("4.rendRect(%d,%d,%d,%d)\n", l, t, r, b);
  }
  printf("5.rendRect(%d,%d,%d,%d)\n", l, t, r, b);
  return RECT{l, t, r, b};
}

bool CPhotoViewGeometry::ZoomIn() {
  if (m_ZoomLevel >= kZoomLevelCount - 1) return false;
  ++m_ZoomLevel;
  const UINT factor = kZoomFactors[m_ZoomLevel];
  if (factor > 200) MouseEndPoint.x = Bounded(2LL * MouseEndPoint.x);
  MouseEndPoint.y = Bounded(2LL * MouseEndPoint.y);
  printf(" m_ZoomLevel = %d!!\r\n", static_cast<int>(factor));
  return true;
}

bool CPhotoViewGeometry::ZoomOut() {
  if (m_ZoomLevel == 0) return false;
  m_ZoomLevel = std::min(m_ZoomLevel, kZoomLevelCount) - 1;
  const UINT factor = kZoomFactors[m_ZoomLevel];
  if (factor > 100) {
    MouseEndPoint.x /= 2;
    MouseEndPoint.y /= 2;
  }
  printf(" m_ZoomLevel = %d!!\r\n", static_cast<int>(factor));
  return true;
}

void CPhotoViewGeometry::TurnPanOffset() {
  if (!IsZoomed()) return;
  MouseEndPoint = POINT{MouseEndPoint.y, Bounded(-static_cast<long long>(MouseEndPoint.x))};
}

void CPhotoViewGeometry::TouchDown(POINT point) {
  m_DragStart = point;
  m_DragStarted = FALSE;
}

bool CPhotoViewGeometry::MouseMove(POINT point) {
  if (!m_DragStarted) {
    m_DragStart = point;
    m_DragStarted = TRUE;
  }
  if (!IsZoomed()) return false;
  MouseDistance = POINT{point.x - m_DragStart.x, point.y - m_DragStart.y};
  printf("MouseDistance.x = %d MouseDistance.y = %d\r\n", MouseDistance.x, MouseDistance.y);
  return true;
}

void CPhotoViewGeometry::TouchUp() {
  m_DragStarted = FALSE;
  MouseEndPoint = POINT{Bounded(static_cast<long long>(MouseEndPoint.x) + MouseDistance.x),
                        Bounded(static_cast<long long>(MouseEndPoint.y) + MouseDistance.y)};
  MouseDistance = POINT{0, 0};
}

void CPhotoViewGeometry::ClearScreenRect() const {
  const LONG left = std::clamp<LONG>(m_ScreenRect.left, 0, kScreenWidth);
  const LONG right = std::clamp<LONG>(m_ScreenRect.right, 0, kScreenWidth);
  const LONG top = std::clamp<LONG>(m_ScreenRect.top, 0, kScreenHeight);
  const LONG bottom = std::clamp<LONG>(m_ScreenRect.bottom, 0, kScreenHeight);
  if (left >= right) return;
  WORD* frame = GetVisibleFrame();
  for (LONG y = top; y < bottom; ++y)
    std::memset(frame + static_cast<size_t>(y) * kScreenWidth + left, 0, static_cast<size_t>(right - left) * sizeof(WORD));
  AnnounceFrameChange();
}
