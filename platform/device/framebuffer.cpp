#include "platform/device/framebuffer.h"

#include <atomic>

namespace {

alignas(64) WORD g_visibleMemory[kFrameMemoryBytes / sizeof(WORD)];
alignas(64) WORD g_shadowFrame[kFrameBytes / sizeof(WORD)];
volatile DWORD g_frameBase = kVisibleFramePhysical;
std::atomic<bool> g_frameChanged{true};  // the first frame is new
std::atomic<void (*)()> g_frameChangeWake{nullptr};

}  // namespace

WORD* GetVisibleFrame() { return g_visibleMemory; }
WORD* GetShadowFrame() { return g_shadowFrame; }
volatile DWORD* GetFrameBaseRegister() { return &g_frameBase; }

const WORD* GetShownFrame() { return g_frameBase == kShadowFramePhysical ? g_shadowFrame : g_visibleMemory; }

void AnnounceFrameChange() {
  if (g_frameChanged.exchange(true)) return;  // the host has not taken the last one yet
  if (void (*wake)() = g_frameChangeWake.load()) wake();
}

bool TakeFrameChange() { return g_frameChanged.exchange(false); }

void SetFrameChangeWake(void (*wake)()) { g_frameChangeWake = wake; }
