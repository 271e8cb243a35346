// A copy of the frame the panel shows, taken from a host's thread.
#pragma once

#include "platform/kernel/types.h"

// Copies the shown frame (800 x 480 pixels, 1600 bytes a row) to `out`. Like a display
// controller scanning the frame out, the copy is not in step with the threads that draw:
// a frame being drawn is copied as it is, and the next copy catches up. The thread checker
// is told that these reads race with the drawing by design.
void CopyShownFrame(WORD* out);
