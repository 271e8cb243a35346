// A virtual touch panel made through the kernel's uinput device, for trying the frame-buffer
// host on a machine without a touch controller (and for the tests that run the program on a
// real kernel). It reports as a panel controller's driver does: multi-touch slots with
// tracking ids and positions, BTN_TOUCH and the single-touch ABS_X / ABS_Y, over 0..4095.
//
//   vellumet-touch-panel --link PATH
//       makes the panel, points the symbolic link PATH at its /dev/input/eventN (as udev's
//       by-path links do) and then carries out commands from standard input, one a line, in
//       the panel's own units (0 0 is the top left corner of the screen, 4095 4095 the
//       bottom right one):
//         down X Y | move X Y | up | tap X Y | double X Y (two taps at once)
//         unplug (the panel and its link go away) | plug (they come back)
//       Each command is answered with "touch-panel: done", a bad one with "touch-panel: error".
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxRaw = 4095;

class Panel {
 public:
  explicit Panel(std::string link) : m_link(std::move(link)) {}
  ~Panel() { Unplug(); }

  // Creates the device and points the link at its event node; false when either failed.
  bool Plug() {
    if (m_fd >= 0) return true;
    m_fd = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
    if (m_fd < 0) return Fail("cannot open /dev/uinput");
    bool ok = ioctl(m_fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(m_fd, UI_SET_KEYBIT, BTN_TOUCH) == 0 &&
              ioctl(m_fd, UI_SET_EVBIT, EV_ABS) == 0 && ioctl(m_fd, UI_SET_PROPBIT, INPUT_PROP_DIRECT) == 0;
    const int axes[][2] = {{ABS_X, kMaxRaw}, {ABS_Y, kMaxRaw}, {ABS_MT_SLOT, 9},
                           {ABS_MT_TRACKING_ID, 65535}, {ABS_MT_POSITION_X, kMaxRaw}, {ABS_MT_POSITION_Y, kMaxRaw}};
    for (const auto& [code, maximum] : axes) {
      uinput_abs_setup axis {};
      axis.code = static_cast<__u16>(code);
      axis.absinfo.maximum = maximum;
      ok = ok && ioctl(m_fd, UI_SET_ABSBIT, code) == 0 && ioctl(m_fd, UI_ABS_SETUP, &axis) == 0;
    }
    uinput_setup setup {};
    setup.id = {BUS_I2C, 0, 0, 1};
    std::snprintf(setup.name, sizeof setup.name, "vellumet touch panel");
    if (!ok || ioctl(m_fd, UI_DEV_SETUP, &setup) != 0 || ioctl(m_fd, UI_DEV_CREATE) != 0)
      return Fail("cannot create the panel");
    const std::string node = EventNode();
    if (node.empty()) return Fail("the panel's event node did not appear");
    fs::remove(m_link);
    std::error_code error;
    fs::create_symlink(node, m_link, error);
    return error ? Fail("cannot link " + m_link) : true;
  }

  void Unplug() {
    if (m_fd < 0) return;
    fs::remove(m_link);
    ioctl(m_fd, UI_DEV_DESTROY);
    close(m_fd);
    m_fd = -1;
  }

  bool Down(int x, int y) {
    ++m_trackingId;
    return Send({{EV_ABS, ABS_MT_SLOT, 0}, {EV_ABS, ABS_MT_TRACKING_ID, m_trackingId & 0xFFFF}}, x, y);
  }
  bool Move(int x, int y) { return Send({{EV_ABS, ABS_MT_SLOT, 0}}, x, y); }
  bool Up() {
    return Emit({{EV_ABS, ABS_MT_SLOT, 0}, {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_KEY, BTN_TOUCH, 0}, {EV_SYN, SYN_REPORT, 0}});
  }

 private:
  struct Record {
    int type, code, value;
  };

  // Says why the panel could not be made, and takes away what was made of it.
  bool Fail(const std::string& why) {
    std::fprintf(stderr, "vellumet-touch-panel: %s\n", why.c_str());
    Unplug();
    return false;
  }

  bool Send(std::vector<Record> records, int x, int y) {
    records.insert(records.end(), {{EV_ABS, ABS_MT_POSITION_X, x}, {EV_ABS, ABS_MT_POSITION_Y, y},
                                   {EV_KEY, BTN_TOUCH, 1}, {EV_ABS, ABS_X, x}, {EV_ABS, ABS_Y, y},
                                   {EV_SYN, SYN_REPORT, 0}});
    return Emit(records);
  }

  bool Emit(const std::vector<Record>& records) {
    if (m_fd < 0) return false;
    for (const Record& r : records) {
      input_event event {};
      event.type = static_cast<__u16>(r.type);
      event.code = static_cast<__u16>(r.code);
      event.value = r.value;
      if (write(m_fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) return false;
    }
    return true;
  }

  // /dev/input/eventN of the device just made, once the kernel has made the node.
  std::string EventNode() {
    char name[64] = {};
    if (ioctl(m_fd, UI_GET_SYSNAME(sizeof name), name) < 0) return "";
    const fs::path device = fs::path("/sys/devices/virtual/input") / name;
    for (int attempt = 0; attempt < 500; ++attempt) {
      std::error_code error;
      for (const fs::directory_entry& entry : fs::directory_iterator(device, error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("event", 0) == 0 && fs::exists("/dev/input/" + file)) return "/dev/input/" + file;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }

  std::string m_link;
  int m_fd = -1;
  int m_trackingId = 0;
};

// Commands typed on a terminal (a serial console) are not echoed back into the answers.
void StopEcho() {
  termios mode {};
  if (tcgetattr(STDIN_FILENO, &mode) != 0) return;
  mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

bool Run(Panel& panel, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  int x = 0, y = 0;
  in >> command;
  const bool at = static_cast<bool>(in >> x >> y) && x >= 0 && x <= kMaxRaw && y >= 0 && y <= kMaxRaw;
  if (command == "down" && at) return panel.Down(x, y);
  if (command == "move" && at) return panel.Move(x, y);
  if (command == "up") return panel.Up();
  if (command == "tap" && at) return panel.Down(x, y) && panel.Up();
  if (command == "double" && at) return panel.Down(x, y) && panel.Up() && panel.Down(x, y) && panel.Up();
  if (command == "unplug") {
    panel.Unplug();
    return true;
  }
  if (command == "plug") return panel.Plug();
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--link") {
    std::fprintf(stderr, "usage: vellumet-touch-panel --link PATH\n");
    return 2;
  }
  Panel panel(argv[2]);
  if (!panel.Plug()) return 1;
  StopEcho();
  std::printf("touch-panel: ready\n");
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::printf("touch-panel: %s\n", Run(panel, line) ? "done" : "error");
    std::fflush(stdout);
  }
  return 0;
}
