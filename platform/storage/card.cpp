// Whether the card ("SD Memory Card") is there and whether it can be written.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>

#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"

namespace {

std::atomic<bool> g_takenOut{false};
std::atomic<bool> g_writeProtected{false};

}  // namespace

void SetCardTakenOut(bool out) { g_takenOut.store(out); }
void SetCardWriteProtected(bool writeProtected) { g_writeProtected.store(writeProtected); }
bool IsCardTakenOut() { return g_takenOut.load(); }

bool IsCardMounted() {
  if (IsCardTakenOut()) return false;
  ResolvedPath card = ResolvePath(u"SDMMC");
  struct stat st;
  return card.exists && stat(card.host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsCardReadOnly() {
  if (IsCardTakenOut() || g_writeProtected.load()) return true;
  ResolvedPath card = ResolvePath(u"SDMMC");
  if (!card.exists) return true;
  struct statvfs fs;
  if (statvfs(card.host.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) return true;
  // Root passes access(); the folder's own write bits still say what the user meant.
  struct stat st;
  return access(card.host.c_str(), W_OK) != 0 || (stat(card.host.c_str(), &st) == 0 && !(st.st_mode & 0222));
}
