// File attributes of host files: the directory and read-only bits from the host (type and
// write permission), the hidden, system and archive bits from the FAT attribute byte on a
// FAT mount, else from the user extended attribute "user.vellumet.attributes" (the bits as
// hexadecimal text, e.g. "2" for hidden), else not kept at all.
#pragma once

#include <string>

#include "platform/kernel/types.h"

// INVALID_FILE_ATTRIBUTES when the file does not exist.
DWORD HostFileAttributes(const std::string& hostPath);
// False when the bits that are kept could not be stored (the host keeps none of them).
bool SetHostFileAttributes(const std::string& hostPath, DWORD attributes);
