// qzreg's listings of the spooler: printers, drivers, monitors, processors, ports.
//
// Drivers, monitors and ports come from the spooler calls; printers and print
// processors from the keys where the spooler keeps them.
#include <fnmatch.h>
#include <stdio.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/host/machine/hostutf8.h"
#include "platform/host/machine/machine.h"
#include "platform/host/report/jsontext.h"
#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const char kPrintKey[] = "System\\CurrentControlSet\\Control\\Print";
const char* const kEnvironments[] = {"Windows 4.0", "Windows NT x86"};

// The arguments a listing takes (--json, --all where `takesAll`, one NAME);
// kExitOk, or the usage status after a message.
int ParseListingArgs(const Args& args, const char* command, bool takesAll, bool* json, bool* all,
                     std::string* pattern) {
  for (const std::string& arg : args) {
    if (arg == "--json")
      *json = true;
    else if (arg == "--all" && takesAll)
      *all = true;
    else if (!arg.empty() && arg[0] != '-' && pattern->empty())
      *pattern = arg;
    else
      return Complain(kExitUsage, std::string("invalid argument '") + arg + "' (try qzreg " +
                                      command + " --help)");
  }
  return kExitOk;
}

// A listing prints a table for people or, with --json, a JSON array with
// one object per row for programs.
class Listing {
 public:
  ~Listing() {
    if (store_ != nullptr) store_->UnpinReadSnapshot();
  }
  // Checks the arguments, then opens the machine and holds one snapshot of
  // it for the whole listing (never half of a change a running qzinst32
  // commits meanwhile). kExitOk, or the status after a message.
  int Parse(const Args& args, const char* command, bool takesAll = false) {
    if (int status = ParseListingArgs(args, command, takesAll, &json_, &all_, &pattern_))
      return status;
    int status = kExitOk;
    store_ = ExistingRegistry(&status);
    if (store_ == nullptr) return status;
    std::string bad, typed = pattern_;
    if (!qzhost::ArgumentToCodePage(qzhost::Machine().codePage, typed, &pattern_, &bad))
      return Complain(kExitUsage, "the NAME holds '" + bad + "', which code page " +
                                      std::to_string(qzhost::Machine().codePage) + " cannot hold");
    store_->PinReadSnapshot();
    return status;
  }
  bool json() const { return json_; }
  bool all() const { return all_; }
  // The row's name matches the NAME given (wildcards as Get-Printer -Name
  // takes them, without regard to case), or none was given.
  bool Wanted(const std::string& name) const {
    return pattern_.empty() || fnmatch(pattern_.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
  }
  void Row(const qzhost::JsonObject& row) { rows_.push_back(row.Text()); }
  // A row of the table; the first is the header. Each column is as wide as
  // its longest cell, so that no name runs into the next column.
  void Cells(std::vector<std::string> cells) { table_.push_back(std::move(cells)); }
  int Finish() {
    if (!json_) {
      PrintTable();
      return kExitOk;
    }
    printf("[");
    for (size_t i = 0; i < rows_.size(); ++i) printf("%s\n  %s", i ? "," : "", rows_[i].c_str());
    printf("%s]\n", rows_.empty() ? "" : "\n");
    NoteJsonPrinted();
    return kExitOk;
  }

 private:
  // Characters, not bytes, of the text as the terminal gets it.
  static size_t Width(const std::string& text) {
    if (!qzhost::HostSpeaksUtf8()) return text.size();
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
  }

  void PrintTable() const {
    std::vector<std::vector<std::string>> shown;
    std::vector<size_t> widths;
    for (const std::vector<std::string>& row : table_) {
      shown.emplace_back();
      for (const std::string& cell : row)
        shown.back().push_back(qzhost::ForTerminal(qzhost::Machine().codePage, cell));
      if (widths.size() < row.size()) widths.resize(row.size());
      for (size_t i = 0; i < row.size(); ++i)
        widths[i] = std::max(widths[i], Width(shown.back()[i]));
    }
    for (const std::vector<std::string>& row : shown) {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) {
        line += row[i];
        if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 1, ' ');
      }
      printf("%s\n", line.c_str());
    }
  }

  qzhost::RegStore* store_ = nullptr;
  std::vector<std::vector<std::string>> table_;
  bool json_ = false;
  bool all_ = false;
  std::string pattern_;
  std::vector<std::string> rows_;
};

const char kNull[] = "null";

// The driver version in one style for every value (0x0, 0x3, 0x400).
std::string VersionText(DWORD version) {
  char text[16];
  snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(version));
  return text;
}

