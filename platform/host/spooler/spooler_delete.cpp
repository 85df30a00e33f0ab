// OpenPrinterA, DeletePrinter, DeletePrinterDriverA and DeleteMonitorA: the
// spooler's objects removed with Windows' refusals (a driver that a printer
// uses, a monitor whose ports a printer prints to).
#include <string>
#include <vector>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_admin.h"
#include "platform/host/spooler/spooler_handles.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/host/spooler/spooler_usage.h"

namespace qzhost {
namespace spool {
namespace {

std::string Text(const char* p) { return p != nullptr ? p : ""; }

// Fails the call: notes it for the failure line and sets the last error.
BOOL Refuse(const char* call, DWORD dwError, const char* kind, const std::string& object) {
  NoteFailedCall(call, dwError, kind, object);
  SetLastError(dwError);
  return FALSE;
}

// Deleting the default printer leaves the first other printer as the
// default, as Windows 98 and XP do; with none left there is no default.
DWORD HandOnDefault(const std::string& deleted) {
  if (!SameName(DefaultPrinterName().c_str(), deleted.c_str())) return ERROR_SUCCESS;
  std::vector<InstalledPrinter> printers = InstalledPrinters();
  if (!printers.empty()) return MakeDefaultPrinter(printers.front().name);
  return WriteProfileStringA("windows", "device", nullptr) ? ERROR_SUCCESS : GetLastError();
}

DWORD DeleteDriver(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  std::string env;
  DWORD dwError = ERROR_SUCCESS;
  if (!ResolveEnvironment(pEnvironment, &env, &dwError)) return dwError;
  if (IsBadKeyName(pDriverName)) return ERROR_INVALID_PARAMETER;
  const std::string path = DriversKey(env, MachineIsNT()) + "\\" + pDriverName;
  if (!KeyExists(path)) return ERROR_UNKNOWN_PRINTER_DRIVER;
  // The machine's printers use the drivers of its own environment only; a
  // driver kept for other clients ("Windows 4.0" on NT) is never in use.
  if (env == OwnEnvironment() && !PrinterWithDriver(pDriverName).empty())
    return ERROR_PRINTER_DRIVER_IN_USE;
  return DeleteKeyTree(path);
}

// A printer prints to one of the ports the monitor serves, or a driver names
// it as its language monitor.
bool MonitorInUse(const std::string& monitor) {
  for (const InstalledPrinter& printer : InstalledPrinters()) {
    for (const std::string& port : printer.ports) {
      std::string served;
      if (FindPort(port, &served) && SameName(served.c_str(), monitor.c_str())) return true;
    }
  }
  return ContainsName(LanguageMonitorNames(), monitor);
}

DWORD DeleteMonitor(LPSTR pName, LPSTR pMonitorName) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  if (IsBadKeyName(pMonitorName)) return ERROR_INVALID_PARAMETER;
  if (!MonitorInstalled(pMonitorName))
    return MachineIsNT() ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER;
  // The built-in monitor serves the standard ports, which are always there.
  if (SameName(pMonitorName, kLocalPortMonitor) || MonitorInUse(pMonitorName))
    return ERROR_PRINT_MONITOR_IN_USE;
  return DeleteKeyTree(MonitorKey(pMonitorName));
}

}  // namespace
}  // namespace spool
}  // namespace qzhost

extern "C" {

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, HANDLE* phPrinter, LPVOID /*pDefault*/) {
  using namespace qzhost::spool;
  DWORD dwError = 0;
  if (qzhost::ShouldFail("OpenPrinterA", &dwError))
    return Refuse("OpenPrinterA", dwError, "printer", Text(pPrinterName));
  if (phPrinter == nullptr)
    return Refuse("OpenPrinterA", ERROR_INVALID_PARAMETER, "printer", Text(pPrinterName));
  *phPrinter = nullptr;
  // A server handle (no name) cannot delete anything: refused here.
  std::string stored;
  if (pPrinterName == nullptr || !FindPrinter(pPrinterName, &stored))
    return Refuse("OpenPrinterA", ERROR_INVALID_PRINTER_NAME, "printer", Text(pPrinterName));
  *phPrinter = NewPrinterHandle(stored);
  return TRUE;
}

// The printer goes at once: the emulated spooler holds no print jobs that
// would keep it pending deletion. The handle stays open until ClosePrinter.
BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  using namespace qzhost::spool;
  DWORD dwError = 0;
  std::string name;
  if (qzhost::ShouldFail("DeletePrinter", &dwError))
    return Refuse("DeletePrinter", dwError, "", "");
  if (!PrinterOfHandle(hPrinter, &name))
    return Refuse("DeletePrinter", ERROR_INVALID_HANDLE, "", "");
  dwError = ChangeOutsideLists([&name] { return DeleteKeyTree(PrinterKey(name)); });
  if (dwError == ERROR_FILE_NOT_FOUND) dwError = ERROR_INVALID_PRINTER_NAME;
  if (dwError == ERROR_SUCCESS) dwError = HandOnDefault(name);
  if (dwError != ERROR_SUCCESS) return Refuse("DeletePrinter", dwError, "printer", name);
  return TRUE;
}

// Unknown driver 1797, a printer of the machine uses it 3001 (MS-RPRN's
// order of checking).
BOOL WINAPI DeletePrinterDriverA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName) {
  using namespace qzhost::spool;
  DWORD dwError = 0;
  if (!qzhost::ShouldFail("DeletePrinterDriverA", &dwError))
    dwError = DeleteDriver(pName, pEnvironment, pDriverName);
  if (dwError == ERROR_SUCCESS) return TRUE;
  return Refuse("DeletePrinterDriverA", dwError, "driver", Text(pDriverName));
}

// The environment is not checked (Windows XP deletes with any). A missing
// monitor: NT 3000, Windows 98 87 (Wine's conformance tests).
BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR /*pEnvironment*/, LPSTR pMonitorName) {
  using namespace qzhost::spool;
  DWORD dwError = 0;
  if (!qzhost::ShouldFail("DeleteMonitorA", &dwError)) dwError = DeleteMonitor(pName, pMonitorName);
  if (dwError == ERROR_SUCCESS) return TRUE;
  return Refuse("DeleteMonitorA", dwError, "monitor", Text(pMonitorName));
}

}  // extern "C"
