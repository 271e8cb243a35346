// Resolving device paths onto host paths under the device root (used by the file layer).
#pragma once

#include <string>

#include "platform/types.h"

struct ResolvedPath {
  std::string host;   // the host path; empty when the path was refused
  DWORD error = 0;    // why it was refused (ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME ...)
  bool exists = false;
};

// Each existing component is matched against the host names of its folder, first exactly,
// then without regard to case; components that do not exist keep their given spelling, but
// only the last one may be missing. ".." components, names with a forward slash or a NUL,
// and paths that a symbolic link would lead out of the root are refused.
ResolvedPath ResolvePath(LPCWSTR devicePath);

// True when the host path, with symbolic links followed, lies inside the device root.
bool IsInsideRoot(const std::string& hostPath);

// Folds a name for comparison without regard to case (ASCII, Latin-1, Greek and Cyrillic).
WString FoldCase(WStringView name);
