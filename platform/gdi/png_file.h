// PNG pictures of 565 pixels, for screenshots and contact sheets on the host.
#pragma once

#include <string>

#include "platform/kernel/types.h"

// Writes width x height pixels (row y at pixels + y * pitch) as an 8-bit RGB PNG file.
bool WritePng565(const std::string& hostPath, const WORD* pixels, int width, int height, int pitch);
