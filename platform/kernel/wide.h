// Conversions between the system's UTF-16 text and the host's UTF-8.
#pragma once

#include "platform/kernel/types.h"

// Invalid sequences become U+FFFD in both directions.
std::string ToUtf8(WStringView text);
WString FromUtf8(std::string_view text);
// Host names are bytes, usually UTF-8. Bytes that are not part of valid UTF-8 become the
// unpaired low surrogates U+DC80..U+DCFF, and go back to the same bytes, so that every
// host name can be reported and opened again.
WString FromHostName(std::string_view name);
std::string ToHostName(WStringView name);

// Length of a zero-terminated wide string, in UTF-16 units.
size_t WideLength(LPCWSTR text);
