// A frame left on a wall for months, in fast motion, and what an idle frame costs:
//   vellumet-soak-bench [--pictures N] [--photos N] [--speed X] [--idle-seconds S]
//                       [--only soak|idle] [--keep DIR]
// Soak: the vellumet program (the one beside this benchmark), headless and driven through its
// standard input, plays slideshows through a folder of N photos (default 300) at a fast device
// clock (default 100 times) until N pictures (default 10,000) have been shown. A show lasts
// 500 pictures; half-way through each the volume dialog is opened and left to close itself and
// the show is paused (message 52999) and shown again; every 1,000 pictures the card is taken
// out and put back during the show; between shows the main page turns a page, a photo is
// opened in the photo view and its facts are shown. The program's resident memory, open
// descriptors and threads are sampled on the main page before the first show, after warm-up
// (the first 1,000 pictures) and at the end. Goal: after warm-up, memory grows by less than
// 1 MB and descriptors and threads not at all.
// Idle: the program on each host (headless; frame buffer, a regular file standing in for the
// panel; the SDL window on an Xvfb display, when Xvfb is installed) with the main page and then
// a photo left alone for S seconds each (default 60): the processor time it took, as a share of
// one core. Goal: at most 0.1 %.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/jpeg/support/jpeg_samples.h"
#include "tests/support/child_process.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  int pictures = 10000;
  int photos = 300;
  double speed = 100;
  int idleSeconds = 60;
  std::string only;
  std::string keep;
};

std::string g_bin;  // the folder of the programs

// ---- The process from outside ----------------------------------------------------------

struct Sample {
  long rssKiB = 0;
  int descriptors = 0;
  int threads = 0;
};

Sample SampleOf(pid_t pid) {
  Sample s;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) s.rssKiB = std::atol(line.c_str() + 6);
    if (line.rfind("Threads:", 0) == 0) s.threads = std::atoi(line.c_str() + 8);
  }
  if (DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (dirent* entry = readdir(fds)) s.descriptors += entry->d_name[0] != '.';
    closedir(fds);
  }
  return s;
}

// Processor time of every thread of the process, in nanoseconds, by the scheduler's count.
double CpuNs(pid_t pid) {
  double ns = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
      double run = 0;
      if (stat >> run) ns += run;
    }
    closedir(dir);
  }
  return ns;
}

// Counts what the program's debug output says as it grows.
class LogWatch {
 public:
  explicit LogWatch(std::string path) : m_path(std::move(path)) {}
  // New occurrences of the text since the last call.
  int Count(const std::string& text) {
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_read));
    std::string fresh((std::istreambuf_iterator<char>(in)), {});
    m_read += fresh.size();
    m_tail += fresh;
    int n = 0;
    size_t at = 0;
    for (size_t found; (found = m_tail.find(text, at)) != std::string::npos; at = found + text.size()) ++n;
    m_tail.erase(0, std::max(at, m_tail.size() > text.size() ? m_tail.size() - text.size() : 0));
    return n;
  }

 private:
  std::string m_path;
  size_t m_read = 0;
  std::string m_tail;
};

// ---- The card --------------------------------------------------------------------------

// The demo card's music, settings and registry with a folder of photos as the top folder.
bool MakeRoot(const fs::path& root, int photos) {
  ChildProcess demo({g_bin + "/vellumet-make-demo", root.string()});
  if (demo.Wait(120000) != 0) return false;
  for (const auto& entry : fs::directory_iterator(root / "SDMMC")) {
    const std::string ext = entry.path().extension();
    if (entry.is_directory() || (ext != ".mp3" && ext != ".wma")) fs::remove_all(entry.path());
  }
  for (int i = 0; i < photos; ++i) {
    const int w = 480 + 32 * (i % 11), h = 320 + 24 * (i % 7);
    EncodeOptions options;
    options.progressive = i % 5 == 0;
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", i + 1);
    if (!WriteFile((root / "SDMMC" / name).string(),
                   EncodeJpeg(MakePicture(w, h, i % 3 ? Content::Smooth : Content::Detailed, static_cast<uint32_t>(i + 1)), options)))
      return false;
  }
  return true;
}

// ---- Soak ------------------------------------------------------------------------------

class Program {
 public:
  Program(const fs::path& root, const std::string& log, double speed)
      : m_child({g_bin + "/vellumet", "--root", root.string(), "--headless", "--script", "-", "--log", log, "--speed",
                 std::to_string(speed)},
                {"SDL_AUDIODRIVER=dummy"}),
        m_speed(speed) {}
  // Runs script lines; false when one was not carried out.
  bool Run(const std::string& lines) {
    size_t start = 0;
    for (size_t end; (end = lines.find('\n', start)) != std::string::npos; start = end + 1) {
      m_child.Write(lines.substr(start, end - start + 1));
      if (m_child.ReadLine(600000) != "done") return false;
    }
    return true;
  }
  // A double tap at the device's own pace, then the fast clock again.
  bool DoubleTap(int x, int y) {
    const std::string tap = "tap " + std::to_string(x) + " " + std::to_string(y) + "\n";
    return Run("speed 1\nwait 500\n" + tap + tap + "speed " + std::to_string(m_speed) + "\n");
  }
  pid_t Pid() { return m_child.Pid(); }
  // Ends the program as the end of its input does; its exit status (4 for that end) and what
  // it wrote to standard error, where a sanitizer build reports.
  int End(std::string* errors) {
    m_child.CloseInput();
    const int status = m_child.Wait(120000);
    *errors = m_child.ReadAllErrors();
    return status;
  }

