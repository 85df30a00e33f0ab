// The spooler's storage in the emulated registry: through the public Reg*
// calls, and the registry's own calls that read many keys at once.
#include "platform/host/spooler/spooler_store.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/machine.h"
#include "platform/host/registry/registry.h"
#include "platform/host/spooler/spooler_layout.h"

namespace qzhost {
namespace spool {

LONG StoreKey::Open(const std::string& path) {
  Close();
  HKEY hKey = nullptr;
  LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

LONG StoreKey::Create(const std::string& path) {
  Close();
  HKEY hKey = nullptr;
  LONG lResult = RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

LONG StoreKey::Summarize(const char* valueName, const char* subkeyName,
                         std::vector<RegChildSummary>* subkeys, bool onlyWithSubkey) const {
  subkeys->clear();
  if (m_hKey == nullptr) return ERROR_INVALID_HANDLE;
  return SummarizeSubkeys(m_hKey, valueName, subkeyName, subkeys, onlyWithSubkey);
}

LONG StoreKey::SubkeysWithDriver(const RegChildValueVisitor& visit, bool withData) const {
  if (m_hKey == nullptr) return ERROR_INVALID_HANDLE;
  return qzhost::SubkeysWithDriver(m_hKey, visit, withData);
}

LONG StoreKey::OpenBelow(const StoreKey& parent, const std::string& path) {
  Close();
  if (parent.m_hKey == nullptr) return ERROR_INVALID_HANDLE;
  HKEY hKey = nullptr;
  LONG lResult = RegOpenKeyExA(parent.m_hKey, path.c_str(), 0, KEY_ALL_ACCESS, &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

void StoreKey::Close() {
  if (m_hKey != nullptr) RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

bool StoreKey::ReadRaw(const char* value, DWORD expectedType, std::vector<BYTE>* data) const {
  if (m_hKey == nullptr) return false;
  // Ask for the size, then read; retry if the value grew in between.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    if (RegQueryValueExA(m_hKey, value, nullptr, &dwType, nullptr, &cbData) != ERROR_SUCCESS) {
      return false;
    }
    if (dwType != expectedType) return false;
    data->assign(cbData + 1, 0);
    DWORD cbRead = cbData + 1;
    LONG lResult = RegQueryValueExA(m_hKey, value, nullptr, &dwType, data->data(), &cbRead);
    if (lResult == ERROR_MORE_DATA) continue;
    if (lResult != ERROR_SUCCESS || dwType != expectedType) return false;
    data->resize(cbRead);
    return true;
  }
  return false;
}

bool StoreKey::ReadString(const char* value, std::string* text) const {
  std::vector<BYTE> data;
  if (!ReadRaw(value, REG_SZ, &data)) return false;
  // The stored size may or may not count a terminator; stop at the first NUL.
  const char* p = reinterpret_cast<const char*>(data.data());
  text->assign(p, strnlen(p, data.size()));
  return true;
}

bool StoreKey::ReadDword(const char* value, DWORD* dwData) const {
  std::vector<BYTE> data;
  if (!ReadRaw(value, REG_DWORD, &data) || data.size() < sizeof(DWORD)) return false;
  memcpy(dwData, data.data(), sizeof(DWORD));
  return true;
}

bool StoreKey::ReadMultiString(const char* value, std::vector<std::string>* items) const {
  std::vector<BYTE> data;
  if (!ReadRaw(value, REG_MULTI_SZ, &data)) return false;
  items->clear();
  const char* p = reinterpret_cast<const char*>(data.data());
  size_t left = data.size();
  while (left > 0 && *p != '\0') {
    size_t len = strnlen(p, left);
    items->emplace_back(p, len);
    if (len == left) break;
    p += len + 1;
    left -= len + 1;
  }
  return true;
}

bool StoreKey::HasValue(const char* value) const {
  if (m_hKey == nullptr) return false;
  DWORD cbData = 0;
  return RegQueryValueExA(m_hKey, value, nullptr, nullptr, nullptr, &cbData) == ERROR_SUCCESS;
}

LONG StoreKey::WriteString(const char* value, const char* text) {
  if (text == nullptr) text = "";
  return RegSetValueExA(m_hKey, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1));
}

LONG StoreKey::WriteDword(const char* value, DWORD data) {
  return RegSetValueExA(m_hKey, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof(data));
}

LONG StoreKey::WriteStrings(const NamedText* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    LONG lResult = WriteString(values[i].value, values[i].text);
    if (lResult != ERROR_SUCCESS) return lResult;
  }
  return ERROR_SUCCESS;
}

LONG StoreKey::WriteDwords(const NamedDword* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    LONG lResult = WriteDword(values[i].value, values[i].data);
    if (lResult != ERROR_SUCCESS) return lResult;
  }
  return ERROR_SUCCESS;
}

LONG StoreKey::WriteMultiString(const char* value, const std::vector<std::string>& items) {
  std::string data;
  for (const std::string& item : items) data.append(item).push_back('\0');
  data.push_back('\0');
  return RegSetValueExA(m_hKey, value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

LONG StoreKey::WriteBinary(const char* value, const BYTE* data, DWORD size) {
  static const BYTE kNothing = 0;
  return RegSetValueExA(m_hKey, value, 0, REG_BINARY, data ? data : &kNothing, data ? size : 0);
}

std::vector<std::string> StoreKey::SubkeyNames() const {
  std::vector<std::string> names;
  if (m_hKey != nullptr) ListSubkeyNames(m_hKey, &names);
  return names;
}

LONG StoreKey::VisitSubkeyNames(const RegNameVisitor& visit) const {
  return m_hKey != nullptr ? qzhost::VisitSubkeyNames(m_hKey, visit)
                           : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

std::vector<std::string> StoreKey::ValueNames() const {
  std::vector<std::string> names;
  if (m_hKey != nullptr) ListValueNames(m_hKey, &names);
  return names;
}

bool KeyExists(const std::string& path) {
  StoreKey key;
  return key.Open(path) == ERROR_SUCCESS;
}

bool SameName(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

bool ContainsName(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& each : names) {
    if (SameName(each.c_str(), name.c_str())) return true;
  }
  return false;
}

bool IsLocalServer(LPCSTR pName) { return pName == nullptr || pName[0] == '\0'; }

const char* OwnEnvironment() { return MachineIsNT() ? kEnvNtX86 : kEnvWin40; }

bool ResolveEnvironment(LPCSTR requested, std::string* env, DWORD* error) {
  if (requested == nullptr || requested[0] == '\0') {
    *env = OwnEnvironment();
    return true;
  }
  if (SameName(requested, kEnvWin40)) {
    *env = kEnvWin40;
    return true;
  }
  if (MachineIsNT() && SameName(requested, kEnvNtX86)) {
    *env = kEnvNtX86;
    return true;
  }
  *error = ERROR_INVALID_ENVIRONMENT;
  return false;
}

namespace {

// The text of a REG_SZ value as SummarizeSubkeys reads it (up to its NUL).
std::string SummaryText(const RegChildSummary& entry) {
  if (!entry.hasValue || entry.type != REG_SZ) return std::string();
  return entry.data.substr(0, entry.data.find('\0'));
}

// Adds the "Monitor" value of every driver key below `driversPath`.
void CollectDriverMonitors(const std::string& driversPath, std::vector<std::string>* names) {
  StoreKey drivers;
  std::vector<RegChildSummary> entries;
  if (drivers.Open(driversPath) != ERROR_SUCCESS ||
      drivers.Summarize(kDriverMonitor, "", &entries) != ERROR_SUCCESS) {
    return;
  }
  for (const RegChildSummary& entry : entries) {
    std::string monitor = SummaryText(entry);
    if (!monitor.empty() && !ContainsName(*names, monitor)) names->push_back(monitor);
  }
}

// The installed monitors of the machine as last read, and when.
struct MonitorMemo {
  ReadingStamp read;
  std::shared_ptr<MonitorList> entries;  // handed out as const
};

// Never destroyed: freeing thousands of names at exit would cost a run for
// nothing.
MonitorMemo& TheMonitorMemo() {
  static MonitorMemo* memo = new MonitorMemo;
  return *memo;
}

std::shared_ptr<MonitorList> ReadMonitorEntries() {
  auto entries = std::make_shared<MonitorList>();
  StoreKey monitors;
  if (monitors.Open(kMonitorsKey) != ERROR_SUCCESS) return entries;
  // The Driver value as SummaryText reads it: a REG_SZ up to its NUL (the
  // list keeps each text so). Windows 98 lists monitors by their names alone
  // (level 1): their DLLs are not read there.
  monitors.SubkeysWithDriver(
      [&entries](std::string_view name, DWORD type, std::string_view dll) {
        entries->Add(name, type == REG_SZ ? dll : std::string_view());
      },
      MachineIsNT());
  return entries;
}

// Inserts a monitor where the registry lists it: by the names as it sorts them.
void InsertInKeyOrder(MonitorList* monitors, std::string_view name, std::string_view dll) {
  const unsigned codePage = Machine().codePage;
  const std::string upper = RegUpperName(codePage, std::string(name));
  size_t low = 0, high = monitors->size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    if (RegNameOrderLess(codePage, RegUpperName(codePage, std::string(monitors->First(mid))),
                         upper))
      low = mid + 1;
    else
      high = mid;
  }
  monitors->Insert(low, name, dll);
}

}  // namespace

std::vector<std::string> LanguageMonitorNames() {
  std::vector<std::string> names;
  StoreKey environments;
  if (environments.Open(kEnvironmentsKey) != ERROR_SUCCESS) return names;
  const bool bNT = MachineIsNT();
  for (const std::string& env : environments.SubkeyNames()) {
    std::string driversPath = EnvironmentKey(env) + "\\" + kDriversSubkey;
    if (!bNT) {
      CollectDriverMonitors(driversPath, &names);
      continue;
    }
    // NT keeps one more level, Version-<n>, below Drivers.
    StoreKey drivers;
    if (drivers.Open(driversPath) != ERROR_SUCCESS) continue;
    for (const std::string& version : drivers.SubkeyNames()) {
      CollectDriverMonitors(driversPath + "\\" + version, &names);
    }
  }
  return names;
}

bool MonitorInstalled(const std::string& name) {
  StoreKey key;
  return key.Open(MonitorKey(name)) == ERROR_SUCCESS && key.HasValue(kComponentDriver);
}

bool ReadingStamp::IsAt(uint64_t at) const {
  return valid && generation == MachineGeneration() && stamp == at;
}

void ReadingStamp::Set(uint64_t at) {
  valid = true;
  generation = MachineGeneration();
  stamp = at;
}

uint64_t RegistryStamp() {
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  return store != nullptr ? store->ChangeStamp() : 0;
}

std::shared_ptr<const MonitorList> InstalledMonitorEntries() {
  MonitorMemo& memo = TheMonitorMemo();
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return std::make_shared<MonitorList>();
  const uint64_t stamp = store->ChangeStamp();
  if (!memo.read.IsAt(stamp)) {
    memo.entries = ReadMonitorEntries();  // one query: one state of the registry
    memo.read.Set(stamp);
  }
  return memo.entries;
}

void KeepMonitorsAcross(uint64_t before, uint64_t after) {
  TheMonitorMemo().read.Advance(before, after);
}

void NoteMonitorInstalled(uint64_t before, uint64_t after, const MonitorEntry& entry) {
  MonitorMemo& memo = TheMonitorMemo();
  if (!memo.read.IsAt(before)) return;
  // Copied only while a caller still holds the list as it was.
  if (memo.entries.use_count() != 1) memo.entries = std::make_shared<MonitorList>(*memo.entries);
  InsertInKeyOrder(memo.entries.get(), entry.name, MachineIsNT() ? entry.dll : std::string());
  memo.read.Advance(before, after);
}

std::vector<MonitorEntry> MonitorsWithPorts() {
  std::vector<MonitorEntry> claiming;
  StoreKey monitors;
  std::vector<RegChildSummary> keys;
  if (monitors.Open(kMonitorsKey) != ERROR_SUCCESS ||
      monitors.Summarize(kComponentDriver, kMonitorPortsSubkey, &keys, true) != ERROR_SUCCESS) {
    return claiming;
  }
  for (const RegChildSummary& key : keys) {
    if (key.hasValue) claiming.push_back({key.name, SummaryText(key)});
  }
  return claiming;
}

DWORD StoreKeyAtomically(const std::string& path, const std::function<LONG(StoreKey*)>& write) {
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return dwError;
  RegTransaction tx(store);
  if (tx.Status() != ERROR_SUCCESS) return tx.Status();
  LONG lResult;
  {
    StoreKey key;
    lResult = key.Create(path);
    if (lResult == ERROR_SUCCESS) lResult = write(&key);
  }
  if (lResult != ERROR_SUCCESS) return static_cast<DWORD>(lResult);  // rolled back
  return tx.Commit();
}

DWORD StoreComponent(const std::string& path, const char* dllName) {
  return StoreKeyAtomically(
      path, [dllName](StoreKey* key) { return key->WriteString(kComponentDriver, dllName); });
}

bool IsBadKeyName(const char* name) {
  return name == nullptr || name[0] == '\0' ||
         FindCharOf(Machine().codePage, name, '\\') != nullptr;  // not a trail byte 0x5C
}

}  // namespace spool
}  // namespace qzhost
