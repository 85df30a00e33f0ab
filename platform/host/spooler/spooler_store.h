// The spooler's storage: its objects in the emulated registry, reached
// through the public Reg* calls and the registry's own calls that read many
// keys at once (layout in spooler_layout.h).
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_STORE_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_STORE_H_

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/registry/registry.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/spooler/spooler_pairlist.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {

// A value of a spooler object's key, as its Add call writes it.
struct NamedText {
  const char* value;
  const char* text;
};
struct NamedDword {
  const char* value;
  DWORD data;
};

// An open key below HKEY_LOCAL_MACHINE, closed with the object.
class StoreKey {
 public:
  StoreKey() = default;
  ~StoreKey() { Close(); }
  StoreKey(const StoreKey&) = delete;
  StoreKey& operator=(const StoreKey&) = delete;

  // Registry error numbers; ERROR_SUCCESS when the key is open.
  LONG Open(const std::string& path);
  LONG Create(const std::string& path);
  // Opens `path` below an open key: one lookup per name below `parent`
  // instead of one per name from HKEY_LOCAL_MACHINE down.
  LONG OpenBelow(const StoreKey& parent, const std::string& path);
  bool IsOpen() const { return m_hKey != nullptr; }
  // The registry's id of the key; kNoKey when it is not open.
  RegKeyId Id() const { return m_hKey != nullptr ? KeyIdOf(m_hKey) : kNoKey; }

  // False when the value is missing or has another type.
  bool ReadString(const char* value, std::string* text) const;
  bool ReadDword(const char* value, DWORD* data) const;
  bool ReadMultiString(const char* value, std::vector<std::string>* items) const;
  bool HasValue(const char* value) const;

  LONG WriteString(const char* value, const char* text);
  LONG WriteDword(const char* value, DWORD data);
  LONG WriteMultiString(const char* value, const std::vector<std::string>& items);
  LONG WriteBinary(const char* value, const BYTE* data, DWORD size);
  // Each in order, up to the first refusal.
  LONG WriteStrings(const NamedText* values, size_t count);
  LONG WriteDwords(const NamedDword* values, size_t count);

  // The subkeys with one value and whether they have one subkey (or only
  // those that have it), read at once (SummarizeSubkeys).
  LONG Summarize(const char* valueName, const char* subkeyName,
                 std::vector<RegChildSummary>* subkeys, bool onlyWithSubkey = false) const;
  // The subkeys that have a value named Driver, each with it (SubkeysWithDriver).
  LONG SubkeysWithDriver(const RegChildValueVisitor& visit, bool withData = true) const;
  // Names in the registry's enumeration order; empty when the key is not open.
  std::vector<std::string> SubkeyNames() const;
  LONG VisitSubkeyNames(const RegNameVisitor& visit) const;
  std::vector<std::string> ValueNames() const;

 private:
  void Close();
  bool ReadRaw(const char* value, DWORD expectedType, std::vector<BYTE>* data) const;

  HKEY m_hKey = nullptr;
};

bool KeyExists(const std::string& path);

// Names compared the way the spooler does: without regard to case.
bool SameName(const char* a, const char* b);
bool ContainsName(const std::vector<std::string>& names, const std::string& name);

// NULL and "" name the local machine, the only server the emulation serves.
bool IsLocalServer(LPCSTR pName);

// The canonical name of `requested` (NULL or "" = the machine's own
// environment), or false with ERROR_INVALID_ENVIRONMENT in *error: unknown
// names, and "Windows NT x86" on the Windows 98 personality.
bool ResolveEnvironment(LPCSTR requested, std::string* env, DWORD* error);
const char* OwnEnvironment();

// Names of the monitors that installed drivers of any environment name as
// their language monitor.
std::vector<std::string> LanguageMonitorNames();

// True when a monitor of that name is installed (its key has a Driver value).
bool MonitorInstalled(const std::string& name);

// An installed monitor: a key under Monitors with a Driver value (one row of
// a MonitorList).
struct MonitorEntry {
  std::string name;
  std::string dll;  // the Driver value
};

// The installed monitors in key order. Read once per state of the registry:
// the two calls of an enumeration, and the calls between changes, share it.
std::shared_ptr<const MonitorList> InstalledMonitorEntries();
// The installed monitors that have a Ports subkey (the ones that can claim
// ports), in key order: found without reading the others.
std::vector<MonitorEntry> MonitorsWithPorts();

// The registry's change stamp (RegStore::ChangeStamp), 0 without a registry.
uint64_t RegistryStamp();

// When a list that the spooler keeps was read: on which machine (its
// generation) and at which registry stamp.
struct ReadingStamp {
  bool valid = false;
  unsigned generation = 0;
  uint64_t stamp = 0;

  // True when the list was read at registry stamp `at` of the current machine.
  bool IsAt(uint64_t at) const;
  void Set(uint64_t at);
  // After a change of this process alone, from `before` to `after`, that left
  // the list as it was.
  void Advance(uint64_t before, uint64_t after) {
    if (IsAt(before)) stamp = after;
  }
};
// The spooler's own change: `entry` was installed by this process alone
// between the registry stamps `before` and `after`. Keeps the installed
// monitors read at `before` with the entry added, instead of reading them all
// again.
void NoteMonitorInstalled(uint64_t before, uint64_t after, const MonitorEntry& entry);
// After a change of this process alone that left the monitors as they were.
void KeepMonitorsAcross(uint64_t before, uint64_t after);

// Creates (or opens) the key at `path` and lets `write` fill it, as one
// registry change: on any failure the registry stays as it was, so a spooler
// call never leaves half an object behind, even when the process dies.
DWORD StoreKeyAtomically(const std::string& path, const std::function<LONG(StoreKey*)>& write);

// Creates (or takes over) the key of a monitor or print processor and sets
// its Driver value, atomically.
DWORD StoreComponent(const std::string& path, const char* dllName);

// A registry name that cannot be one key: empty or holding a backslash.
bool IsBadKeyName(const char* name);

// Registry answers that mean "not there" rather than a storage fault.
inline bool IsMissing(LONG error) { return error == ERROR_FILE_NOT_FOUND; }

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_STORE_H_
