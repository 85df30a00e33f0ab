// Registry: the Reg* calls over the machine's registry store.
//
// Handles are small numbers in a per-process table; each remembers its key,
// the access it was opened for, and the subkey and value lists last
// enumerated, so walking a key of n subkeys costs one read of the list.
// Windows 98 gives every open of a key the key's one handle, which stays
// open until each of them has been closed (Wine's registry tests note it).
#include "platform/host/registry/registry.h"

#include <string.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/registry/regdata.h"
#include "platform/host/registry/regerror.h"
#include "platform/host/registry/regfile.h"

namespace qzhost {
namespace {

struct OpenKey {
  RegKeyId id = kNoKey;
  REGSAM access = KEY_ALL_ACCESS;
  unsigned opens = 1;  // Windows 98: the opens its one handle stands for
  bool childrenCached = false;
  bool valuesCached = false;
  uint64_t stamp = 0;
  std::vector<std::string> children;
  std::vector<RegValue> values;
};

struct Registry {
  unsigned generation = 0;
  RegStore store;
  bool tried = false;
  DWORD openError = ERROR_SUCCESS;
  std::map<ULONG_PTR, OpenKey> handles;  // ordinary handles; roots are implicit
  std::map<RegKeyId, ULONG_PTR> shared;  // Windows 98: the handle of each open key
  std::map<RegKeyId, OpenKey> roots;     // the caches of the predefined roots
  ULONG_PTR nextHandle = 0x1000;
  bool runSetUp = false;  // the store records and discards as the run asks
};

bool g_holdRunChanges = false;
bool g_discardRunChanges = false;
RegChangeRecord* g_runRecord = nullptr;

Registry& State() {
  static Registry registry;
  return registry;
}

void ForgetMachine(Registry& r) {
  r.store.Close();
  r.handles.clear();
  r.shared.clear();
  r.roots.clear();
  r.tried = r.runSetUp = false;
  r.openError = ERROR_SUCCESS;
  r.generation = MachineGeneration();
}

// What a storage failure means for the user, in plain words.
std::string DescribeStorageFault(const std::string& what, DWORD error, const std::string& detail) {
  std::string text = what + ": ";
  struct statvfs fs;
  bool noRoom = statvfs(MachineRoot().c_str(), &fs) == 0 &&
                static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < 64 * 1024;
  if (error == ERROR_DISK_FULL || noRoom) {
    text += "the disk is full";
  } else if (error == ERROR_ACCESS_DENIED || error == ERROR_CANTOPEN ||
             access(MachineRoot().c_str(), W_OK) != 0) {
    text += "the machine root is read-only or not writable (permission denied)";
  } else {
    text += "the disk cannot be written";
  }
  if (!detail.empty()) text += " (" + detail + ")";
  return text + "; nothing was changed by the failed step";
}

DWORD OpenMachineRegistry(Registry& r) {
  MachineError machine = PrepareMachine();
  if (machine.failed()) {
    ReportMachineFault(machine.message);
    return ERROR_CANTOPEN;
  }
  std::string path = MachineInMemory() ? ":memory:" : MachineRegistryPath();
  std::string why;
  RegStore* store = &r.store;
  DWORD error = r.store.Open(
      path, Machine().codePage,
      [store, &why] { return ImportSeedFiles(store, MachineIsNT(), &why); }, &why);
  if (error == ERROR_BADDB) {
    ReportMachineFault("registry.db at " + path + " is damaged or not a QZINST32 registry: " + why);
  } else if (error == kErrorLockViolation) {
    ReportMachineFault("the registry is locked by another program (" + path +
                       "); nothing was changed");
  } else if (error != ERROR_SUCCESS) {
    ReportMachineFault(DescribeStorageFault("cannot open the registry at " + path, error, why));
  } else {
    r.store.SetWriteFaultHandler([path](DWORD fault, const std::string& detail) {
      if (fault == kErrorLockViolation) {
        ReportMachineFault("the registry is locked by another program (" + path +
                           "); the run stored nothing");
        return;
      }
      ReportMachineFault(
          DescribeStorageFault("cannot write the registry at " + path, fault, detail));
    });
  }
  return error;
}

bool IsNT() { return MachineIsNT(); }

// Windows 95/98 answer ERROR_BADKEY for a handle they do not know.
DWORD BadHandle() { return IsNT() ? ERROR_INVALID_HANDLE : ERROR_BADKEY; }

bool IsRoot(HKEY hKey) { return RootKeyId(hKey) != kNoKey; }

// The open key behind a handle, or null with *error set.
OpenKey* Lookup(HKEY hKey, DWORD* error) {
  RegStore* store = MachineRegistry(error);
  if (store == nullptr) return nullptr;
  Registry& r = State();
  if (RegKeyId root = RootKeyId(hKey)) {
    OpenKey& key = r.roots[root];
    key.id = root;
    return &key;
  }
  auto it = r.handles.find(reinterpret_cast<ULONG_PTR>(hKey));
  if (it == r.handles.end()) {
    *error = BadHandle();
    return nullptr;
  }
  return &it->second;
}

// NT checks the access a handle was opened for; 98 has no key security.
bool Allows(const OpenKey& key, REGSAM needed) {
  return !IsNT() || (key.access & needed) == needed;
}

// The open key behind a handle opened with at least `needed` access, or null
// with *error set (for the host's own calls, which check nothing else first).
OpenKey* LookupAllowed(HKEY hKey, REGSAM needed, DWORD* error) {
  OpenKey* key = Lookup(hKey, error);
  if (key != nullptr && !Allows(*key, needed)) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return key;
}

HKEY NewHandle(RegKeyId id, REGSAM access) {
  Registry& r = State();
  if (!IsNT()) {
    auto open = r.shared.find(id);
    if (open != r.shared.end()) {
      ++r.handles[open->second].opens;
      return reinterpret_cast<HKEY>(open->second);
    }
  }
  ULONG_PTR value = r.nextHandle;
  r.nextHandle += 4;
  OpenKey& key = r.handles[value];
  key.id = id;
  key.access = access;
  if (!IsNT()) r.shared[id] = value;
  return reinterpret_cast<HKEY>(value);
}

// Ends one open of a handle; false for a handle not open.
bool CloseHandleOf(Registry& r, ULONG_PTR value) {
  auto it = r.handles.find(value);
  if (it == r.handles.end()) return false;
  if (--it->second.opens > 0) return true;
  auto open = r.shared.find(it->second.id);
  if (open != r.shared.end() && open->second == value) r.shared.erase(open);
  r.handles.erase(it);
  return true;
}

// A path that starts with a backslash: NT refuses it with 161 but below
// HKEY_CLASSES_ROOT, where 2000 and XP open it; Windows 98 finds no key so
// named (2) and creates one. Wine's registry tests record each answer.
DWORD LeadingSlashError(HKEY hKey, bool opening) {
  if (IsNT()) return opening && hKey == HKEY_CLASSES_ROOT ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
  return opening ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

bool StartsWithSlash(LPCSTR lpSubKey) { return lpSubKey != nullptr && *lpSubKey == '\\'; }

// Splits a subkey path into names: leading, trailing and doubled
// backslashes are skipped; a name over 255 characters is refused.
DWORD SplitPath(LPCSTR lpSubKey, std::vector<std::string>* names) {
  names->clear();
  if (lpSubKey == nullptr) return ERROR_SUCCESS;
  const char* p = lpSubKey;
  while (*p == '\\') ++p;
  while (*p != '\0') {
    // A trail byte 0x5C of a double-byte character is no separator.
    const char* end = FindCharOf(Machine().codePage, p, '\\');
    size_t len = end ? static_cast<size_t>(end - p) : strlen(p);
    if (len > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    if (len > 0) names->emplace_back(p, len);
    p += len;
    if (*p == '\\') ++p;
  }
  return ERROR_SUCCESS;
}

// ERROR_KEY_DELETED when the handle's key is gone, else `error`.
DWORD DeletedOr(RegStore* store, RegKeyId id, DWORD error) {
  bool exists = true;
  if (store->KeyExists(id, &exists) == ERROR_SUCCESS && !exists) return ERROR_KEY_DELETED;
  return error;
}

DWORD Walk(RegStore* store, RegKeyId start, const std::vector<std::string>& names, RegKeyId* id) {
  *id = start;
  for (const std::string& name : names) {
    RegKeyId parent = *id;
    DWORD error = store->FindChild(parent, name, id);
    if (error != ERROR_SUCCESS) return error;
    if (*id == kNoKey)
      return parent == start ? DeletedOr(store, start, ERROR_FILE_NOT_FOUND) : ERROR_FILE_NOT_FOUND;
  }
  return names.empty() ? DeletedOr(store, start, ERROR_SUCCESS) : ERROR_SUCCESS;
}

LONG OpenKeyCommon(HKEY hKey, LPCSTR lpSubKey, REGSAM access, PHKEY phkResult, bool sameHandle) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD error = ERROR_SUCCESS;
  OpenKey* parent = Lookup(hKey, &error);
  if (parent == nullptr) return error;
  const bool leadingSlash = StartsWithSlash(lpSubKey);
  if (leadingSlash && (error = LeadingSlashError(hKey, true)) != ERROR_SUCCESS) {
    if (error == ERROR_FILE_NOT_FOUND) *phkResult = nullptr;
    return error;
  }
  std::vector<std::string> names;
  if ((error = SplitPath(lpSubKey, &names)) != ERROR_SUCCESS) return error;
  if (names.empty() && !leadingSlash && (sameHandle || IsRoot(hKey))) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  RegStore* store = MachineRegistry(&error);
  RegKeyId id = kNoKey;
  error = Walk(store, parent->id, names, &id);
  if (error != ERROR_SUCCESS) {
    *phkResult = nullptr;
    return error;
  }
  *phkResult = NewHandle(id, access);
  return ERROR_SUCCESS;
}

// Refreshes the handle's lists when anything changed since they were read.
void Revalidate(RegStore* store, OpenKey* key) {
  uint64_t stamp = store->ChangeStamp();
  if (stamp != key->stamp) {
    key->childrenCached = key->valuesCached = false;
    key->stamp = stamp;
  }
}

DWORD Children(OpenKey* key, const std::vector<std::string>** children) {
  DWORD error = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&error);
  if (store == nullptr) return error;
  Revalidate(store, key);
  if (!key->childrenCached) {
    error = store->ListChildren(key->id, &key->children);
    if (error == ERROR_SUCCESS && key->children.empty()) error = DeletedOr(store, key->id, 0);
    if (error != ERROR_SUCCESS) return error;
    key->childrenCached = true;
  }
  *children = &key->children;
  return ERROR_SUCCESS;
}

DWORD Values(OpenKey* key, const std::vector<RegValue>** values) {
  DWORD error = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&error);
  if (store == nullptr) return error;
  Revalidate(store, key);
  if (!key->valuesCached) {
    error = store->ListValues(key->id, &key->values);
    if (error == ERROR_SUCCESS && key->values.empty()) error = DeletedOr(store, key->id, 0);
    if (error != ERROR_SUCCESS) return error;
    key->valuesCached = true;
  }
  *values = &key->values;
  return ERROR_SUCCESS;
}

const DWORD kMaxValueData98 = 16300;

}  // namespace

