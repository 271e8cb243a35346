// The arithmetic of the photo view: nine zoom levels, quarter turns, the rectangle the photo
// is drawn into (rendRect), and the pan offset that dragging builds up at zoomed levels.
//
// rendRect is relative to the view's top-left corner. Levels 0 to 4 fit the turned photo
// into the view (a photo smaller than the view is enlarged); levels 5 to 8 scale the photo
// whose longer side fits the view's height, so that a quarter turn keeps its size, and only
// there does dragging pan it. All divisions truncate toward zero.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/kernel/types.h"

class CImageDecoder;

// Percent of the fitted size, by zoom level.
constexpr UINT kZoomFactors[] = {20, 40, 60, 80, 100, 200, 400, 600, 800};
constexpr UINT kZoomLevelCount = 9;
constexpr UINT kDefaultZoomLevel = 4;  // 100 %: the level opening, "original" and a layout change return to

// The view within the dialog, and where it lies on the screen, in the two layouts.
constexpr RECT kNormalViewRect{0, 0, 758, 350};
constexpr RECT kNormalScreenRect{22, 20, 780, 370};
constexpr RECT kFullScreenRect{0, 0, 800, 480};

class CPhotoViewGeometry {
 public:
  // Before a photo is opened, and "original": 100 %, no turn (the decoder is asked again),
  // no pan.
  void ResetView();
  // The normal layout or full-screen mode: its rectangles, 100 % and no turn; the pan offset
  // stays as it is.
  void SetLayout(bool fullScreen);

  // m_Width and m_Height from the decoder's photo and the turn; asks the decoder to turn
  // when a turn is pending. A failed turn leaves the photo unturned.
  void CalcRectRotateImg(CImageDecoder& decoder);
  // The rectangle to draw the photo into; keeps MouseEndPoint inside what can be seen. An
  // empty rectangle while no photo size is known.
  RECT ComputeRendRect();

  // One zoom step, rescaling the pan offset; false at the end of the table.
  bool ZoomIn();
  bool ZoomOut();
  // After a quarter turn at a zoomed level the pan offset turns with the photo.
  void TurnPanOffset();
  bool IsZoomed() const { return m_ZoomLevel > kDefaultZoomLevel; }

  // Dragging: measured from the first move after the touch. MouseMove is true when the
  // photo must be drawn again (it follows the finger only when zoomed).
  void TouchDown(POINT point);
  bool MouseMove(POINT point);
  void TouchUp();

  // Black over the view's place on the screen, written straight into the frame buffer.
  void ClearScreenRect() const;

  UINT m_ZoomLevel = kDefaultZoomLevel;
  signed char m_Rotation = 0;  // quarter turns from the photo as decoded; above 3 counts as 0
  float m_RotationAngle = 0;   // degrees, as given to the decoder
  BOOL m_RotatePending = FALSE;
  UINT m_Width = 0;  // the photo as shown: the decoded size, swapped for 1 and 3 quarter turns
  UINT m_Height = 0;
  RECT m_ViewRect = kNormalViewRect;
  RECT m_ScreenRect = kNormalScreenRect;
  BOOL m_FullScreen = FALSE;
  POINT MouseDistance{0, 0};  // the drag in progress
  POINT MouseEndPoint{0, 0};  // the pan offset of finished drags
  POINT m_DragStart{0, 0};
  BOOL m_DragStarted = FALSE;
};
