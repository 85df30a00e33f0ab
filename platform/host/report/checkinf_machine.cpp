// INF pre-flight against the machine: the port, and on Windows NT the driver.
//
// Asks the spooler through the same calls the program and Windows use, so
// the answer is what command 2 would meet.
#include <strings.h>

#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/report/checkinf.h"
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

}  // namespace qzhost
