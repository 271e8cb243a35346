#include "host/state_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/new_device.h"
#include "platform/storage/files.h"

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string ChooseStateFolder(const std::string& given) {
  if (!given.empty()) return given;
  if (const std::string service = Variable("STATE_DIRECTORY"); !service.empty())
    return service.substr(0, service.find(':'));
  if (const std::string state = Variable("XDG_STATE_HOME"); !state.empty() && state[0] == '/')
    return state + "/vellumet";
  if (const std::string home = Variable("HOME"); !home.empty()) return home + "/.local/state/vellumet";
  return "";
}

bool UseStateFolder(const std::string& folder, const std::string& cardFolder) {
  if (folder.empty()) {
    std::fprintf(stderr, "vellumet: no state folder (HOME is not set): give one with --state DIR\n");
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    std::fprintf(stderr, "vellumet: cannot make the state folder %s (%s)\n", folder.c_str(),
                 error ? error.message().c_str() : "a file is in the way");
    return false;
  }
  SetDeviceRoot(folder, cardFolder);
  if (std::string failed; !GiveNewDeviceStorage(&failed)) {
    std::fprintf(stderr, "vellumet: cannot write %s in the state folder\n", failed.c_str());
    return false;
  }
  return true;
}
