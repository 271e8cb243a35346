#include <thread>

#include "jpeg/jpeg_state.h"

namespace {
int DefaultThreads() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n > unsigned(kJpegMaxThreads) ? kJpegMaxThreads : int(n);
}
int gThreads = DefaultThreads();
}  // namespace

void JpegSetThreads(int count) { gThreads = count < 1 ? 1 : count > kJpegMaxThreads ? kJpegMaxThreads : count; }
int JpegThreads() { return gThreads; }
