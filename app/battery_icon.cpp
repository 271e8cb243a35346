#include "app/battery_icon.h"

#include <map>

#include "skin/skin.h"

namespace {

// Icons by timer id, so that the blink callback, which gets only the id, finds its icon.
std::map<UINT_PTR, CBatteryIcon*>& IconRegistry() {
  static auto* icons = new std::map<UINT_PTR, CBatteryIcon*>;
  return *icons;
}

// One blink phase for all icons, counted on every blink tick.
unsigned g_BlinkPhase = 0;

}  // namespace

CBatteryIcon::CBatteryIcon(CWnd* owner, UINT_PTR timerId, const UINT (&frameIds)[kFrameCount], UINT backgroundId,
                           int srcX, int srcY, int x, int y)
    : m_pOwner(owner), m_TimerId(timerId), m_X(x), m_Y(y), m_SrcX(srcX), m_SrcY(srcY) {
  for (int i = 0; i < kFrameCount; ++i) LoadSkinBitmap(m_Frames[i], frameIds[i]);
  LoadSkinBitmap(m_Background, backgroundId);
  BITMAP info{};
  if (m_Frames[0].GetBitmap(&info)) {
    m_Width = info.bmWidth;
    m_Height = info.bmHeight;
  }
  IconRegistry()[m_TimerId] = this;
}

CBatteryIcon::~CBatteryIcon() {
  m_pOwner->KillTimer(m_TimerId);
  auto it = IconRegistry().find(m_TimerId);
  if (it != IconRegistry().end() && it->second == this) IconRegistry().erase(it);
}

void CBatteryIcon::SetState(LONG state, BOOL redraw) {
  m_PrevState = m_CurState;
  m_CurState = state;
  m_pOwner->KillTimer(m_TimerId);
  // States 6 and 7 take the last two frames in swapped order.
  switch (state) {
    case 2:
      m_FrameIndex = 0;
      m_pOwner->SetTimer(m_TimerId, kBlinkMs, BlinkTimerProc);
      break;
    case 3: m_FrameIndex = 1; break;
    case 4: m_FrameIndex = 2; break;
    case 5: m_FrameIndex = 3; break;
    case 6: m_FrameIndex = 5; break;
    case 7: m_FrameIndex = 4; break;
    default:
      if (state <= 1) m_FrameIndex = 0;  // 8 or more: the frame stays
      break;
  }
  if (redraw) Draw(1);
}

void CBatteryIcon::Draw(BOOL show) {
  BlitBitmap(m_pOwner, m_X, m_Y, m_Width, m_Height, m_SrcX, m_SrcY, m_Background);
  if (show) BlitTransparent(m_pOwner, m_X, m_Y, m_Frames[m_FrameIndex], kSkinTransparent);
}

void CBatteryIcon::Redraw(BOOL show) {
  m_pOwner->KillTimer(m_TimerId);
  if (show && m_CurState == 2) m_pOwner->SetTimer(m_TimerId, kBlinkMs, BlinkTimerProc);
  Draw(show);
}

void CBatteryIcon::BlinkTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = IconRegistry().find(id);
  if (it == IconRegistry().end()) return;
  ++g_BlinkPhase;
  it->second->Draw(g_BlinkPhase % 2);
}
