#include "platform/files.h"

namespace {

std::string& Root() {
  static auto* root = new std::string;  // never destroyed: exit handlers still use paths
  return *root;
}

}  // namespace

void SetDeviceRoot(const std::string& hostFolder) { Root() = hostFolder; }

const std::string& GetDeviceRoot() { return Root(); }
