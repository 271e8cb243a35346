// The device's error code for a failed host file call.
#pragma once

#include <string>

#include "platform/kernel/types.h"

// errnoValue of a failed call on hostPath; ENOENT becomes "path not found" when the folder
// that would hold hostPath is missing, else "file not found".
DWORD DeviceErrorFromErrno(int errnoValue, const std::string& hostPath);
