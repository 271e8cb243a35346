// Resolving device paths onto host paths under the device root (used by the file layer).
#pragma once

#include <string>
#include <vector>

#include "platform/kernel/types.h"
#include "platform/kernel/wide.h"

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

// True when the host path (existing or about to be created) lies on the card, the root's
// SDMMC folder, also when a link elsewhere in the root leads there.
bool IsOnCard(const std::string& hostPath);
// True while the card is taken out (SetCardTakenOut): paths on it then resolve to nothing.
bool IsCardTakenOut();

// The stream device that the device layer registered (SetStreamDevices) and that names it.
bool IsStreamDeviceName(LPCWSTR name);
// nullptr when it cannot be opened (the last error says why) or no device layer is there.
HANDLE OpenStreamDevice(LPCWSTR name);

// Folds a name for comparison without regard to case: simple one-to-one case folding of
// the Latin, Greek, Cyrillic and Armenian letters and the full-width Latin letters.
WString FoldCase(WStringView name);


// The real paths (links followed) of the root and of every folder on the way from the root
// to hostFolder, hostFolder included. A folder search uses them to leave out entries that
// would lead back onto its own way, so that walking the folders always ends.
std::vector<std::string> RealPathsOnTheWay(const std::string& hostFolder);
std::string RealPath(const std::string& hostPath);
