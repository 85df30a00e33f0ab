// EnumPortsA and the port list behind it.
#include "platform/host/spooler/spooler_ports.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/profile/profile.h"
#include "platform/host/registry/registry.h"
#include "platform/host/spooler/spooler_buffer.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_portlist.h"
#include "platform/host/spooler/spooler_store.h"

namespace qzhost {
namespace spool {

namespace {

// Windows 98's built-in LOCALMON answers first for LPT1-LPT9 and COM1-COM9.
bool IsLocalMonPort(std::string_view name) {
  if (name.size() < 4 || name.size() > 5) return false;
  if (!SameFolded(name.substr(0, 3), "lpt") && !SameFolded(name.substr(0, 3), "com")) return false;
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

std::string_view ServingMonitor(std::string_view port, const PortList& claims, bool bNT) {
  std::string_view monitor = kLocalPortMonitor;
  if ((!bNT && IsLocalMonPort(port)) || claims.empty()) return monitor;
  claims.MonitorOf(port, &monitor);
  return monitor;
}

std::shared_ptr<const PortList> ReadKnownPorts(const IniFile* winIni) {
  PortList claims = MonitorClaims();
  auto ports = std::make_shared<PortList>();
  const bool bNT = MachineIsNT();
  // Without claims every port is the local monitor's.
  const uint32_t local = ports->MonitorIndex(kLocalPortMonitor);
  const auto add = [&](std::string_view name) {
    if (claims.empty())
      ports->AddOnce(name, local);
    else
      ports->AddOnce(name, ServingMonitor(name, claims, bNT));
  };
  StoreKey key;
  if (bNT) {
    std::vector<std::string> names;
    if (key.Open(kNtPortsKey) == ERROR_SUCCESS) names = key.ValueNames();
    ports->Reserve(names.size() + claims.size());
    for (const std::string& name : names) add(name);
  } else {
    // WIN.INI's names come first, added when the number of port keys is known
    // (at the first key), so that room for all is made once. The list drops a
    // name met again by SameFolded, which holds equal whatever the profile's
    // SameName does: the lines need not be told apart by that first.
    const size_t iniLines = winIni != nullptr ? winIni->LineCount("Ports") : 0;
    bool iniAdded = false;
    const auto addIni = [&](size_t keys) {
      ports->Reserve(iniLines + keys + claims.size());
      if (iniLines != 0) winIni->ForEachKeyName("Ports", add);
      iniAdded = true;
    };
    if (key.Open(kPrintPortsKey) == ERROR_SUCCESS) {
      key.VisitSubkeyNames([&](size_t index, size_t count, std::string_view name) {
        if (index == 0) addIni(count);
        add(name);
      });
    }
    if (!iniAdded) addIni(0);
  }
  for (size_t i = 0; i < claims.size(); ++i)
    ports->AddOnce(claims.Name(i), ServingMonitor(claims.Name(i), claims, bNT));
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

// The list of the registry and WIN.INI as they stand: read again whenever
// either changed since it was read (the registry's stamp follows every
// commit, of this process or another). The registry's part is read in one
// snapshot, the one the stamp is taken in.
std::shared_ptr<const PortList> CurrentPorts() {
  PortMemo& memo = ThePortMemo();
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return std::make_shared<PortList>();
  std::shared_ptr<const IniFile> winIni = MachineIsNT() ? nullptr : CurrentWinIni();
  if (!memo.read.IsAt(store->ChangeStamp()) || memo.winIni != winIni) {
    RegReadSnapshot snapshot(store);
    memo.read.Set(store->ChangeStamp());
    memo.ports = ReadKnownPorts(winIni.get());
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

bool FindPort(const std::string& port, std::string* monitor) {
  std::string_view served;
  if (!CurrentPorts()->MonitorOf(port, &served)) return false;
  monitor->assign(served.data(), served.size());
  return true;
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
    std::string_view monitor;
    if (!known->MonitorOf(name, &monitor)) return false;
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
  return ports->Deliver(Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}
