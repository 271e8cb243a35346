// Windows of other processes on the same device root.
//
// Each process that starts the link owns a datagram socket in the device root's private run
// folder. FindWindowW asks the other live processes for a top-level window of a title when
// none is found here; the answer is a stand-in handle, and PostMessage and SendMessage to it
// travel over the socket and are handled by the receiving process's window thread like any
// other message. A missing or dead process is never an error and never blocks for long.
#pragma once

#include "platform/windows/window.h"

// Starts this process's end of the link (idempotent); false when no socket can be made.
bool StartWindowLink();
void StopWindowLink();
bool IsWindowLinkStarted();

// A top-level window of this process with the title (FindWindowW without the link).
HWND FindLocalWindow(LPCWSTR title);

// A stand-in for the window titled title in another live process, or nullptr.
HWND FindRemoteWindow(LPCWSTR title);
bool IsRemoteWindow(HWND window);
// Messages to a stand-in. A send waits at most one second for its answer (0 then).
BOOL PostRemoteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendRemoteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A send that waits up to timeoutMs for the answer; false when none came.
bool SendRemoteMessageWaiting(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                              LRESULT* result);
// The stand-in for the front window of the process that owns window (the screen being shown).
HWND RemoteFrontWindow(HWND window);
