#include "host/new_device.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/storage/files.h"
#include "platform/storage/registry.h"
#include "store/parm_file.h"

namespace fs = std::filesystem;

namespace {

constexpr char kDisplayKeys[] =
    "; The device's registry: [key] lines, then \"name\"=dword:HEX or \"name\"=\"text\".\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n"
    "\"LCD_Width\"=dword:00000320\n"
    "\"LCD_Height\"=dword:000001e0\n";

bool WriteText(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  return static_cast<bool>(out);
}

// The key click: 40 ms of a decaying tone, 16-bit mono PCM at 22050 Hz.
std::string ClickSound() {
  const int rate = 22050, samples = rate / 25;
  std::string wav;
  auto put32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF); };
  auto put16 = [&](std::uint32_t v) { for (int i = 0; i < 2; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF); };
  wav += "RIFF";
  put32(36 + samples * 2);
  wav += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(rate);
  put32(rate * 2);
  put16(2);
  put16(16);
  wav += "data";
  put32(samples * 2);
  for (int i = 0; i < samples; ++i) {
    const double envelope = std::exp(-i / (rate * 0.006));
    const double value = 12000.0 * envelope * std::sin(2 * M_PI * 2200.0 * i / rate);
    put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
  }
  return wav;
}

// The settings: 32 bytes with the click switch (offset 12) on.
bool WriteSettings() {
  unsigned char payload[32] = {};
  payload[12] = 1;
  CParmFileRW file;
  return file.Write(u"NAND\\SETTING.PAR", payload, sizeof payload) == 0;
}

}  // namespace

bool GiveNewDeviceStorage(std::string* failed) {
  const fs::path root = GetDeviceRoot();
  std::error_code error;
  fs::create_directories(root / "NAND" / "app", error);
  auto missing = [&](const fs::path& path) { return !fs::exists(path, error); };
  auto check = [&](bool ok, const fs::path& path) {
    if (!ok && failed->empty()) *failed = path.string();
    return ok;
  };
  bool ok = true;
  if (const fs::path p = root / "NAND" / "SETTING.PAR"; missing(p)) ok = check(WriteSettings(), p) && ok;
  if (const fs::path p = root / "NAND" / "app" / "Sound.wav"; missing(p)) ok = check(WriteText(p, ClickSound()), p) && ok;
  if (const fs::path p = root / "registry.txt"; missing(p)) {
    ok = check(WriteText(p, kDisplayKeys), p) && ok;
    LoadRegistryFromRoot();
  }
  return ok;
}
