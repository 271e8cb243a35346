// The hosts that show the device's screen and feed its touches.
//
// The SDL host opens a window of 800 x 480 (times the scale) that shows the frame the
// frame-base register names, about 60 times a second, and turns the mouse into touches.
// Keys stand for the launcher and the battery:
//   H  hide (launcher code 10)        S  show (code 8)
//   Q  close (code 2)                 P  pause (message 52999)
//   B  next battery state (0..7) and tell the program (code 6)
//   C  charging (code 7 with state 6)
// Closing the window ends the program's loops.
//
// The headless host shows nothing; it runs a script (see ParseScreenScript) and ends the
// program's loops after the script's last line. The script "-" is standard input, read as
// it comes: each line is answered on standard output with "done" once it has run ("failed"
// when a shot could not be written, "error: ..." when it is not a command), so that another
// program can drive the screen in step; the end of the input ends the program's loops.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/types.h"

struct ScreenHostOptions {
  bool headless = false;
  std::string script;    // headless: the script file, "-" for standard input
  std::string shotsDir;  // where "shot NAME" writes NAME.png
  int scale = 1;
  // Script text run when headless without a script, and when no display can be opened.
  std::string tour;
};

// Starts the host on a thread of its own. The SDL host falls back to the headless one when
// no display can be opened. False when the script cannot be read.
bool StartScreenHost(const ScreenHostOptions& options);
// Waits for the host's thread to end (call after the program's window loops have ended).
void StopScreenHost();

// ---- Scripts -----------------------------------------------------------------------------

// One command a line; blank lines and lines starting with "#" are skipped:
//   wait MS          device milliseconds
//   tap X Y          down and up at the point
//   down X Y | move X Y | up X Y
//   shot NAME        DIR/NAME.png of the frame being shown, once the screen has settled
//   launcher WPARAM [LPARAM]   message 0x0BFB to the front window, as the launcher sends it
//   battery STATE    the battery driver's state, then launcher code 6 to the front window
//   card out|in|readonly   takes the card out, puts it back, or write-protects it
struct ScreenCommand {
  enum Kind { Wait, Tap, Down, Move, Up, Shot, Launcher, Battery, Card } kind = Wait;
  long a = 0, b = 0;
  std::string name;
};
// Nothing, with the line number and the fault in error, when a line is not a command.
std::optional<std::vector<ScreenCommand>> ParseScreenScript(const std::string& text, std::string* error);
// Runs the commands on the calling thread against the window thread; false when a shot
// could not be written. Does not end the program.
bool RunScreenScript(const std::vector<ScreenCommand>& commands, const std::string& shotsDir);
// Writes the frame being shown as a PNG file.
bool WriteScreenShot(const std::string& hostPath);

constexpr UINT kLauncherMessage = 0x0BFB;
constexpr UINT kPauseMessage = 0xCF07;
