#include <mutex>

#include "platform/kernel/named_objects.h"
#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"
#include "platform/storage/registry.h"

namespace {

std::string& Root() {
  static auto* root = new std::string;  // never destroyed: exit handlers still use paths
  return *root;
}

std::string& Card() {
  static auto* card = new std::string;
  return *card;
}

void DropTrailingSlashes(std::string& folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
}

std::mutex g_devicesLock;
StreamDevices g_devices{};

StreamDevices Devices() {
  std::lock_guard guard(g_devicesLock);
  return g_devices;
}

}  // namespace

// Choosing the root also reads what the root says about the device: its registry and the
// drivers' state.
void SetDeviceRoot(const std::string& hostFolder, const std::string& cardFolder) {
  Root() = hostFolder;
  DropTrailingSlashes(Root());
  Card() = cardFolder;
  DropTrailingSlashes(Card());
  SetNameSpaceRoot(Root());
  SetCardTakenOut(false);
  SetCardWriteProtected(false);
  LoadRegistryFromRoot();
  if (StreamDevices devices = Devices(); devices.rootChosen) devices.rootChosen();
}

void SetStreamDevices(const StreamDevices& devices) {
  std::lock_guard guard(g_devicesLock);
  g_devices = devices;
}

bool IsStreamDeviceName(LPCWSTR name) {
  StreamDevices devices = Devices();
  return devices.isDeviceName && devices.isDeviceName(name);
}

HANDLE OpenStreamDevice(LPCWSTR name) {
  StreamDevices devices = Devices();
  return devices.open ? devices.open(name) : nullptr;
}

const std::string& GetDeviceRoot() { return Root(); }
const std::string& GetCardFolder() { return Card(); }
