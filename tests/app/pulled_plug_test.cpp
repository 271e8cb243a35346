// The plug pulled at any moment: the program is killed (SIGKILL) at random moments while it
// makes and stores thumbnails, saves the bookmark at the end of a slideshow and saves the
// thumbnail index at its end, many times over. After each kill every file it writes is
// either the old or a whole new version, and the next start shows the page.
//
// The moments come from a seeded generator (VELLUMET_KILL_SEED, default 25); the number of
// kills is VELLUMET_KILLS (default 30, 10 in a sanitizer build).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <thread>

#include "store/parm_file.h"
#include "tests/app/two_processes.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kDefaultKills = 10;
#else
constexpr int kDefaultKills = 30;
#endif

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}

// What the program keeps on the internal storage and the card, by host path under the root.
using Files = std::map<std::string, std::string>;
Files Written(const std::filesystem::path& root) {
  Files files;
  for (const char* folder : {"NAND/_Thumbnails", "SDMMC"}) {
    if (!std::filesystem::exists(root / folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      const std::string name = entry.path().filename();
      if (name.starts_with(".~")) continue;  // a new version in the making, which the device never sees
      if (entry.is_regular_file() && (std::string(folder) != "SDMMC" || name == "bmkPho.rom"))
        files[std::string(folder) + "/" + name] = ReadAll(entry.path());
    }
  }
  return files;
}

std::vector<std::u16string> Lines(const std::string& utf16) {
  std::u16string text(utf16.size() / 2, u'\0');
  std::memcpy(text.data(), utf16.data(), text.size() * 2);
  std::vector<std::u16string> lines;
  for (size_t start = 0, end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// Why a file the program wrote is not a whole version of itself, or "".
std::string Fault(const std::string& path, const std::string& bytes, const Files& before) {
  const std::string name = path.substr(path.rfind('/') + 1);
  if (name == "map.txt") {
    if (bytes.size() % 2 || (!bytes.empty() && bytes.compare(bytes.size() - 4, 4, std::string("\r\0\n\0", 4))))
      return "not whole lines";
    const std::vector<std::u16string> now = Lines(bytes);
    const auto old = before.find(path);
    const std::vector<std::u16string> was = old == before.end() ? std::vector<std::u16string>() : Lines(old->second);
    if (now.size() < was.size()) return "lost lines";
    for (size_t k = 0; k < was.size(); ++k)
      if (now[k] != was[k] && !now[k].empty()) return "a position given to another photo";
    return "";
  }
  if (name == "stamps.txt") {
    static const std::regex kLine("(([0-9a-f]+ ){2}[0-9a-f]+)?\r");
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
      if ((end = bytes.find('\n', start)) == std::string::npos) return "a cut line";
      if (!std::regex_match(bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(end), kLine))
        return "not a stamp line";
    }
    return "";
  }
  if (name == "bmkPho.rom") {
    std::int32_t header[2] = {};
    if (bytes.size() != 16 + 528) return "not 544 bytes";
    std::memcpy(header, bytes.data(), 8);
    return header[1] == 528 && header[0] == ParmChecksum(bytes.data() + 16, 528) ? "" : "a bad header";
  }
  // A thumbnail: a whole BMP file of at most 50 x 50.
  std::int32_t size = 0, width = 0, height = 0;
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM")) return "no BMP";
  std::memcpy(&size, bytes.data() + 2, 4);
  std::memcpy(&width, bytes.data() + 18, 4);
  std::memcpy(&height, bytes.data() + 22, 4);
  if (static_cast<size_t>(size) != bytes.size()) return "cut";
  return width > 0 && width <= 50 && height > 0 && height <= 50 ? "" : "not a thumbnail";
}

using PulledPlugTest = TwoProcessTest;

TEST_F(PulledPlugTest, EveryFileIsTheOldOrAWholeNewVersionAfterEachKillAndThePageComesUp) {
  ChildProcess demo({kBin + "/vellumet-make-demo", Root()});
  ASSERT_EQ(demo.Wait(120000), 0);  // its HEIC photos take long in the sanitizer builds
  // A long index, so that saving it takes long enough to be cut.
  std::string map;
  for (int i = 0; i < 20000; ++i)
    for (char c : "\\SDMMC\\gone\\" + std::to_string(i) + ".jpg\r\n") map += std::string{c, '\0'};
  m_root.WriteFile("NAND/_Thumbnails/map.txt", map);
  const int kills = FromEnvironment("VELLUMET_KILLS", kDefaultKills);
  const int seed = FromEnvironment("VELLUMET_KILL_SEED", 25);
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  const std::vector<std::string> photos = {"Welcome.jpg", "Café.png", "Test Card.JPG"};
  int killed = 0;
  for (int run = 0; run < kills; ++run) {
    SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
    // Photos touched since the last run get their thumbnails made and stored again.
    for (const std::string& photo : photos)
      if (random() % 2)
        std::filesystem::last_write_time(m_root.Path() / "SDMMC" / photo, std::filesystem::file_time_type::clock::now());
    const Files before = Written(m_root.Path());

    std::unique_ptr<ChildProcess> program = StartProgram("-", {"--speed", "4"});
    // The page comes up, whatever the last kill left.
    Command(*program, "shot start\n");
    ASSERT_TRUE(HasShot("start"));
    std::filesystem::remove(m_shots / "start.png");
    switch (random() % 3) {
      case 0:  // while the thumbnails of a folder are made and stored
        program->Write("tap 123 150\ntap 123 150\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
        break;
      case 1:  // while the slideshow's end saves the bookmark and the program's end the index
        program->Write("tap 210 432\nwait 1500\n");
        program->ReadLine();
        program->ReadLine();
        program->Write("launcher 34\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 800));
        break;
      default:  // while the program's end saves the index
        program->Write("tap 710 432\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 800));
        break;
    }
    program->Signal(SIGKILL);
    if (program->Wait() == 128 + SIGKILL) ++killed;

    for (const auto& [path, bytes] : Written(m_root.Path())) {
      const auto old = before.find(path);
      if (old != before.end() && old->second == bytes) continue;
      EXPECT_EQ(Fault(path, bytes, before), "") << path;
    }
  }
  // The last state starts too.
  std::unique_ptr<ChildProcess> program = StartProgram("-");
  Command(*program, "shot start\n");
  program->CloseInput();
  EXPECT_EQ(program->Wait(), kEndedByHost);
  std::printf("%d kills of %d runs survived (seed %d)\n", killed, kills, seed);
  EXPECT_GE(killed, kills / 2);
}

}  // namespace
