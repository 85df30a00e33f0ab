// qzreg's listings of the spooler: printers, drivers, monitors, processors, ports.
//
// Drivers, monitors and ports come from the spooler calls; printers and print
// processors from the keys where the spooler keeps them.
#include <stdio.h>

#include <string>
#include <vector>

#include "platform/host/machine.h"
#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const char kPrintKey[] = "System\\CurrentControlSet\\Control\\Print";
const char* const kEnvironments[] = {"Windows 4.0", "Windows NT x86"};

int NoArguments(const Args& args, const char* command) {
  if (args.empty()) return kExitOk;
  return Complain(kExitUsage, std::string(command) + " takes no arguments");
}

std::string Text(const char* p) { return p ? p : ""; }

// One enumeration in the usual two calls: size, then data.
template <typename Enum>
bool Enumerate(Enum enumerate, std::vector<BYTE>* buffer, DWORD* count) {
  DWORD cbNeeded = 0;
  *count = 0;
  if (!enumerate(nullptr, 0, &cbNeeded, count) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  buffer->assign(cbNeeded ? cbNeeded : 1, 0);
  return enumerate(buffer->data(), cbNeeded, &cbNeeded, count) != FALSE;
}

int SpoolerFailed(const char* call) {
  return Complain(kExitFailed, std::string(call) + " failed with error " +
                                   std::to_string(static_cast<unsigned long>(GetLastError())));
}

std::vector<std::string> SubkeyNames(HKEY hKey) {
  std::vector<std::string> names;
  char acName[MAX_PATH];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof acName;
    if (RegEnumKeyExA(hKey, i, acName, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.push_back(acName);
  }
  return names;
}

std::string StringValue(HKEY hKey, const char* name) {
  char acValue[1024];
  DWORD cb = sizeof acValue - 1, dwType = 0;
  if (RegQueryValueExA(hKey, name, nullptr, &dwType, reinterpret_cast<BYTE*>(acValue), &cb) !=
          ERROR_SUCCESS ||
      (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
    return {};
  acValue[cb] = '\0';
  return acValue;
}

// Calls `row` with each subkey of HKLM\<path> opened; false when the key is missing.
template <typename Row>
bool ForEachSubkey(const std::string& path, Row row) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return false;
  for (const std::string& name : SubkeyNames(hKey)) {
    HKEY hSub = nullptr;
    if (RegOpenKeyExA(hKey, name.c_str(), 0, KEY_READ, &hSub) != ERROR_SUCCESS) continue;
    row(name, hSub);
    RegCloseKey(hSub);
  }
  RegCloseKey(hKey);
  return true;
}

}  // namespace

int ListPrinters(const Args& args) {
  if (int status = NoArguments(args, "printers")) return status;
  printf("%-32s %-32s %-12s %s\n", "Printer", "Driver", "Port", "Print processor");
  ForEachSubkey(std::string(kPrintKey) + "\\Printers", [](const std::string& name, HKEY hKey) {
    printf("%-32s %-32s %-12s %s\n", name.c_str(), StringValue(hKey, "Printer Driver").c_str(),
           StringValue(hKey, "Port").c_str(), StringValue(hKey, "Print Processor").c_str());
  });
  return kExitOk;
}

int ListDrivers(const Args& args) {
  if (int status = NoArguments(args, "drivers")) return status;
  printf("%-32s %-16s %-3s %-20s %s\n", "Driver", "Environment", "Ver", "Driver file", "Monitor");
  for (const char* env : kEnvironments) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    bool ok = Enumerate(
        [env](BYTE* p, DWORD cb, DWORD* needed, DWORD* n) {
          return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(env), 3, p, cb, needed, n);
        },
        &buffer, &count);
    if (!ok) {
      // Windows 98 knows only its own environment.
      if (GetLastError() == ERROR_INVALID_ENVIRONMENT) continue;
      return SpoolerFailed("EnumPrinterDriversA");
    }
    const DRIVER_INFO_3* pInfo = reinterpret_cast<const DRIVER_INFO_3*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      printf("%-32s %-16s %-3lu %-20s %s\n", Text(pInfo[i].pName).c_str(),
             Text(pInfo[i].pEnvironment).c_str(), static_cast<unsigned long>(pInfo[i].cVersion),
             Text(pInfo[i].pDriverPath).c_str(), Text(pInfo[i].pMonitorName).c_str());
    }
  }
  return kExitOk;
}

int ListMonitors(const Args& args) {
  if (int status = NoArguments(args, "monitors")) return status;
  DWORD level = qzhost::MachineIsNT() ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumMonitorsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return SpoolerFailed("EnumMonitorsA");
  if (level == 2) {
    printf("%-32s %-16s %s\n", "Monitor", "Environment", "DLL");
    const MONITOR_INFO_2* pInfo = reinterpret_cast<const MONITOR_INFO_2*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      printf("%-32s %-16s %s\n", Text(pInfo[i].pName).c_str(), Text(pInfo[i].pEnvironment).c_str(),
             Text(pInfo[i].pDLLName).c_str());
  } else {
    printf("Monitor\n");
    const MONITOR_INFO_1* pInfo = reinterpret_cast<const MONITOR_INFO_1*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) printf("%s\n", Text(pInfo[i].pName).c_str());
  }
  return kExitOk;
}

int ListProcessors(const Args& args) {
  if (int status = NoArguments(args, "processors")) return status;
  printf("%-32s %-16s %s\n", "Print processor", "Environment", "DLL");
  for (const char* env : kEnvironments) {
    std::string path = std::string(kPrintKey) + "\\Environments\\" + env + "\\Print Processors";
    ForEachSubkey(path, [env](const std::string& name, HKEY hKey) {
      printf("%-32s %-16s %s\n", name.c_str(), env, StringValue(hKey, "Driver").c_str());
    });
  }
  return kExitOk;
}

int ListPorts(const Args& args) {
  if (int status = NoArguments(args, "ports")) return status;
  DWORD level = qzhost::MachineIsNT() ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumPortsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return SpoolerFailed("EnumPortsA");
  if (level == 2) {
    printf("%-16s %-24s %-24s %s\n", "Port", "Monitor", "Description", "Type");
    const PORT_INFO_2* pInfo = reinterpret_cast<const PORT_INFO_2*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      printf("%-16s %-24s %-24s 0x%lx\n", Text(pInfo[i].pPortName).c_str(),
             Text(pInfo[i].pMonitorName).c_str(), Text(pInfo[i].pDescription).c_str(),
             static_cast<unsigned long>(pInfo[i].fPortType));
  } else {
    printf("Port\n");
    const PORT_INFO_1* pInfo = reinterpret_cast<const PORT_INFO_1*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) printf("%s\n", Text(pInfo[i].pName).c_str());
  }
  return kExitOk;
}

}  // namespace qzreg
