// Watching one run of a command: what it changed, as the registry and the
// profile calls noted it, compared with the machine after it.
//
// The registry notes each key before the run's first change of it, and each
// profile file is remembered right before its first change; at the end only
// those are compared, so the cost follows what the command touches. A
// reporting run works on the machine itself. A what-if run works in the
// run's one registry transaction, which is rolled back at the end, and on
// shadow copies of the profile files it writes, so the machine itself is
// only read. Either way the program runs unchanged.
#ifndef QZINST32_PLATFORM_HOST_WHATIF_H_
#define QZINST32_PLATFORM_HOST_WHATIF_H_

#include <string>

#include "platform/host/profile/profilerecord.h"
#include "platform/host/registry/regrecord.h"
#include "platform/host/report/changes.h"

namespace qzhost {

class ChangeWatch {
 public:
  enum class Mode { kReport, kWhatIf };

  explicit ChangeWatch(Mode mode) : mode_(mode) {}
  // Stops recording, points the machine back at itself and removes the
  // shadow folder. A what-if run's registry is closed, which rolls back its
  // changes.
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Starts recording, before the registry's first change; the machine must
  // be prepared. False with *why when a what-if run's shadow folder cannot
  // be made, or the registry is no tree that the comparison could walk
  // (nothing then runs).
  bool Begin(std::string* why);
  // Compares what was recorded with the machine (or its shadow) as it is
  // now, before the registry closes.
  bool Finish(MachineChanges* changes, std::string* why);

 private:
  bool TreeCanBeWalked(std::string* why);

  Mode mode_;
  std::string folder_;
  RegChangeRecord registry_;
  ProfileChangeRecord profiles_;
  bool redirected_ = false;
  // The spooler's lists as the run found them (spooler_lists.h).
  std::vector<SpoolerListed> spoolerBefore_;
  bool spoolerRead_ = false;
  std::string spoolerWhy_;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WHATIF_H_
