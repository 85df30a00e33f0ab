// The spooler's lists, read as qzreg's listings read them.
#include "platform/host/spooler/spooler_lists.h"

#include <stdio.h>
#include <strings.h>

#include "platform/host/spooler/spooler_layout.h"

namespace qzhost {
namespace {

const char* const kEnvironments[] = {spool::kEnvWin40, spool::kEnvNtX86};

std::string Text(const char* p) { return p ? p : ""; }
std::string Number(unsigned long n) { return std::to_string(n); }

// One enumeration in the usual two calls: size, then data. A list that grew
// between them (another program added a port to WIN.INI) is asked again
// with the size the second call gave.
template <typename Enum>
bool Enumerate(Enum enumerate, std::vector<BYTE>* buffer, DWORD* count) {
  DWORD cbNeeded = 0;
  *count = 0;
  if (!enumerate(nullptr, 0, &cbNeeded, count) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  for (int round = 0; round < 16; ++round) {
    buffer->assign(cbNeeded ? cbNeeded : 1, 0);
    DWORD cbBuf = cbNeeded;
    if (enumerate(buffer->data(), cbBuf, &cbNeeded, count)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbNeeded <= cbBuf) return false;
  }
  return false;
}

bool Failed(const char* call, std::string* why) {
  *why = std::string(call) + " failed with error " +
         std::to_string(static_cast<unsigned long>(GetLastError()));
  return false;
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

DWORD DwordValue(HKEY hKey, const char* name) {
  DWORD value = 0, cb = sizeof value, type = 0;
  if (RegQueryValueExA(hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0;
  return value;
}

// Calls `row` with each subkey of HKLM\<path> opened.
template <typename Row>
void ForEachSubkey(const std::string& path, Row row) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
  std::vector<std::string> names;
  char acName[MAX_PATH];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof acName;
    if (RegEnumKeyExA(hKey, i, acName, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.push_back(acName);
  }
  for (const std::string& name : names) {
    HKEY hSub = nullptr;
    if (RegOpenKeyExA(hKey, name.c_str(), 0, KEY_READ, &hSub) != ERROR_SUCCESS) continue;
    row(name, hSub);
    RegCloseKey(hSub);
  }
  RegCloseKey(hKey);
}

std::string DefaultPrinter() {
  char acDevice[512] = "";
  GetProfileStringA("windows", "device", "", acDevice, sizeof acDevice);
  std::string device = acDevice;
  return device.substr(0, device.find(','));
}

void Printers(std::vector<SpoolerListed>* out) {
  std::string defaultName = DefaultPrinter();
  ForEachSubkey(spool::kPrintersKey, [&](const std::string& name, HKEY hKey) {
    out->push_back(
        {"printer",
         name,
         "",
         {{"driver", StringValue(hKey, spool::kPrinterDriver)},
          {"port", StringValue(hKey, spool::kPrinterPort)},
          {"print_processor", StringValue(hKey, spool::kPrinterPrintProcessor)},
          {"datatype", StringValue(hKey, spool::kPrinterDatatype)},
          {"attributes", Number(DwordValue(hKey, spool::kPrinterAttributes))},
          {"default", strcasecmp(name.c_str(), defaultName.c_str()) == 0 ? "true" : "false"}}});
  });
}

bool Drivers(std::vector<SpoolerListed>* out, std::string* why) {
  for (const char* env : kEnvironments) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!Enumerate(
            [env](BYTE* p, DWORD cb, DWORD* needed, DWORD* n) {
              return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(env), 3, p, cb, needed, n);
            },
            &buffer, &count)) {
      if (GetLastError() == ERROR_INVALID_ENVIRONMENT) continue;  // Windows 98 serves its own only
      return Failed("EnumPrinterDriversA", why);
    }
    const DRIVER_INFO_3* pInfo = reinterpret_cast<const DRIVER_INFO_3*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      const DRIVER_INFO_3& d = pInfo[i];
      out->push_back({"driver",
                      Text(d.pName),
                      Text(d.pEnvironment),
                      {{"version", Number(d.cVersion)},
                       {"driver_file", Text(d.pDriverPath)},
                       {"data_file", Text(d.pDataFile)},
                       {"config_file", Text(d.pConfigFile)},
                       {"help_file", Text(d.pHelpFile)},
                       {"monitor", Text(d.pMonitorName)},
                       {"default_datatype", Text(d.pDefaultDataType)}}});
    }
  }
  return true;
}

// EnumMonitorsA's list, then the monitors of the key it leaves out (NT's
// language monitors), each of those only with the DLL the spooler loads.
bool Monitors(bool isNT, std::vector<SpoolerListed>* out, std::string* why) {
  DWORD level = isNT ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumMonitorsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return Failed("EnumMonitorsA", why);
  size_t first = out->size();
  for (DWORD i = 0; i < count; ++i) {
    if (level == 2) {
      const MONITOR_INFO_2& m = reinterpret_cast<const MONITOR_INFO_2*>(buffer.data())[i];
      out->push_back({"monitor", Text(m.pName), Text(m.pEnvironment), {{"dll", Text(m.pDLLName)}}});
    } else {
      const MONITOR_INFO_1& m = reinterpret_cast<const MONITOR_INFO_1*>(buffer.data())[i];
      out->push_back({"monitor", Text(m.pName), "", {{"dll", ""}}});
    }
  }
  size_t listed = out->size();
  ForEachSubkey(spool::kMonitorsKey, [&](const std::string& name, HKEY hKey) {
    for (size_t i = first; i < listed; ++i)
      if (strcasecmp((*out)[i].name.c_str(), name.c_str()) == 0) return;
    std::string dll = StringValue(hKey, "Driver");
    if (dll.empty()) return;  // no monitor the spooler could load
    out->push_back({"monitor", name, isNT ? spool::kEnvNtX86 : "", {{"dll", dll}}});
  });
  return true;
}

void Processors(std::vector<SpoolerListed>* out) {
  for (const char* env : kEnvironments) {
    std::string path =
        std::string(spool::kEnvironmentsKey) + "\\" + env + "\\" + spool::kPrintProcessorsSubkey;
    ForEachSubkey(path, [env, out](const std::string& name, HKEY hKey) {
      out->push_back({"print processor", name, env, {{"dll", StringValue(hKey, "Driver")}}});
    });
  }
}

bool Ports(bool isNT, std::vector<SpoolerListed>* out, std::string* why) {
  DWORD level = isNT ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumPortsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return Failed("EnumPortsA", why);
  for (DWORD i = 0; i < count; ++i) {
    if (level == 2) {
      const PORT_INFO_2& p = reinterpret_cast<const PORT_INFO_2*>(buffer.data())[i];
      out->push_back({"port",
                      Text(p.pPortName),
                      "",
                      {{"monitor", Text(p.pMonitorName)},
                       {"description", Text(p.pDescription)},
                       {"type", Number(p.fPortType)}}});
    } else {
      out->push_back(
          {"port", Text(reinterpret_cast<const PORT_INFO_1*>(buffer.data())[i].pName), "", {}});
    }
  }
  return true;
}

}  // namespace

bool ReadSpoolerLists(bool isNT, std::vector<SpoolerListed>* objects, std::string* why) {
  objects->clear();
  Printers(objects);
  if (!Drivers(objects, why) || !Monitors(isNT, objects, why)) return false;
  Processors(objects);
  return Ports(isNT, objects, why);
}

}  // namespace qzhost
