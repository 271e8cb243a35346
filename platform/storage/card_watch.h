// The card slot following a card folder on the host (SetDeviceRoot's card folder), as a
// person handles a stick or a card:
//   - the folder there, readable, and (see below) mounted: the card is in;
//   - on a read-only mount: the card is in, write-protected;
//   - the folder missing: the card is out (it comes in when the folder appears);
//   - the folder not readable, or not a folder: the card is out, with one line saying why;
//   - a mount point whose file system has gone (unmounted, the stick pulled): the card is
//     out, and it comes back when something is mounted there again.
// A folder counts as a mount point once it has been seen mounted, or when /etc/fstab names
// it, so that an empty mount point with no stick in it is no card.
//
// The slot is set through SetCardTakenOut and SetCardWriteProtected, as the script's card
// commands set it. A thread waits for the mount table to change (/proc/self/mountinfo
// polled for POLLPRI) and for the folder or the folders above it to change (inotify), and
// looks again each time; nothing is polled on a timer. Each change of the slot is told in
// one line on standard error.
#pragma once

// Sets the slot from the current card folder at once, then keeps it in step until
// StopCardWatch. False, having said why, when the watch cannot be started (the slot then
// keeps the state it was given at the start).
bool StartCardWatch();
void StopCardWatch();