 private:
  ChildProcess m_child;
  double m_speed;
};

constexpr int kShow = 500, kCardEvery = 1000, kWarmUp = 1000;
const char* kPicture = "dwResult = 1";  // the picture thread's transition: one picture shown and wiped

// Between shows: a page turned there and back, a photo in the photo view (the next one too),
// its facts. At the device's own pace, so that double taps are double taps.
bool Visit(Program& program) {
  return program.Run("speed 1\ntap 460 432\nwait 500\ntap 335 432\nwait 500\n") && program.DoubleTap(113, 150) &&
         program.Run("speed 1\nwait 1000\ntap 183 432\nwait 1000\ntap 723 432\nwait 500\ntap 113 150\nwait 500\n"
                     "tap 585 432\nwait 1500\ntap 735 433\nwait 1000\n");
}

// Waits until the show has shown `count` more pictures; false when it showed none for a
// minute of the host's time.
bool Show(Program& program, LogWatch& log, int count, int& shown) {
  auto last = std::chrono::steady_clock::now();
  for (int got = 0; got < count;) {
    if (!program.Run("wait 3000\n")) return false;
    const int fresh = log.Count(kPicture);
    got += fresh;
    shown += fresh;
    if (fresh) last = std::chrono::steady_clock::now();
    if (std::chrono::steady_clock::now() - last > std::chrono::minutes(1)) return false;
  }
  return true;
}

void Print(const char* when, const Sample& s) {
  std::printf("  %-26s %8.1f MB %6d descriptors %4d threads\n", when, s.rssKiB / 1024.0, s.descriptors, s.threads);
}

int Soak(const Options& options, const fs::path& root) {
  std::printf("soak: %d pictures from %d photos at %g times the device clock\n", options.pictures, options.photos, options.speed);
  const std::string logPath = (root / "soak.log").string();
  Program program(root, logPath, options.speed);
  LogWatch log(logPath);
  if (!program.Run("speed 1\nwait 3000\n")) return 1;
  const Sample start = SampleOf(program.Pid());
  std::optional<Sample> warm;
  const auto began = std::chrono::steady_clock::now();
  int shown = 0, nextCard = kCardEvery / 10;
  while (shown < options.pictures) {
    if (!Visit(program)) return std::fprintf(stderr, "soak: the visit between shows failed\n"), 1;
    if (!warm && shown >= kWarmUp) warm = SampleOf(program.Pid());
    const int end = shown + kShow;
    log.Count(kPicture);
    if (!program.Run("speed 1\ntap 113 150\nwait 500\ntap 210 432\nspeed " + std::to_string(options.speed) + "\n"))
      return 1;
    while (shown < end) {
      const int half = std::min(end, shown + kShow / 2);
      if (!Show(program, log, std::min(half, nextCard) - shown, shown)) return std::fprintf(stderr, "soak: the show stopped\n"), 1;
      if (shown >= nextCard) {  // the card out for a moment, and back
        if (!program.Run("card out\nwait 2000\ncard in\n")) return 1;
        nextCard += kCardEvery;
      } else if (shown < end) {  // the volume dialog, left to close itself; a pause
        if (!program.DoubleTap(400, 200) || !program.Run("wait 5000\npause\nwait 3000\nlauncher 8\n")) return 1;
        if (!Show(program, log, end - shown, shown)) return std::fprintf(stderr, "soak: the show stopped\n"), 1;
      }
    }
    // The volume dialog's back button ends the show.
    if (!program.DoubleTap(400, 200) || !program.Run("speed 1\ntap 64 428\nwait 1000\n")) return 1;
    const Sample now = SampleOf(program.Pid());
    std::printf("  %5d pictures after %5.0f s: %6.1f MB %4d descriptors %3d threads\n", shown,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), now.rssKiB / 1024.0,
                now.descriptors, now.threads);
    std::fflush(stdout);
  }
  if (!program.Run("speed 1\nwait 3000\n")) return 1;
  const Sample end = SampleOf(program.Pid());
  if (!warm) warm = start;
  std::string errors;
  const int status = program.End(&errors);
  const bool clean = status == 4 && errors.find("Sanitizer") == std::string::npos &&
                     errors.find("runtime error") == std::string::npos;
  if (!clean) std::printf("  the program ended with status %d and said:\n%s", status, errors.c_str());
  Print("start (main page)", start);
  Print("after warm-up (main page)", *warm);
  Print("end (main page)", end);
  const double growthMb = (end.rssKiB - warm->rssKiB) / 1024.0;
  const bool ok = clean && growthMb < 1.0 && end.descriptors <= warm->descriptors && end.threads <= warm->threads;
  std::printf("  after warm-up: memory %+.2f MB, descriptors %+d, threads %+d (goal: < 1 MB, +0, +0): %s\n", growthMb,
              end.descriptors - warm->descriptors, end.threads - warm->threads, ok ? "met" : "NOT MET");
  return ok ? 0 : 1;
}

