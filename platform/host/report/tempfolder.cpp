// Temporary folders: made private, removed with their contents.
#include "platform/host/report/tempfolder.h"

#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/host/machine/staletemp.h"

namespace qzhost {

std::string MakeTempFolder(const char* prefix, std::string* why) {
  const char* tmp = getenv("TMPDIR");
  std::string folder = tmp && *tmp ? tmp : "/tmp";
  // Those of killed runs go first: no later run would know them otherwise.
  RemoveStaleTemporaries(folder, std::string(prefix) + "-");
  std::string pattern = TemporaryPattern(folder + "/" + prefix + "-");
  if (mkdtemp(&pattern[0]) == nullptr) {
    *why = "cannot create a temporary folder " + pattern + ": " + strerror(errno);
    return {};
  }
  return pattern;
}

void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;
  nftw(
      folder.c_str(),
      [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

}  // namespace qzhost
