#include "platform/storage/card_watch.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"

namespace {

namespace fs = std::filesystem;

// Mount tables write a space, tab, newline and backslash in a path as \040, \011, \012, \134.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// Whether a line of the table at `path` has `folder` as its field number `field` (from 0);
// lines starting with '#' are comments.
bool TableNames(const char* path, int field, const std::string& folder) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    for (int i = 0; i <= field && words >> word; ++i)
      if (i == field && fs::path(Unescape(word)).lexically_normal() == fs::path(folder)) return true;
  }
  return false;
}

std::string Absolute(const std::string& folder) {
  std::error_code ignored;
  std::string path = fs::absolute(folder, ignored).lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Failure(const std::string& folder, int error) {
  return folder + " cannot be read (" + std::strerror(error) + ")";
}

// What the slot shows for the folder now, and why. mountPoint: the folder is to be taken
// as a mount point; *mountedNow tells whether it is one now.
struct CardSlotState {
  enum Slot { In, ReadOnly, Out } slot = Out;
  std::string why;  // for Out and ReadOnly: one line's reason
};

CardSlotState LookAtCardFolder(const std::string& folder, bool mountPoint, bool* mountedNow) {
  *mountedNow = false;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0)
    return {CardSlotState::Out, errno == ENOENT ? folder + " is not there" : Failure(folder, errno)};
  if (!S_ISDIR(st.st_mode)) return {CardSlotState::Out, folder + " is not a folder"};
  *mountedNow = TableNames("/proc/self/mountinfo", 4, RealPath(folder));
  if (mountPoint && !*mountedNow) return {CardSlotState::Out, "nothing is mounted on " + folder};
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {CardSlotState::Out, Failure(folder, errno)};
  closedir(dir);
  struct statvfs fs;
  if (statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
    return {CardSlotState::ReadOnly, folder + " is mounted read-only"};
  return {CardSlotState::In, ""};
}

class CardWatch {
 public:
  explicit CardWatch(std::string folder)
      : m_folder(std::move(folder)), m_absolute(Absolute(m_folder)), m_mountPoint(TableNames("/etc/fstab", 1, m_absolute)) {}
  ~CardWatch() { Stop(); }

  bool Start() {
    Look();
    m_stop = eventfd(0, EFD_CLOEXEC);
    m_mounts = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    m_inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_stop < 0 || m_mounts < 0 || m_inotify < 0) {
      std::fprintf(stderr, "vellumet: the card folder cannot be watched (%s); the card stays as it is\n",
                   std::strerror(errno));
      return false;
    }
    WatchNearestFolder();
    m_thread = std::thread([this] { Run(); });
    return true;
  }

  void Stop() {
    if (m_thread.joinable()) {
      const uint64_t one = 1;
      if (write(m_stop, &one, sizeof one) < 0) {
        // An eventfd takes a write until its counter would overflow: it cannot fail here.
      }
      m_thread.join();
    }
    for (int* fd : {&m_stop, &m_mounts, &m_inotify}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

 private:
  void Run() {
    for (;;) {
      pollfd fds[3] = {{m_stop, POLLIN, 0}, {m_mounts, POLLPRI, 0}, {m_inotify, POLLIN, 0}};
      if (poll(fds, 3, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      if (fds[2].revents) {
        alignas(inotify_event) char events[4096];
        while (read(m_inotify, events, sizeof events) > 0) {
        }
      }
      Look();
      WatchNearestFolder();
    }
  }

  // Sets the slot when what the folder shows has changed, and says so.
  void Look() {
    bool mounted = false;
    const CardSlotState state = LookAtCardFolder(m_folder, m_mountPoint, &mounted);
    m_mountPoint = m_mountPoint || mounted;
    if (m_told && state.slot == m_state.slot && state.why == m_state.why) return;
    if (!m_told || state.slot != m_state.slot) {
      SetCardTakenOut(state.slot == CardSlotState::Out);
      SetCardWriteProtected(state.slot == CardSlotState::ReadOnly);
    }
    m_state = state;
    m_told = true;
    switch (state.slot) {
      case CardSlotState::In: std::fprintf(stderr, "vellumet: the card is in: %s\n", m_folder.c_str()); break;
      case CardSlotState::ReadOnly: std::fprintf(stderr, "vellumet: the card is in, write-protected: %s\n", state.why.c_str()); break;
      case CardSlotState::Out: std::fprintf(stderr, "vellumet: the card is out: %s\n", state.why.c_str()); break;
    }
  }

  // The folder above the card folder, or the nearest one above that which is there, tells
  // when the card folder appears, goes or changes its permissions.
  void WatchNearestFolder() {
    fs::path above = fs::path(m_absolute).parent_path();
    std::error_code ignored;
    while (!fs::is_directory(above, ignored) && above != above.parent_path()) above = above.parent_path();
    if (above == m_watched) return;
    if (m_watch >= 0) inotify_rm_watch(m_inotify, m_watch);
    constexpr uint32_t kChanges =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    m_watch = inotify_add_watch(m_inotify, above.c_str(), kChanges);
    m_watched = m_watch >= 0 ? above : fs::path();
  }

  const std::string m_folder;
  const std::string m_absolute;
  bool m_mountPoint;
  CardSlotState m_state;
  bool m_told = false;
  int m_stop = -1, m_mounts = -1, m_inotify = -1;
  int m_watch = -1;
  fs::path m_watched;
  std::thread m_thread;
};

CardWatch* g_watch = nullptr;

}  // namespace

bool StartCardWatch() {
  StopCardWatch();
  if (GetCardFolder().empty()) return true;
  g_watch = new CardWatch(GetCardFolder());
  return g_watch->Start();
}

void StopCardWatch() {
  delete g_watch;
  g_watch = nullptr;
}
