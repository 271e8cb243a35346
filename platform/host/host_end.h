// The end of the program as the screen hosts see it.
//
// The application ends by itself (its exit button, the launcher's close) or a host ends it
// (its script ran out, its window was closed, a stop signal came). Once the program reports
// the application's end, every host stops at once, whatever its script still holds: hosts
// wait on the end through a kernel event (device-clock waits) or a descriptor (poll).
#pragma once

#include "platform/kernel/types.h"

// Clears the end for a new run; called when a host starts.
void ResetHostEnd();

// The program reports that the application has ended.
void MarkApplicationEnded();
bool ApplicationHasEnded();
// Signalled once the application has ended (manual reset).
HANDLE ApplicationEndedEvent();
// Readable once the application has ended.
int ApplicationEndedFd();

// A host ends the application: the window thread's loops end. It counts as ended by the
// host when the application was still running, that is when a window was up or none had
// been made yet. (In the instant between two dialogs it cannot be told from the
// application's own end.)
void EndApplicationFromHost();
bool HostEndedApplication();

// Something a host was asked to do failed (a screenshot that could not be written).
void NoteHostFailure();
bool HostFailed();
