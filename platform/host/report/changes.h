// What a run changed on the machine: registry keys and values, profile
// entries, and the spooler objects its listings show changed.
//
// Both what-if runs and reporting runs compare the keys and files the
// command changed, as they were before, with the machine after it; the lists
// below are that comparison.
#ifndef QZINST32_PLATFORM_HOST_CHANGES_H_
#define QZINST32_PLATFORM_HOST_CHANGES_H_

#include <string>
#include <vector>

#include "platform/host/registry/regrecord.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/spooler/spooler_lists.h"

namespace qzhost {

enum class ChangeAction { kAdded, kChanged, kRemoved };
// "added", "changed", "removed".
const char* ChangeActionName(ChangeAction action);

struct RegValueChange {
  ChangeAction action;
  RegValue before;  // empty for an added value
  RegValue after;   // empty for a removed value
};

// A key whose own values differ (kChanged), a new key with all its values
// (kAdded; each new subkey has a record of its own), or a key that is gone
// with everything below it (kRemoved; no records for what was below).
struct RegKeyChange {
  ChangeAction action;
  std::string path;  // "HKEY_LOCAL_MACHINE\System\..."
  std::vector<RegValueChange> values;
};

// One key of a profile file; a removed section shows as its keys removed.
struct ProfileChange {
  ChangeAction action;
  std::string file;  // as the machine names it: "C:\WINDOWS\WIN.INI", or the host path
  std::string section;
  std::string key;
  std::string before;
  std::string after;
};

// A printer, driver, monitor, print processor or port that appeared,
// disappeared or was altered.
struct SpoolerChange {
  ChangeAction action;
  std::string object;  // "printer", "driver", "monitor", "print processor", "port"
  std::string name;
  std::string environment;  // drivers and print processors only
};

struct MachineChanges {
  std::vector<RegKeyChange> registry;
  std::vector<ProfileChange> profiles;
  std::vector<SpoolerChange> spooler;
  bool empty() const { return registry.empty() && profiles.empty(); }
};

// Walks both registries from the predefined roots. Keys and values are
// matched by name without regard to case, as the registry compares them.
DWORD DiffRegistry(RegStore* before, RegStore* after, unsigned codePage,
                   std::vector<RegKeyChange>* changes);

// The same list for one registry since recording began: the keys `record`
// has as they were against `store` as it is now, walking only down to them.
DWORD DiffRecordedRegistry(const RegChangeRecord& record, RegStore* store, unsigned codePage,
                           std::vector<RegKeyChange>* changes);

// Compares two texts of one profile file key by key, under Windows' reading
// rules (the first of duplicate sections and keys counts).
void DiffProfile(const std::string& file, const std::string& before, const std::string& after,
                 unsigned codePage, std::vector<ProfileChange>* changes);

// The spooler's changes: the difference of its lists read before and after
// the run (spooler_lists.h), each object once; names compared as the
// registry compares them on `codePage`.
std::vector<SpoolerChange> DiffSpoolerLists(const std::vector<SpoolerListed>& before,
                                            const std::vector<SpoolerListed>& after,
                                            unsigned codePage);

// The spooler objects behind registry (and, on Windows 9x, WIN.INI [Ports])
// differences between two machines, each object once, by the keys' paths
// (spoolerkeys.cpp). Key paths are split by characters of `codePage`.
std::vector<SpoolerChange> SpoolerChanges(const std::vector<RegKeyChange>& registry,
                                          const std::vector<ProfileChange>& profiles, bool isNT,
                                          unsigned codePage = 1252);

// The name the machine gives a host path: "C:\..." below the machine's drive.
std::string MachineFileName(const std::string& hostPath);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CHANGES_H_