size_t MaxValueNameLength(bool isNT) { return isNT ? 16383 : 255; }

RegStore* MachineRegistry(DWORD* error) {
  Registry& r = State();
  if (r.generation != MachineGeneration()) ForgetMachine(r);
  if (!r.tried) {
    r.tried = true;
    r.openError = OpenMachineRegistry(r);
  }
  if (r.openError != ERROR_SUCCESS) {
    *error = r.openError;
    return nullptr;
  }
  if (g_holdRunChanges) r.store.HoldChangesUntilClose();
  if (!r.runSetUp) {
    r.runSetUp = true;
    r.store.RecordChanges(g_runRecord);
    if (g_discardRunChanges) r.store.DiscardChangesAtClose();
  }
  return &r.store;
}

void HoldRegistryChangesForTheRun() { g_holdRunChanges = true; }

void DiscardRegistryChangesOfTheRun(bool discard) {
  g_discardRunChanges = discard;
  State().runSetUp = false;
}

void RecordRegistryChanges(RegChangeRecord* record) {
  g_runRecord = record;
  State().runSetUp = false;
}

namespace {

// Runs a listing of an open key's children, `list(store, key)`, which answers
// whether it found any: where it found none, a key deleted meanwhile is told
// apart from a key without children.
template <typename List>
LONG ListBelow(HKEY hKey, REGSAM access, List list) {
  DWORD error = ERROR_SUCCESS;
  OpenKey* key = LookupAllowed(hKey, access, &error);
  if (key == nullptr) return static_cast<LONG>(error);
  RegStore* store = MachineRegistry(&error);
  if (store == nullptr) return static_cast<LONG>(error);
  bool any = false;
  error = list(store, key, &any);
  if (error == ERROR_SUCCESS && !any) error = DeletedOr(store, key->id, 0);
  return static_cast<LONG>(error);
}

}  // namespace

