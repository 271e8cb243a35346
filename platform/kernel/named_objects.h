// Names of kernel objects.
//
// Within a process, every handle created under one name shares one object. Across processes,
// a name is claimed on the host: a process working on the same device root that creates the
// name while a live process holds it learns that it existed. Only existence is shared between
// processes, not the objects' states.
//
// The claim is an open-file-description lock on a lock file per name, in a private host folder
// derived from the canonical device root path:
//   <temp folder>/vellumet-<uid>/names-<64-bit hash of the canonical root, hex>/<escaped name>
// Every holder keeps a shared lock; a creator first tries an exclusive lock, which succeeds
// only when no other process holds the name, and then converts it to a shared one atomically.
// The kernel drops the locks of a process that ends in any way, crashes included, so a name
// is free again as soon as its last holder is gone. The lock files themselves stay (they are
// empty); deleting them could race with another process's claim. The folder lives outside the
// device root because the root's stores may be read-only or FAT cards, and files there would
// show up in the device's listings.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/kernel/types.h"
#include "platform/kernel/waitable.h"

// The object this process already holds under the name, or a new one from make(). *existed
// tells whether this process or another live process on the same device root held the name.
// Every open is paired with one CloseObjectName; the name is released after the last one.
std::shared_ptr<Waitable> OpenObjectName(const WString& name, const std::function<std::shared_ptr<Waitable>()>& make,
                                         bool* existed);
void CloseObjectName(const WString& name);

// The host folder whose processes share names: the device root, which the storage layer sets
// when the root is chosen.
void SetNameSpaceRoot(const std::string& hostFolder);

// The host folder that holds the lock files for the current device root, or an empty string
// when no private folder can be made there (names then work within the process only).
std::string NameLockFolder();
