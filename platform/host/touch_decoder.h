// Touches from the records of a Linux input device (struct input_event): a touch screen, a
// tablet or a mouse.
//
// A contact is read from BTN_TOUCH or BTN_LEFT (a tablet's or a mouse's button), or, once
// the device has sent multi-touch tracking ids, from slot 0's tracking id (other slots are
// other fingers and are ignored). Its position is ABS_X / ABS_Y, or slot 0's
// ABS_MT_POSITION_X / _Y once the device has sent those, or, for a mouse (REL_X / REL_Y), a
// pointer that the motions move over the screen as it is seen and that stays on it. Each
// SYN_REPORT completes a report: a new contact is a touch down, a contact that moved is a
// move, a contact that ended is an up where it was last. After SYN_DROPPED everything up to
// the next SYN_REPORT is left out, as the kernel asks.
//
// Absolute values are scaled from the device's ranges onto the panel, and from the panel's
// pixel to the frame's through the panel's layout, so that they follow a turned picture.
// For a touch panel that lies another way on its panel, the axes may first be swapped, then
// turned by 90, 180 or 270 degrees clockwise.
#pragma once

#include <linux/input.h>

#include <vector>

#include "platform/host/panel_layout.h"
#include "platform/windows/window.h"

struct AxisRange {
  int minimum = 0;
  int maximum = 0;
};

struct TouchGeometry {
  AxisRange x{0, 799}, y{0, 479};      // ABS_X, ABS_Y
  AxisRange mtX{0, 799}, mtY{0, 479};  // ABS_MT_POSITION_X, ABS_MT_POSITION_Y
  bool swapXY = false;
  int rotate = 0;  // 0, 90, 180 or 270: the touch panel against the panel
  PanelLayout panel{800, 480, 0};
};

struct ScreenTouch {
  TouchKind kind;
  int x, y;
  bool operator==(const ScreenTouch&) const = default;
};

class TouchDecoder {
 public:
  explicit TouchDecoder(const TouchGeometry& geometry) : m_geometry(geometry) {}

  // Takes one record; a completed report appends its touch (at most one) to *touches.
  void Feed(const input_event& event, std::vector<ScreenTouch>* touches);
  // The device has gone: a contact still down ends where it was last.
  void Lift(std::vector<ScreenTouch>* touches);

 private:
  struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
  };
  void Report(std::vector<ScreenTouch>* touches);
  Point ToScreen(int rawX, int rawY, const AxisRange& rx, const AxisRange& ry) const;

  TouchGeometry m_geometry;
  bool m_dropping = false;
  // The device's state as the records so far tell it.
  bool m_button = false;  // BTN_TOUCH
  bool m_left = false;    // BTN_LEFT
  int m_x = 0, m_y = 0;
  bool m_relative = false;  // the last motion was a mouse's
  Point m_pointer{400, 240};
  int m_slot = 0;
  bool m_tracked = false;  // slot 0 has had tracking ids
  bool m_slotContact = false;
  bool m_mtPosition = false;  // slot 0 has had positions
  int m_mtX = 0, m_mtY = 0;
  // What the screen was last told.
  bool m_down = false;
  Point m_last;
};
