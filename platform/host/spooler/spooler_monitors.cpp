// AddMonitorA and EnumMonitorsA: monitors under Control\Print\Monitors.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_buffer.h"
#include "platform/host/spooler/spooler_files.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_pairlist.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {
namespace {

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// The argument checks of the two personalities, as measured on Windows. On
// Windows 98 a NULL name is refused too (it would leave a junk key behind).
// Returns ERROR_SUCCESS, or the error; *pbKeepError is set when NT leaves
// the last error alone (NULL record).
DWORD CheckMonitorInfo(DWORD Level, LPBYTE pMonitors, bool* pbKeepError) {
  const bool bNT = MachineIsNT();
  if (Level != 2) return ERROR_INVALID_LEVEL;
  if (pMonitors == nullptr) {
    *pbKeepError = bNT;
    return ERROR_PRIVILEGE_NOT_HELD;
  }
  const MONITOR_INFO_2A* pInfo = reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors);
  if (bNT) {
    if (IsEmpty(pInfo->pName) || IsEmpty(pInfo->pDLLName)) return ERROR_INVALID_PARAMETER;
  } else {
    if (pInfo->pName == nullptr && pInfo->pEnvironment == nullptr && pInfo->pDLLName == nullptr) {
      return ERROR_INVALID_ENVIRONMENT;
    }
    if (IsEmpty(pInfo->pName) || pInfo->pDLLName == nullptr) return ERROR_PRIVILEGE_NOT_HELD;
    if (pInfo->pDLLName[0] == '\0') return ERROR_INVALID_PARAMETER;
  }
  if (IsBadKeyName(pInfo->pName)) return ERROR_INVALID_PARAMETER;
  std::string env;
  DWORD dwError = ERROR_SUCCESS;
  ResolveEnvironment(pInfo->pEnvironment, &env, &dwError);
  return dwError;
}

// A monitor key without a Driver value (port settings written ahead of the
// monitor) is taken over, as NT does. An installed monitor is answered
// before its DLL is looked for; a new one's DLL must be in the system
// directory, where Windows loads it from.
DWORD StoreMonitor(const MONITOR_INFO_2A& info) {
  if (MonitorInstalled(info.pName)) {
    return MachineIsNT() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED : ERROR_ALREADY_EXISTS;
  }
  if (AllPresentOr(MonitorFiles(info.pName, info.pDLLName), ERROR_MOD_NOT_FOUND) != ERROR_SUCCESS) {
    return MissingMonitorFileError();
  }
  const uint64_t before = RegistryStamp();
  DWORD dwError = StoreComponent(MonitorKey(info.pName), info.pDLLName);
  if (dwError != ERROR_SUCCESS) return dwError;
  // A monitor without ports of its own changes the monitor list by one entry
  // and the port list not at all: both stay read, unless another process
  // changed the registry meanwhile.
  const uint64_t after = RegistryStamp();
  if (RegStore::SameForeignState(before, after) &&
      !KeyExists(MonitorKey(info.pName) + "\\" + kMonitorPortsSubkey)) {
    NoteMonitorInstalled(before, after, {info.pName, info.pDLLName});
    KeepPortsAcross(before, after);
  }
  return ERROR_SUCCESS;
}

// NT lists port monitors only: a monitor that an installed driver names as
// its language monitor is left out. Windows 98 lists them all.
std::shared_ptr<const MonitorList> ListedMonitors() {
  std::shared_ptr<const MonitorList> monitors = InstalledMonitorEntries();
  if (!MachineIsNT()) return monitors;
  const std::vector<std::string> language = LanguageMonitorNames();
  auto listed = std::make_shared<MonitorList>();
  for (size_t i = 0; i < monitors->size(); ++i) {
    const std::string name(monitors->First(i));
    if (!ContainsName(language, name)) listed->Add(name, monitors->Second(i));
  }
  return listed;
}

