#include "platform/host/touch_decoder.h"

#include <algorithm>
#include <cmath>

#include "platform/device/framebuffer.h"

namespace {

// The position of value within the range, from 0 to 1.
double Fraction(int value, const AxisRange& range) {
  if (range.maximum <= range.minimum) return 0;
  const double f = static_cast<double>(value - range.minimum) / (range.maximum - range.minimum);
  return std::clamp(f, 0.0, 1.0);
}

}  // namespace

TouchDecoder::Point TouchDecoder::ToScreen(int rawX, int rawY, const AxisRange& rx, const AxisRange& ry) const {
  double u = Fraction(rawX, rx), v = Fraction(rawY, ry);
  if (m_geometry.swapXY) std::swap(u, v);
  double sx = u, sy = v;
  switch (m_geometry.rotate) {
    case 90: sx = 1 - v; sy = u; break;
    case 180: sx = 1 - u; sy = 1 - v; break;
    case 270: sx = v; sy = 1 - u; break;
    default: break;
  }
  const PanelLayout& panel = m_geometry.panel;
  Point at;
  panel.FramePoint(static_cast<int>(std::lround(sx * (panel.PanelWidth() - 1))),
                   static_cast<int>(std::lround(sy * (panel.PanelHeight() - 1))), &at.x, &at.y);
  return at;
}

void TouchDecoder::Feed(const input_event& e, std::vector<ScreenTouch>* touches) {
  if (e.type == EV_SYN) {
    if (e.code == SYN_DROPPED) {
      m_dropping = true;
    } else if (e.code == SYN_REPORT) {
      if (!m_dropping) Report(touches);
      m_dropping = false;
    }
    return;
  }
  if (m_dropping) return;
  if (e.type == EV_KEY && e.code == BTN_TOUCH) {
    m_button = e.value != 0;
  } else if (e.type == EV_KEY && e.code == BTN_LEFT) {
    m_left = e.value != 0;
  } else if (e.type == EV_REL && (e.code == REL_X || e.code == REL_Y)) {
    m_relative = true;
    int& at = e.code == REL_X ? m_pointer.x : m_pointer.y;
    const int last = e.code == REL_X ? kScreenWidth - 1 : kScreenHeight - 1;
    at = static_cast<int>(std::clamp<long long>(static_cast<long long>(at) + e.value, 0, last));
  } else if (e.type == EV_ABS) {
    switch (e.code) {
      case ABS_X: m_x = e.value; m_relative = false; break;
      case ABS_Y: m_y = e.value; m_relative = false; break;
      case ABS_MT_SLOT: m_slot = e.value; break;
      case ABS_MT_TRACKING_ID:
        if (m_slot == 0) {
          m_tracked = true;
          m_slotContact = e.value >= 0;
        }
        break;
      case ABS_MT_POSITION_X:
        if (m_slot == 0) {
          m_mtPosition = true;
          m_mtX = e.value;
        }
        break;
      case ABS_MT_POSITION_Y:
        if (m_slot == 0) {
          m_mtPosition = true;
          m_mtY = e.value;
        }
        break;
      default: break;
    }
  }
}

void TouchDecoder::Lift(std::vector<ScreenTouch>* touches) {
  if (m_down) touches->push_back({TouchKind::Up, m_last.x, m_last.y});
  m_down = false;
}

void TouchDecoder::Report(std::vector<ScreenTouch>* touches) {
  const bool contact = m_tracked ? m_slotContact : m_button || m_left;
  const Point at = m_relative     ? m_pointer
                   : m_mtPosition ? ToScreen(m_mtX, m_mtY, m_geometry.mtX, m_geometry.mtY)
                                  : ToScreen(m_x, m_y, m_geometry.x, m_geometry.y);
  if (contact && !m_down) {
    touches->push_back({TouchKind::Down, at.x, at.y});
  } else if (contact && at != m_last) {
    touches->push_back({TouchKind::Move, at.x, at.y});
  } else if (!contact && m_down) {
    touches->push_back({TouchKind::Up, m_last.x, m_last.y});
  }
  m_down = contact;
  if (contact) m_last = at;
}
