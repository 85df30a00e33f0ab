// A print monitor for the Wine scenarios: enough for a spooler to load it.
//
// Built twice, as hrtpmon.dll (the port monitor) and hrtlmon.dll (the
// language monitor) that the example INF names. A spooler loads a monitor
// from the system directory and calls InitializePrintMonitor2; this one
// answers with a table whose only port listing is empty, so it claims no
// port and changes nothing a scenario looks at.
#include <windows.h>
#include <winsplp.h>

namespace {

BOOL WINAPI EnumNoPorts(HANDLE, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD pcbNeeded,
                        LPDWORD pcReturned) {
  if (pcbNeeded != nullptr) *pcbNeeded = 0;
  if (pcReturned != nullptr) *pcReturned = 0;
  return TRUE;
}

BOOL WINAPI RefuseOpen(HANDLE, LPWSTR, PHANDLE) {
  SetLastError(ERROR_INVALID_NAME);
  return FALSE;
}

VOID WINAPI Shutdown(HANDLE) {}

MONITOR2 g_monitor;
char g_handle;

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI
    InitializePrintMonitor2(PMONITORINIT pInit, PHANDLE phMonitor) {
  if (pInit == nullptr || phMonitor == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  g_monitor.cbSize = sizeof g_monitor;
  g_monitor.pfnEnumPorts = EnumNoPorts;
  g_monitor.pfnOpenPort = RefuseOpen;
  g_monitor.pfnShutdown = Shutdown;
  *phMonitor = &g_handle;
  return &g_monitor;
}
