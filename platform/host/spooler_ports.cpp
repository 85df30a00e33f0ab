// EnumPortsA and the port list behind it.
#include "platform/host/spooler_ports.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/host/machine.h"
#include "platform/host/profile.h"
#include "platform/host/registry.h"
#include "platform/host/spooler_buffer.h"
#include "platform/host/spooler_kept.h"
#include "platform/host/spooler_layout.h"
#include "platform/host/spooler_store.h"
#include "platform/host/testctl.h"

namespace qzhost {
namespace spool {

namespace {

constexpr char kLocalPortDescription[] = "Local Port";

// Names as SameName compares them: ASCII letters folded.
char Folded(char ch) { return static_cast<char>(tolower(static_cast<unsigned char>(ch))); }

// The folded name, for set lookups.
std::string FoldedName(const std::string& name) {
  std::string folded = name;
  for (char& ch : folded) ch = Folded(ch);
  return folded;
}

bool SameFolded(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Folded(x) == Folded(y); });
}

// A port list that keeps each name once; a hash of folded names keeps adding
// n ports linear, since machines may hold thousands.
class PortList {
 public:
  PortList() = default;
  // A list known to hold each name once (as kept by an earlier run): no
  // index, since a run looks up a few names at most.
  explicit PortList(std::vector<KnownPort> ports) : m_ports(std::move(ports)) {}

  void Reserve(size_t count) {
    m_ports.reserve(count);
    m_index.reserve(count);
  }
  void AddOnce(const std::string& name, const std::string& monitor) {
    if (name.empty() || !m_index.emplace(FoldedName(name), m_ports.size()).second) return;
    m_ports.push_back({name, monitor});
  }
  // The monitor of a listed port, or null.
  const std::string* MonitorOf(const std::string& name) const {
    if (m_index.empty()) {
      for (const KnownPort& port : m_ports)
        if (SameFolded(port.name, name)) return &port.monitor;
      return nullptr;
    }
    auto it = m_index.find(FoldedName(name));
    return it == m_index.end() ? nullptr : &m_ports[it->second].monitor;
  }
  const std::vector<KnownPort>& Ports() const { return m_ports; }
  // The list as EnumPortsA records of level 1 or 2, packed once per list.
  const EnumRecords& Records(DWORD Level) const;

