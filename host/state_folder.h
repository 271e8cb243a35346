// The state folder: the device's internal storage (NAND/, registry.txt, battery.txt) when
// any folder is the card (--card), so that nobody has to build a device root by hand.
#pragma once

#include <string>

// `given` (--state) when there is one; else the service's state directory
// ($STATE_DIRECTORY, the first when systemd gives several), else $XDG_STATE_HOME/vellumet,
// else ~/.local/state/vellumet. "" when none can be named (no HOME either).
std::string ChooseStateFolder(const std::string& given);

// Makes the folder when it is missing and chooses it as the device root with the card
// folder as the card; a new folder gets a new device's internal storage (new_device.h), and
// so does one that lacks some of it. False, having said why on standard error.
bool UseStateFolder(const std::string& folder, const std::string& cardFolder);
