#include "platform/host/sys_power.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/device/drivers.h"
#include "platform/host/screen_host.h"
#include "platform/windows/window.h"

namespace {

// The backlight driver's request codes.
constexpr DWORD kRequestA = 0x223490;  // 0 when the application starts, 1 when it ends
constexpr DWORD kRequestB = 0x223494;  // 1 on clicks and when a slideshow ends
constexpr auto kBatteryPeriod = std::chrono::seconds(10);

std::optional<std::string> ReadWord(const std::string& path) {
  std::ifstream in(path);
  std::string word;
  if (!(in >> word)) return std::nullopt;
  return word;
}

std::optional<long> ReadNumber(const std::string& path) {
  const std::optional<std::string> word = ReadWord(path);
  if (!word) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(word->c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return value;
}

}  // namespace

std::string FindSysFolder(const std::string& choice, const std::string& classFolder, const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  if (choice != "auto") return fs::exists(fs::path(choice) / file, ignored) ? choice : "";
  std::vector<std::string> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(classFolder, ignored))
    if (fs::exists(entry.path() / file, ignored)) folders.push_back(entry.path().string());
  std::sort(folders.begin(), folders.end());
  return folders.empty() ? "" : folders.front();
}

std::optional<long> SysBacklight::Read(const char* file) const { return ReadNumber(m_folder + "/" + file); }

void SysBacklight::Write(long brightness) const {
  std::ofstream out(m_folder + "/brightness");
  out << brightness << "\n";
}

void SysBacklight::Follow(DWORD code, DWORD value) {
  const std::optional<long> full = Read("max_brightness");
  if (code == kRequestA && value == 0) {
    m_noted = Read("brightness");
    if (full) Write(*full);
  } else if (code == kRequestA && value == 1) {
    if (m_noted) Write(*m_noted);
  } else if (code == kRequestB && value == 1) {
    if (full) Write(*full);
  }
}

LONG BatteryStateFor(int percent, bool charging) {
  if (charging) return 6;
  if (percent >= 95) return 7;
  if (percent >= 65) return 5;
  if (percent >= 40) return 4;
  if (percent >= 15) return 3;
  if (percent >= 5) return 2;
  return 1;
}

std::optional<LONG> ReadSysBattery(const std::string& folder) {
  const std::optional<long> capacity = ReadNumber(folder + "/capacity");
  if (!capacity) return std::nullopt;
  const std::optional<std::string> status = ReadWord(folder + "/status");
  return BatteryStateFor(static_cast<int>(std::clamp(*capacity, 0L, 100L)), status && *status == "Charging");
}

BatteryWatch::BatteryWatch(std::string folder)
    : m_folder(std::move(folder)), m_state(ReadSysBattery(m_folder)), m_next(std::chrono::steady_clock::now() + kBatteryPeriod) {
  if (m_state) SetBatteryState(*m_state);
}

void BatteryWatch::Poll() {
  const auto now = std::chrono::steady_clock::now();
  if (now < m_next) return;
  m_next = now + kBatteryPeriod;
  const std::optional<LONG> state = ReadSysBattery(m_folder);
  if (!state || state == m_state) return;
  m_state = state;
  SetBatteryState(*state);
  if (HWND page = FindWindowW(nullptr, u"photo")) PostMessage(page, kLauncherMessage, 7, *state);
}
