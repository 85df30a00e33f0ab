// AddPortExA, DeletePortA and the Standard TCP/IP port: ports added and
// removed where each monitor keeps them.
//
// The local monitor keeps its ports in WIN.INI [Ports] (on NT that section
// is the registry's Ports value list); a Windows 98 port that command 1
// created also has a key under Control\Print\Ports. Any other monitor keeps
// its ports below its own key, in Monitors\<monitor>\Ports.
#include <cstring>
#include <iterator>
#include <string>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_admin.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/host/spooler/spooler_usage.h"

namespace qzhost {
namespace spool {
namespace {

constexpr DWORD kTcpRaw = 1;  // tcpmon's PROTOCOL_RAWTCP_TYPE

std::string Text(const char* p) { return p != nullptr ? p : ""; }

// A port name goes into WIN.INI as a key and into printers' comma-separated
// port lists, so it can hold neither '=' nor ','.
bool IsValidPortName(const char* name) {
  return name != nullptr && name[0] != '\0' && strchr(name, ',') == nullptr &&
         strchr(name, '=') == nullptr;
}

DWORD MissingMonitor() {
  return MachineIsNT() ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER;
}

DWORD AddLocalPort(LPSTR pName, DWORD Level, LPBYTE lpBuffer, LPSTR lpMonitorName) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  if (Level != 1) return ERROR_INVALID_LEVEL;
  if (lpBuffer == nullptr || lpMonitorName == nullptr) return ERROR_INVALID_PARAMETER;
  const char* port = reinterpret_cast<const PORT_INFO_1A*>(lpBuffer)->pName;
  if (!MonitorInstalled(lpMonitorName)) return MissingMonitor();
  // Another monitor's DLL would add the port; the emulation cannot run it.
  if (!SameName(lpMonitorName, kLocalPortMonitor)) return ERROR_NOT_SUPPORTED;
  if (!IsValidPortName(port)) return ERROR_INVALID_NAME;
  std::string monitor;
  if (FindPort(port, &monitor)) return ERROR_ALREADY_EXISTS;
  return WriteProfileStringA("Ports", port, "") ? ERROR_SUCCESS : GetLastError();
}

// The local monitor's places: WIN.INI [Ports] and, on Windows 98, the key.
DWORD DeleteLocalPort(const std::string& port) {
  if (!MachineIsNT()) {
    DWORD dwError = DeleteKeyTree(std::string(kPrintPortsKey) + "\\" + port);
    if (dwError != ERROR_SUCCESS && dwError != ERROR_FILE_NOT_FOUND) return dwError;
  }
  return WriteProfileStringA("Ports", port.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
}

// A monitor's own port: a subkey of its Ports key, or a value there.
DWORD DeleteMonitorPort(const std::string& monitor, const std::string& port) {
  const std::string ports = MonitorKey(monitor) + "\\" + kMonitorPortsSubkey;
  DWORD dwError = DeleteKeyTree(ports + "\\" + port);
  if (dwError != ERROR_FILE_NOT_FOUND) return dwError;
  HKEY hKey = nullptr;
  LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ports.c_str(), 0, KEY_ALL_ACCESS, &hKey);
  if (lResult != ERROR_SUCCESS) return static_cast<DWORD>(lResult);
  lResult = RegDeleteValueA(hKey, port.c_str());
  RegCloseKey(hKey);
  return static_cast<DWORD>(lResult);
}

// Unknown 1796, used by a printer 170 (ERROR_BUSY), as MS-RPRN orders them.
DWORD DeletePort(LPSTR pName, LPSTR pPortName) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  std::string monitor;
  if (pPortName == nullptr || !FindPort(pPortName, &monitor)) return ERROR_UNKNOWN_PORT;
  if (!PrinterOnPort(pPortName).empty()) return ERROR_BUSY;
  if (SameName(monitor.c_str(), kLocalPortMonitor)) return DeleteLocalPort(pPortName);
  return DeleteMonitorPort(monitor, pPortName);
}

bool IsDottedAddress(const std::string& host) {
  int parts = 0, digits = 0;
  for (char c : host) {
    if (c >= '0' && c <= '9' && ++digits <= 3) continue;
    if (c != '.' || digits == 0) return false;
    ++parts;
    digits = 0;
  }
  return parts == 3 && digits > 0;
}

LONG WriteTcpIpPort(StoreKey* key, const std::string& host, DWORD portNumber) {
  const bool address = IsDottedAddress(host);
  const NamedText kTexts[] = {{"HostName", address ? "" : host.c_str()},
                              {"IPAddress", address ? host.c_str() : ""},
                              {"HWAddress", ""},
                              {"SNMP Community", "public"}};
  const NamedDword kNumbers[] = {{"Protocol", kTcpRaw},
                                 {"Version", 1},
                                 {"PortNumber", portNumber},
                                 {"SNMP Enabled", 1},
                                 {"SNMP Index", 1}};
  LONG lResult = key->WriteStrings(kTexts, std::size(kTexts));
  return lResult != ERROR_SUCCESS ? lResult : key->WriteDwords(kNumbers, std::size(kNumbers));
}

}  // namespace