DWORD DwordValue(HKEY hKey, const char* name) {
  DWORD value = 0, cb = sizeof value, type = 0;
  if (RegQueryValueExA(hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0;
  return value;
}

// The default printer's name, from [windows] device= ("name,driver,port").
std::string DefaultPrinter() {
  char acDevice[512] = "";
  GetProfileStringA("windows", "device", "", acDevice, sizeof acDevice);
  std::string device = acDevice;
  return device.substr(0, device.find(','));
}

std::string Text(const char* p) { return p ? p : ""; }

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
  out.Cells({"Printer", "Driver", "Port", "Processor", "Datatype", "Attributes", "Default"});
  std::string defaultName = DefaultPrinter();
  ForEachSubkey(std::string(kPrintKey) + "\\Printers", [&](const std::string& name, HKEY hKey) {
    if (!out.Wanted(name)) return;
    std::string driver = StringValue(hKey, "Printer Driver"), port = StringValue(hKey, "Port");
    std::string processor = StringValue(hKey, "Print Processor");
    std::string datatype = StringValue(hKey, "Datatype");
    DWORD attributes = DwordValue(hKey, "Attributes");
    bool isDefault = strcasecmp(name.c_str(), defaultName.c_str()) == 0;
    if (out.json()) {
      out.Row(qzhost::JsonObject()
                  .Add("name", name)
                  .Add("driver", driver)
                  .Add("port", port)
                  .Add("print_processor", processor)
                  .Add("datatype", datatype)
                  .AddNumber("attributes", static_cast<unsigned long>(attributes))
                  .AddBool("default", isDefault));
    } else {
      char hex[16];
      snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(attributes));
      out.Cells({name, driver, port, processor, datatype, hex, isDefault ? "yes" : "no"});
    }
  });
  return out.Finish();
}

int ListDrivers(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "drivers")) return status;
  out.Cells({"Driver", "Environment", "Ver", "Driver file", "Monitor"});
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
      if (!out.Wanted(Text(d.pName))) continue;
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
        out.Cells({Text(d.pName), Text(d.pEnvironment), VersionText(d.cVersion),
                   Text(d.pDriverPath), Text(d.pMonitorName)});
      }
    }
  }
  return out.Finish();
}

// A monitor row: environment and DLL are null where Windows 98 gives none.
void MonitorRow(Listing& out, const std::string& name, const char* env, const char* dll) {
  if (!out.Wanted(name)) return;
  if (out.json()) {
    qzhost::JsonObject row;
    row.Add("name", name);
    if (env)
      row.Add("environment", env);
    else
      row.AddRaw("environment", kNull);
    if (dll)
      row.Add("dll", dll);
    else
      row.AddRaw("dll", kNull);
    out.Row(row);
  } else {
    out.Cells({name, env ? env : "-", dll ? dll : "-"});
  }
}

int ListMonitors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "monitors", true)) return status;
  DWORD level = qzhost::MachineIsNT() ? 2 : 1;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerate([level](BYTE* p, DWORD cb, DWORD* needed,
                         DWORD* n) { return EnumMonitorsA(nullptr, level, p, cb, needed, n); },
                 &buffer, &count))
    return SpoolerFailed("EnumMonitorsA");
  out.Cells({"Monitor", "Environment", "DLL"});
  std::vector<std::string> listed;
  for (DWORD i = 0; i < count; ++i) {
    if (level == 2) {
      const MONITOR_INFO_2& m = reinterpret_cast<const MONITOR_INFO_2*>(buffer.data())[i];
      listed.push_back(Text(m.pName));
      MonitorRow(out, listed.back(), m.pEnvironment, m.pDLLName);
    } else {
      listed.push_back(Text(reinterpret_cast<const MONITOR_INFO_1*>(buffer.data())[i].pName));
      MonitorRow(out, listed.back(), nullptr, nullptr);
    }
  }
  // NT's EnumMonitorsA leaves out the language monitors; the key holds all.
  if (out.all()) {
    ForEachSubkey(std::string(kPrintKey) + "\\Monitors", [&](const std::string& name, HKEY hKey) {
      for (const std::string& seen : listed)
        if (strcasecmp(seen.c_str(), name.c_str()) == 0) return;
      std::string dll = StringValue(hKey, "Driver");
      if (dll.empty()) return;  // no monitor the spooler could load
      MonitorRow(out, name, level == 2 ? kEnvironments[1] : nullptr, dll.c_str());
    });
  }
  return out.Finish();
}

int ListProcessors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "processors")) return status;
  out.Cells({"Print processor", "Environment", "DLL"});
  for (const char* env : kEnvironments) {
    std::string path = std::string(kPrintKey) + "\\Environments\\" + env + "\\Print Processors";
    ForEachSubkey(path, [env, &out](const std::string& name, HKEY hKey) {
      if (!out.Wanted(name)) return;
      std::string dll = StringValue(hKey, "Driver");
      if (out.json())
        out.Row(qzhost::JsonObject().Add("name", name).Add("environment", env).Add("dll", dll));
      else
        out.Cells({name, env, dll});
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
  out.Cells({"Port", "Monitor", "Description", "Type"});
  for (DWORD i = 0; i < count; ++i) {
    const PORT_INFO_2* p2 =
        level == 2 ? &reinterpret_cast<const PORT_INFO_2*>(buffer.data())[i] : nullptr;
    std::string name = p2 ? Text(p2->pPortName)
                          : Text(reinterpret_cast<const PORT_INFO_1*>(buffer.data())[i].pName);
    if (!out.Wanted(name)) continue;
    if (out.json()) {
      qzhost::JsonObject row;
      row.Add("name", name);
      if (p2) {
        row.Add("monitor", Text(p2->pMonitorName)).Add("description", Text(p2->pDescription));
        row.AddNumber("type", static_cast<unsigned long>(p2->fPortType));
      } else {
        row.AddRaw("monitor", kNull).AddRaw("description", kNull).AddRaw("type", kNull);
      }
      out.Row(row);
    } else if (p2) {
      char hex[16];
      snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(p2->fPortType));
      out.Cells({name, Text(p2->pMonitorName), Text(p2->pDescription), hex});
    } else {
      out.Cells({name, "-", "-", "-"});
    }
  }
  return out.Finish();
}

}  // namespace qzreg