LONG SummarizeSubkeys(HKEY hKey, const std::string& valueName, const std::string& subkeyName,
                      std::vector<RegChildSummary>* subkeys, bool onlyWithSubkey) {
  subkeys->clear();
  return ListBelow(hKey, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE,
                   [&](RegStore* store, OpenKey* key, bool* any) {
                     DWORD error = store->SummarizeChildren(key->id, valueName, subkeyName, subkeys,
                                                            onlyWithSubkey);
                     *any = !subkeys->empty();
                     return error;
                   });
}

LONG SubkeysWithDriver(HKEY hKey, const RegChildValueVisitor& visit, bool withData) {
  return ListBelow(hKey, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE,
                   [&](RegStore* store, OpenKey* key, bool* any) {
                     return store->ChildrenWithDriver(
                         key->id,
                         [&](std::string_view name, DWORD type, std::string_view data) {
                           *any = true;
                           visit(name, type, data);
                         },
                         withData);
                   });
}

RegKeyId KeyIdOf(HKEY hKey) {
  DWORD error = ERROR_SUCCESS;
  const OpenKey* key = Lookup(hKey, &error);
  return key != nullptr ? key->id : kNoKey;
}

LONG VisitSubkeyNames(HKEY hKey, const RegNameVisitor& visit) {
  return ListBelow(hKey, KEY_ENUMERATE_SUB_KEYS, [&](RegStore* store, OpenKey* key, bool* any) {
    Revalidate(store, key);
    if (key->childrenCached) {
      *any = true;  // a list read from the key, which was there then
      for (size_t i = 0; i < key->children.size(); ++i)
        visit(i, key->children.size(), key->children[i]);
      return DWORD{ERROR_SUCCESS};
    }
    // Read for the caller alone: the handle's list serves RegEnumKeyExA, and
    // a copy of thousands of names would cost as much as reading them.
    return store->VisitChildNames(key->id, [&](size_t index, size_t count, std::string_view name) {
      *any = true;
      visit(index, count, name);
    });
  });
}

