#include "host/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void PrintUsage() {
  std::fputs("usage: vellumet [--root DIR] [--log FILE] [--speed X]\n", stderr);
}

}  // namespace

std::optional<HostOptions> ParseHostOptions(int argc, char** argv) {
  HostOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--root" && hasValue) {
      options.root = argv[++i];
    } else if (arg == "--log" && hasValue) {
      options.logFile = argv[++i];
    } else if (arg == "--speed" && hasValue) {
      char* end = nullptr;
      options.speed = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(options.speed > 0.0)) {
        std::fprintf(stderr, "vellumet: --speed needs a positive number\n");
        return std::nullopt;
      }
    } else {
      PrintUsage();
      return std::nullopt;
    }
  }
  return options;
}
