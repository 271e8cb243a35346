// SIGINT and SIGTERM end the program the way the end of a script does: the application
// closes (its exit step runs, the launcher is told) and the hosts put back what they took.
// A second signal, for a program that does not end, runs the emergency clean-up and ends
// the process at once with 128 + the signal's number.
#pragma once

// Blocks the two signals in the calling thread. Call it first in main(), before any thread
// starts, so that every thread inherits the block and only the watch receives them.
void BlockStopSignals();

// Starts the thread that receives the signals (when they are blocked in the caller), and
// stops it.
void StartStopSignalWatch();
void StopStopSignalWatch();

// What a second signal runs before the process ends (one function; null for none). It
// runs on the watch's thread, not in a signal handler.
void SetEmergencyCleanup(void (*cleanup)());
