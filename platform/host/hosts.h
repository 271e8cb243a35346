// The hosts behind StartScreenHost (screen_host.h); each runs on the host's own thread and
// returns once the application has ended.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/host/panel_device.h"
#include "platform/host/screen_host.h"
#include "platform/host/sys_power.h"
#include "platform/host/touch_device.h"

// The SDL window. `opened` is called once: true when the window is up (the host then runs
// until the application ends), or false with the reason when there is no display to show
// it on (the host then returns at once, having left nothing open). A battery watch, when
// there is one, is polled while the window runs.
void RunSdlHost(int scale, BatteryWatch* battery, const std::function<void(bool opened, const std::string& why)>& opened);

// The frame-buffer host on a panel and, when there is one, a touch device, both opened by
// the caller: takes the console over, presents the shown frame on change, turned by rotate
// degrees clockwise, at most 60 times a second, and feeds the touches, until the application
// has ended; then gives the console back.
void RunFrameBufferHost(PanelDevice& panel, int rotate, TouchDevice* touch, BatteryWatch* battery);

// The headless hosts: a script's commands, or standard input's lines answered one by one.
void RunScriptHost(const std::vector<ScreenCommand>& commands, const std::string& shotsDir);
void RunStandardInputHost(const std::string& shotsDir);
