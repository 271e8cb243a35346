// A descriptor that becomes readable when the shown frame has changed (AnnounceFrameChange),
// for a host that sleeps in poll() until there is something to show.
#pragma once

// The descriptor, made and hooked to the announcements on the first call; it lives as long as
// the process, so that an announcement on another thread never writes to a closed one.
int FrameChangeFd();
// Makes the descriptor unreadable again until the next announcement.
void ClearFrameChangeFd();
