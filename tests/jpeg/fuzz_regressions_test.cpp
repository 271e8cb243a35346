// Inputs the fuzz run once found faults with, decoded again into the fuzz target's boxes:
// each must end (decoded, refused or failed) without touching memory it does not own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "jpeg/memory_decode.h"

namespace {

TEST(JpegFuzzRegressions, EveryKeptInputEnds) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(VELLUMET_FUZZ_REGRESSIONS))
    if (entry.path().extension() != ".md") inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto [w, h] : {std::pair{48, 36}, {13, 7}, {160, 120}}) {
      std::vector<uint16_t> surface(size_t(w) * h);
      const MemoryDecodeResult r = DecodeJpegFromMemory(bytes.data(), bytes.size(), w, h, surface.data(), 4u << 20);
      EXPECT_TRUE(r.status >= 0 && r.status <= 2) << path << ": " << r.status;
    }
  }
}

}  // namespace
