// Files written whole or not at all.
//
// A file created with CREATE_ALWAYS does not overwrite the file of its name while it is being
// written: its bytes go to a new file beside it (a replacement), which takes the old file's
// place only when the handle is closed after every write succeeded, and only once it is on
// the storage: its data is flushed, it is renamed over the old file, and the folder is
// flushed. A write that fails (storage full, card write-protected or taken out) or a program
// that is stopped in the middle leaves the old file as it was and no partial file under its
// name. Folder searches never report replacements in progress.
#pragma once

#include <string>

#include "platform/kernel/types.h"

// The host path of the replacement for hostPath: a hidden name in the same folder.
std::string ReplacementHostPath(const std::string& hostPath);
// True for the host names that ReplacementHostPath gives.
bool IsReplacementName(const std::string& hostName);

// Creates the replacement for hostPath afresh (a leftover of a stopped program is removed
// first) and opens it with the given O_RDWR or O_WRONLY; its descriptor, or -1 with errno.
// It gets the old file's permissions when there is one.
int OpenReplacement(const std::string& hostPath, int accessFlags);
// Flushes and closes the replacement's descriptor and renames it over hostPath; on failure
// removes it. ERROR_SUCCESS, or the device's error code.
DWORD CommitReplacement(int fd, const std::string& hostPath);
// Closes and removes a replacement that is not to be kept.
void DropReplacement(int fd, const std::string& hostPath);