LONG ListSubkeyNames(HKEY hKey, std::vector<std::string>* names) {
  names->clear();
  return VisitSubkeyNames(hKey, [names](size_t index, size_t count, std::string_view name) {
    if (index == 0) names->reserve(count);
    names->emplace_back(name);
  });
}

LONG ListValueNames(HKEY hKey, std::vector<std::string>* names) {
  names->clear();
  DWORD error = ERROR_SUCCESS;
  OpenKey* key = LookupAllowed(hKey, KEY_QUERY_VALUE, &error);
  if (key == nullptr) return static_cast<LONG>(error);
  const std::vector<RegValue>* values = nullptr;
  if ((error = Values(key, &values)) != ERROR_SUCCESS) return static_cast<LONG>(error);
  names->reserve(values->size());
  for (const RegValue& value : *values) names->push_back(value.name);
  return ERROR_SUCCESS;
}

void CloseMachineRegistry() { ForgetMachine(State()); }

}  // namespace qzhost

using namespace qzhost;

namespace {

// Keeps a failure of a call that changes or opens keys for the host entry's
// account of why a command failed.
LONG Noted(const char* call, const char* kind, LPCSTR object, LONG error) {
  if (error != ERROR_SUCCESS)
    NoteFailedCall(call, static_cast<DWORD>(error), kind, object ? object : "");
  return error;
}

// RegEnumValueA whose name buffer is too small while the data would fit:
// XP leaves the name and its count alone and writes a NUL at the data's
// length; Windows 98 also writes as much of the name as fits, with its
// length as the count (Wine's registry tests: 2 where NT keeps 3).
void CutNameAndMarkData(const RegValue& value, LPSTR lpName, LPDWORD lpcchName, LPBYTE lpData,
                        DWORD room) {
  const DWORD size = static_cast<DWORD>(value.data.size());
  if (lpData != nullptr && size < room) lpData[size] = 0;
  if (IsNT() || *lpcchName == 0) return;
  const DWORD cut = *lpcchName - 1;
  memcpy(lpName, value.name.data(), cut);
  lpName[cut] = '\0';
  *lpcchName = cut;
}

}  // namespace

