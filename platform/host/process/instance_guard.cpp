// Host build: the single-instance counter as a lock per machine root.
//
// Only what differs on the host lives in this folder. The cell is an advisory
// lock on <root>/instance.lock (lockfile.h): the system drops it when the
// holding process ends in any way, as the shared section vanishes with its
// last process.
#include "platform/instance_guard.h"

#include <unistd.h>

#include "platform/host/machine/lockfile.h"
#include "platform/host/machine/machine.h"
#include "platform/host/process/instance_lock.h"

namespace {

LONG g_lCounter = -1;  // this process's view of the counter
int g_lockFd = -1;
bool g_bHeld = false;
enum class Ahead { kNotTried, kHeld, kRefused } g_ahead = Ahead::kNotTried;

// A lock file that cannot be made nor opened leaves the run alone unguarded,
// as a machine without the shared section would.
bool TakeLock(int waitMs) {
  qzhost::LockTry got =
      qzhost::WaitForLockFile(qzhost::InstanceLockPath(qzhost::MachineRoot()), waitMs, &g_lockFd);
  if (got == qzhost::LockTry::kNoFile) g_lockFd = -1;
  return got != qzhost::LockTry::kBusy;
}

}  // namespace

namespace qzhost {

bool HoldInstanceLockAhead(int waitMs) {
  bool held = TakeLock(waitMs);
  g_ahead = held ? Ahead::kHeld : Ahead::kRefused;
  return held;
}

}  // namespace qzhost

LONG IncrementInstanceCounter() {
  LONG lValue = InterlockedIncrement(&g_lCounter);
  if (lValue != 0) return lValue;
  if (g_ahead == Ahead::kRefused) return 1;  // decided before the run began
  g_bHeld = g_ahead == Ahead::kHeld || TakeLock(0);
  return g_bHeld ? 0 : 1;  // another process holds the machine
}

LONG DecrementInstanceCounter() {
  LONG lValue = InterlockedDecrement(&g_lCounter);
  if (lValue == -1 && g_bHeld) {
    if (g_lockFd >= 0) close(g_lockFd);  // closing drops the lock
    g_lockFd = -1;
    g_bHeld = false;
  }
  return lValue;
}
