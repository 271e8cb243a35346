// The text console under the panel, taken over while the frame-buffer host runs.
//
// When the program's standard input is a terminal, the host hides its cursor and turns its
// blanking off (escape sequences of the Linux console), and when that terminal is a virtual
// console, switches it to graphics mode (KDSETMODE), so that the kernel draws no text over
// the picture. Everything is put back when the host ends, also after SIGINT or SIGTERM; the
// blanking gets back the interval the kernel had (consoleblank).
#pragma once

// Takes the console over; nothing happens without a terminal.
void TakeOverConsole();
// Puts back what TakeOverConsole changed; only the first call after a takeover acts. Safe
// to call from another thread than the one that took the console over.
void RestoreConsole();
