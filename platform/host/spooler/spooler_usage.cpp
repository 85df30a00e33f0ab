// Printers and what they use, read from their keys.
#include "platform/host/spooler/spooler_usage.h"

#include "platform/host/registry/registry.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_store.h"

namespace qzhost {
namespace spool {
namespace {

std::vector<std::string> SplitPorts(const std::string& list) {
  std::vector<std::string> ports;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(start, comma - start);
    size_t first = name.find_first_not_of(' ');
    if (first != std::string::npos)
      ports.push_back(name.substr(first, name.find_last_not_of(' ') - first + 1));
    start = comma + 1;
  }
  return ports;
}

}  // namespace

std::vector<InstalledPrinter> InstalledPrinters() {
  std::vector<InstalledPrinter> printers;
  StoreKey all;
  if (all.Open(kPrintersKey) != ERROR_SUCCESS) return printers;
  for (const std::string& name : all.SubkeyNames()) {
    StoreKey key;
    if (key.OpenBelow(all, name) != ERROR_SUCCESS) continue;
    InstalledPrinter printer;
    printer.name = name;
    std::string ports;
    key.ReadString(kPrinterDriver, &printer.driver);
    key.ReadString(kPrinterPort, &ports);
    printer.ports = SplitPorts(ports);
    printers.push_back(printer);
  }
  return printers;
}

bool FindPrinter(const std::string& name, std::string* stored) {
  for (const InstalledPrinter& printer : InstalledPrinters()) {
    if (!SameName(printer.name.c_str(), name.c_str())) continue;
    *stored = printer.name;
    return true;
  }
  return false;
}

std::string PrinterOnPort(const std::string& port) {
  for (const InstalledPrinter& printer : InstalledPrinters())
    if (ContainsName(printer.ports, port)) return printer.name;
  return {};
}

std::string PrinterWithDriver(const std::string& driver) {
  for (const InstalledPrinter& printer : InstalledPrinters())
    if (SameName(printer.driver.c_str(), driver.c_str())) return printer.name;
  return {};
}

DWORD DeleteKeyTree(const std::string& path) {
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return dwError;
  RegTransaction tx(store);
  if (tx.Status() != ERROR_SUCCESS) return tx.Status();
  {
    StoreKey key;
    LONG lResult = key.Open(path);
    if (lResult != ERROR_SUCCESS) return static_cast<DWORD>(lResult);
    dwError = store->DeleteTree(key.Id());
  }
  if (dwError != ERROR_SUCCESS) return dwError;  // rolled back
  return tx.Commit();
}

}  // namespace spool
}  // namespace qzhost
