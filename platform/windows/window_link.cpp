#include "platform/windows/window_link.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/kernel/named_objects.h"
#include "platform/kernel/wide.h"

namespace {

enum class PacketKind : std::uint32_t { Query = 1, Found = 2, NotFound = 3, Post = 4, Send = 5, Answer = 6 };

constexpr size_t kTitleUnits = 64;
constexpr int kAnswerTimeoutMs = 1000;
constexpr int kQueryTimeoutMs = 300;
constexpr int kSendTimeoutMs = 1000;

struct Packet {
  PacketKind kind;
  std::uint32_t message;
  std::uint64_t wParam;
  std::int64_t lParam;
  std::int64_t result;
  std::uint32_t front;  // deliver to the receiver's front window instead of the titled one
  WCHAR title[kTitleUnits];
};

// A window of another process: the peer's socket and the window's title.
struct RemoteWindow {
  std::string peer;
  WString title;
  bool front = false;
};

struct Link {
  std::mutex lock;
  int fd = -1;
  std::string path;
  std::thread receiver;
  std::atomic<bool> stopping{false};
  int stopFd = -1;  // readable once the receiver is to stop: it sleeps until a packet or that
  std::deque<std::unique_ptr<RemoteWindow>> remotes;  // stand-ins live as long as the process
};

Link& TheLink() {
  static auto* link = new Link;
  return *link;
}

std::string LinkFolder() {
  std::string names = NameLockFolder();
  if (names.empty()) return {};
  return names;
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

// A socket bound to path (an existing stale file there is replaced).
int BoundSocket(const std::string& path) {
  if (path.size() >= sizeof(sockaddr_un::sun_path)) return -1;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  unlink(path.c_str());
  // A receiver whose queue is full holds a sender back for at most this long, so that a
  // burst of posts waits for room instead of losing messages, and a stuck peer costs a
  // second at most.
  const timeval sendTimeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  sockaddr_un address = Address(path);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendPacket(int fd, const std::string& to, const Packet& packet) {
  sockaddr_un address = Address(to);
  ssize_t n = sendto(fd, &packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (n < 0 && errno == ECONNREFUSED) unlink(to.c_str());  // its process has gone
  return n == static_cast<ssize_t>(sizeof packet);
}

// Waits for one packet on fd; false on time-out.
bool ReceivePacket(int fd, Packet& packet, std::string* from, int timeoutMs) {
  pollfd wait{fd, POLLIN, 0};
  if (poll(&wait, 1, timeoutMs) <= 0) return false;
  sockaddr_un address{};
  socklen_t length = sizeof address;
  ssize_t n = recvfrom(fd, &packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&address), &length);
  if (n != static_cast<ssize_t>(sizeof packet)) return false;
  if (from) *from = address.sun_path;
  return true;
}

void SetTitle(Packet& packet, WStringView title) {
  size_t n = std::min(title.size(), kTitleUnits - 1);
  std::copy(title.begin(), title.begin() + static_cast<long>(n), packet.title);
  packet.title[n] = 0;
}

// The receiving side: answers queries and hands messages to the window thread.
void Receive(Link& link) {
  while (!link.stopping) {
    pollfd wait[2] = {{link.fd, POLLIN, 0}, {link.stopFd, POLLIN, 0}};
    if (poll(wait, 2, -1) <= 0 || !wait[0].revents) continue;
    Packet packet;
    std::string from;
    if (!ReceivePacket(link.fd, packet, &from, 0)) continue;
    packet.title[kTitleUnits - 1] = 0;
    HWND target = packet.front ? GetForegroundWindow() : FindLocalWindow(packet.title);
    switch (packet.kind) {
      case PacketKind::Query:
        packet.kind = target ? PacketKind::Found : PacketKind::NotFound;
        SendPacket(link.fd, from, packet);
        break;
      case PacketKind::Post:
        if (target) PostMessage(target, packet.message, static_cast<WPARAM>(packet.wParam), static_cast<LPARAM>(packet.lParam));
        break;
      case PacketKind::Send:
        packet.result = target ? SendMessage(target, packet.message, static_cast<WPARAM>(packet.wParam),
                                             static_cast<LPARAM>(packet.lParam))
                               : 0;
        packet.kind = PacketKind::Answer;
        SendPacket(link.fd, from, packet);
        break;
      default:
        break;
    }
  }
}

// A socket of its own for one question and its answer.
struct AskSocket {
  int fd = -1;
  std::string path;
  AskSocket() {
    static std::atomic<unsigned> counter{0};
    std::string folder = LinkFolder();
    if (folder.empty()) return;
    path = folder + "/ask-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    fd = BoundSocket(path);
  }
  ~AskSocket() {
    if (fd >= 0) close(fd);
    if (!path.empty()) unlink(path.c_str());
  }
};

std::vector<std::string> Peers() {
  std::vector<std::string> peers;
  std::string folder = LinkFolder();
  if (folder.empty()) return peers;
  const std::string own = "win-" + std::to_string(getpid());
  DIR* dir = opendir(folder.c_str());
  if (!dir) return peers;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.rfind("win-", 0) == 0 && name != own) peers.push_back(folder + "/" + name);
  }
  closedir(dir);
  return peers;
}

HWND AddRemote(const std::string& peer, const WString& title, bool front) {
  Link& link = TheLink();
  std::lock_guard guard(link.lock);
  for (const auto& remote : link.remotes)
    if (remote->peer == peer && remote->title == title && remote->front == front)
      return reinterpret_cast<HWND>(remote.get());
  link.remotes.push_back(std::make_unique<RemoteWindow>(RemoteWindow{peer, title, front}));
  return reinterpret_cast<HWND>(link.remotes.back().get());
}

RemoteWindow* FindRemote(HWND window) {
  Link& link = TheLink();
  std::lock_guard guard(link.lock);
  for (const auto& remote : link.remotes)
    if (reinterpret_cast<HWND>(remote.get()) == window) return remote.get();
  return nullptr;
}

}  // namespace

