// Host file helpers: whole-file reads and atomic, durable replacement.
#include "platform/host/machine/hostfile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qzhost {

bool ReadWholeFile(const std::string& path, std::string* text, std::string* why) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int saved = errno;
      *why = "cannot read " + path + ": " + strerror(saved);
      close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The temporary's name is predictable, so in a shared folder someone else may
// have put a link there: O_EXCL never writes through one. A leftover of a
// killed run (or such a link) is removed and the name taken afresh.
int OpenFreshTemporary(const std::string& temp) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(temp.c_str(), flags, 0600);
  if (fd < 0 && errno == EEXIST && unlink(temp.c_str()) == 0) fd = open(temp.c_str(), flags, 0600);
  return fd;
}

// A run killed while writing leaves its temporary behind; the next write to
// the same file removes those whose process is gone.
void RemoveStaleTemporaries(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".qztmp";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    if (strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    const char* digits = e->d_name + prefix.size();
    char* end = nullptr;
    long pid = strtol(digits, &end, 10);
    if (end == digits || *end != '\0' || pid <= 0) continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      unlink((dir + "/" + e->d_name).c_str());
  }
  closedir(d);
}

}  // namespace

void SyncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* why) {
  std::string temp = path + ".qztmp" + std::to_string(getpid());
  int fd = OpenFreshTemporary(temp);
  if (fd < 0) {
    int saved = errno;
    *why = "cannot write " + path + ": " + strerror(saved);
    errno = saved;
    return false;
  }
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  int saved = errno;
  close(fd);
  if (ok && rename(temp.c_str(), path.c_str()) == 0) {
    SyncFolderOf(path);
    RemoveStaleTemporaries(path);
    return true;
  }
  if (ok) saved = errno;
  unlink(temp.c_str());
  *why = "cannot write " + path + ": " + strerror(saved);
  errno = saved;
  return false;
}

}  // namespace qzhost
