// qzreg save and load: the whole machine in one image file.
#include <stdio.h>

#include "platform/host/registry/regimage.h"
#include "tools/qzreg.h"

namespace qzreg {

int Save(const Args& args) {
  if (args.size() != 1) return Complain(kExitUsage, "save needs exactly one IMAGE file");
  int status = kExitOk;
  if (ExistingRegistry(&status) == nullptr) return status;
  qzhost::MachineError error = qzhost::SaveMachineImage(args[0]);
  if (error.failed()) return CheckMachineFault(Complain(kExitFailed, error.message));
  Inform("Saved the machine at %s to %s\n", qzhost::MachineRoot().c_str(), args[0].c_str());
  return kExitOk;
}

int Load(const Args& args) {
  if (args.size() != 1) return Complain(kExitUsage, "load needs exactly one IMAGE file");
  qzhost::MachineError error = qzhost::LoadMachineImage(args[0], true);
  if (error.failed()) return Complain(kExitFailed, error.message);
  Inform("Loaded %s into %s\n", args[0].c_str(), qzhost::MachineRoot().c_str());
  return kExitOk;
}

}  // namespace qzreg