// ---- Idle --------------------------------------------------------------------------------

// The share of one core the process took over the seconds.
double IdleShare(pid_t pid, int seconds) {
  const double before = CpuNs(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  return 100.0 * (CpuNs(pid) - before) / wall;
}

// A touch as the main page receives it, posted through the launcher tool: any host takes it.
void Touch(const fs::path& root, int x, int y) {
  ChildProcess send({g_bin + "/vellumet-launcher", "--root", root.string(), "send", "photo", "0x0201", "1",
                     std::to_string((y << 16) | x), "--wait"});
  send.Wait();
}

// Runs the program on a host, leaves the main page and then a photo alone, and prints both.
bool Idle(const char* host, const fs::path& root, std::vector<std::string> arguments, std::vector<std::string> env,
          int seconds) {
  const std::string log = (root / (std::string("idle-") + host + ".log")).string();
  std::vector<std::string> argv{g_bin + "/vellumet", "--root", root.string(), "--log", log};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  env.push_back("SDL_AUDIODRIVER=dummy");
  ChildProcess program(argv, env);
  std::this_thread::sleep_for(std::chrono::seconds(5));  // the page and its thumbnails
  const double page = IdleShare(program.Pid(), seconds);
  Touch(root, 113, 150);
  Touch(root, 113, 150);
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the photo opened and drawn
  std::ifstream in(log);
  const bool viewed = std::string((std::istreambuf_iterator<char>(in)), {}).find("rendRect") != std::string::npos;
  const double photo = IdleShare(program.Pid(), seconds);
  program.Signal(SIGTERM);
  program.Wait(30000);
  std::printf("  %-28s %8.3f %%   %8.3f %%%s\n", host, page, photo, viewed ? "" : "   (the photo did not open)");
  return page <= 0.1 && photo <= 0.1 && viewed;
}

// A display of Xvfb's of its own, or nothing.
struct Xvfb {
  std::unique_ptr<ChildProcess> server;
  std::string display;
};
Xvfb StartXvfb() {
  Xvfb x;
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) return x;
  for (int n = 90; n < 100 && !x.server; ++n) {
    if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
    x.server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", ":" + std::to_string(n), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    x.display = ":" + std::to_string(n);
  }
  return x;
}

int IdleCost(const Options& options, const fs::path& root) {
  std::printf("idle: share of one core over %d s each (goal: at most 0.1 %%)\n", options.idleSeconds);
  std::printf("  %-28s %10s   %10s\n", "host", "main page", "a photo");
  const std::string panel = (root / "panel.raw").string();
  std::ofstream(panel, std::ios::binary) << std::string(768000, '\0');
  bool ok = Idle("headless", root, {"--headless", "--script", "-"}, {}, options.idleSeconds);
  ok = Idle("frame buffer (regular file)", root, {"--fb", panel}, {}, options.idleSeconds) && ok;
  Xvfb x = StartXvfb();
  if (x.server) {
    ok = Idle("window (SDL on Xvfb)", root, {}, {"DISPLAY=" + x.display, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="},
              options.idleSeconds) && ok;
    x.server->Signal(SIGTERM);
    x.server->Wait(10000);
  } else {
    std::printf("  %-28s (Xvfb is not installed: apt-get install xvfb)\n", "window");
  }
  std::printf("  %s\n", ok ? "met" : "NOT MET");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--pictures" && value) options.pictures = std::atoi(argv[++i]);
    else if (arg == "--photos" && value) options.photos = std::atoi(argv[++i]);
    else if (arg == "--speed" && value) options.speed = std::atof(argv[++i]);
    else if (arg == "--idle-seconds" && value) options.idleSeconds = std::atoi(argv[++i]);
    else if (arg == "--only" && value) options.only = argv[++i];
    else if (arg == "--keep" && value) options.keep = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: vellumet-soak-bench [--pictures N] [--photos N] [--speed X] [--idle-seconds S] "
                   "[--only soak|idle] [--keep DIR]\n");
      return 2;
    }
  }
  g_bin = fs::canonical("/proc/self/exe").parent_path().string();
  const fs::path root = options.keep.empty() ? fs::temp_directory_path() / ("vellumet-soak-" + std::to_string(getpid()))
                                             : fs::path(options.keep);
  fs::remove_all(root);
  if (!MakeRoot(root, options.photos)) return std::fprintf(stderr, "soak: cannot make the card in %s\n", root.c_str()), 1;
  int status = 0;
  if (options.only != "idle") status |= Soak(options, root);
  if (options.only != "soak") status |= IdleCost(options, root);
  if (options.keep.empty()) fs::remove_all(root);
  return status;
}
