// Pictures for the demo card, drawn from code: RGB, 8 bits a channel, rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3

  Picture(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3) {}
  std::uint8_t* At(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

enum class Scene { Landscape, Sunset, City, Flowers, Test };

// A scene of the given kind; seed varies the details.
Picture DrawScene(Scene scene, int width, int height, unsigned seed);
// A frame of the small animation: a ring of dots with one lit.
Picture DrawSpinnerFrame(int size, int frame, int frames);
