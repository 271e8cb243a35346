// What the internal storage of a new device holds, for the device roots the programs make:
// the settings (NAND\SETTING.PAR, the key click on), the key-click sound
// (NAND\app\Sound.wav) and the registry's display keys (registry.txt).
#pragma once

#include <string>

// Gives the current device root (SetDeviceRoot) each of those files it does not have yet,
// and reads the registry again when it wrote it; files already there are kept. False, with
// the host path of the first file that could not be written in *failed.
bool GiveNewDeviceStorage(std::string* failed);
