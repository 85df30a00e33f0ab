// Watching one run of a command: what it changed, compared after it.
#include "platform/host/report/whatif.h"

#include <sys/stat.h>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machine.h"
#include "platform/host/profile/profilerecord.h"
#include "platform/host/registry/registry.h"
#include "platform/host/report/tempfolder.h"

namespace qzhost {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

ChangeWatch::~ChangeWatch() {
  RecordRegistryChanges(nullptr);
  RecordProfileChanges(nullptr);
  if (mode_ == Mode::kWhatIf) {
    CloseMachineRegistry();  // the rollback
    DiscardRegistryChangesOfTheRun(false);
  }
  if (redirected_) SetMachineRedirect(MachineRedirect());
  RemoveTree(folder_);
}

bool ChangeWatch::Begin(std::string* why) {
  if (mode_ == Mode::kWhatIf) {
    folder_ = MakeTempFolder("qzinst32-whatif", why);
    if (folder_.empty()) return false;
    // A machine without a registry would get one: a what-if run makes it in
    // the shadow folder instead.
    if (!MachineInMemory() && !Exists(MachineRegistryPath())) {
      MachineRedirect redirect;
      redirect.registryPath = folder_ + "/registry.db";
      SetMachineRedirect(std::move(redirect));
      redirected_ = true;
    }
    DiscardRegistryChangesOfTheRun(true);
    profiles_.shadowFolder = folder_;
  }
  RecordRegistryChanges(&registry_);
  RecordProfileChanges(&profiles_);
  if (!TreeCanBeWalked(why)) return false;
  spoolerRead_ = ReadSpoolerLists(MachineIsNT(), &spoolerBefore_, &spoolerWhy_);
  ForgetFailedCalls();  // what the lists' calls met is no failure of the run
  return true;
}

// The comparison after the run walks the registry from its roots: one that
// is no tree (a cycle, an orphaned key, keys deeper than Windows allows) is
// a damaged machine, found before the run changes anything.
bool ChangeWatch::TreeCanBeWalked(std::string* why) {
  if (MachineInMemory() || !Exists(MachineRegistryPath())) return true;
  DWORD error = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&error);
  if (store == nullptr) return true;  // the run meets and reports it
  return store->CheckTree(why) == ERROR_SUCCESS;
}

bool ChangeWatch::Finish(MachineChanges* changes, std::string* why) {
  if (registry_.failed) {
    *why = "cannot tell what the run changed: a key could not be read before its change";
    return false;
  }
  unsigned codePage = Machine().codePage;
  // A run that changed no key needs no look at the registry (nor its opening).
  if (!registry_.touched.empty()) {
    DWORD error = ERROR_SUCCESS;
    RegStore* after = MachineRegistry(&error);
    if (after == nullptr) {
      *why = MachineFault().empty() ? "cannot open the registry" : MachineFault();
      return false;
    }
    error = DiffRecordedRegistry(registry_, after, codePage, &changes->registry);
    if (error != ERROR_SUCCESS) {
      *why = "cannot compare the registry (error " + std::to_string(error) + ")";
      return false;
    }
  }
  for (const auto& entry : profiles_.files) {
    std::string now;
    if (IsRegularFile(entry.second.current) && !ReadWholeFile(entry.second.current, &now, why))
      return false;
    DiffProfile(MachineFileName(entry.first), entry.second.original, now, codePage,
                &changes->profiles);
  }
  // A run that changed nothing changed no spooler object: what the lists
  // show changed meanwhile is another program's doing.
  if (changes->registry.empty() && changes->profiles.empty()) return true;
  std::vector<SpoolerListed> spoolerAfter;
  if (!spoolerRead_ || !ReadSpoolerLists(MachineIsNT(), &spoolerAfter, &spoolerWhy_)) {
    *why = "cannot list the spooler's objects: " + spoolerWhy_;
    return false;
  }
  changes->spooler = DiffSpoolerLists(spoolerBefore_, spoolerAfter, codePage);
  return true;
}

}  // namespace qzhost
