// libFuzzer target: the BMP header and every row of any input, as palette indices and as
// colours. Pictures are capped in area so that one input stays well under a second; the
// reader itself takes larger ones.
#include <cstdint>
#include <vector>

#include "platform/imaging/bmp_format.h"

namespace {
constexpr std::uint64_t kMaxArea = 1u << 18;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  bmp::Layout layout;
  if (bmp::ReadLayout(data, size, &layout) != bmp::Status::Ok) return 0;
  if (std::uint64_t{layout.width} * layout.height > kMaxArea) return 0;
  bmp::Rows rows(data, size, layout);
  if (!rows.Expand()) return 0;
  std::vector<std::uint8_t> bgr(size_t{layout.width} * 3), indices(layout.width);
  for (UINT y = 0; y < layout.height; ++y) {
    rows.Bgr(y, bgr.data());
    if (layout.HasPalette()) rows.Indices(y, indices.data());
  }
  return 0;
}
