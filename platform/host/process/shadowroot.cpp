// The fresh machine of a what-if run on a root without one.
#include "platform/host/process/shadowroot.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/machine/machine.h"
#include "platform/host/report/tempfolder.h"

namespace qzhost {
namespace {

// Missing, or a folder with neither of the machine's own files.
bool HoldsNoMachine(const std::string& root) {
  struct stat st;
  if (stat(root.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISDIR(st.st_mode) && access((root + "/machine.ini").c_str(), F_OK) != 0 &&
         access((root + "/registry.db").c_str(), F_OK) != 0;
}

}  // namespace

ShadowRoot::~ShadowRoot() {
  if (!folder_.empty()) RemoveTree(folder_);
}

bool ShadowRoot::BeginIfNoMachine(std::string* why) {
  realRoot_ = MachineRoot();
  if (!HoldsNoMachine(realRoot_)) return true;
  folder_ = MakeTempFolder("qzinst32-whatif-root", why);
  if (folder_.empty()) return false;
  setenv("QZINST_ROOT", (folder_ + "/machine").c_str(), 1);
  ResetMachineState();
  return true;
}

}  // namespace qzhost
