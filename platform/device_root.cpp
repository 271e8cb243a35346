#include "platform/drivers.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace {

std::string& Root() {
  static auto* root = new std::string;  // never destroyed: exit handlers still use paths
  return *root;
}

}  // namespace

// Choosing the root also reads what the root says about the device: its registry and the
// battery driver's state.
void SetDeviceRoot(const std::string& hostFolder) {
  Root() = hostFolder;
  while (Root().size() > 1 && Root().back() == '/') Root().pop_back();
  LoadRegistryFromRoot();
  LoadBatteryStateFromRoot();
}

const std::string& GetDeviceRoot() { return Root(); }
