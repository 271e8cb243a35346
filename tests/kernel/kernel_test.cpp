// The program on a real Linux kernel. QEMU boots Debian's kernel with the initramfs that
// tests/kernel/prepare.sh made in $VELLUMET_KERNEL_DIR/ARCH; its init (tests/kernel/init.sh)
// starts the program on the kernel's /dev/fb0 with a uinput touch panel as its touch screen.
// Step by step the same touches go to that panel (through the serial console) and to the
// headless program on a copy of the same card; the guest's screen, taken through QEMU's
// monitor, must come to show the headless shot, turned as asked and centred in the kernel's
// mode with black borders. The exit button ends the program in the guest with status 0.
#include <png.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/line_reader.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = VELLUMET_BIN_DIR;
constexpr int kBootMs = 240000;   // TCG on a busy machine: generous
constexpr int kFrameMs = 120000;  // for a frame the guest decodes and paints

// What QEMU emulates for one run, and how the program is started on it.
struct Machine {
  const char* name;
  const char* arch;  // the folder prepare.sh filled
  std::vector<std::string> qemu;
  std::string append;  // kernel command line
  int rotate = 0;      // the program's --fb-rotate
  bool replug = false;  // the touch panel is unplugged and plugged back on the way
};
void PrintTo(const Machine& machine, std::ostream* out) { *out << machine.name; }

const Machine kMachines[] = {
    {"Vesa16Bit1024x768", "amd64", {"qemu-system-x86_64", "-vga", "std"}, "console=ttyS0 vga=0x317"},
    {"Vesa32Bit800x600", "amd64", {"qemu-system-x86_64", "-vga", "std"}, "console=ttyS0 vga=0x343"},
    // A portrait panel with the picture turned, whose touch panel goes away and comes back.
    {"BochsDrmPortraitTurned", "amd64", {"qemu-system-x86_64", "-vga", "none", "-device", "bochs-display,xres=480,yres=800"},
     "console=ttyS0 test_modules=bochs test_args=--fb-rotate,90", 90, true},
    {"Arm64BochsDrm", "arm64", {"qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a57", "-device", "bochs-display"},
     "console=ttyAMA0 test_modules=bochs"},
};

// A picture as 8-bit RGB triplets.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  std::vector<bool> loose;  // pixels that may show anything (none when empty)
};

Picture ReadPng(const std::string& path) {
  png_image image {};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) return {};
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

// Where the point (x, y) of a picture of width x height lies once the picture is turned
// clockwise by 0, 90, 180 or 270 degrees.
std::pair<int, int> TurnedPoint(int x, int y, int width, int height, int rotate) {
  switch (rotate) {
    case 90: return {height - 1 - y, x};
    case 180: return {width - 1 - x, height - 1 - y};
    case 270: return {y, width - 1 - x};
    default: return {x, y};
  }
}

Picture Turned(const Picture& picture, int rotate) {
  const bool upright = rotate % 180 == 0;
  Picture turned{upright ? picture.width : picture.height, upright ? picture.height : picture.width, {}, {}};
  turned.rgb.resize(picture.rgb.size());
  turned.loose.resize(picture.loose.size());
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const auto [tx, ty] = TurnedPoint(x, y, picture.width, picture.height, rotate);
      const size_t from = static_cast<size_t>(y) * picture.width + x, to = static_cast<size_t>(ty) * turned.width + tx;
      std::copy_n(&picture.rgb[from * 3], 3, &turned.rgb[to * 3]);
      if (!picture.loose.empty()) turned.loose[to] = picture.loose[from];
    }
  }
  return turned;
}

// How many pixels of the screen differ from the frame shown centred on it in black: colours
// are compared as the frame's RGB565 pixels, whatever depth the mode widened them to.
long DifferingPixels(const Picture& screen, const Picture& frame) {
  if (screen.width < frame.width || screen.height < frame.height) return -1;
  const int left = (screen.width - frame.width) / 2, top = (screen.height - frame.height) / 2;
  long differing = 0;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      const std::uint8_t* s = &screen.rgb[(static_cast<size_t>(y) * screen.width + x) * 3];
      const int fx = x - left, fy = y - top;
      static const std::uint8_t kBlack[3] = {};
      const bool inside = fx >= 0 && fx < frame.width && fy >= 0 && fy < frame.height;
      const size_t at = inside ? static_cast<size_t>(fy) * frame.width + fx : 0;
      if (inside && !frame.loose.empty() && frame.loose[at]) continue;
      const std::uint8_t* f = inside ? &frame.rgb[at * 3] : kBlack;
      if ((s[0] >> 3) != (f[0] >> 3) || (s[1] >> 2) != (f[1] >> 2) || (s[2] >> 3) != (f[2] >> 3)) ++differing;
    }
  }
  return differing;
}

