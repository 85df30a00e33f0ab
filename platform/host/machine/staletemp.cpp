// Temporaries of killed processes, found by the pid in their names.
#include "platform/host/machine/staletemp.h"

#include <dirent.h>
#include <errno.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace qzhost {
namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

// The pid at the start of `rest` ("<pid>-..."), or 0.
long PidOf(const char* rest) {
  char* end = nullptr;
  long pid = strtol(rest, &end, 10);
  return end != rest && *end == '-' && pid > 0 ? pid : 0;
}

}  // namespace

std::string TemporaryPattern(const std::string& prefix) {
  return prefix + std::to_string(getpid()) + "-XXXXXX";
}

void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (struct dirent* e = readdir(dir)) {
    if (strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    long pid = PidOf(e->d_name + prefix.size());
    if (pid == 0 || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::string path = (folder.empty() ? "." : folder) + "/" + e->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && st.st_uid == getuid()) stale.push_back(path);
  }
  closedir(dir);
  for (const std::string& path : stale) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace qzhost
