#include "platform/host/panel_layout.h"

#include <algorithm>

#include "platform/device/framebuffer.h"

PanelPlacement PlaceFrame(int panelWidth, int panelHeight, int frameWidth, int frameHeight) {
  PanelPlacement p;
  while (frameWidth / p.factor > panelWidth || frameHeight / p.factor > panelHeight) {
    if (frameWidth / (p.factor + 1) < 1 || frameHeight / (p.factor + 1) < 1) break;
    ++p.factor;
  }
  p.width = std::min(frameWidth / p.factor, panelWidth);
  p.height = std::min(frameHeight / p.factor, panelHeight);
  p.left = (panelWidth - p.width) / 2;
  p.top = (panelHeight - p.height) / 2;
  return p;
}

PanelLayout::PanelLayout(int panelWidth, int panelHeight, int rotate)
    : m_panelWidth(panelWidth), m_panelHeight(panelHeight) {
  const bool upright = rotate == 0 || rotate == 180;
  m_turnedWidth = upright ? kScreenWidth : kScreenHeight;
  m_turnedHeight = upright ? kScreenHeight : kScreenWidth;
  m_placement = PlaceFrame(panelWidth, panelHeight, m_turnedWidth, m_turnedHeight);
  // A frame pixel (x, y) turned clockwise lands at (479 - y, x) for 90, (799 - x, 479 - y)
  // for 180 and (y, 799 - x) for 270; these are the inverse mappings, as index steps.
  const int w = kScreenWidth, h = kScreenHeight;
  switch (rotate) {
    case 90: m_origin = (h - 1) * w; m_step = -w; m_rowStep = 1; break;
    case 180: m_origin = h * w - 1; m_step = -1; m_rowStep = -w; break;
    case 270: m_origin = w - 1; m_step = w; m_rowStep = -1; break;
    default: m_origin = 0; m_step = 1; m_rowStep = w; break;
  }
}

void PanelLayout::FramePoint(int panelX, int panelY, int* x, int* y) const {
  const PanelPlacement& p = m_placement;
  const int tx = std::clamp((panelX - p.left) * p.factor + p.factor / 2, 0, m_turnedWidth - 1);
  const int ty = std::clamp((panelY - p.top) * p.factor + p.factor / 2, 0, m_turnedHeight - 1);
  const int index = FrameIndex(tx, ty);
  *x = index % kScreenWidth;
  *y = index / kScreenWidth;
}
