// The hosts that show the device's screen and feed its touches.
//
// The SDL host opens a window of 800 x 480 (times the scale) that shows the frame the
// frame-base register names, about 60 times a second, and turns the mouse into touches.
// Keys stand for the launcher and the battery:
//   H  hide (launcher code 10)        S  show (code 8)
//   Q  close (code 2)                 P  pause (message 52999)
//   B  next battery state (0..7) and tell the program (code 6)
//   C  charging (code 7 with state 6)
// Closing the window ends the application. Without a display to show it on (no DISPLAY or
// WAYLAND_DISPLAY, and SDL_VIDEODRIVER not set), SDL is not asked at all: the host says so
// in one line and runs headless.
//
// The frame-buffer host (a frame buffer given) shows the frame on a Linux frame-buffer
// device, turned as asked, and takes touches from a Linux input device, without a desktop
// (see hosts.h and docs/device.md); a regular file as the frame buffer is written as a raw
// RGB565 frame (panel_device.h), and a FIFO or regular file as the touch device gives raw
// input_event records.
//
// The headless host shows nothing; it runs a script (see ParseScreenScript) and ends the
// application after the script's last line. The script "-" is standard input, read as it
// comes: each line is answered on standard output with "done" once it has run ("failed"
// when a shot could not be written, "error: ..." when it is not a command, "ended" when the
// application has ended, while the line ran or before), so that another program can drive
// the screen in step; the end of the input ends the application.
//
// Every host stops as soon as the application has ended (see host_end.h), whatever its
// script still holds: the line in progress is answered and nothing more is read.
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
  // The frame-buffer host: the frame buffer, how the picture is turned on it (fbRotate 0,
  // 90, 180 or 270 degrees clockwise; the touches follow), the touch device (none: no
  // touches) and how the touch panel is mounted against the panel (touchRotate, degrees
  // clockwise, after the swap).
  std::string frameBuffer;
  int fbRotate = 0;
  std::string touch;
  int touchRotate = 0;
  bool touchSwapXY = false;
  // /sys folders (or "auto") the backlight driver follows and the battery driver reads;
  // empty: simulated.
  std::string sysBacklight;
  std::string sysBattery;
};

// SDL and the sound libraries look for a session bus. Where none is given, libdbus would try
// to start one through the X display: a bus daemon that outlives the program when it can be
// started, and a buffer libdbus never frees when it cannot. The programs need no bus, so
// without a given address they use none. Call it first in main(), before any thread starts
// (it sets the environment).
void KeepOffAnUnnamedSessionBus();

// Gets ready what the host needs without showing anything: reads the script, finds the /sys
// folders, opens the frame buffer and the touch device. False, having said why on standard
// error, when the script cannot be read or a device or /sys folder cannot be used.
bool OpenScreenHost(const ScreenHostOptions& options);
// Starts the opened host on a thread of its own, and the watch of the stop signals when they
// are blocked (stop_signals.h). The SDL host falls back to the headless one when no display
// can be opened. With `show` false a host that shows the screen (a window or a panel) is
// closed unstarted: no window opens, the panel and the console stay as they are. A headless
// host runs either way.
void StartOpenedScreenHost(bool show = true);
// Both of the above.
bool StartScreenHost(const ScreenHostOptions& options);
// Tells the host that the application has ended and waits for its thread to end.
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
//   pause            message 52999 (0xCF07) to the front window, as the SDL window's P key
//   speed X          the device clock runs X times as fast from now on (X positive)
struct ScreenCommand {
  enum Kind { Wait, Tap, Down, Move, Up, Shot, Launcher, Battery, Card, Pause, Speed } kind = Wait;
  long a = 0, b = 0;
  std::string name;
};
// Nothing, with the line number and the fault in error, when a line is not a command.
// Numbers are decimal, or hexadecimal after 0x. The text's first line has the number
// firstLine (standard input is parsed a line at a time).
std::optional<std::vector<ScreenCommand>> ParseScreenScript(const std::string& text, std::string* error,
                                                           int firstLine = 1);
enum class ScriptResult {
  Done,    // every command ran
  Failed,  // every command ran, but a shot could not be written
  Ended,   // the application ended (the event below was signalled)
};
// Runs the commands on the calling thread against the window thread; each command but a wait
// acts on the settled screen, and the screen settles once more after the last. With an
// `ended` event, commands wait for a screen to be up, and the run stops as soon as the event
// is signalled, also inside a wait or a settle. Does not end the application.
ScriptResult RunScreenScript(const std::vector<ScreenCommand>& commands, const std::string& shotsDir,
                             HANDLE ended = nullptr);
// Writes the frame being shown as a PNG file.
bool WriteScreenShot(const std::string& hostPath);

constexpr UINT kLauncherMessage = 0x0BFB;
constexpr UINT kPauseMessage = 0xCF07;
