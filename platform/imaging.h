// The device's imaging service: decoded images behind COM interfaces.
// The service itself (factory, decoders, bitmap operations) is added by its own layer;
// IImage is declared here so that other code can hold and release images.
#pragma once

#include "platform/com.h"

struct IImage : IUnknown {};
