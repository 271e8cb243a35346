// An animated GIF of RGB565 frames, written as the frames come: each frame after the first
// holds only the rectangle that changed, with the unchanged pixels in it transparent, so
// that a wipe to black costs little. Colours are a fixed 6 x 7 x 6 cube (black exact).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GifFileType;

class GifMovie {
 public:
  // A movie of width x height pixels that loops for ever; false from Ok() when the file
  // cannot be created.
  GifMovie(const std::string& path, int width, int height);
  ~GifMovie();
  GifMovie(const GifMovie&) = delete;
  GifMovie& operator=(const GifMovie&) = delete;

  bool Ok() const { return m_gif != nullptr && m_ok; }
  // Adds a frame (width x height RGB565 pixels, rows of `width`) that appears at timeMs of
  // the movie; the frame before it is shown until then.
  void Add(const std::uint16_t* pixels, int timeMs);
  // Shows the last frame until endMs and closes the file; false on any write error.
  bool Finish(int endMs);
  int Frames() const { return m_frames; }

 private:
  void WritePending(int untilMs);

  GifFileType* m_gif = nullptr;
  bool m_ok = true;
  int m_width, m_height;
  std::vector<std::uint8_t> m_shown;    // colour indices of what the movie shows so far
  std::vector<std::uint8_t> m_pending;  // the frame added last, not yet written
  int m_pendingMs = -1;
  int m_writtenCs = 0;  // hundredths of a second written so far
  int m_frames = 0;
};