bool StartWindowLink() {
  Link& link = TheLink();
  std::lock_guard guard(link.lock);
  if (link.fd >= 0) return true;
  std::string folder = LinkFolder();
  if (folder.empty()) return false;
  link.path = folder + "/win-" + std::to_string(getpid());
  link.fd = BoundSocket(link.path);
  if (link.fd < 0) return false;
  if (link.stopFd < 0) link.stopFd = eventfd(0, EFD_CLOEXEC);
  link.stopping = false;
  link.receiver = std::thread(Receive, std::ref(link));
  return true;
}

void StopWindowLink() {
  Link& link = TheLink();
  std::thread receiver;
  {
    std::lock_guard guard(link.lock);
    if (link.fd < 0) return;
    link.stopping = true;
    receiver = std::move(link.receiver);
  }
  const std::uint64_t one = 1;
  (void)!write(link.stopFd, &one, sizeof one);
  if (receiver.joinable()) receiver.join();
  std::uint64_t count = 0;
  (void)!read(link.stopFd, &count, sizeof count);
  std::lock_guard guard(link.lock);
  close(link.fd);
  unlink(link.path.c_str());
  link.fd = -1;
}

bool IsWindowLinkStarted() {
  Link& link = TheLink();
  std::lock_guard guard(link.lock);
  return link.fd >= 0;
}

HWND FindRemoteWindow(LPCWSTR title) {
  if (!title) return nullptr;
  WString wanted(title, WideLength(title));
  for (const std::string& peer : Peers()) {
    AskSocket ask;
    if (ask.fd < 0) return nullptr;
    Packet packet{};
    packet.kind = PacketKind::Query;
    SetTitle(packet, wanted);
    if (!SendPacket(ask.fd, peer, packet)) continue;
    Packet answer{};
    if (ReceivePacket(ask.fd, answer, nullptr, kQueryTimeoutMs) && answer.kind == PacketKind::Found)
      return AddRemote(peer, wanted, false);
  }
  return nullptr;
}

bool IsRemoteWindow(HWND window) { return FindRemote(window) != nullptr; }

HWND RemoteFrontWindow(HWND window) {
  RemoteWindow* remote = FindRemote(window);
  return remote ? AddRemote(remote->peer, remote->title, true) : nullptr;
}

BOOL PostRemoteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RemoteWindow* remote = FindRemote(window);
  if (!remote) return FALSE;
  AskSocket ask;
  if (ask.fd < 0) return FALSE;
  Packet packet{};
  packet.kind = PacketKind::Post;
  packet.message = message;
  packet.wParam = wParam;
  packet.lParam = lParam;
  packet.front = remote->front;
  SetTitle(packet, remote->title);
  return SendPacket(ask.fd, remote->peer, packet) ? TRUE : FALSE;
}

LRESULT SendRemoteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  SendRemoteMessageWaiting(window, message, wParam, lParam, kAnswerTimeoutMs, &result);
  return result;
}

bool SendRemoteMessageWaiting(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                              LRESULT* result) {
  RemoteWindow* remote = FindRemote(window);
  if (!remote) return false;
  AskSocket ask;
  if (ask.fd < 0) return false;
  Packet packet{};
  packet.kind = PacketKind::Send;
  packet.message = message;
  packet.wParam = wParam;
  packet.lParam = lParam;
  packet.front = remote->front;
  SetTitle(packet, remote->title);
  if (!SendPacket(ask.fd, remote->peer, packet)) return false;
  Packet answer{};
  if (!ReceivePacket(ask.fd, answer, nullptr, static_cast<int>(timeoutMs)) || answer.kind != PacketKind::Answer)
    return false;
  if (result) *result = static_cast<LRESULT>(answer.result);
  return true;
}