 private:
  std::vector<KnownPort> m_ports;
  std::unordered_map<std::string, size_t> m_index;  // folded name -> entry
  mutable std::unique_ptr<EnumRecords> m_records[2];
};

const EnumRecords& PortList::Records(DWORD Level) const {
  std::unique_ptr<EnumRecords>& records = m_records[Level == 1 ? 0 : 1];
  if (records) return *records;
  records = std::make_unique<EnumRecords>(Level == 1 ? sizeof(PORT_INFO_1A) : sizeof(PORT_INFO_2A));
  size_t textBytes = 0;
  for (const KnownPort& port : m_ports) {
    textBytes += port.name.size() + 1;
    if (Level == 2) textBytes += port.monitor.size() + sizeof kLocalPortDescription + 1;
  }
  records->Reserve(m_ports.size(), Level == 1 ? 1 : 4, textBytes);
  for (const KnownPort& port : m_ports) {
    records->NewRecord();
    if (Level == 1) {
      records->SetString(offsetof(PORT_INFO_1A, pName), port.name);
      continue;
    }
    records->SetString(offsetof(PORT_INFO_2A, pPortName), port.name);
    records->SetString(offsetof(PORT_INFO_2A, pMonitorName), port.monitor);
    records->SetString(offsetof(PORT_INFO_2A, pDescription), kLocalPortDescription);
    records->SetDword(offsetof(PORT_INFO_2A, fPortType), PORT_TYPE_WRITE);
  }
  return *records;
}

// Windows 98's built-in LOCALMON answers first for LPT1-LPT9 and COM1-COM9.
bool IsLocalMonPort(const std::string& name) {
  if (name.size() < 4 || name.size() > 5) return false;
  std::string prefix = name.substr(0, 3);
  for (char& ch : prefix) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  if (prefix != "LPT" && prefix != "COM") return false;
  if (name[3] < '1' || name[3] > '9') return false;
  return name.size() == 4 || name[4] == ':';
}

// Ports that installed monitors list as subkeys or values of their Ports key.
PortList MonitorClaims() {
  PortList claims;
  for (const MonitorEntry& monitor : MonitorsWithPorts()) {
    StoreKey ports;
    if (ports.Open(MonitorKey(monitor.name) + "\\" + kMonitorPortsSubkey) != ERROR_SUCCESS)
      continue;
    for (const std::string& port : ports.SubkeyNames()) claims.AddOnce(port, monitor.name);
    for (const std::string& port : ports.ValueNames()) claims.AddOnce(port, monitor.name);
  }
  return claims;
}

std::string ServingMonitor(const std::string& port, const PortList& claims) {
  if (!MachineIsNT() && IsLocalMonPort(port)) return kLocalPortMonitor;
  const std::string* monitor = claims.MonitorOf(port);
  return monitor != nullptr ? *monitor : kLocalPortMonitor;
}

std::vector<std::string> LocalPortNames(const IniFile* winIni) {
  std::vector<std::string> names;
  StoreKey key;
  if (MachineIsNT()) {
    if (key.Open(kNtPortsKey) == ERROR_SUCCESS) names = key.ValueNames();
    return names;
  }
  if (winIni != nullptr) {
    for (std::string_view name : winIni->KeyNames("Ports")) names.emplace_back(name);
  }
  if (key.Open(kPrintPortsKey) == ERROR_SUCCESS) {
    for (const std::string& name : key.SubkeyNames()) names.push_back(name);
  }
  return names;
}

std::shared_ptr<const PortList> ReadKnownPorts(const IniFile* winIni) {
  PortList claims = MonitorClaims();
  auto ports = std::make_shared<PortList>();
  const std::vector<std::string> names = LocalPortNames(winIni);
  ports->Reserve(names.size() + claims.Ports().size());
  for (const std::string& name : names) {
    ports->AddOnce(name, ServingMonitor(name, claims));
  }
  for (const KnownPort& claim : claims.Ports()) {
    ports->AddOnce(claim.name, ServingMonitor(claim.name, claims));
  }
  return ports;
}

// The port list as last read, and the state of the machine it was read from:
// the registry's change stamp and the parsed WIN.INI (a new parse is a new
// object; the memo holds it, so its address is not reused).
struct PortMemo {
  ReadingStamp read;
  std::shared_ptr<const IniFile> winIni;
  std::shared_ptr<const PortList> ports;
};

// Never destroyed: freeing thousands of names at exit would cost a run for
// nothing.
PortMemo& ThePortMemo() {
  static PortMemo* memo = new PortMemo;
  return *memo;
}

std::shared_ptr<const IniFile> PortsWinIni() { return MachineIsNT() ? nullptr : CurrentWinIni(); }

// At the end of a run: the list as this run leaves the machine, for the next.
void KeepPortsAtClose(RegStore* store) {
  const PortMemo& memo = ThePortMemo();
  std::shared_ptr<const IniFile> winIni = PortsWinIni();
  if (!memo.ports || !memo.read.IsAt(store->ChangeStamp()) || memo.winIni != winIni) return;
  KeepPorts(store, PortsSignature(winIni.get()), memo.ports->Ports());
}

std::shared_ptr<const PortList> CurrentPorts() {
  PortMemo& memo = ThePortMemo();
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return std::make_shared<PortList>();
  const uint64_t stamp = store->ChangeStamp();
  std::shared_ptr<const IniFile> winIni = PortsWinIni();
  if (!memo.read.IsAt(stamp) || memo.winIni != winIni) {
    AtMachineRegistryClose(KeepPortsAtClose);
    std::vector<KnownPort> kept;
    if (LoadKeptPorts(store, PortsSignature(winIni.get()), &kept)) {
      memo.ports = std::make_shared<PortList>(std::move(kept));
    } else {
      memo.ports = ReadKnownPorts(winIni.get());
    }
    memo.read.Set(stamp);
    memo.winIni = std::move(winIni);
  }
  return memo.ports;
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

void KeepPortsAcross(uint64_t before, uint64_t after) { ThePortMemo().read.Advance(before, after); }

DWORD ChangeOutsideLists(const std::function<DWORD()>& change) {
  const uint64_t before = RegistryStamp();
  DWORD dwError = change();
  if (dwError != ERROR_SUCCESS) return dwError;
  const uint64_t after = RegistryStamp();
  if (RegStore::SameForeignState(before, after)) {
    KeepMonitorsAcross(before, after);
    KeepPortsAcross(before, after);
  }
  return ERROR_SUCCESS;
}

bool PortListKnown(const char* portList) {
  std::shared_ptr<const PortList> known = CurrentPorts();
  std::string list = portList;
  bool bAny = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string name = Trimmed(list.substr(start, comma - start));
    start = comma + 1;
    if (name.empty()) continue;
    if (known->MonitorOf(name) == nullptr) return false;
    bAny = true;
  }
  return bAny;
}

}  // namespace spool
}  // namespace qzhost

extern "C" BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("EnumPortsA", &dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  if (qzhost::spool::MissingCounters(pcbNeeded, pcReturned)) return FALSE;
  if (!qzhost::spool::IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::shared_ptr<const qzhost::spool::PortList> ports = qzhost::spool::CurrentPorts();
  return ports->Records(Level).Deliver(pPorts, cbBuf, pcbNeeded, pcReturned);
}