// Lets the selection frame of a main-page cell (0..7) show either way. Back from the photo
// view, the page's whole repaint leaves the frame out when the page has empty cells, and a
// thumbnail painted after it draws the frame again: which comes last depends on the pace of
// the machine.
void LoosenCellFrame(Picture& shot, int cell) {
  const int left = 28 + 190 * (cell % 4), top = 85 + 145 * (cell / 4), right = left + 170, bottom = top + 130;
  shot.loose.assign(static_cast<size_t>(shot.width) * shot.height, false);
  for (int y = top - 2; y < bottom + 2; ++y)
    for (int x = left - 2; x < right + 2; ++x)
      if (x < left + 5 || x >= right - 5 || y < top + 5 || y >= bottom - 6)
        shot.loose[static_cast<size_t>(y) * shot.width + x] = true;
}

long NowMs() { return LineReader::NowMs(); }

// QEMU's machine protocol (QMP) on a Unix socket: one command, one answer line.
class Monitor {
 public:
  ~Monitor() {
    if (m_fd >= 0) close(m_fd);
  }
  bool Connect(const std::string& path) {
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    for (int attempt = 0; attempt < 200 && m_fd < 0; ++attempt) {
      m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_fd);
        m_fd = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    m_lines = LineReader(m_fd);
    return m_fd >= 0 && Answer().find("QMP") != std::string::npos && Execute(R"({"execute":"qmp_capabilities"})");
  }
  bool ScreenDump(const std::string& file) {
    return Execute(R"({"execute":"screendump","arguments":{"format":"png","filename":")" + file + "\"}}");
  }

 private:
  bool Execute(const std::string& command) {
    const std::string line = command + "\n";
    if (write(m_fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
    for (;;) {  // events may come first
      const std::string answer = Answer();
      if (answer.find("\"return\"") != std::string::npos) return true;
      if (answer.empty() || answer.find("\"error\"") != std::string::npos) return false;
    }
  }
  std::string Answer() { return m_lines.Read(30000); }

  int m_fd = -1;
  LineReader m_lines;
};

class KernelTest : public ::testing::TestWithParam<Machine> {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("VELLUMET_KERNEL_DIR");
    ASSERT_TRUE(dir) << "VELLUMET_KERNEL_DIR names the folder of tests/kernel/prepare.sh";
    m_files = fs::path(dir) / GetParam().arch;
    ASSERT_TRUE(fs::exists(m_files / "initramfs.cpio")) << m_files;
    std::string pattern = (fs::temp_directory_path() / "vellumet-kernel-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    m_work = pattern;
    fs::copy(m_files / "root", m_work / "root", fs::copy_options::recursive);
  }
  void TearDown() override {
    if (HasFailure()) {
      std::cerr << "The guest's console:\n";
      for (const std::string& line : m_console) std::cerr << line << "\n";
    }
    fs::remove_all(m_work);
  }

  void Boot() {
    const Machine& machine = GetParam();
    std::vector<std::string> argv = machine.qemu;
    argv.insert(argv.end(), {"-m", "1024", "-kernel", (m_files / "vmlinuz").string(), "-initrd",
                             (m_files / "initramfs.cpio").string(), "-append", machine.append + " quiet",
                             "-display", "none", "-serial", "stdio", "-monitor", "none", "-no-reboot", "-qmp",
                             "unix:" + (m_work / "qmp").string() + ",server=on,wait=off"});
    argv[0] = "/usr/bin/" + argv[0];
    m_qemu = std::make_unique<ChildProcess>(argv);
    ASSERT_TRUE(m_monitor.Connect((m_work / "qmp").string()));
  }

  // Waits until a line of the guest's serial console starts with `prefix`, looking from line
  // `from` on (by default, after the last line found); the rest of that line, or nullopt at
  // the deadline.
  std::optional<std::string> GuestSays(const std::string& prefix, int timeoutMs, std::optional<size_t> from = {}) {
    const long deadline = NowMs() + timeoutMs;
    for (size_t i = from.value_or(m_next);; ++i) {
      while (i >= m_console.size()) {
        if (NowMs() >= deadline) return std::nullopt;
        std::string line = m_qemu->ReadLine(static_cast<int>(deadline - NowMs()));
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) m_console.push_back(line);
      }
      if (m_console[i].rfind(prefix, 0) == 0) {
        m_next = std::max(m_next, i + 1);
        return m_console[i].substr(prefix.size());
      }
    }
  }

  // Whether the guest's screen comes to show the shot; on failure the last screen is kept
  // beside the shot for a look.
  bool ScreenShows(const std::string& shot, int cellOfLooseFrame = -1) {
    Picture unturned = ReadPng((m_work / "shots" / (shot + ".png")).string());
    if (cellOfLooseFrame >= 0) LoosenCellFrame(unturned, cellOfLooseFrame);
    const Picture frame = Turned(unturned, GetParam().rotate);
    const std::string dump = (m_work / "screen.png").string();
    long differing = -1;
    for (const long deadline = NowMs() + kFrameMs; NowMs() < deadline;) {
      if (m_monitor.ScreenDump(dump)) {
        const Picture screen = ReadPng(dump);
        m_screenWidth = screen.width;
        m_screenHeight = screen.height;
        if ((differing = DifferingPixels(screen, frame)) == 0) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    const fs::path kept = m_files / (std::string(GetParam().name) + "-" + shot);
    fs::copy_file(dump, kept.string() + "-screen.png", fs::copy_options::overwrite_existing);
    fs::copy_file(m_work / "shots" / (shot + ".png"), kept.string() + "-shot.png", fs::copy_options::overwrite_existing);
    ADD_FAILURE() << "the screen never showed " << shot << ": " << differing << " pixels differ, see " << kept << "-*.png";
    return false;
  }

  // A tap or a double tap on the frame point (x, y) on the guest's panel, which spans the
  // whole screen in 0..4095 each way.
  void Touch(const std::string& kind, int x, int y) {
    const bool upright = GetParam().rotate % 180 == 0;
    const auto [tx, ty] = TurnedPoint(x, y, 800, 480, GetParam().rotate);
    const int px = (m_screenWidth - (upright ? 800 : 480)) / 2 + tx;
    const int py = (m_screenHeight - (upright ? 480 : 800)) / 2 + ty;
    auto raw = [](int at, int size) { return std::to_string(std::lround(at * 4095.0 / (size - 1))); };
    Guest(kind + " " + raw(px, m_screenWidth) + " " + raw(py, m_screenHeight));
  }
  // A command to the guest's touch panel, carried out.
  void Guest(const std::string& command) {
    m_qemu->Write(command + "\n");
    ASSERT_EQ(GuestSays("touch-panel: ", 10000), "done") << command;
  }

  fs::path m_files, m_work;
  std::unique_ptr<ChildProcess> m_qemu;
  Monitor m_monitor;
  std::vector<std::string> m_console;
  size_t m_next = 0;
  int m_screenWidth = 0, m_screenHeight = 0;
};

// The walk: from the main page, each touch ("double" opens) and the screen it leads to.
struct Step {
  const char* touch;
  int x, y;
  const char* shot;
  int cellOfLooseFrame = -1;  // see LoosenCellFrame
};
constexpr Step kSteps[] = {
    {"double", 113, 150, "city-folder"},
    {"double", 303, 150, "photo"},
    {"tap", 723, 432, "back-on-the-folder", 1},
    {"tap", 85, 432, "back-at-the-top"},
};

// The headless program's shots of the walk on the device root, each once its screen has
// stopped changing (thumbnails come from another thread, and the machine may be busy with the
// guest and more): two shots two seconds apart the same.
void HeadlessShots(const fs::path& root, const fs::path& shots) {
  ChildProcess headless({kBin + "/vellumet", "--root", root.string(), "--headless", "--script", "-", "--shots",
                         shots.string(), "--log", (root / "headless.log").string()});
  auto command = [&](const std::string& line) {
    headless.Write(line + "\n");
    const std::string answer = headless.ReadLine();
    EXPECT_EQ(answer, "done") << line;
    return answer == "done";
  };
  auto shot = [&](const std::string& name) {
    std::string last, now;
    for (int attempt = 0; attempt < 30 && (now.empty() || now != last); ++attempt) {
      if (!command("wait 2000") || !command("shot " + name)) return false;
      last.swap(now);
      std::ifstream in(shots / (name + ".png"), std::ios::binary);
      now.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(now, last) << "the headless screen kept changing at " << name;
    return now == last;
  };
  bool ok = shot("main-page");
  for (const Step& step : kSteps) {
    for (int taps = std::string(step.touch) == "double" ? 2 : 1; taps > 0 && ok; --taps)
      ok = command("tap " + std::to_string(step.x) + " " + std::to_string(step.y));
    ok = ok && shot(step.shot);
  }
}

TEST_P(KernelTest, TapsThroughAFolderAndAPhotoAndEndsWithTheExitButton) {
  Boot();
  HeadlessShots(m_work / "root", m_work / "shots");  // while the guest boots
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(GuestSays("touch-panel: ready", kBootMs));
  ASSERT_TRUE(ScreenShows("main-page"));
  for (const Step& step : kSteps) {
    if (GetParam().replug && std::string(step.shot) == "photo") {
      // The panel goes away and comes back: the program takes it again.
      const std::string device = "vellumet: the touch device /dev/input/touchscreen is ";
      const size_t mark = m_console.size();
      Guest("unplug");
      ASSERT_TRUE(GuestSays(device + "gone", kFrameMs, mark));
      Guest("plug");
      ASSERT_TRUE(GuestSays(device + "back", kFrameMs, mark));
    }
    Touch(step.touch, step.x, step.y);
    ASSERT_TRUE(ScreenShows(step.shot, step.cellOfLooseFrame));
  }
  Touch("tap", 710, 432);  // exit
  EXPECT_EQ(GuestSays("vellumet-status: ", kFrameMs), "0");
  EXPECT_EQ(m_qemu->Wait(kBootMs), 0);  // the init powers the machine off
}

INSTANTIATE_TEST_SUITE_P(Qemu, KernelTest, ::testing::ValuesIn(kMachines),
                         [](const ::testing::TestParamInfo<Machine>& info) { return std::string(info.param.name); });

}  // namespace
