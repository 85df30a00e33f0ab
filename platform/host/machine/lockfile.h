// The machine's instance lock: an advisory lock on <root>/instance.lock.
//
// Every program that changes the machine as a whole holds it while it works:
// a command, a save (which must see the registry and the files of one moment)
// and a load (which replaces the root). A load swaps a new root in with a
// lock file of its own, locked before the swap; a lock taken on the file of
// the root that was swapped out is dropped and taken again on the new one, so
// that a waiter never runs on a root that is gone.
#ifndef QZINST32_PLATFORM_HOST_LOCKFILE_H_
#define QZINST32_PLATFORM_HOST_LOCKFILE_H_

#include <string>

namespace qzhost {

// <root>/instance.lock of the machine root `root`.
std::string InstanceLockPath(const std::string& root);

enum class LockTry { kHeld, kBusy, kNoFile };

// Tries once to lock the file at `path` (made with mode 0600 when missing).
// kHeld: *fd is the locked file, which is the one at `path` now; closing it
// drops the lock. kBusy: another process holds it. kNoFile: it can be neither
// made nor opened (a root that is missing or read-only and holds none).
LockTry TryLockFile(const std::string& path, int* fd);

// TryLockFile again every 20 ms for up to `waitMs` (0: once).
LockTry WaitForLockFile(const std::string& path, int waitMs, int* fd);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_LOCKFILE_H_