DWORD AddStandardTcpIpPort(const std::string& name, const std::string& host, DWORD portNumber) {
  DWORD dwError = ERROR_SUCCESS;
  if (!MachineIsNT() || !MonitorInstalled(kTcpIpMonitor)) {
    dwError = MissingMonitor();
  } else if (!IsValidPortName(name.c_str()) || IsBadKeyName(name.c_str()) || host.empty() ||
             portNumber == 0 || portNumber > 65535) {
    dwError = ERROR_INVALID_PARAMETER;
  } else {
    std::string monitor;
    if (FindPort(name, &monitor)) {
      dwError = ERROR_ALREADY_EXISTS;
    } else {
      const std::string path = MonitorKey(kTcpIpMonitor) + "\\" + kMonitorPortsSubkey + "\\" + name;
      dwError = StoreKeyAtomically(
          path, [&](StoreKey* key) { return WriteTcpIpPort(key, host, portNumber); });
    }
  }
  if (dwError != ERROR_SUCCESS) NoteFailedCall("XcvData", dwError, "port", name);
  return dwError;
}

}  // namespace spool
}  // namespace qzhost

extern "C" {

// An existing port: 183. A monitor that is not installed: NT 3000, Windows
// 98 87; another monitor than the local one: 50 (its DLL is not run).
BOOL WINAPI AddPortExA(LPSTR pName, DWORD Level, LPBYTE lpBuffer, LPSTR lpMonitorName) {
  DWORD dwError = 0;
  if (!qzhost::ShouldFail("AddPortExA", &dwError))
    dwError = qzhost::spool::AddLocalPort(pName, Level, lpBuffer, lpMonitorName);
  if (dwError == ERROR_SUCCESS) return TRUE;
  const PORT_INFO_1A* pInfo = reinterpret_cast<const PORT_INFO_1A*>(lpBuffer);
  qzhost::NoteFailedCall("AddPortExA", dwError, "port",
                         qzhost::spool::Text(pInfo != nullptr ? pInfo->pName : nullptr));
  SetLastError(dwError);
  return FALSE;
}

// hWnd is not used: the emulated monitors ask nothing.
BOOL WINAPI DeletePortA(LPSTR pName, HWND /*hWnd*/, LPSTR pPortName) {
  DWORD dwError = 0;
  if (!qzhost::ShouldFail("DeletePortA", &dwError))
    dwError = qzhost::spool::DeletePort(pName, pPortName);
  if (dwError == ERROR_SUCCESS) return TRUE;
  qzhost::NoteFailedCall("DeletePortA", dwError, "port", qzhost::spool::Text(pPortName));
  SetLastError(dwError);
  return FALSE;
}

}  // extern "C"