// Windows' layout: the records, then each record's strings in field order.
void PackMonitors(const MonitorList& monitors, DWORD Level, LPBYTE pBuffer) {
  const size_t cbRecord = Level == 1 ? sizeof(MONITOR_INFO_1A) : sizeof(MONITOR_INFO_2A);
  const size_t count = monitors.size();
  memset(pBuffer, 0, count * cbRecord);
  LPSTR pText = reinterpret_cast<LPSTR>(pBuffer + count * cbRecord);
  const char* pEnvironment = OwnEnvironment();
  for (size_t i = 0; i < count; ++i) {
    LPBYTE pRecord = pBuffer + i * cbRecord;
    const std::string_view name = monitors.First(i);
    if (Level == 1) {
      PutString(pRecord, offsetof(MONITOR_INFO_1A, pName), name.data(), name.size(), &pText);
      continue;
    }
    const std::string_view dll = monitors.Second(i);
    PutString(pRecord, offsetof(MONITOR_INFO_2A, pName), name.data(), name.size(), &pText);
    PutString(pRecord, offsetof(MONITOR_INFO_2A, pEnvironment), pEnvironment, strlen(pEnvironment),
              &pText);
    PutString(pRecord, offsetof(MONITOR_INFO_2A, pDLLName), dll.data(), dll.size(), &pText);
  }
}

BOOL DeliverMonitors(const MonitorList& monitors, DWORD Level, LPBYTE pMonitors, DWORD cbBuf,
                     LPDWORD pcbNeeded, LPDWORD pcReturned) {
  size_t cbRecord = sizeof(MONITOR_INFO_1A);
  size_t cbText = monitors.FirstBytes();
  if (Level == 2) {
    cbRecord = sizeof(MONITOR_INFO_2A);
    cbText = monitors.TextBytes() + monitors.size() * (strlen(OwnEnvironment()) + 1);
  }
  return DeliverPacked(
      monitors.size(), cbRecord, cbText,
      [&monitors, Level](LPBYTE pBuffer) { PackMonitors(monitors, Level, pBuffer); }, pMonitors,
      cbBuf, pcbNeeded, pcReturned);
}

void NoteRefusedMonitor(DWORD dwError, DWORD Level, LPBYTE pMonitors) {
  const MONITOR_INFO_2A* pInfo = reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors);
  std::string name = Level == 2 && pInfo && pInfo->pName ? pInfo->pName : "";
  NoteFailedCall("AddMonitorA", dwError, "monitor", name);
}

}  // namespace
}  // namespace spool
}  // namespace qzhost

extern "C" {

// An existing monitor: Windows 98 answers 183, NT 3006 (for any monitor,
// port or language). Success sets the last error to 0; installers rely on it.
BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("AddMonitorA", &dwError)) {
    qzhost::spool::NoteRefusedMonitor(dwError, Level, pMonitors);
    SetLastError(dwError);
    return FALSE;
  }
  bool bKeepError = false;
  if (!qzhost::spool::IsLocalServer(pName)) {
    dwError = ERROR_INVALID_NAME;
  } else {
    dwError = qzhost::spool::CheckMonitorInfo(Level, pMonitors, &bKeepError);
  }
  if (dwError == ERROR_SUCCESS) {
    dwError = qzhost::spool::StoreMonitor(*reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors));
  }
  if (dwError != ERROR_SUCCESS) {
    qzhost::spool::NoteRefusedMonitor(bKeepError ? GetLastError() : dwError, Level, pMonitors);
    if (!bKeepError) SetLastError(dwError);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Level 2 is NT's only; Windows 98 answers 124 for it.
BOOL WINAPI EnumMonitorsA(LPSTR pName, DWORD Level, LPBYTE pMonitors, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("EnumMonitorsA", &dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  if (qzhost::spool::MissingCounters(pcbNeeded, pcReturned)) return FALSE;
  if (!qzhost::spool::IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1 && !(Level == 2 && qzhost::MachineIsNT())) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const std::shared_ptr<const qzhost::spool::MonitorList> listed = qzhost::spool::ListedMonitors();
  return qzhost::spool::DeliverMonitors(*listed, Level, pMonitors, cbBuf, pcbNeeded, pcReturned);
}

}  // extern "C"
