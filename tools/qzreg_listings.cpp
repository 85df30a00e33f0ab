// qzreg's listings of the spooler: printers, drivers, monitors, processors, ports.
//
// Drivers, monitors and ports come from the spooler calls; printers and print
// processors from the keys where the spooler keeps them.
#include <stdio.h>

#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/report/jsontext.h"
#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const char kPrintKey[] = "System\\CurrentControlSet\\Control\\Print";
const char* const kEnvironments[] = {"Windows 4.0", "Windows NT x86"};

// A listing prints a table for people or, with --json, a JSON array with
// one object per row for programs.
class Listing {
 public:
  // kExitOk, or the usage status after a message.
  int Parse(const Args& args, const char* command) {
    for (const std::string& arg : args) {
      if (arg != "--json")
        return Complain(kExitUsage, std::string(command) + " takes only --json, not '" + arg + "'");
      json_ = true;
    }
    return kExitOk;
  }
  bool json() const { return json_; }
  void Row(const qzhost::JsonObject& row) { rows_.push_back(row.Text()); }
  int Finish() {
    if (!json_) return kExitOk;
    printf("[");
    for (size_t i = 0; i < rows_.size(); ++i) printf("%s\n  %s", i ? "," : "", rows_[i].c_str());
    printf("%s]\n", rows_.empty() ? "" : "\n");
    return kExitOk;
  }

 private:
  bool json_ = false;
  std::vector<std::string> rows_;
};

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
  Listing out;
  if (int status = out.Parse(args, "printers")) return status;
  if (!out.json()) printf("%-32s %-32s %-12s %s\n", "Printer", "Driver", "Port", "Print processor");
  ForEachSubkey(std::string(kPrintKey) + "\\Printers", [&out](const std::string& name, HKEY hKey) {
    std::string driver = StringValue(hKey, "Printer Driver"), port = StringValue(hKey, "Port");
    std::string processor = StringValue(hKey, "Print Processor");
    if (out.json()) {
      out.Row(qzhost::JsonObject()
                  .Add("name", name)
                  .Add("driver", driver)
                  .Add("port", port)
                  .Add("print_processor", processor));
    } else {
      printf("%-32s %-32s %-12s %s\n", name.c_str(), driver.c_str(), port.c_str(),
             processor.c_str());
    }
  });
  return out.Finish();
}

int ListDrivers(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "drivers")) return status;
  if (!out.json())
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
      const DRIVER_INFO_3& d = pInfo[i];
      if (out.json()) {
        out.Row(qzhost::JsonObject()
                    .Add("name", Text(d.pName))
                    .Add("environment", Text(d.pEnvironment))
                    .AddNumber("version", static_cast<unsigned long>(d.cVersion))
                    .Add("driver_file", Text(d.pDriverPath))
                    .Add("data_file", Text(d.pDataFile))
                    .Add("config_file", Text(d.pConfigFile))
                    .Add("help_file", Text(d.pHelpFile))
                    .Add("monitor", Text(d.pMonitorName))
                    .Add("default_datatype", Text(d.pDefaultDataType)));
      } else {
        printf("%-32s %-16s %-3lu %-20s %s\n", Text(d.pName).c_str(), Text(d.pEnvironment).c_str(),
               static_cast<unsigned long>(d.cVersion), Text(d.pDriverPath).c_str(),
               Text(d.pMonitorName).c_str());
      }
    }
  }
  return out.Finish();
}

int ListMonitors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "monitors")) return status;
  DWORD level = qzhost::MachineIsNT() ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumMonitorsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return SpoolerFailed("EnumMonitorsA");
  if (level == 2) {
    if (!out.json()) printf("%-32s %-16s %s\n", "Monitor", "Environment", "DLL");
    const MONITOR_INFO_2* pInfo = reinterpret_cast<const MONITOR_INFO_2*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      std::string name = Text(pInfo[i].pName), env = Text(pInfo[i].pEnvironment);
      std::string dll = Text(pInfo[i].pDLLName);
      if (out.json())
        out.Row(qzhost::JsonObject().Add("name", name).Add("environment", env).Add("dll", dll));
      else
        printf("%-32s %-16s %s\n", name.c_str(), env.c_str(), dll.c_str());
    }
  } else {
    if (!out.json()) printf("Monitor\n");
    const MONITOR_INFO_1* pInfo = reinterpret_cast<const MONITOR_INFO_1*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      if (out.json())
        out.Row(qzhost::JsonObject().Add("name", Text(pInfo[i].pName)));
      else
        printf("%s\n", Text(pInfo[i].pName).c_str());
    }
  }
  return out.Finish();
}

int ListProcessors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "processors")) return status;
  if (!out.json()) printf("%-32s %-16s %s\n", "Print processor", "Environment", "DLL");
  for (const char* env : kEnvironments) {
    std::string path = std::string(kPrintKey) + "\\Environments\\" + env + "\\Print Processors";
    ForEachSubkey(path, [env, &out](const std::string& name, HKEY hKey) {
      std::string dll = StringValue(hKey, "Driver");
      if (out.json())
        out.Row(qzhost::JsonObject().Add("name", name).Add("environment", env).Add("dll", dll));
      else
        printf("%-32s %-16s %s\n", name.c_str(), env, dll.c_str());
    });
  }
  return out.Finish();
}

int ListPorts(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "ports")) return status;
  DWORD level = qzhost::MachineIsNT() ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumPortsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return SpoolerFailed("EnumPortsA");
  if (level == 2) {
    if (!out.json()) printf("%-16s %-24s %-24s %s\n", "Port", "Monitor", "Description", "Type");
    const PORT_INFO_2* pInfo = reinterpret_cast<const PORT_INFO_2*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      const PORT_INFO_2& port = pInfo[i];
      if (out.json()) {
        out.Row(qzhost::JsonObject()
                    .Add("name", Text(port.pPortName))
                    .Add("monitor", Text(port.pMonitorName))
                    .Add("description", Text(port.pDescription))
                    .AddNumber("type", static_cast<unsigned long>(port.fPortType)));
      } else {
        printf("%-16s %-24s %-24s 0x%lx\n", Text(port.pPortName).c_str(),
               Text(port.pMonitorName).c_str(), Text(port.pDescription).c_str(),
               static_cast<unsigned long>(port.fPortType));
      }
    }
  } else {
    if (!out.json()) printf("Port\n");
    const PORT_INFO_1* pInfo = reinterpret_cast<const PORT_INFO_1*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      if (out.json())
        out.Row(qzhost::JsonObject().Add("name", Text(pInfo[i].pName)));
      else
        printf("%s\n", Text(pInfo[i].pName).c_str());
    }
  }
  return out.Finish();
}

}  // namespace qzreg
