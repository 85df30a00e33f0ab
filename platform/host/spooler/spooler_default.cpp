// SetDefaultPrinterA and the default printer in WIN.INI [windows] device=.
#include <string>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_admin.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/host/spooler/spooler_usage.h"

namespace qzhost {
namespace spool {
namespace {

// Windows 98's device string names the driver by its file without the
// extension ("HRT2210" for HRT2210.DRV); NT names the spooler, "winspool".
std::string DeviceDriverPart(const std::string& driver) {
  if (MachineIsNT()) return "winspool";
  StoreKey key;
  std::string file;
  if (key.Open(DriversKey(OwnEnvironment(), false) + "\\" + driver) != ERROR_SUCCESS ||
      !key.ReadString(kDriverFile, &file) || file.empty())
    return driver;
  size_t slash = file.find_last_of("\\/:");
  if (slash != std::string::npos) file = file.substr(slash + 1);
  return file.substr(0, file.rfind('.'));
}

}  // namespace

std::string DefaultPrinterName() {
  char acDevice[1024] = "";
  GetProfileStringA("windows", "device", "", acDevice, sizeof acDevice);
  std::string device = acDevice;
  return device.substr(0, device.find(','));
}

DWORD MakeDefaultPrinter(const std::string& printer) {
  for (const InstalledPrinter& each : InstalledPrinters()) {
    if (!SameName(each.name.c_str(), printer.c_str())) continue;
    std::string ports;
    for (const std::string& port : each.ports) ports += (ports.empty() ? "" : ",") + port;
    const std::string device = each.name + "," + DeviceDriverPart(each.driver) + "," + ports;
    return WriteProfileStringA("windows", "device", device.c_str()) ? ERROR_SUCCESS
                                                                    : GetLastError();
  }
  return ERROR_INVALID_PRINTER_NAME;
}

}  // namespace spool
}  // namespace qzhost

// NULL or "" keeps a default that is set, or else makes the first printer
// the default, as Windows 2000/XP do.
extern "C" BOOL WINAPI SetDefaultPrinterA(LPCSTR pszPrinter) {
  using namespace qzhost::spool;
  DWORD dwError = 0;
  std::string name = pszPrinter != nullptr ? pszPrinter : "";
  if (qzhost::ShouldFail("SetDefaultPrinterA", &dwError)) {
    // dwError is set
  } else if (!qzhost::MachineIsNT()) {
    dwError = ERROR_CALL_NOT_IMPLEMENTED;
  } else if (name.empty()) {
    std::vector<InstalledPrinter> printers = InstalledPrinters();
    if (!DefaultPrinterName().empty()) return TRUE;
    dwError = printers.empty() ? static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME)
                               : MakeDefaultPrinter(printers.front().name);
  } else {
    dwError = MakeDefaultPrinter(name);
  }
  if (dwError == ERROR_SUCCESS) return TRUE;
  qzhost::NoteFailedCall("SetDefaultPrinterA", dwError, "printer", name);
  SetLastError(dwError);
  return FALSE;
}
