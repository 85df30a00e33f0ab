// Watching one run of a command: a snapshot of the machine before it, and
// what differs after it.
//
// A reporting run works on the machine itself and only remembers how it was.
// A what-if run works on a shadow: the registry is a copy, and each profile
// file is copied into the shadow folder right before its first change, so
// the machine itself is only read. Either way the program runs unchanged.
#ifndef QZINST32_PLATFORM_HOST_WHATIF_H_
#define QZINST32_PLATFORM_HOST_WHATIF_H_

#include <map>
#include <string>

#include "platform/host/registry/regstore.h"
#include "platform/host/report/changes.h"

namespace qzhost {

class ChangeWatch {
 public:
  enum class Mode { kReport, kWhatIf };

  explicit ChangeWatch(Mode mode) : mode_(mode) {}
  // Points the machine back at itself and removes the shadow folder.
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Takes the snapshot; the machine must be prepared and keep its registry
  // in a file. False with *why when it cannot be copied (nothing then runs).
  bool Begin(std::string* why);
  // Compares the snapshot with the machine (or its shadow) as it is now.
  bool Finish(MachineChanges* changes, std::string* why);

 private:
  struct ProfileCopy {
    std::string original;  // the text before the run; empty for a missing file
    std::string current;   // where the run reads and writes it
  };

  std::string ProfilePath(const std::string& path, bool forWrite);
  bool OpenBaseline(std::string* why);

  Mode mode_;
  std::string folder_;
  RegStore before_;
  std::map<std::string, ProfileCopy> profiles_;
  bool redirected_ = false;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WHATIF_H_
