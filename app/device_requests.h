// The three smallest device services: the battery state, the backlight request and
// the fill of the whole frame buffer with one colour.
#pragma once

#include "platform/kernel/types.h"

// Backlight request codes (device type 0x22, buffered, any access).
constexpr DWORD kBacklightRequestA = 0x223490;  // 0 at start-up, 1 at exit
constexpr DWORD kBacklightRequestB = 0x223494;  // 0 when a slideshow starts, 1 when it ends and on clicks
constexpr DWORD kBatteryReadRequest = 0x223548;

// The battery driver's state; 0..7 mean something to the battery icon.
LONG ReadBatteryState();
// Sends one value to the backlight driver; a missing or refusing driver only logs.
void BacklightRequest(DWORD code, DWORD value);
// Fills the visible frame and the memory after it (1,536,000 bytes) with one colour,
// given as 0xBBGGRR.
void FillScreen(DWORD colour);
// The RGB565 pixel of a 0xBBGGRR colour.
WORD ColourToRgb565(DWORD colour);
