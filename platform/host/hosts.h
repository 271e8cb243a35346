// The hosts behind StartScreenHost (screen_host.h); each runs on the host's own thread and
// returns once the application has ended.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/host/screen_host.h"

// The SDL window. `opened` is called once: true when the window is up (the host then runs
// until the application ends), or false with the reason when there is no display to show
// it on (the host then returns at once, having left nothing open).
void RunSdlHost(int scale, const std::function<void(bool opened, const std::string& why)>& opened);

// The headless hosts: a script's commands, or standard input's lines answered one by one.
void RunScriptHost(const std::vector<ScreenCommand>& commands, const std::string& shotsDir);
void RunStandardInputHost(const std::string& shotsDir);
