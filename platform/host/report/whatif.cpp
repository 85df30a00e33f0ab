// Watching one run of a command: what it changed, compared after it.
#include "platform/host/report/whatif.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machine.h"
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

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ChangeWatch::~ChangeWatch() {
  RecordRegistryChanges(nullptr);
  if (redirected_) SetMachineRedirect(MachineRedirect());
  RemoveTree(folder_);
}

bool ChangeWatch::Begin(std::string* why) {
  if (MachineInMemory()) {
    *why = "a machine whose registry lives in memory cannot be watched";
    return false;
  }
  folder_ = MakeTempFolder(mode_ == Mode::kWhatIf ? "qzinst32-whatif" : "qzinst32-report", why);
  if (folder_.empty()) return false;
  MachineRedirect redirect;
  // A machine without a registry would get one: a what-if run makes it in
  // the shadow folder instead.
  if (mode_ == Mode::kWhatIf && !Exists(MachineRegistryPath()))
    redirect.registryPath = folder_ + "/registry.db";
  redirect.profilePath = [this](const std::string& path, bool forWrite) {
    return ProfilePath(path, forWrite);
  };
  SetMachineRedirect(std::move(redirect));
  redirected_ = true;
  if (mode_ == Mode::kWhatIf) DiscardRegistryChangesOfTheRun();
  RecordRegistryChanges(&record_);
  return true;
}

// Remembers each profile file before its first change; in a what-if run the
// change goes to a copy. A file that cannot be written (its folder missing or
// closed, the file not a plain file) stays where it is: the write then fails
// on it exactly as in a real run, and nothing changes.
std::string ChangeWatch::ProfilePath(const std::string& path, bool forWrite) {
  auto known = profiles_.find(path);
  if (known != profiles_.end()) return known->second.current;
  if (!forWrite) return path;
  bool exists = Exists(path);
  if (exists && !IsRegularFile(path)) return path;
  ProfileCopy copy;
  std::string why;
  if (exists && !ReadWholeFile(path, &copy.original, &why)) return path;
  copy.current = path;
  if (mode_ == Mode::kWhatIf) {
    if (access(Folder(path).c_str(), W_OK | X_OK) != 0) return path;
    std::string shadow = folder_ + "/profile" + std::to_string(profiles_.size());
    if (exists && !WriteFileAtomically(shadow, copy.original, &why)) return path;
    copy.current = shadow;
  }
  return profiles_.emplace(path, copy).first->second.current;
}

bool ChangeWatch::Finish(MachineChanges* changes, std::string* why) {
  DWORD error = ERROR_SUCCESS;
  RegStore* after = MachineRegistry(&error);
  if (after == nullptr) {
    *why = MachineFault().empty() ? "cannot open the registry" : MachineFault();
    return false;
  }
  if (record_.failed) {
    *why = "cannot tell what the run changed: a key could not be read before its change";
    return false;
  }
  unsigned codePage = Machine().codePage;
  error = DiffRecordedRegistry(record_, after, codePage, &changes->registry);
  if (error != ERROR_SUCCESS) {
    *why = "cannot compare the registry (error " + std::to_string(error) + ")";
    return false;
  }
  for (const auto& entry : profiles_) {
    std::string now;
    if (IsRegularFile(entry.second.current) && !ReadWholeFile(entry.second.current, &now, why))
      return false;
    DiffProfile(MachineFileName(entry.first), entry.second.original, now, codePage,
                &changes->profiles);
  }
  changes->spooler = SpoolerChanges(changes->registry, changes->profiles, MachineIsNT(), codePage);
  return true;
}

}  // namespace qzhost
