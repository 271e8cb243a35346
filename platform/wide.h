// Conversions between the system's UTF-16 text and the host's UTF-8.
#pragma once

#include "platform/types.h"

// Invalid sequences become U+FFFD in both directions.
std::string ToUtf8(WStringView text);
WString FromUtf8(std::string_view text);

// Length of a zero-terminated wide string, in UTF-16 units.
size_t WideLength(LPCWSTR text);
