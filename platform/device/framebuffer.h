// The device's frame buffer and the display controller's frame-base register.
//
// The visible frame (800 x 480 RGB565, 1600 bytes a row) is followed by the memory the
// start-up fill also writes (1,536,000 bytes in all); the shadow frame has the size of one
// frame. The panel shows the frame whose physical address the register holds.
#pragma once

#include <cstddef>

#include "platform/kernel/types.h"

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 480;
constexpr size_t kFrameStrideBytes = 1600;
constexpr size_t kFrameBytes = 768000;
constexpr size_t kFrameMemoryBytes = 1536000;  // visible frame and the memory after it

constexpr DWORD kVisibleFramePhysical = 0x20000000;
constexpr DWORD kShadowFramePhysical = 0x22600000;

// Start of the visible frame's memory (kFrameMemoryBytes long).
WORD* GetVisibleFrame();
// Start of the shadow frame (kFrameBytes long).
WORD* GetShadowFrame();
// The frame-base register.
volatile DWORD* GetFrameBaseRegister();
// The frame the panel shows now: the visible or the shadow frame, by the register
// (any other value shows the visible frame). For hosts and tests.
const WORD* GetShownFrame();

// ---- What the screen must show anew ------------------------------------------------------
// Writers of the frame memory and of the frame-base register announce their writes, so that
// a host copies the frame to its screen only when it has changed and sleeps otherwise.
// Drawing through device contexts announces itself (a context on the frame buffer does when
// it is released); code that writes the frame buffer directly (the start-up fill, the photo
// view's clears, the slideshow's clears and effects, the display freeze) announces after its
// writes.
void AnnounceFrameChange();
// True, once, when a change was announced since the last call.
bool TakeFrameChange();
// Called on the announcing thread by the first announcement after a TakeFrameChange, to wake
// the host that shows the frame; it must be quick and safe on any thread. nullptr: none.
void SetFrameChangeWake(void (*wake)());
