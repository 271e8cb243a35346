#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/kernel/kernel.h"

namespace {

// SplitMix64: each call advances the state by a fixed odd step and mixes it, so concurrent
// callers never get the same number and no lock is needed.
constexpr std::uint64_t kStep = 0x9E3779B97F4A7C15ull;

std::atomic<std::uint64_t>& State() {
  static std::atomic<std::uint64_t> state{
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) * kStep};
  return state;
}

}  // namespace

DWORD Random() {
  std::uint64_t z = State().fetch_add(kStep, std::memory_order_relaxed) + kStep;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<DWORD>(z >> 32);
}

void SeedRandom(DWORD seed) { State().store(seed, std::memory_order_relaxed); }
