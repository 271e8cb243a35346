#include "tools/demo/picture.h"

#include <algorithm>
#include <cmath>

namespace {

std::uint8_t Clamp(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); }

void Put(Picture& p, int x, int y, double r, double g, double b) {
  std::uint8_t* px = p.At(x, y);
  px[0] = Clamp(r);
  px[1] = Clamp(g);
  px[2] = Clamp(b);
}

// A small, repeatable noise so that pictures have texture as photos do.
double Noise(int x, int y, unsigned seed) {
  unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return static_cast<double>((h ^ (h >> 16)) & 0xFF) / 255.0 - 0.5;
}

void DrawLandscape(Picture& p, unsigned seed, bool sunset) {
  const double w = p.width, h = p.height;
  const double sunX = w * (0.25 + 0.5 * ((seed % 7) / 7.0)), sunY = h * (sunset ? 0.55 : 0.25);
  const double sunR = std::min(w, h) * 0.08;
  for (int y = 0; y < p.height; ++y) {
    double fy = y / h;
    for (int x = 0; x < p.width; ++x) {
      double fx = x / w;
      double hill1 = 0.62 + 0.08 * std::sin(fx * 6.0 + seed) + 0.03 * std::sin(fx * 23.0);
      double hill2 = 0.75 + 0.05 * std::sin(fx * 9.0 + 2.0 * seed);
      double n = Noise(x, y, seed) * 18.0;
      double r, g, b;
      if (fy > hill2) {
        r = 40 + 30 * fy + n; g = 90 + 60 * (1 - fy) + n; b = 30 + n;
      } else if (fy > hill1) {
        r = 70 + n; g = 110 + 40 * fx + n; b = 60 + n;
      } else if (sunset) {
        r = 250 - 60 * fy; g = 120 + 80 * fy; b = 90 + 100 * fy;
      } else {
        r = 90 + 100 * fy; g = 150 + 70 * fy; b = 235 - 10 * fy;
      }
      double d = std::hypot(x - sunX, y - sunY);
      if (d < sunR && fy <= hill1) { r = 255; g = sunset ? 190 : 245; b = sunset ? 80 : 200; }
      Put(p, x, y, r, g, b);
    }
  }
}

void DrawCity(Picture& p, unsigned seed) {
  const int w = p.width, h = p.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Put(p, x, y, 20 + 40.0 * y / h, 25 + 30.0 * y / h, 70 + 60.0 * y / h);
  int x = 0;
  unsigned s = seed;
  while (x < w) {
    s = s * 1103515245u + 12345u;
    int bw = std::max(4, static_cast<int>(w * (0.05 + (s >> 16) % 100 / 1000.0)));
    int bh = static_cast<int>(h * (0.3 + (s >> 8) % 50 / 100.0));
    for (int yy = h - bh; yy < h; ++yy)
      for (int xx = x; xx < std::min(w, x + bw); ++xx) {
        bool window = ((xx - x) / std::max(1, bw / 6)) % 2 == 1 && ((yy / std::max(1, h / 60)) % 2 == 1);
        bool lit = window && Noise(xx / std::max(1, bw / 6), yy / std::max(1, h / 60), seed) > 0.0;
        Put(p, xx, yy, lit ? 250 : 40, lit ? 220 : 40, lit ? 120 : 50);
      }
    x += bw + 2;
  }
}

void DrawFlowers(Picture& p, unsigned seed) {
  const int w = p.width, h = p.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Put(p, x, y, 40 + Noise(x, y, seed) * 30, 120 + Noise(x / 3, y / 3, seed) * 60, 40);
  unsigned s = seed;
  for (int i = 0; i < 40; ++i) {
    s = s * 1103515245u + 12345u;
    int cx = static_cast<int>((s >> 8) % static_cast<unsigned>(w));
    s = s * 1103515245u + 12345u;
    int cy = static_cast<int>((s >> 8) % static_cast<unsigned>(h));
    int r = std::max(3, std::min(w, h) / 25);
    double hue = (s >> 4) % 3;
    for (int y = std::max(0, cy - r); y < std::min(h, cy + r); ++y)
      for (int x = std::max(0, cx - r); x < std::min(w, cx + r); ++x) {
        double a = std::atan2(y - cy, x - cx), d = std::hypot(x - cx, y - cy);
        if (d < r * (0.6 + 0.4 * std::fabs(std::cos(a * 2.5)))) {
          bool centre = d < r * 0.25;
          Put(p, x, y, centre ? 250 : (hue == 0 ? 240 : hue == 1 ? 250 : 180), centre ? 200 : (hue == 0 ? 60 : 240),
              centre ? 40 : (hue == 2 ? 230 : 90));
        }
      }
  }
}

// Colour bars, a grey ramp and fine lines: handy to judge scaling and colour.
void DrawTest(Picture& p) {
  static const double kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                     {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
  const int w = p.width, h = p.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (y < h / 2) {
        const double* c = kBars[std::min(7, x * 8 / w)];
        Put(p, x, y, c[0], c[1], c[2]);
      } else if (y < 3 * h / 4) {
        double v = 255.0 * x / std::max(1, w - 1);
        Put(p, x, y, v, v, v);
      } else {
        bool line = (x / std::max(1, w / 200)) % 2 == 0;
        Put(p, x, y, line ? 255 : 0, line ? 255 : 0, line ? 255 : 0);
      }
    }
}

}  // namespace

Picture DrawScene(Scene scene, int width, int height, unsigned seed) {
  Picture p(width, height);
  switch (scene) {
    case Scene::Landscape: DrawLandscape(p, seed, false); break;
    case Scene::Sunset: DrawLandscape(p, seed, true); break;
    case Scene::City: DrawCity(p, seed); break;
    case Scene::Flowers: DrawFlowers(p, seed); break;
    case Scene::Test: DrawTest(p); break;
  }
  return p;
}

Picture DrawSpinnerFrame(int size, int frame, int frames) {
  Picture p(size, size);
  const double c = size / 2.0, ring = size * 0.35, dot = size * 0.09;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      double r = 30, g = 30, b = 40;
      for (int i = 0; i < frames; ++i) {
        double a = 2 * M_PI * i / frames;
        if (std::hypot(x - (c + ring * std::cos(a)), y - (c + ring * std::sin(a))) < dot) {
          bool lit = i == frame;
          r = lit ? 255 : 90; g = lit ? 200 : 90; b = lit ? 40 : 110;
        }
      }
      Put(p, x, y, r, g, b);
    }
  return p;
}
