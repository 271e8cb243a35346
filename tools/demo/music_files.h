// The demo card's background music: a few short tunes generated here and written as MP3 and
// WMA files with FFmpeg's encoders.
#pragma once

#include <filesystem>
#include <string>

// Writes the tunes into the folder (made if missing). An empty string when all were written,
// else what failed.
std::string WriteDemoMusic(const std::filesystem::path& folder);
