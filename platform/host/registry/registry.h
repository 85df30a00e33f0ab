// Host-side access to the emulated machine's registry, for host modules and tools.
//
// The Reg* calls themselves are declared in platform/win32.h. Beyond them the
// registry module answers these contracts:
// - RegOpenKeyA/RegOpenKeyExA: a missing key gives 2 with *phkResult NULL; a
//   bad handle gives 6 (NT) or ERROR_BADKEY 1010 (98) with *phkResult kept;
//   a null phkResult gives 87. RegOpenKeyA with NULL or "" gives back hKey.
// - Paths: trailing and doubled backslashes are accepted; a leading one gives
//   161 on NT (below HKEY_CLASSES_ROOT an open skips it, as 2000/XP do); on
//   98 an open finds no key (2) and a create skips it; a key name over 255
//   characters gives 87.
// - Windows 98 gives every open of a key the key's one handle; it stays open
//   until each open is closed. NT gives each open a handle of its own.
// - Value names over 16,383 (NT) or 255 (98) characters are refused with 87.
// - On NT a handle opened for some access refuses other uses with 5 (98 has no
//   key security). A handle whose key was deleted answers 1018.
// - Each changing call is one transaction; RegFlushKey makes changes durable.
// - A damaged registry.db is reported as a machine fault and never rewritten;
//   every call then fails with ERROR_BADDB (1009).
#ifndef QZINST32_PLATFORM_HOST_REGISTRY_H_
#define QZINST32_PLATFORM_HOST_REGISTRY_H_

#include <string>
#include <vector>

#include "platform/host/registry/regstore.h"
#include "platform/win32.h"

namespace qzhost {

// The current machine's registry, opened on first use (and created with the
// default image of its personality when the machine has none). Null, with
// *error set, when it cannot be used.
RegStore* MachineRegistry(DWORD* error);

// The subkeys of an open key, each with its value `valueName` and whether it
// has a subkey `subkeyName`, read at once (see RegStore::SummarizeChildren).
// Registry error numbers, as RegEnumKeyExA would give them.
LONG SummarizeSubkeys(HKEY hKey, const std::string& valueName, const std::string& subkeyName,
                      std::vector<RegChildSummary>* subkeys, bool onlyWithSubkey = false);

// The subkeys of an open key that have a value named Driver, each with it
// (see RegStore::ChildrenWithDriver).
LONG SubkeysWithDriver(HKEY hKey, const RegChildValueVisitor& visit, bool withData = true);

// All subkey names (or value names) of an open key in enumeration order, as
// RegEnumKeyExA (RegEnumValueA) would give them one call at a time.
LONG ListSubkeyNames(HKEY hKey, std::vector<std::string>* names);
// The subkey names one at a time, for a caller that keeps them its own way.
LONG VisitSubkeyNames(HKEY hKey, const RegNameVisitor& visit);
LONG ListValueNames(HKEY hKey, std::vector<std::string>* names);

// The store's id of the key an open handle names; kNoKey for a bad handle.
RegKeyId KeyIdOf(HKEY hKey);

// Makes the registry hold every change of this run in one transaction, which
// CloseMachineRegistry commits (RegFlushKey commits what came before it): a
// run then stores all of its changes or, if it dies, none.
void HoldRegistryChangesForTheRun();

// Makes the run's one transaction (see above) end in a rollback instead: the
// run sees its own changes and the registry file keeps none, even at
// RegFlushKey. From the registry's next opening (or now, when it is not yet
// open) until false is set and it is closed.
void DiscardRegistryChangesOfTheRun(bool discard);

// Has the registry note in `record` how each key was before the run's first
// change of it (see regrecord.h); null stops. Keys made by opening a machine
// that had no registry are not changes. The record must outlive its use.
void RecordRegistryChanges(RegChangeRecord* record);

// Closes the registry at the end of a run, which makes the run's changes
// durable; a failure to do so is reported as a machine fault. The next call
// of MachineRegistry opens it again.
void CloseMachineRegistry();

// Longest key name and value name the personality accepts.
const size_t kMaxKeyNameLength = 255;
size_t MaxValueNameLength(bool isNT);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGISTRY_H_
