// Lock files that stay right when the folder holding them is swapped.
#include "platform/host/machine/lockfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace qzhost {
namespace {

long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// True when `fd` is still the file at `path`: a load may have swapped the
// root (and its lock file) between the open and the lock.
bool StillAtPath(int fd, const std::string& path) {
  struct stat held, now;
  return fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
         held.st_ino == now.st_ino;
}

}  // namespace

std::string InstanceLockPath(const std::string& root) { return root + "/instance.lock"; }

LockTry TryLockFile(const std::string& path, int* fd) {
  // A few rounds at most: each one that misses saw a swap, which is rare.
  for (int round = 0; round < 8; ++round) {
    int f = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (f < 0) f = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f < 0) return LockTry::kNoFile;
    if (flock(f, LOCK_EX | LOCK_NB) != 0) {
      close(f);
      return LockTry::kBusy;
    }
    if (StillAtPath(f, path)) {
      *fd = f;
      return LockTry::kHeld;
    }
    close(f);
  }
  return LockTry::kBusy;
}

LockTry WaitForLockFile(const std::string& path, int waitMs, int* fd) {
  long long deadline = NowMs() + (waitMs > 0 ? waitMs : 0);
  for (;;) {
    LockTry got = TryLockFile(path, fd);
    if (got != LockTry::kBusy || NowMs() >= deadline) return got;
    usleep(20 * 1000);
  }
}

}  // namespace qzhost
