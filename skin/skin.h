// The skin's drawing helpers: bitmaps of the program's resources drawn plainly, with a
// transparent colour or stretched, text in the skin's face, and texts fitted to a width.
//
// Every helper draws through the window's own device context, taken for the call and given
// back afterwards. Drawings of at least kFreezeWidth x kFreezeHeight pixels freeze the
// display while they run (the panel shows a copy of the frame) so that they appear at once.
#pragma once

#include "platform/windows/afx.h"

constexpr COLORREF kSkinTransparent = RGB(255, 102, 255);
constexpr int kFreezeWidth = 481;
constexpr int kFreezeHeight = 273;

// Skin bitmap ids.
namespace skin {
constexpr UINT kMainBackground = 129;
constexpr UINT kInfoUp = 132, kInfoDown = 133;
constexpr UINT kNextPageUp = 134, kNextPageDown = 135;
constexpr UINT kPrevPageUp = 138, kPrevPageDown = 139;
constexpr UINT kSlideshowUp = 140, kSlideshowDown = 141;
constexpr UINT kFolderUpUp = 143, kFolderUpDown = 142;
constexpr UINT kFolder = 144;
constexpr UINT kOriginalUp = 150, kOriginalDown = 151;
constexpr UINT kRotateUp = 152, kRotateDown = 153;
constexpr UINT kExitUp = 154, kExitDown = 155;
constexpr UINT kNextPhotoUp = 156, kNextPhotoDown = 157;
constexpr UINT kPrevPhotoUp = 158, kPrevPhotoDown = 159;
constexpr UINT kZoomInUp = 160, kZoomInDown = 161;
constexpr UINT kZoomOutUp = 162, kZoomOutDown = 149;
constexpr UINT kViewBackground = 163;
constexpr UINT kCellFrame = 170, kCellFrameSelected = 171;
constexpr UINT kInfoBackground = 173;
constexpr UINT kInfoExitUp = 176, kInfoExitDown = 175;
constexpr UINT kPlaceholder = 177;
constexpr UINT kDamaged = 179, kTooLarge = 180;
constexpr UINT kBatteryFrames[6] = {183, 184, 185, 186, 187, 188};
constexpr UINT kVolumeAddUp = 190, kVolumeAddDown = 191;
constexpr UINT kVolumeDecUp = 192, kVolumeDecDown = 193;
constexpr UINT kBackUp = 194, kBackDown = 195;
constexpr UINT kPauseUp = 196, kPauseDown = 197;
constexpr UINT kPlayUp = 198, kPlayDown = 199;
constexpr UINT kVolumeBar = 200, kVolumeFill = 201;
}  // namespace skin

void LoadSkinBitmap(CBitmap& bitmap, UINT id);
// A w x h part of the bitmap from (srcX, srcY) to (x, y). With w and h both 0, the whole
// bitmap from (srcX, srcY) at its own size; with only w 0, nothing.
void BlitBitmap(CWnd* window, int x, int y, int w, int h, int srcX, int srcY, CBitmap& bitmap);
// The whole bitmap at (x, y) without the pixels of colour.
void BlitTransparent(CWnd* window, int x, int y, CBitmap& bitmap, COLORREF colour);
// The bitmap from (srcX, srcY), its full width and height, stretched into (x, y, w, h).
void BlitStretched(CWnd* window, int x, int y, int w, int h, int srcX, int srcY, CBitmap& bitmap);
// Text in the skin's face ("Arial", normal weight) at the given pixel height, inside the
// box from (x, y) to (x + w, y + h); format 0 left-aligned at the top, 1 centred. A
// background of 0 draws transparently.
void DrawSkinText(CWnd* window, int x, int y, int w, int h, const WString& text, UINT format, COLORREF colour,
                  COLORREF background, int height);
// Shortens text in place to fit maxWidth with the window context's default font, ending in
// "..."; -1 when it already fits, 0 when it was shortened.
int FitText(CWnd* window, int maxWidth, WString& text);
// Like FitText; a text beginning with "<" keeps its first and last character around the
// fitted rest.
int FitBracketedText(CWnd* window, WString& text, int maxWidth);

// The display freeze around a large drawing: copies the visible frame to the shadow frame
// and shows that; the release shows the visible frame again.
void FreezeDisplay();
void ReleaseDisplay();
