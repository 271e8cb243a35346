// File attributes of host files: the directory and read-only bits from the host, the
// hidden, system and archive bits from the FAT attribute byte on a FAT mount, else from
// a user extended attribute, else not kept at all.
#pragma once

#include <string>

#include "platform/types.h"

// INVALID_FILE_ATTRIBUTES when the file does not exist.
DWORD HostFileAttributes(const std::string& hostPath);
// False when the bits that are kept could not be stored (the host keeps none of them).
bool SetHostFileAttributes(const std::string& hostPath, DWORD attributes);
