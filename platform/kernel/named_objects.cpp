#include "platform/kernel/named_objects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>


namespace {

struct Slot {
  std::shared_ptr<Waitable> object;
  int handles = 0;
  int lockFd = -1;  // -1 when the name could not be claimed on the host
};

struct Names {
  std::mutex lock;
  std::map<WString, Slot> slots;
};

Names& TheNames() {
  static auto* names = new Names;
  return *names;
}

// The folder whose processes share names; never destroyed, exit handlers still close names.
struct NameSpace {
  std::mutex lock;
  std::string folder;
};

NameSpace& TheRoot() {
  static auto* root = new NameSpace;
  return *root;
}

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Makes the folder if needed; true when it is a real folder owned by this user.
bool PrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

// Letters and digits stay; every other UTF-16 unit becomes _xxxx, so distinct names (which
// are case-sensitive) give distinct file names.
std::string LockFileName(const WString& name) {
  std::string file;
  for (WCHAR c : name) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
      file += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "_%04x", static_cast<unsigned>(c));
      file += escaped;
    }
  }
  if (file.size() > 200) file = "long-" + Hex(Fnv1a(file));
  return file;
}

bool SetLock(int fd, short type, bool wait) {
  struct flock range = {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Takes a shared hold on the name's lock file and returns its descriptor, or -1 when the host
// folder cannot be used. *othersHold tells whether another process held the name.
int ClaimHostName(const WString& name, bool* othersHold) {
  *othersHold = false;
  std::string folder = NameLockFolder();
  if (folder.empty()) return -1;
  std::string path = folder + "/" + LockFileName(name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (SetLock(fd, F_WRLCK, false)) {
    // Nobody else holds the name. Converting to a shared lock is atomic, so no other
    // claimer can see the name free in between.
    if (SetLock(fd, F_RDLCK, false)) return fd;
  } else if (errno == EAGAIN || errno == EACCES) {
    *othersHold = true;
    // Another claimer may hold the exclusive lock for the moment of its own check.
    if (SetLock(fd, F_RDLCK, true)) return fd;
  }
  close(fd);
  return -1;
}

}  // namespace

void SetNameSpaceRoot(const std::string& hostFolder) {
  std::lock_guard guard(TheRoot().lock);
  TheRoot().folder = hostFolder;
}

std::string NameLockFolder() {
  std::error_code error;
  std::string root;
  {
    std::lock_guard guard(TheRoot().lock);
    root = TheRoot().folder;
  }
  std::string canonical = root;
  if (!root.empty()) {
    std::filesystem::path resolved = std::filesystem::weakly_canonical(root, error);
    if (!error) canonical = resolved.string();
  }
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) temp = "/tmp";
  std::string base = (temp / ("vellumet-" + std::to_string(getuid()))).string();
  if (!PrivateFolder(base)) return {};
  std::string folder = base + "/names-" + Hex(Fnv1a(canonical));
  if (!PrivateFolder(folder)) return {};
  return folder;
}

std::shared_ptr<Waitable> OpenObjectName(const WString& name, const std::function<std::shared_ptr<Waitable>()>& make,
                                         bool* existed) {
  Names& names = TheNames();
  std::lock_guard guard(names.lock);
  auto it = names.slots.find(name);
  if (it != names.slots.end()) {
    ++it->second.handles;
    *existed = true;
    return it->second.object;
  }
  Slot slot;
  slot.lockFd = ClaimHostName(name, existed);
  slot.object = make();
  slot.handles = 1;
  std::shared_ptr<Waitable> object = slot.object;
  names.slots.emplace(name, std::move(slot));
  return object;
}

void CloseObjectName(const WString& name) {
  Names& names = TheNames();
  std::lock_guard guard(names.lock);
  auto it = names.slots.find(name);
  if (it == names.slots.end() || --it->second.handles > 0) return;
  if (it->second.lockFd >= 0) close(it->second.lockFd);
  names.slots.erase(it);
}
