#include "platform/device/framebuffer.h"

namespace {

alignas(64) WORD g_visibleMemory[kFrameMemoryBytes / sizeof(WORD)];
alignas(64) WORD g_shadowFrame[kFrameBytes / sizeof(WORD)];
volatile DWORD g_frameBase = kVisibleFramePhysical;

}  // namespace

WORD* GetVisibleFrame() { return g_visibleMemory; }
WORD* GetShadowFrame() { return g_shadowFrame; }
volatile DWORD* GetFrameBaseRegister() { return &g_frameBase; }

const WORD* GetShownFrame() { return g_frameBase == kShadowFramePhysical ? g_shadowFrame : g_visibleMemory; }
