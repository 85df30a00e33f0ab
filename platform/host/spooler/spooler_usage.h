// Which printers use which driver and ports: what the spooler asks before it
// deletes a driver, a monitor or a port.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_USAGE_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_USAGE_H_

#include <string>
#include <vector>

#include "platform/win32.h"

namespace qzhost {
namespace spool {

struct InstalledPrinter {
  std::string name;  // the key's name, as stored
  std::string driver;
  std::vector<std::string> ports;  // the Port value split at commas, trimmed
};

// Every printer in key order.
std::vector<InstalledPrinter> InstalledPrinters();

// The stored name of the printer called `name` (any case); false when none is.
bool FindPrinter(const std::string& name, std::string* stored);

// The first printer that prints to `port`, or that uses `driver`; empty
// when none does.
std::string PrinterOnPort(const std::string& port);
std::string PrinterWithDriver(const std::string& driver);

// Removes the key at `path` (below HKEY_LOCAL_MACHINE) with its tree, as one
// registry change. ERROR_FILE_NOT_FOUND when it is not there.
DWORD DeleteKeyTree(const std::string& path);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_USAGE_H_
