// The vellumet program: chooses the device root, then runs what the device runs.
#include <cstdio>

#include "browser/folder_nav.h"
#include "browser/photo_list.h"
#include "host/options.h"
#include "platform/debug.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/wide.h"
#include "thumbs/thumb_index.h"

#undef printf

namespace {

// Lists the card's first folder in display order on standard output.
void ListCardFolder() {
  CPhotoList list;
  WString path(kCardFolder);
  list.Fill(path);
  std::printf("%s  (%d entries, %d pages)\n", ToUtf8(path).c_str(), list.GetCount(), PageCount(list.GetCount()));
  for (int i = 0; i < list.GetCount(); ++i)
    std::printf("  page %d cell %d  %s\n", PageOf(i), CellOf(i), ToUtf8(list.GetName(i)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<HostOptions> options = ParseHostOptions(argc, argv);
  if (!options) return 2;
  if (!options->logFile.empty() && !DebugSinkToFile(options->logFile)) {
    std::fprintf(stderr, "vellumet: cannot write the log file %s\n", options->logFile.c_str());
    return 2;
  }
  SetClockSpeed(options->speed);
  SetDeviceRoot(options->root);
  if (!IsCardMounted()) std::fprintf(stderr, "vellumet: no card in %s\n", options->root.c_str());

  TheThumbIndex();  // loaded before the application starts, saved at exit
  ListCardFolder();
  return 0;
}
