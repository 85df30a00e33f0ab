// INF pre-flight against the machine: the port, on Windows NT the driver, and
// the files of the driver, the monitors and the print processor.
//
// Asks the spooler through the same calls the program and Windows use, so
// the answer is what command 2 would meet.
#include <strings.h>

#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/report/checkinf.h"
#include "platform/host/spooler/spooler_files.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/win32.h"

namespace qzhost {
namespace {

// The names an enumeration of `Info` records gives (ports at level 1,
// drivers at level 2); false when the spooler refuses.
template <typename Info, typename Enumerate>
bool EnumNames(Enumerate enumerate, std::vector<std::string>* names) {
  DWORD cbNeeded = 0, cReturned = 0;
  if (!enumerate(nullptr, 0, &cbNeeded, &cReturned) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<BYTE> buffer(cbNeeded ? cbNeeded : 1);
  if (!enumerate(buffer.data(), cbNeeded, &cbNeeded, &cReturned)) return false;
  const Info* info = reinterpret_cast<const Info*>(buffer.data());
  for (DWORD i = 0; i < cReturned; ++i) names->push_back(info[i].pName ? info[i].pName : "");
  return true;
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
  return false;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text.empty() ? "none" : text;
}

void Add(InfCheck* check, const std::string& message, const std::string& fix) {
  check->problems.push_back({InfProblem::kError, 0, "", message, fix});
}

// One error per file of `component` that is not where Windows takes it from.
void ReportMissing(const InfComponentFile& component,
                   const std::vector<spool::ComponentFile>& located, const char* call,
                   DWORD dwError, InfCheck* check) {
  const std::string what =
      component.name.empty() ? "the driver's file \"" + component.file + "\""
                             : "the file \"" + component.file + "\" of \"" + component.name + "\"";
  const std::string outcome = ": " + std::string(call) + " fails with " + std::to_string(dwError) +
                              " and command 2 ends with 1045";
  for (const spool::ComponentFile& file : located) {
    if (file.present) continue;
    if (file.windowsPath.empty()) {
      check->problems.push_back(
          {InfProblem::kError, component.line, component.key,
           what + " has a path, but Windows takes it from one folder only" + outcome,
           "name the file without a path"});
      continue;
    }
    check->problems.push_back({InfProblem::kError, component.line, component.key,
                               what + " is not at " + file.windowsPath + " (on this machine " +
                                   (file.hostPath.empty() ? "no host path" : file.hostPath) + ")" +
                                   outcome,
                               "copy " + component.file + " into " +
                                   file.windowsPath.substr(0, file.windowsPath.rfind('\\')) +
                                   " before command 2, as the package's setup must"});
  }
}

}  // namespace

void CheckPortOnMachine(const std::string& port, InfCheck* check) {
  std::vector<std::string> ports;
  bool listed = EnumNames<PORT_INFO_1A>(
      [](LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned) {
        return EnumPortsA(nullptr, 1, buf, cb, needed, returned) != FALSE;
      },
      &ports);
  if (!listed) {
    Add(check,
        "EnumPortsA failed with " + std::to_string(GetLastError()) +
            ": the ports of the machine cannot be listed",
        "check the machine with qzreg ports");
  } else if (!Listed(ports, port)) {
    Add(check,
        "the port \"" + port + "\" is not on this machine (EnumPortsA lists " + Joined(ports) +
            "); command 2 ends with 1046",
        "create the port first (qzinst32 1 " + port + "), or name a listed port");
  }
  if (!MachineIsNT() || check->driverName.empty()) return;
  std::vector<std::string> drivers;
  char environment[] = "Windows NT x86";
  bool known = EnumNames<DRIVER_INFO_2A>(
      [&environment](LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned) {
        return EnumPrinterDriversA(nullptr, environment, 2, buf, cb, needed, returned) != FALSE;
      },
      &drivers);
  if (known && !Listed(drivers, check->driverName)) {
    Add(check,
        "this Windows NT machine has no \"Windows NT x86\" driver \"" + check->driverName +
            "\": command 2 adds the driver for \"Windows 4.0\" only, and the spooler then "
            "refuses the printer; command 2 ends with 1046",
        "install the printer's Windows NT driver first, as the package's NT setup does");
  }
}

void CheckFilesOnMachine(InfCheck* check) {
  const InfCheck found = *check;  // the lists, as problems are added to *check
  // Windows 98 refuses the "Windows NT x86" print processor before its file.
  if (MachineIsNT()) {
    for (const InfComponentFile& p : found.processorFiles)
      ReportMissing(p, spool::ProcessorFiles(spool::kEnvNtX86, p.name, p.file),
                    "AddPrintProcessorA", spool::MissingProcessorFileError(), check);
  }
  for (const InfComponentFile& m : found.monitorFiles)
    ReportMissing(m, spool::MonitorFiles(m.name, m.file), "AddMonitorA",
                  spool::MissingMonitorFileError(), check);
  for (const InfComponentFile& d : found.driverFiles)
    ReportMissing(d, spool::DriverFiles(spool::kEnvWin40, {d.file}), "AddPrinterDriverA",
                  spool::kMissingDriverFileError, check);
}

}  // namespace qzhost
