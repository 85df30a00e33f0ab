// Host build: the single-instance counter as a lock per machine root.
//
// Only what differs on the host lives in this folder. The cell is an advisory
// lock on <root>/instance.lock: the system drops it when the holding process
// ends in any way, as the shared section vanishes with its last process.
#include "platform/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include "platform/host/machine/machine.h"
#include "platform/host/process/instance_lock.h"

namespace {

LONG g_lCounter = -1;  // this process's view of the counter
int g_lockFd = -1;
bool g_bHeld = false;
enum class Ahead { kNotTried, kHeld, kRefused } g_ahead = Ahead::kNotTried;

bool TakeLock() {
  std::string path = qzhost::MachineRoot() + "/instance.lock";
  g_lockFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (g_lockFd < 0) g_lockFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (g_lockFd < 0) return true;  // nowhere to keep a lock: run alone unguarded
  if (flock(g_lockFd, LOCK_EX | LOCK_NB) == 0) return true;
  close(g_lockFd);
  g_lockFd = -1;
  return false;
}

long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

namespace qzhost {

bool HoldInstanceLockAhead(int waitMs) {
  long long deadline = NowMs() + (waitMs > 0 ? waitMs : 0);
  while (!TakeLock()) {
    if (NowMs() >= deadline) {
      g_ahead = Ahead::kRefused;
      return false;
    }
    usleep(20 * 1000);
  }
  g_ahead = Ahead::kHeld;
  return true;
}

}  // namespace qzhost

LONG IncrementInstanceCounter() {
  LONG lValue = InterlockedIncrement(&g_lCounter);
  if (lValue != 0) return lValue;
  if (g_ahead == Ahead::kRefused) return 1;  // decided before the run began
  g_bHeld = g_ahead == Ahead::kHeld || TakeLock();
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
