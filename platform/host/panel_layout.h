// Where the device's 800 x 480 frame lies on a panel: turned clockwise by a quarter turn or
// more (a case that holds the panel upside down, a portrait panel), then centred with black
// borders on a panel large enough for it, or scaled down by the smallest whole factor that
// fits a smaller one. The panel writer draws through it and the touches come back through it.
#pragma once

// Where the turned frame lands on the panel: every block of factor x factor of its pixels
// becomes one panel pixel, and the shown picture's top left corner is at (left, top).
struct PanelPlacement {
  int factor = 1;
  int left = 0, top = 0;
  int width = 0, height = 0;  // of the shown picture, in panel pixels
};
// The placement of a picture of frameWidth x frameHeight on a panel.
PanelPlacement PlaceFrame(int panelWidth, int panelHeight, int frameWidth, int frameHeight);

class PanelLayout {
 public:
  // rotate: 0, 90, 180 or 270 degrees clockwise.
  PanelLayout(int panelWidth, int panelHeight, int rotate);

  int PanelWidth() const { return m_panelWidth; }
  int PanelHeight() const { return m_panelHeight; }
  const PanelPlacement& Placement() const { return m_placement; }

  // The index (x + 800 y) of the frame pixel shown at pixel (tx, ty) of the turned frame;
  // along a row of the turned frame, the index changes by Step() a pixel.
  int FrameIndex(int tx, int ty) const { return m_origin + tx * m_step + ty * m_rowStep; }
  int Step() const { return m_step; }
  // The frame point under a panel pixel; points on the borders go to the nearest edge.
  void FramePoint(int panelX, int panelY, int* x, int* y) const;

 private:
  int m_panelWidth, m_panelHeight;
  int m_turnedWidth, m_turnedHeight;
  PanelPlacement m_placement;
  int m_origin = 0, m_step = 1, m_rowStep = 0;
};