extern "C" {

static LONG RegOpenKeyABody(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegOpenKeyA", &error)) return error;
  if (hKey == nullptr && (lpSubKey == nullptr || *lpSubKey == '\0') && phkResult != nullptr) {
    *phkResult = nullptr;
    return ERROR_SUCCESS;
  }
  return OpenKeyCommon(hKey, lpSubKey, KEY_ALL_ACCESS, phkResult, true);
}

static LONG RegOpenKeyExABody(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                              PHKEY phkResult) {
  (void)ulOptions;
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegOpenKeyExA", &error)) return error;
  return OpenKeyCommon(hKey, lpSubKey, samDesired, phkResult, false);
}

static LONG RegCreateKeyABody(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegCreateKeyA", &error)) return error;
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* parent = Lookup(hKey, &error);
  if (parent == nullptr) return error;
  if (StartsWithSlash(lpSubKey) && (error = LeadingSlashError(hKey, false)) != ERROR_SUCCESS)
    return error;
  std::vector<std::string> names;
  if ((error = SplitPath(lpSubKey, &names)) != ERROR_SUCCESS) return error;
  if (names.empty() && IsRoot(hKey)) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  RegStore* store = MachineRegistry(&error);
  RegKeyId start = parent->id;
  RegTransaction tx(store);
  if ((error = tx.Status()) != ERROR_SUCCESS) return error;
  RegKeyId id = start;
  error = DeletedOr(store, start, ERROR_SUCCESS);
  for (size_t i = 0; error == ERROR_SUCCESS && i < names.size(); ++i)
    error = store->CreateChild(id, names[i], &id);
  if (error == ERROR_SUCCESS) error = tx.Commit();
  if (error != ERROR_SUCCESS) return error;
  *phkResult = NewHandle(id, KEY_ALL_ACCESS);
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegQueryValueExA", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  if (!Allows(*key, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegStore* store = MachineRegistry(&error);
  RegValue value;
  error = store->GetValue(key->id, lpValueName ? lpValueName : "", &value);
  if (error == ERROR_FILE_NOT_FOUND) {
    // NT sets the size of a missing value to 0; Windows 98 clears the type.
    if (IsNT() && lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
    if (!IsNT() && lpType != nullptr) *lpType = REG_NONE;
    return DeletedOr(store, key->id, error);
  }
  if (error != ERROR_SUCCESS) return error;
  // The size is read before the type is written: a caller may give one
  // variable for both (Wine's tests pass &size twice).
  const DWORD room = lpcbData != nullptr ? *lpcbData : 0;
  DWORD size = static_cast<DWORD>(value.data.size());
  if (lpType != nullptr) *lpType = value.type;
  if (lpData != nullptr && room < size)
    error = ERROR_MORE_DATA;
  else if (lpData != nullptr)
    CopyValueData(value.type, value.data, lpData, room);
  if (lpcbData != nullptr) *lpcbData = size;
  return error;
}

static LONG RegSetValueExABody(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                               const BYTE* lpData, DWORD cbData) {
  (void)Reserved;
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegSetValueExA", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  std::string name = lpValueName ? lpValueName : "";
  if (name.size() > MaxValueNameLength(IsNT())) return ERROR_INVALID_PARAMETER;
  if (lpData == nullptr && (cbData > 0 || !IsNT())) return ERROR_INVALID_PARAMETER;
  if (!IsNT() && cbData > kMaxValueData98) return ERROR_INVALID_PARAMETER;
  if (!Allows(*key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegStore* store = MachineRegistry(&error);
  RegTransaction tx(store);
  if ((error = tx.Status()) != ERROR_SUCCESS) return error;
  error = DeletedOr(store, key->id, ERROR_SUCCESS);
  if (error == ERROR_SUCCESS)
    error = store->SetValue(key->id, name, dwType, StoredValueData(IsNT(), dwType, lpData, cbData));
  return error == ERROR_SUCCESS ? tx.Commit() : error;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegEnumKeyExA", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr)
    return ERROR_INVALID_PARAMETER;
  if (!Allows(*key, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  const std::vector<std::string>* children = nullptr;
  if ((error = Children(key, &children)) != ERROR_SUCCESS) return error;
  if (dwIndex >= children->size()) return ERROR_NO_MORE_ITEMS;
  const std::string& name = (*children)[dwIndex];
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = '\0';
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegEnumValueA", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  if (!Allows(*key, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const std::vector<RegValue>* values = nullptr;
  if ((error = Values(key, &values)) != ERROR_SUCCESS) return error;
  if (dwIndex >= values->size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = (*values)[dwIndex];
  DWORD size = static_cast<DWORD>(value.data.size());
  const DWORD room = lpcbData != nullptr ? *lpcbData : 0;
  // The type and the data size are reported even when something does not fit.
  bool nameFits = value.name.size() + 1 <= *lpcchValueName;
  bool dataFits = lpData == nullptr || room >= size;
  if (lpType != nullptr) *lpType = value.type;
  if (lpcbData != nullptr) *lpcbData = size;
  if (!nameFits) {
    if (dataFits) CutNameAndMarkData(value, lpValueName, lpcchValueName, lpData, room);
    return ERROR_MORE_DATA;
  }
  if (!dataFits) return ERROR_MORE_DATA;  // the name and its count are left alone
  memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  if (lpData != nullptr) CopyValueData(value.type, value.data, lpData, room);
  return ERROR_SUCCESS;
}

static LONG RegDeleteValueABody(HKEY hKey, LPCSTR lpValueName) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegDeleteValueA", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  if (!Allows(*key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegStore* store = MachineRegistry(&error);
  RegTransaction tx(store);
  if ((error = tx.Status()) != ERROR_SUCCESS) return error;
  error = store->DeleteValue(key->id, lpValueName ? lpValueName : "");
  if (error == ERROR_FILE_NOT_FOUND) return DeletedOr(store, key->id, error);
  return error == ERROR_SUCCESS ? tx.Commit() : error;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegDeleteKeyA", &error)) return error;
  OpenKey* parent = Lookup(hKey, &error);
  if (parent == nullptr) return error;
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  if (StartsWithSlash(lpSubKey) && IsNT()) return ERROR_BAD_PATHNAME;
  std::vector<std::string> names;
  if ((error = SplitPath(lpSubKey, &names)) != ERROR_SUCCESS) return error;
  RegStore* store = MachineRegistry(&error);
  RegKeyId id = kNoKey;
  if ((error = Walk(store, parent->id, names, &id)) != ERROR_SUCCESS) return error;
  if (RootKeyName(id) != nullptr) return ERROR_ACCESS_DENIED;
  RegTransaction tx(store);
  if ((error = tx.Status()) != ERROR_SUCCESS) return error;
  // NT deletes only a key without subkeys; Windows 95/98 delete the whole tree.
  bool hasChildren = false;
  if (IsNT() && (error = store->HasChildren(id, &hasChildren)) != ERROR_SUCCESS) return error;
  if (hasChildren) return ERROR_ACCESS_DENIED;
  error = store->DeleteTree(id);
  return error == ERROR_SUCCESS ? tx.Commit() : error;
}

static LONG RegFlushKeyBody(HKEY hKey) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegFlushKey", &error)) return error;
  OpenKey* key = Lookup(hKey, &error);
  if (key == nullptr) return error;
  RegStore* store = MachineRegistry(&error);
  if ((error = DeletedOr(store, key->id, ERROR_SUCCESS)) != ERROR_SUCCESS) return error;
  if (MachineInMemory()) return ERROR_SUCCESS;
  return store->Flush();
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  DWORD error = ERROR_SUCCESS;
  if (ShouldFail("RegCloseKey", &error)) return error;
  if (IsRoot(hKey)) return ERROR_SUCCESS;
  Registry& r = State();
  if (r.generation != MachineGeneration()) ForgetMachine(r);
  return CloseHandleOf(r, reinterpret_cast<ULONG_PTR>(hKey)) ? ERROR_SUCCESS : BadHandle();
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return Noted("RegOpenKeyA", "key", lpSubKey, RegOpenKeyABody(hKey, lpSubKey, phkResult));
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
  return Noted("RegOpenKeyExA", "key", lpSubKey,
               RegOpenKeyExABody(hKey, lpSubKey, ulOptions, samDesired, phkResult));
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return Noted("RegCreateKeyA", "key", lpSubKey, RegCreateKeyABody(hKey, lpSubKey, phkResult));
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
  return Noted("RegSetValueExA", "value", lpValueName,
               RegSetValueExABody(hKey, lpValueName, Reserved, dwType, lpData, cbData));
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return Noted("RegDeleteValueA", "value", lpValueName, RegDeleteValueABody(hKey, lpValueName));
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  return Noted("RegFlushKey", "", nullptr, RegFlushKeyBody(hKey));
}

}  // extern "C"
