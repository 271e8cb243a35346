#include "platform/imaging/orientation.h"

#include <atomic>

namespace {
std::atomic<bool> g_autoRotate{true};
}  // namespace

void SetAutoRotate(bool on) { g_autoRotate = on; }

bool AutoRotate() { return g_autoRotate; }

int ShownOrientation(int tag) { return AutoRotate() && tag >= 2 && tag <= 8 ? tag : 1; }
