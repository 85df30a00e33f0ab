// Why the registry refused a change, in the words the user needs.
#include <unistd.h>

#include "platform/host/machine/machine.h"
#include "tools/qzreg.h"

namespace qzreg {

std::string RefusedChange(DWORD error) {
  std::string text = "the registry refused the change (error " + std::to_string(error) + ")";
  if (access(qzhost::MachineRoot().c_str(), W_OK) != 0)
    text += ": the machine root " + qzhost::MachineRoot() + " is read-only or not writable";
  return text;
}

std::string ReadOnlyRootNote() {
  if (access(qzhost::MachineRoot().c_str(), W_OK) == 0) return {};
  return " (the machine root " + qzhost::MachineRoot() + " is read-only or not writable)";
}

}  // namespace qzreg
